// SIGTERM, SIGINT and SIGHUP end GlanzoFlash and ZOV_J8Update as closing their window does: each
// program runs as a process of its own, offscreen, against ecm-sim.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <span>
#include <sstream>

#include "config/config.h"
#include "config/updater_config.h"
#include "support/live.h"
#include "support/sim_process.h"
#include "update/firmware.h"
#include "update/update.h"

#ifndef GLANZO_APP
#error "GLANZO_APP must name the GlanzoFlash program"
#endif
#ifndef GLANZO_UPDATER
#error "GLANZO_UPDATER must name the ZOV_J8Update program"
#endif

namespace {

void write_text(const std::string& path, const std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

long long steady_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A program run as a child process in `dir`, offscreen, its output in dir/out and dir/err.
class Program {
public:
    Program(const std::string& dir, std::vector<std::string> args) : out_(dir + "/out"), err_(dir + "/err")
    {
        pid_ = fork();
        if (pid_ == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            // The toolkit warns on stderr without one; stderr is to show only the programs' own lines.
            std::string runtime = dir + "/runtime";
            mkdir(runtime.c_str(), 0700);
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            if (chdir(dir.c_str()) != 0)
                _exit(127);
            int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Program()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    void signal(int sig) const { kill(pid_, sig); }
    // The exit status, or -1 when the program did not exit on its own within `seconds` (it is then
    // killed) or was ended by a signal.
    int wait_exit(double seconds)
    {
        int status = 0;
        bool ended = wait_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, seconds);
        if (!ended) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string out() const { return read_file(out_); }
    std::string err() const { return read_file(err_); }

private:
    pid_t pid_ = -1;
    std::string out_, err_;
};

std::vector<std::string> split(const std::string& text, const std::string& end)
{
    std::vector<std::string> lines;
    size_t start = 0, at;
    while ((at = text.find(end, start)) != std::string::npos) {
        lines.push_back(text.substr(start, at - start));
        start = at + end.size();
    }
    return lines;
}

// The file's lines when it holds every key of `keys`, one a line in the table's order, and
// nothing else; empty otherwise.
std::vector<std::string> whole_configuration(const std::string& path, std::span<const ConfigKey> keys)
{
    std::string text = read_file(path);
    std::vector<std::string> lines = split(text, "\r\n");
    std::string rebuilt;
    for (const std::string& l : lines)
        rebuilt += l + "\r\n";
    if (lines.size() != keys.size() || rebuilt != text)
        return {};
    for (size_t i = 0; i < keys.size(); ++i)
        if (lines[i].rfind(std::string(keys[i].name()) + " ", 0) != 0)
            return {};
    return lines;
}

std::string value_of(const std::vector<std::string>& lines, const std::string& key)
{
    for (const std::string& l : lines)
        if (l.rfind(key + " ", 0) == 0)
            return l.substr(key.size() + 1);
    return "<missing>";
}

struct SignalCase {
    const char* name;
    bool updater;   // ZOV_J8Update, else GlanzoFlash
    int signal;
};

void PrintTo(const SignalCase& c, std::ostream* out) { *out << c.name; }

class ASignal : public testing::TestWithParam<SignalCase> {};

TEST_P(ASignal, EndsTheProgramAsClosingItsWindowDoesWithStatusZeroAndTheConfigurationWrittenWhole)
{
    const SignalCase& c = GetParam();
    std::string dir = fresh_dir(std::string("signal-") + c.name);
    std::string trace = dir + "/trace", cfg = dir + "/program.cfg";
    SimProcess sim({"--trace", trace});
    // A configuration of a few keys: the program writes it whole at start-up and again at exit.
    write_text(cfg, "[PORT] " + sim.device() + "\r\n[XPOSHWND] 37\r\n[YPOSHWND] 41\r\n");
    std::span<const ConfigKey> keys = c.updater ? updater_config_keys() : glanzo_config_keys();
    Program program(dir, {c.updater ? GLANZO_UPDATER : GLANZO_APP, "--config", cfg});

    ASSERT_TRUE(wait_until([&] { return !whole_configuration(cfg, keys).empty(); }, 30))
        << "written at start-up when the port is chosen";
    if (!c.updater) {
        // Running: the link thread has opened the port and asked for the stream.
        ASSERT_TRUE(wait_until([&] { return read_file(trace).find("R X 102") != std::string::npos; }, 30));
    }
    // What the exit writes, written into a file of its own.
    ASSERT_EQ(std::remove(cfg.c_str()), 0);
    program.signal(c.signal);

    EXPECT_EQ(program.wait_exit(30), 0) << program.err();
    EXPECT_EQ(program.err(), "");
    std::vector<std::string> lines = whole_configuration(cfg, keys);
    ASSERT_FALSE(lines.empty()) << read_file(cfg);
    EXPECT_EQ(value_of(lines, "[PORT]"), sim.device());
    EXPECT_EQ(value_of(lines, "[XPOSHWND]"), "37");
    EXPECT_EQ(value_of(lines, "[YPOSHWND]"), "41");
    if (!c.updater) {
        // The stream was stopped before the port closed (the simulator may take a moment to say so).
        auto last_message = [&] {
            std::vector<std::string> messages = split(read_file(trace), "\n");
            return messages.empty() ? std::string() : messages.back();
        };
        wait_until([&] { return last_message() == "R X 0"; }, 10);
        EXPECT_EQ(last_message(), "R X 0");
    }
}

INSTANTIATE_TEST_SUITE_P(BothDesktopPrograms, ASignal,
                         testing::Values(SignalCase{"GlanzoFlashOnSigterm", false, SIGTERM},
                                         SignalCase{"GlanzoFlashOnSigint", false, SIGINT},
                                         SignalCase{"GlanzoFlashOnSighup", false, SIGHUP},
                                         SignalCase{"ZovJ8UpdateOnSigterm", true, SIGTERM},
                                         SignalCase{"ZovJ8UpdateOnSigint", true, SIGINT},
                                         SignalCase{"ZovJ8UpdateOnSighup", true, SIGHUP}),
                         [](const testing::TestParamInfo<SignalCase>& i) { return std::string(i.param.name); });

TEST(GlanzoFlashSignal, SigtermWhileLoggingKeepsEveryFrameTheSimulatorSentBeforeIt)
{
    std::string dir = fresh_dir("signal-logging");
    std::string times = dir + "/frame-times", cfg = dir + "/program.cfg", log = dir + "/run.dat";
    SimProcess sim({"--frame-times", times});
    write_text(cfg, "[PORT] " + sim.device() + "\r\n");
    Program program(dir, {GLANZO_APP, "--config", cfg, "--datalog", log});

    // Two seconds of stream sent, then the session ends.
    auto sent = [&] { return split(read_file(times), "\n"); };
    ASSERT_TRUE(wait_until([&] { return sent().size() >= 34; }, 30));
    long long signalled = steady_ns();
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait_exit(30), 0) << program.err();
    sim.stop();

    std::vector<uint32_t> before;
    for (const std::string& line : sent()) {
        std::istringstream in(line);
        uint32_t sequence;
        long long ns;
        if (in >> sequence >> ns && ns < signalled)
            before.push_back(sequence);
    }
    ASSERT_GE(before.size(), 34u);

    LogContents logged = read_log_contents(log);
    ASSERT_FALSE(logged.sequence.empty());
    EXPECT_EQ(logged.bad, 0) << "a frame cut off at the end reads as no data, not as a bad one";
    // Logging starts with the stream (the first frame or two may come before the log is open), and
    // from there no frame is missing up to the last one sent before the signal.
    EXPECT_LE(logged.sequence.front(), before.front() + 17) << "within the first second of stream";
    for (size_t i = 1; i < logged.sequence.size(); ++i)
        ASSERT_EQ(logged.sequence[i], logged.sequence[i - 1] + 1) << "frame " << i << " of the log";
    EXPECT_GE(logged.sequence.back(), before.back());
}

std::vector<uint8_t> bytes_of(const std::string& path)
{
    std::string s = read_file(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

TEST(UpdaterSignal, SigtermDuringAHeadlessUpdateStopsAtTheNextBankBoundaryAndFailsWithOneLine)
{
    std::string dir = fresh_dir("signal-update");
    std::string banks = dir + "/ecm-banks.bin";
    SimProcess sim({"--banks", banks, "--baud", "921600"});
    const std::vector<uint8_t> factory = bytes_of(banks);
    ASSERT_EQ(factory.size(), 8u * 32768u);
    Program program(dir, {GLANZO_UPDATER, "--config", dir + "/u.cfg", "--run", "--port", sim.device()});

    // Bank 1 is being programmed.
    ASSERT_TRUE(wait_until(
        [&] {
            std::string out = program.out();
            size_t programming = out.find("normal: Programming Banks...\n");
            return programming != std::string::npos && out.find("normal: Bank #: 1 \n", programming) != std::string::npos;
        },
        180));
    program.signal(SIGTERM);
    program.signal(SIGINT);   // a second signal does not cut the stop short
    EXPECT_EQ(program.wait_exit(120), 1);
    EXPECT_EQ(program.err(), "ZOV_J8Update: update failed: Update Stopped\n");
    sim.stop();

    std::vector<std::string> lines = split(program.out(), "\n");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{"success: Bank Updated/Verified Successfully", "error: Update Stopped",
                                        "normal: ", "failure:      -Update Failed-"}));
    int updated = 0;
    for (const std::string& l : lines)
        updated += l == "success: Bank Updated/Verified Successfully";
    EXPECT_GE(updated, 2) << "bank 1, under way when the signal came, was finished";

    // Every bank is either wholly updated or untouched.
    std::vector<uint8_t> flash = bytes_of(banks);
    ASSERT_EQ(flash.size(), factory.size());
    const auto& firmware = firmware_block();
    for (int n = 0; n < 8; ++n) {
        size_t at = static_cast<size_t>(n) * 32768;
        if (n < updated) {
            std::vector<uint8_t> cal = bytes_of(dir + "/" + new_bin_name(n));
            ASSERT_EQ(cal.size(), 32768u);
            EXPECT_EQ(0, std::memcmp(flash.data() + at, cal.data(), 8192)) << "bank " << n;
            EXPECT_EQ(0, std::memcmp(flash.data() + at + 8192, firmware.data(), firmware.size())) << "bank " << n;
        } else {
            EXPECT_EQ(0, std::memcmp(flash.data() + at, factory.data() + at, 32768)) << "bank " << n;
        }
    }
}

}  // namespace
