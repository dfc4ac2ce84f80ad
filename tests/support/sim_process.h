// Runs ecm-sim as a child process for a test: the simulated ECM on its own pseudo-terminal.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class SimProcess {
public:
    // Starts ecm-sim --pty with the extra arguments and waits for its device path.
    explicit SimProcess(const std::vector<std::string>& args = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& device() const { return device_; }
    pid_t pid() const { return pid_; }
    void signal(int sig) const;
    // Stops the simulator and returns what it printed on stderr (its counts).
    std::string stop();
    // Sends SIGTERM and waits up to `seconds` for the simulator to end; true when it did. One
    // that does not is killed, so that the test goes on.
    bool terminate_within(double seconds);

private:
    pid_t pid_ = -1;
    std::string device_;
    std::string err_path_;
};

// Runs a shell command; returns its exit code (-1 when it did not exit normally).
int run_command(const std::string& command);

// An empty folder NAME in the test folder (what an earlier run left there, read-only or not, goes).
std::string fresh_dir(const std::string& name);

// What a run of glanzo-cli printed and returned.
struct CliRun {
    int exit_code;
    std::string out, err;
};
// Runs glanzo-cli with `args` (a shell word list).
CliRun run_cli(const std::string& args);
