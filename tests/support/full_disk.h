// A folder on a disk that fills up, for tests of what writers do when the disk is full.
//
// Where the system lets us mount (root, or a mount namespace), the folder is a small tmpfs of its
// own and fill() leaves just the room asked for. Elsewhere a file size limit stands in: fill()
// then makes any file of this process and its children fail to grow past `room` bytes, as a full
// disk would (the limit's signal is ignored, so writes fail with an error instead).
#pragma once

#include <sys/resource.h>

#include <cstddef>
#include <string>

class FullDisk {
public:
    FullDisk();
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    const std::string& folder() const { return folder_; }
    bool mounted() const { return mounted_; }
    // From now on about `room` more bytes fit (a tmpfs counts whole pages).
    void fill(size_t room);
    // Room again, as on another disk: the limit goes, the filler is removed.
    void empty();

private:
    std::string folder_;
    bool mounted_ = false;
    bool limited_ = false;
    rlimit saved_limit_{};
};
