#include "link/link_thread.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <system_error>

#include "link/port.h"
#include "link/ring.h"
#include "platform/local_time.h"

LinkState g_link;

namespace {

std::thread link_thread;

// Bytes read from the port but not yet handed on; the loop takes them one at a time so that
// requests, the transmit slot and the ring reset are checked between any two bytes, as if the port
// had been read a byte at a time. Dropped when the port closes.
struct ReadBuffer {
    uint8_t bytes[512];
    int pos = 0;
    int len = 0;
} pending;

enum ReadResult { READ_BYTE, READ_NOTHING, READ_FAILED };

ReadResult read_port_byte(uint8_t& out)
{
    if (pending.pos == pending.len) {
        ssize_t n = ::read(g_port.fd, pending.bytes, sizeof pending.bytes);
        if (n == 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) {
            // A raw line with no minimum count reads 0 when nothing waits; a device that went
            // away (unplugged, the other end closed) says so through poll.
            pollfd p{g_port.fd, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
                return READ_FAILED;
            return READ_NOTHING;
        }
        if (n < 0)
            return READ_FAILED;
        pending.pos = 0;
        pending.len = static_cast<int>(n);
    }
    out = pending.bytes[pending.pos++];
    return READ_BYTE;
}

bool write_port(const uint8_t* bytes, int length)
{
    int done = 0;
    int idle_polls = 0;
    while (done < length) {
        ssize_t n = ::write(g_port.fd, bytes + done, static_cast<size_t>(length - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR) && ++idle_polls < 1000) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        return false;
    }
    return true;
}

// Writes a record and flushes the log; false on a write error. Called with log_lock held.
bool write_record(const std::string& record)
{
    if (g_link.log_file == nullptr)
        return true;   // a request made while no log is open is dropped
    return std::fwrite(record.data(), 1, record.size(), g_link.log_file) == record.size() &&
           std::fflush(g_link.log_file) == 0;
}

// Serves at most one record or flush request. Returns false when the log could not be written.
bool serve_log_requests()
{
    if (g_link.time_request == 0 && g_link.marker_request == 0 && g_link.flush_request == 0)
        return true;
    std::lock_guard<std::mutex> lock(g_link.log_lock);
    bool ok = true;
    if (g_link.time_request != 0) {
        ok = write_record("TIME: " + local_time_text());
        g_link.time_request = 0;
    } else if (g_link.marker_request != 0) {
        char number[16];
        std::snprintf(number, sizeof number, "MARK%03d", g_link.marker_counter++);
        ok = write_record(number + std::string("TIME: ") + local_time_text());
        g_link.marker_request = 0;
    } else {
        ok = g_link.log_file == nullptr || std::fflush(g_link.log_file) == 0;
        g_link.flush_request = 0;
    }
    return ok;
}

// Appends a received byte to the log while logging is on and not paused.
bool log_byte(uint8_t byte)
{
    if (g_link.logging_on == 0 || g_link.logging_paused != 0)
        return true;
    std::lock_guard<std::mutex> lock(g_link.log_lock);
    if (g_link.logging_on == 0 || g_link.log_file == nullptr)
        return true;
    return putc_unlocked(byte, g_link.log_file) != EOF;
}

// Logging stops at the first write error; the handler shows the message and closes the log.
void on_log_write_error()
{
    g_link.logging_on = 0;
    if (void (*handler)() = g_link.on_log_write_error)
        handler();
}

void request_reopen()
{
    g_port.requested = PORT_REOPEN;
    g_port.request_pending.store_release(1);
}

void serve_port_request()
{
    switch (g_port.requested) {
    case PORT_CLOSE:
        close_port();
        pending = ReadBuffer{};
        break;
    case PORT_REOPEN:
        close_port();
        pending = ReadBuffer{};
        g_port.requested = PORT_OPEN;
        [[fallthrough]];
    case PORT_OPEN:
        if (!open_port()) {
            g_port.reopen_delay = REOPEN_FIRST_DELAY_MS;
            reopen_port_with_backoff();
        }
        if (g_port.fd >= 0) {
            g_port.link_running = 1;
            const LinkProfile* profile = g_port.profile;
            void (*start_stream)() = g_port.start_stream;
            if (profile->start_stream_on_open && start_stream != nullptr)
                start_stream();
        }
        break;
    default:
        break;
    }
}

// The transfer loop, while the link runs.
void transfer()
{
    while (g_port.link_running != 0 && g_port.request_pending == 0 && g_link.stop == 0) {
        if (!serve_log_requests())
            on_log_write_error();

        if (int32_t len = g_link.tx_len.load_acquire()) {
            bool ok = write_port(g_link.tx_buf, len);
            g_link.tx_len.store_release(0);
            if (!ok) {
                request_reopen();
                return;
            }
        }

        if (ring_serve_reset())
            continue;

        uint8_t byte;
        ReadResult r = read_port_byte(byte);
        if (r == READ_FAILED) {
            request_reopen();
            return;
        }
        if (r == READ_NOTHING)
            return;
        g_link.bytes_received = g_link.bytes_received + 1;
        // Logged before the ring: a byte the full ring drops is still in the log.
        if (!log_byte(byte))
            on_log_write_error();
        if (!ring_put(byte))
            g_link.bytes_dropped = g_link.bytes_dropped + 1;
        if (pending.pos == pending.len)
            ring_notify();   // the whole batch of one read is in
    }
}

// Waits until the port has bytes, somebody asks for something, or a short while has passed.
// (The loop used to sleep 1 ms a pass; waiting on the device and a wake-up signal answers sooner
// and spends no processor time while the line is quiet.)
void wait_for_work()
{
    if (g_link.time_request != 0 || g_link.marker_request != 0 || g_link.flush_request != 0 ||
        g_link.tx_len != 0 || g_port.request_pending != 0 || pending.pos < pending.len)
        return;
    pollfd fds[2] = {{g_link_wakeup.fd(), POLLIN, 0}, {g_port.fd, POLLIN, 0}};
    int n = g_port.link_running != 0 && g_port.fd >= 0 ? 2 : 1;
    if (::poll(fds, static_cast<nfds_t>(n), 50) > 0 && (fds[0].revents & POLLIN) != 0)
        g_link_wakeup.clear();
}

}  // namespace

int transmit(const uint8_t* bytes, int length)
{
    // The display thread asks for the stream while the window thread may send a bank switch:
    // one sender at a time finds the slot empty and fills it.
    static std::mutex senders;
    std::lock_guard<std::mutex> one_sender(senders);
    if (g_port.link_running == 0 || length > TX_SLOT_BYTES || length < 0 || g_link.tx_len.load_acquire() != 0)
        return -1;
    std::memcpy(g_link.tx_buf, bytes, static_cast<size_t>(length));
    g_link.tx_len.store_release(length);
    wake_link_thread();
    return 0;
}

void set_logging(int on, FILE* log_file)
{
    std::lock_guard<std::mutex> lock(g_link.log_lock);
    g_link.logging_on = on;
    g_link.log_file = log_file;
    g_link.marker_counter = 0;
    g_link.logging_paused = 0;
}

int set_logging_paused(int paused)
{
    int32_t previous = g_link.logging_paused;
    g_link.logging_paused = paused;
    return previous;
}

void request_time_record()
{
    g_link.logging_paused = 0;
    g_link.time_request = 1;
    wake_link_thread();
}

void request_marker_record()
{
    g_link.logging_paused = 0;
    g_link.marker_request = 1;
    wake_link_thread();
}

void request_log_flush()
{
    g_link.flush_request = 1;
    wake_link_thread();
}

void link_thread_main()
{
    while (g_link.stop == 0) {
        // The flag is taken before acting, so a request made while this one is served (during a
        // long back-off, say) is served next instead of being lost.
        if (g_port.request_pending.exchange(0) != 0)
            serve_port_request();
        transfer();
        wait_for_work();
    }
}

int start_link_thread()
{
    g_link.stop = 0;
    g_port.stop = 0;
    // A thread that cannot be created is reported, not thrown through the caller.
    try {
        link_thread = std::thread(link_thread_main);
    } catch (const std::system_error&) {
        return -1;
    }
    return 0;
}

void stop_link_thread()
{
    g_link.stop = 1;
    g_port.stop = 1;
    wake_link_thread();
    if (link_thread.joinable())
        link_thread.join();
    close_port();
    pending = ReadBuffer{};
}

void reset_link()
{
    g_link.tx_len = 0;
    g_link.time_request = 0;
    g_link.marker_request = 0;
    g_link.flush_request = 0;
    set_logging(0, nullptr);
    g_link.stop = 0;
    g_link.bytes_received = 0;
    g_link.bytes_dropped = 0;
    pending = ReadBuffer{};
}
