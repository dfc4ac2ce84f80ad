// What the harnesses share: a file in memory under a path, a quiet user interface, a scratch
// folder. Each harness is one libFuzzer target over one reader of untrusted bytes.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ui_services.h"

// The input as a regular file with a path (a memory file, rewritten for every input), for the
// readers that take a path.
inline std::string as_file(const uint8_t* data, size_t size, int slot = 0)
{
    static int fds[2] = {-1, -1};
    int& fd = fds[slot];
    if (fd < 0)
        fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        std::abort();
    for (size_t done = 0; done < size;) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

// Message boxes answered with their first button and not shown: the readers' own texts are not
// what is under test, and printing each would slow the run down.
class QuietUi : public UiServices {
public:
    int message_box(const std::string&, const std::string&, unsigned) override { return ID_OK; }
    void beep() override {}
};

inline void install_quiet_ui()
{
    static QuietUi quiet;
    set_ui(&quiet);
}

// A folder of our own for files a harness writes.
inline const std::string& scratch_folder()
{
    static std::string dir = [] {
        char pattern[] = "/tmp/glanzo-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr)
            std::abort();
        return std::string(made);
    }();
    return dir;
}
