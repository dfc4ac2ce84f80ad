#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::string config_file_location(const std::string& program_folder, const std::string& user_folder,
                                 const std::string& file_name)
{
    bool slash = !program_folder.empty() && program_folder.back() == '/';
    std::string beside = program_folder + (slash ? "" : "/") + file_name;
    if (access(program_folder.c_str(), W_OK) == 0 || user_folder.empty() || make_folders(user_folder) != 0)
        return beside;
    return user_folder + (user_folder.back() != '/' ? "/" : "") + file_name;
}

int make_folders(const std::string& folder)
{
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        std::string part = folder.substr(0, end);
        if (!part.empty() && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return -1;
        if (end == std::string::npos)
            break;
    }
    struct stat st;
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : -1;
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
