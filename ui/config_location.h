// Where a desktop program started without --config keeps its configuration file: beside the
// program when its folder can be written, else in the user's configuration folder for the
// application (~/.config/<application name>), created on first run.
#pragma once

#include <string>

// Needs the application name to be set (QCoreApplication::setApplicationName).
std::string desktop_config_path(const char* file_name);
