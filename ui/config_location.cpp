#include "ui/config_location.h"

#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/paths.h"

std::string desktop_config_path(const char* file_name)
{
    QString user = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return config_file_location(program_directory(), user.toLocal8Bit().toStdString(), file_name);
}

void provide_runtime_dir()
{
    const char* set = std::getenv("XDG_RUNTIME_DIR");
    if (set != nullptr && *set != '\0')
        return;
    std::string dir = "/tmp/runtime-" + std::to_string(getuid());
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 0777) == 0700)
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}
