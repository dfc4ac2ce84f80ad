// What the harnesses share: a quiet user interface, a scratch folder in memory, the input as a
// file there, an empty file in memory. Each harness is one libFuzzer target over one reader of
// untrusted bytes.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/ui_services.h"

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

// An empty file in memory, open for reading and writing, for a reader that writes a FILE*.
inline FILE* memory_file()
{
    int fd = memfd_create("fuzz-output", MFD_CLOEXEC);
    FILE* f = fd < 0 ? nullptr : fdopen(fd, "w+b");
    if (f == nullptr)
        std::abort();
    return f;
}

// A folder of our own for files a harness writes: in /dev/shm when there is one, so that a file
// written and renamed for every input costs no disk work. It is removed when the run ends.
inline const char* scratch_folder()
{
    static char dir[] = "/dev/shm/glanzo-fuzz-XXXXXX";   // no destructor: still there at exit
    static const char* made = [] {
        const char* m = mkdtemp(dir);
        if (m == nullptr) {
            std::memcpy(dir, "/tmp/glanzo-fuzz-XXXXXX", sizeof "/tmp/glanzo-fuzz-XXXXXX");
            m = mkdtemp(dir);
        }
        if (m == nullptr)
            std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        });
        return m;
    }();
    return made;
}

// The input as a regular file with a path (in the scratch folder, rewritten for every input),
// for the readers that take a path.
inline const std::string& as_file(const uint8_t* data, size_t size)
{
    static const std::string path = std::string(scratch_folder()) + "/input";
    static const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        std::abort();
    for (size_t done = 0; done < size;) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    return path;
}
