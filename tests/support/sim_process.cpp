#include "support/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "support/log_builder.h"

#ifndef GLANZO_ECM_SIM
#error "GLANZO_ECM_SIM must name the ecm-sim program"
#endif

SimProcess::SimProcess(const std::vector<std::string>& args)
{
    static int count = 0;
    err_path_ = temp_dir() + "/sim" + std::to_string(getpid()) + "-" + std::to_string(count++) + ".err";
    int out[2];
    if (pipe(out) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        int err = ::open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0)
            dup2(err, 2);
        close(out[0]);
        std::vector<std::string> all = {GLANZO_ECM_SIM, "--pty"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        device_ += c;
    close(out[0]);
}

SimProcess::~SimProcess() { stop(); }

void SimProcess::signal(int sig) const
{
    if (pid_ > 0)
        kill(pid_, sig);
}

std::string SimProcess::stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    return read_file(err_path_);
}

bool SimProcess::terminate_within(double seconds)
{
    if (pid_ <= 0)
        return true;
    kill(pid_, SIGTERM);
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status;
    bool ended = true;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            ended = false;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    return ended;
}

int run_command(const std::string& command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string fresh_dir(const std::string& name)
{
    std::string dir = temp_dir() + "/" + name;
    run_command("chmod -R u+w '" + dir + "' 2>/dev/null; rm -rf '" + dir + "'; mkdir -p '" + dir + "'");
    return dir;
}

CliRun run_cli(const std::string& args)
{
    std::string out = temp_dir() + "/cli.out", err = temp_dir() + "/cli.err";
    int code = run_command(std::string(GLANZO_CLI) + " " + args + " >" + out + " 2>" + err);
    return CliRun{code, read_file(out), read_file(err)};
}
