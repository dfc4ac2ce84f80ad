#include "ui/config_location.h"

#include <QStandardPaths>

#include "platform/paths.h"

std::string desktop_config_path(const char* file_name)
{
    QString user = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return config_file_location(program_directory(), user.toLocal8Bit().toStdString(), file_name);
}
