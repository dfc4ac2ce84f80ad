#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/paths.h"

namespace {

constexpr int MAX_LINKS = 40;   // as the kernel allows in one path

// Numbers the new files of this process, so that two writers never share one.
std::atomic<unsigned> replacement_count{0};

}  // namespace

std::string file_error_text(int error)
{
    return error == NOT_A_REGULAR_FILE ? "not a regular file" : std::strerror(error);
}

FILE* open_regular_file(const std::string& path)
{
    // Non-blocking, so that a pipe with no writer does not hold us; cleared again below.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : NOT_A_REGULAR_FILE;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* f = ::fdopen(fd, "rb");
    if (f == nullptr)
        ::close(fd);
    return f;
}

bool regular_file_readable(const std::string& path)
{
    FILE* f = open_regular_file(path);
    if (f == nullptr)
        return false;
    std::fclose(f);
    return true;
}

int resolve_write_target(const std::string& path, std::string& target)
{
    target = path;
    for (int links = 0; links <= MAX_LINKS; ++links) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0)
            return errno == ENOENT ? 0 : -1;   // a new file (its folder is the opener's business)
        if (S_ISREG(st.st_mode))
            return 0;
        if (!S_ISLNK(st.st_mode)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : NOT_A_REGULAR_FILE;
            return -1;
        }
        char buf[4096];
        ssize_t n = ::readlink(target.c_str(), buf, sizeof buf);
        if (n < 0)
            return -1;
        if (n == static_cast<ssize_t>(sizeof buf)) {
            errno = ENAMETOOLONG;
            return -1;
        }
        std::string next(buf, static_cast<size_t>(n));
        // A relative link is read from the folder that holds it.
        if (next.empty() || next[0] != '/') {
            std::string folder = directory_part(target);
            next = folder.empty() ? next : (folder == "/" ? "/" : folder + "/") + next;
        }
        target = next;
    }
    errno = ELOOP;
    return -1;
}

ReplacingFile::ReplacingFile(const std::string& path)
{
    if (resolve_write_target(path, target_) != 0)
        return;
    struct stat existing;
    bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && ::access(target_.c_str(), W_OK) != 0)
        return;   // errno from access: a read-only file stays read-only

    std::string temp = target_ + "." + std::to_string(::getpid()) + "-" +
                       std::to_string(replacement_count.fetch_add(1)) + ".new";
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (!exists || (errno != EACCES && errno != EPERM))
            return;
        // A folder we may not create files in, but a file we may write: write it in place.
        file_ = std::fopen(target_.c_str(), "w+b");
        return;
    }
    if (exists)
        (void)::fchmod(fd, existing.st_mode & 07777);
    file_ = ::fdopen(fd, "w+b");
    if (file_ == nullptr) {
        int error = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        errno = error;
        return;
    }
    temp_ = temp;
}

ReplacingFile::~ReplacingFile()
{
    if (file_ != nullptr)
        std::fclose(file_);
    if (!temp_.empty())
        ::unlink(temp_.c_str());
}

int ReplacingFile::commit()
{
    if (file_ == nullptr)
        return -1;
    bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (temp_.empty())
        return ok ? 0 : -1;
    ok = ok && std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (ok)
        temp_.clear();
    return ok ? 0 : -1;
}

long file_size_rewound(FILE* f)
{
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::rewind(f);
    return size < 0 ? 0 : size;
}

bool read_text_lines(const std::string& path, long max_bytes, size_t max_line,
                     const std::function<void(std::string& line)>& take)
{
    FILE* f = open_regular_file(path);
    if (f == nullptr)
        return false;
    std::string line;
    long read = 0;
    int c;
    while ((c = std::fgetc(f)) != EOF && ++read <= max_bytes) {
        if (c == '\n') {
            take(line);
            line.clear();
        } else if (line.size() <= max_line) {
            line.push_back(static_cast<char>(c));
        }
    }
    take(line);
    std::fclose(f);
    return true;
}

int write_text_file(const std::string& path, const std::string& text)
{
    ReplacingFile out(path);
    if (out.get() == nullptr || std::fwrite(text.data(), 1, text.size(), out.get()) != text.size())
        return -1;
    return out.commit();
}
