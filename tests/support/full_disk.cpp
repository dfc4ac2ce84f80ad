#include "support/full_disk.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <vector>

#include "support/log_builder.h"

namespace {

int folders_made = 0;

}  // namespace

FullDisk::FullDisk()
{
    folder_ = temp_dir() + "/full-disk-" + std::to_string(getpid()) + "-" + std::to_string(folders_made++);
    ::mkdir(folder_.c_str(), 0755);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m") == 0;
}

FullDisk::~FullDisk()
{
    empty();
    if (mounted_)
        ::umount2(folder_.c_str(), MNT_DETACH);
}

void FullDisk::fill(size_t room)
{
    if (mounted_) {
        struct statvfs vfs;
        if (::statvfs(folder_.c_str(), &vfs) != 0)
            return;
        size_t block = vfs.f_bsize;
        size_t free_bytes = static_cast<size_t>(vfs.f_bavail) * block;
        size_t keep = (room + block - 1) / block * block;
        if (free_bytes <= keep)
            return;
        std::vector<char> filler(free_bytes - keep, 'x');
        FILE* f = std::fopen((folder_ + "/.filler").c_str(), "ab");
        if (f != nullptr) {
            std::fwrite(filler.data(), 1, filler.size(), f);
            std::fclose(f);
        }
        return;
    }
    if (!limited_) {
        ::getrlimit(RLIMIT_FSIZE, &saved_limit_);
        std::signal(SIGXFSZ, SIG_IGN);
        limited_ = true;
    }
    rlimit limit = saved_limit_;
    limit.rlim_cur = room;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

void FullDisk::empty()
{
    if (mounted_)
        std::remove((folder_ + "/.filler").c_str());
    if (limited_) {
        ::setrlimit(RLIMIT_FSIZE, &saved_limit_);
        std::signal(SIGXFSZ, SIG_DFL);
        limited_ = false;
    }
}
