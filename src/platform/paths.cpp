#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

std::string program_directory()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string exe(buf, static_cast<size_t>(n));
    std::string dir = directory_part(exe);
    return dir.empty() ? std::string("/") : dir;
}

std::string directory_part(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string file_name_part(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folder_part(const std::string& path)
{
    std::string dir = directory_part(path);
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

FILE* open_regular_file(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return nullptr;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}
