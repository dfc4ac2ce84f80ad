// ecm-sim: a simulated ECM on a pseudo-terminal.
//
//   ecm-sim --pty [--seed N] [--map-sensor 1|2|3] [--replay LOG [--loop]] [--silent] [--link PATH]
//           [--outage-ms MS[,MS...]] [--outage-times FILE] [--baud N] [--banks FILE] [--fault KIND:N]...
//           [--fault-pause-ms MS] [--trace FILE] [--frame-times FILE]
//   ecm-sim --write-log FILE --seconds S [--seed N] [--map-sensor 1|2|3]
//
// Prints the slave device path as its first line on stdout, then behaves as the ECM on the wire
// until killed, sending no faster than a serial line of --baud (115200 by default; 0: unpaced):
// streams 17 frames a second from its engine model (or from a data log with --replay; at the log's
// end it falls silent, or with --loop starts the log again) and answers the stream, bank and
// flash-mode messages. --silent never streams. --link keeps a symbolic
// link at PATH to the current device; SIGUSR1 takes the line away for --outage-ms (default 1500;
// with a list, each outage takes the next length) and brings it back on a new device, which the
// link then points to, as when a cable is pulled and plugged in again. --outage-times writes
// "down NS" and "up NS" (steady clock) around each outage and "heard NS" when the first message
// after it arrives. On SIGTERM or SIGINT it prints what it sent on stderr.
// --map-sensor chooses the MAP sensor the engine model reports (1 bar by default); with 2 or 3
// bar the engine is boosted.
//
// In flash mode the loader keeps eight banks of 32768 bytes (in FILE with --banks, kept between
// runs) and answers the loader messages. --fault KIND:N spoils the reply to the N-th loader
// message: no-reply, bad-crc, nak, garbage, s-run, pause (for --fault-pause-ms, 1500 by default)
// bad-echo, late-check (a pause before the check bytes) or babble (3 s of noise instead of the
// reply). --trace appends a line for every message received ("R X 102", "S 7 12"). --frame-times
// writes the frame's sequence number (payload bytes 90-93) and the steady clock in nanoseconds
// each time a stream frame's last byte has been written, for latency measurements.
//
// --write-log writes at once, without a pseudo-terminal, the data log that recording S seconds of
// the engine model would give: a recording header (time record and configuration lines), then the
// frames, with a time record every ten seconds and a marker every minute, as a user's keys add them.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "config/config.h"
#include "platform/numbers.h"
#include "platform/version.h"
#include "sim_ecm.h"
#include "stream/reader.h"

namespace {

volatile std::sig_atomic_t quit = 0;
volatile std::sig_atomic_t outage = 0;

void on_quit(int) { quit = 1; }
void on_outage(int) { outage = 1; }

struct Pty {
    int master = -1;
    int slave = -1;   // kept open so that the line stays up while no client holds it
    std::string path;
};

bool open_pty(Pty& p)
{
    p.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0)
        return false;
    const char* name = ptsname(p.master);
    if (name == nullptr)
        return false;
    p.path = name;
    p.slave = ::open(name, O_RDWR | O_NOCTTY);
    if (p.slave < 0)
        return false;
    // Raw from the start, so that nothing is echoed or cooked before a client sets the line up.
    termios tio{};
    tcgetattr(p.slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(p.slave, TCSANOW, &tio);
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    return true;
}

void close_pty(Pty& p)
{
    if (p.slave >= 0)
        ::close(p.slave);
    if (p.master >= 0)
        ::close(p.master);
    p = Pty{};
}

void point_link(const std::string& link, const std::string& target)
{
    if (link.empty())
        return;
    std::string temp = link + ".new";
    ::unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) == 0)
        std::rename(temp.c_str(), link.c_str());
}

constexpr const char* USAGE =
    "usage: ecm-sim --pty [--seed N] [--map-sensor 1|2|3] [--replay LOG [--loop]] [--silent] [--link PATH]\n"
    "               [--outage-ms MS[,MS...]] [--outage-times FILE] [--baud N] [--frame-times FILE]\n"
    "               [--banks FILE] [--fault KIND:N]... [--fault-pause-ms MS] [--trace FILE]\n"
    "       ecm-sim --write-log FILE --seconds S [--seed N] [--map-sensor 1|2|3]\n"
    "       ecm-sim --help | --version\n";

// A command line that cannot be served: one line on stderr.
int usage(const std::string& problem)
{
    std::fprintf(stderr, "ecm-sim: %s (ecm-sim --help shows the usage)\n", problem.c_str());
    return 2;
}

// A time record's bytes for `t` seconds after a fixed start of recording.
std::string sim_time_record(long t)
{
    long s = 13 * 3600 + 5 * 60 + t;
    char text[64];
    std::snprintf(text, sizeof text, "TIME: 03/07/2013 - %02ld:%02ld:%02ld", s / 3600 % 24, s / 60 % 60, s % 60);
    return text;
}

int write_log(const SimOptions& opt, const std::string& path, long seconds)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "ecm-sim: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    SimEcm ecm;
    if (sim_init(ecm, opt) != 0) {
        std::fclose(f);
        return 1;
    }
    std::string header = sim_time_record(0);
    std::fwrite(header.data(), 1, header.size(), f);
    write_config_lines(f);
    std::vector<uint8_t> frame;
    int marker = 0;
    for (long n = 0; n < seconds * FRAMES_PER_SECOND && sim_next_frame(ecm, frame); ++n) {
        if (n > 0 && n % (60 * FRAMES_PER_SECOND) == 0) {
            char mark[16];   // room for any int, which the compiler cannot rule out
            std::snprintf(mark, sizeof mark, "MARK%03d", marker++ % 1000);
            std::fputs(mark, f);
        }
        if (n > 0 && n % (10 * FRAMES_PER_SECOND) == 0)
            std::fputs(sim_time_record(n / FRAMES_PER_SECOND).c_str(), f);
        std::fwrite(frame.data(), 1, frame.size(), f);
    }
    sim_close(ecm);
    if (std::fclose(f) != 0) {
        std::fprintf(stderr, "ecm-sim: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}

using Clock = std::chrono::steady_clock;

// "EVENT NANOSECONDS" lines of --outage-times.
void note(FILE* f, const char* event)
{
    if (f == nullptr)
        return;
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    std::fprintf(f, "%s %lld\n", event, static_cast<long long>(ns));
    std::fflush(f);
}

// "500,1200,800": the lengths of successive outages, in milliseconds; false when any is no number.
bool parse_outages(const std::string& text, std::vector<int>& out)
{
    out.clear();
    for (size_t start = 0;;) {
        size_t comma = text.find(',', start);
        int64_t ms = 0;
        if (!parse_whole_number(std::string_view(text).substr(start, comma - start), 0, 3600000, ms))
            return false;
        out.push_back(static_cast<int>(ms));
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

// What waits to go out on the line: replies in order, each part after its pause, and the stream.
struct OutQueue {
    std::deque<ReplyChunk> chunks;
    size_t front_done = 0;          // bytes of the front chunk already written
    Clock::time_point front_ready;  // when the front chunk may start
    size_t bytes = 0;

    void push(ReplyChunk c)
    {
        if (chunks.empty())
            front_ready = Clock::now() + std::chrono::milliseconds(c.delay_ms);
        bytes += c.bytes.size();
        chunks.push_back(std::move(c));
    }

    // The wire: bytes leave no faster than the baud rate allows (10 bits a byte); 0 = at once.
    int baud = 115200;
    Clock::time_point wire_free;

    // The earliest time at which more can be written.
    Clock::time_point next_write() const { return std::max(front_ready, wire_free); }

    // With --frame-times: "SEQUENCE NANOSECONDS" (steady clock) when a frame's last byte is written.
    FILE* frame_times = nullptr;

    void frame_written(const ReplyChunk& c)
    {
        if (frame_times == nullptr || !c.stream_frame || c.bytes.size() < 2 + SIM_SEQUENCE_OFFSET + 4)
            return;
        uint32_t seq = 0;
        for (int i = 0; i < 4; ++i)
            seq = seq << 8 | c.bytes[2 + SIM_SEQUENCE_OFFSET + i];
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
        std::fprintf(frame_times, "%u %lld\n", seq, static_cast<long long>(ns));
        std::fflush(frame_times);
    }

    // Writes what the line takes now.
    void pump(int fd)
    {
        while (!chunks.empty() && Clock::now() >= next_write()) {
            ReplyChunk& c = chunks.front();
            size_t want = c.bytes.size() - front_done;
            if (baud > 0)
                want = std::min<size_t>(want, 64);
            ssize_t n = ::write(fd, c.bytes.data() + front_done, want);
            if (n > 0 && baud > 0)
                wire_free = std::max(wire_free, Clock::now()) +
                            std::chrono::nanoseconds(static_cast<long>(n) * 10 * 1000000000L / baud);
            if (n <= 0)
                return;   // the line is full: the reader has to catch up
            front_done += static_cast<size_t>(n);
            bytes -= static_cast<size_t>(n);
            if (front_done < c.bytes.size())
                return;
            frame_written(c);
            chunks.pop_front();
            front_done = 0;
            if (!chunks.empty())
                front_ready = Clock::now() + std::chrono::milliseconds(chunks.front().delay_ms);
        }
    }

    void clear()
    {
        chunks.clear();
        front_done = 0;
        bytes = 0;
    }
};

// A serial line whose receiver does not read loses bytes; the simulator drops whole frames once
// this much is waiting, so that replies are never held up behind old stream data.
constexpr size_t STREAM_BACKLOG_LIMIT = 4096;

// What serving the wire takes from the command line.
struct ServeOptions {
    SimOptions sim;
    std::string link;            // --link
    std::vector<int> outages;    // --outage-ms
    int baud;                    // --baud
    std::string frame_times;     // --frame-times
    std::string outage_times;    // --outage-times
};

// Serves the wire on a pseudo-terminal until SIGTERM or SIGINT: the stream, the replies, the
// outages asked for with SIGUSR1. Returns the program's exit status.
int serve(const ServeOptions& o)
{
    const SimOptions& opt = o.sim;
    const std::string& link = o.link;
    const std::vector<int>& outages = o.outages;
    SimEcm ecm;
    if (sim_init(ecm, opt) != 0)
        return 1;
    Pty pty;
    if (!open_pty(pty)) {
        std::fprintf(stderr, "ecm-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    // Handlers first: whoever reads the device path may signal at once.
    std::signal(SIGTERM, on_quit);
    std::signal(SIGINT, on_quit);
    std::signal(SIGUSR1, on_outage);
    std::signal(SIGPIPE, SIG_IGN);
    point_link(link, pty.path);
    std::printf("%s\n", pty.path.c_str());
    std::fflush(stdout);

    const auto frame_period = std::chrono::nanoseconds(1000000000 / 17);
    auto next_frame = Clock::now();
    std::vector<uint8_t> frame;
    std::vector<ReplyChunk> replies;
    OutQueue out;
    out.baud = o.baud;
    if (!o.frame_times.empty() && (out.frame_times = std::fopen(o.frame_times.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "ecm-sim: cannot open %s: %s\n", o.frame_times.c_str(), std::strerror(errno));
        return 1;
    }
    FILE* outage_log = nullptr;
    if (!o.outage_times.empty() && (outage_log = std::fopen(o.outage_times.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "ecm-sim: cannot open %s: %s\n", o.outage_times.c_str(), std::strerror(errno));
        return 1;
    }
    uint8_t in[4096];
    uint64_t bytes_lost = 0;
    size_t outages_done = 0;
    bool listening = false;   // waiting for the first message after an outage

    while (!quit) {
        if (outage) {
            outage = 0;
            // The device is gone while the line is down: a stale link could lead to a device
            // number that some other program has been given meanwhile.
            if (!link.empty())
                ::unlink(link.c_str());
            close_pty(pty);
            note(outage_log, "down");
            std::this_thread::sleep_for(std::chrono::milliseconds(outages[outages_done++ % outages.size()]));
            if (!open_pty(pty)) {
                std::fprintf(stderr, "ecm-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
                return 1;
            }
            point_link(link, pty.path);
            note(outage_log, "up");
            listening = true;
            out.clear();
            next_frame = Clock::now();
        }

        ssize_t n;
        while ((n = ::read(pty.master, in, sizeof in)) > 0) {
            if (listening) {
                note(outage_log, "heard");
                listening = false;
            }
            replies.clear();
            sim_receive(ecm, in, static_cast<size_t>(n), replies);
            for (ReplyChunk& c : replies)
                out.push(std::move(c));
        }

        auto now = Clock::now();
        if (now >= next_frame) {
            if (sim_next_frame(ecm, frame)) {
                if (out.bytes > STREAM_BACKLOG_LIMIT)
                    bytes_lost += frame.size();
                else
                    out.push({frame, 0, true});
            }
            next_frame += frame_period;
            if (now - next_frame > std::chrono::seconds(1))
                next_frame = now;   // after a stall, carry on without a burst
        }

        out.pump(pty.master);

        // Sleep until the next frame, a pause in a reply ends, the line takes more, or bytes come.
        auto until = next_frame;
        bool writable_wanted = false;
        if (!out.chunks.empty()) {
            if (Clock::now() >= out.next_write())
                writable_wanted = true;
            else
                until = std::min(until, out.next_write());
        }
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count() + 1;
        pollfd p{pty.master, static_cast<short>(POLLIN | (writable_wanted ? POLLOUT : 0)), 0};
        ::poll(&p, 1, static_cast<int>(wait < 0 ? 0 : wait > 50 ? 50 : wait));
    }

    std::fprintf(stderr, "ecm-sim: sent %llu frames, %llu messages received (%llu bad), %llu bytes not taken\n",
                 static_cast<unsigned long long>(ecm.frames_sent), static_cast<unsigned long long>(ecm.messages),
                 static_cast<unsigned long long>(ecm.bad_messages), static_cast<unsigned long long>(bytes_lost));
    sim_close(ecm);
    close_pty(pty);
    if (!link.empty())
        ::unlink(link.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    SimOptions opt;
    bool pty_asked = false;
    std::string link;
    std::vector<int> outages = {1500};
    int baud = 115200;
    std::string frame_times, outage_times;
    std::string log_path;
    long log_seconds = -1;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        int64_t n = 0;
        int taken = sim_parse_option(opt, argc, argv, i);
        if (taken < 0)
            return usage("bad value for " + a);
        if (taken > 0)
            continue;
        if (a == "--version") {
            std::printf("ecm-sim %s\n", GLANZO_VERSION);
            return 0;
        } else if (a == "--help") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (a == "--pty") {
            pty_asked = true;
        } else if (a == "--write-log" && i + 1 < argc) {
            log_path = argv[++i];
        } else if (a == "--seconds" && i + 1 < argc) {
            if (!parse_whole_number(argv[++i], 0, 24 * 3600, n))
                return usage("--seconds takes a whole number from 0 to 86400");
            log_seconds = static_cast<long>(n);
        } else if ((a == "--link" || a == "--outage-ms" || a == "--baud" || a == "--frame-times" ||
                    a == "--outage-times") &&
                   i + 1 < argc) {
            if (a == "--frame-times")
                frame_times = argv[++i];
            else if (a == "--outage-times")
                outage_times = argv[++i];
            else if (a == "--link")
                link = argv[++i];
            else if (a == "--outage-ms" ? !parse_outages(argv[++i], outages)
                                        : !parse_whole_number(argv[++i], 0, 100000000, n))
                return usage("bad value for " + a);
            else if (a == "--baud")
                baud = static_cast<int>(n);
        } else {
            return usage("unknown option or missing value: '" + a + "'");
        }
    }
    if (!log_path.empty() && log_seconds >= 0 && !pty_asked)
        return write_log(opt, log_path, log_seconds);
    if (!pty_asked || !log_path.empty() || log_seconds >= 0)
        return usage("either --pty, or --write-log FILE with --seconds S");
    return serve({opt, link, outages, baud, frame_times, outage_times});
}
