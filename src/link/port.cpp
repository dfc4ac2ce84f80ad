#include "link/port.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "link/link_wakeup.h"
#include "platform/files.h"
#include "platform/sleep.h"
#include "platform/ui_services.h"

PortState g_port;

namespace {

// Sleeps in short steps, returning early when the program stops.
void sleep_unless_stopping(int ms)
{
    for (int waited = 0; waited < ms && g_port.stop == 0 && g_port.request_pending == 0; waited += 10)
        sleep_ms(ms - waited < 10 ? ms - waited : 10);
}

std::string current_path()
{
    std::lock_guard<std::mutex> lock(g_port.path_lock);
    return g_port.device_path;
}

// Records why `path` did not open, and tells the user the first time a refusal they can put
// right comes from that device: the back-off retries every few seconds, and a message at each
// one would bury the window.
void note_open_failure(const std::string& path, int error)
{
    g_port.open_error = error;
    void (*tell)(const std::string&) = g_port.on_open_refused;
    if (!open_error_remediable(error) || tell == nullptr)
        return;
    std::string key = path + "\n" + std::to_string(error == EPERM ? EACCES : error);
    std::vector<std::string>& told = g_port.refusals_told;
    if (std::find(told.begin(), told.end(), key) != told.end())
        return;
    told.push_back(key);
    tell(port_open_error_text(path, error));
}

void note_open_success(const std::string& path)
{
    g_port.open_error = 0;
    std::vector<std::string>& told = g_port.refusals_told;
    told.erase(std::remove_if(told.begin(), told.end(),
                              [&](const std::string& key) { return key.compare(0, path.size() + 1, path + "\n") == 0; }),
               told.end());
}

}  // namespace

std::string device_path_for(const std::string& port_name)
{
    if (port_name.empty())
        return {};
    if (port_name[0] == '/')
        return port_name;
    if (port_name.size() > 3 && port_name.compare(0, 3, "COM") == 0) {
        int n = 0;
        size_t i = 3;
        for (; i < port_name.size() && port_name[i] >= '0' && port_name[i] <= '9' && n < 10000; ++i)
            n = n * 10 + (port_name[i] - '0');
        if (i == port_name.size() && n >= 1)
            return "/dev/ttyS" + std::to_string(n - 1);
    }
    return "/dev/" + port_name;
}

bool open_error_remediable(int error) { return error == EACCES || error == EPERM || error == EBUSY; }

std::string port_open_error_text(const std::string& device, int error)
{
    std::string text = "cannot open " + device + ": ";
    if (error == EACCES || error == EPERM)
        return text + "permission denied; add your user to the dialout group: sudo usermod -aG dialout $USER, "
                      "then log in again";
    if (error == EBUSY)
        return text + "another program has it open; close that program first";
    return text + file_error_text(error);
}

void show_port_refusal(const std::string& text)
{
    std::string sentence = text;
    if (!sentence.empty() && sentence[0] >= 'a' && sentence[0] <= 'z')
        sentence[0] = static_cast<char>(sentence[0] - 'a' + 'A');
    ui().message_box(sentence, "Serial Port", MB_OK | MB_ICONEXCLAMATION);
}

int32_t next_reopen_delay(const LinkProfile& profile, int32_t delay_ms)
{
    int32_t next = delay_ms * 2;
    if (next > profile.longest_delay_ms)
        next = profile.delay_starts_over ? REOPEN_FIRST_DELAY_MS : profile.longest_delay_ms;
    return next;
}

int configure_port()
{
    int fd = g_port.fd;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return 0;
    // Raw 8N1 at 115200: no parity, no flow control of either kind, no character translation,
    // reads return at once with whatever is waiting.
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return 0;
    // DTR and RTS asserted. A pseudo-terminal has no modem lines and refuses; that is no failure.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIS, &lines);
    return 1;
}

int open_port()
{
    if (g_port.fd >= 0) {
        close_port();
        sleep_ms(125);
    }
    std::string path = current_path();
    if (path.empty())
        return 0;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        note_open_failure(path, errno);
        return 0;
    }
    note_open_success(path);
    g_port.fd = fd;
    // Nobody else may open the device while we hold it.
    if (ioctl(fd, TIOCEXCL) != 0)
        return 0;   // the handle stays open, as with any later configuration failure
    if (!configure_port())
        return 0;
    tcflush(fd, TCIOFLUSH);
    show_port_state(1);
    return 1;
}

void close_port()
{
    int fd = g_port.fd;
    if (fd >= 0) {
        g_port.fd = -1;
        ::close(fd);
    }
    show_port_state(0);
}

void reopen_port_with_backoff()
{
    int fd = g_port.fd;
    if (fd >= 0) {
        g_port.fd = -1;
        ::close(fd);
    }
    sleep_unless_stopping(REOPEN_FIRST_DELAY_MS);
    // A new request ends the attempts too: a close asked for during a long outage is served
    // instead of waiting for the device to come back.
    while (g_port.stop == 0 && g_port.request_pending == 0) {
        if (open_port() || g_port.fd >= 0)
            return;   // an opened but unconfigured device is kept as well
        const LinkProfile* profile = g_port.profile;
        g_port.reopen_delay = next_reopen_delay(*profile, g_port.reopen_delay);
        sleep_unless_stopping(g_port.reopen_delay);
    }
}

int request_port_state(int32_t state, const char* port_name)
{
    const LinkProfile* profile = g_port.profile;
    void (*stop_stream)() = g_port.stop_stream;
    if (profile->stop_stream_before_reopen && state != PORT_OPEN && g_port.fd >= 0 && stop_stream != nullptr) {
        stop_stream();   // so that the ECM stops streaming before the port goes
        sleep_ms(100);
    }
    g_port.link_running = 0;
    {
        std::lock_guard<std::mutex> lock(g_port.path_lock);
        g_port.device_path = port_name ? device_path_for(port_name) : std::string();
    }
    g_port.requested = state;
    g_port.request_pending.store_release(1);
    wake_link_thread();
    return 0;
}

void show_port_state(int open)
{
    g_port.indicator = open;
    if (void (*draw)(int) = g_port.on_port_state)
        draw(open);
}

bool port_is_open() { return g_port.fd >= 0; }

void reset_port()
{
    int fd = g_port.fd;
    if (fd >= 0)
        ::close(fd);
    g_port.fd = -1;
    {
        std::lock_guard<std::mutex> lock(g_port.path_lock);
        g_port.device_path.clear();
    }
    g_port.requested = PORT_CLOSE;
    g_port.request_pending = 0;
    g_port.link_running = 0;
    g_port.reopen_delay = REOPEN_FIRST_DELAY_MS;
    g_port.indicator = 0;
    g_port.on_port_state = nullptr;
    g_port.profile = &MAIN_LINK;
    g_port.stop = 0;
    g_port.open_error = 0;
    g_port.refusals_told.clear();
}
