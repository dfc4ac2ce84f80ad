// Where a desktop program started without --config keeps its configuration file: beside the
// program when its folder can be written, else in the user's configuration folder for the
// application (~/.config/<application name>), created on first run.
#pragma once

#include <string>

// Needs the application name to be set (QCoreApplication::setApplicationName).
std::string desktop_config_path(const char* file_name);

// Started outside a desktop session (a script, a service, a test run), a program has no
// XDG_RUNTIME_DIR and the toolkit says so on stderr before anything of ours, which would make a
// failure two lines. This names a private folder for it (/tmp/runtime-UID, made with mode 0700,
// used only when it is a folder of ours with that mode), as the toolkit would fall back to anyway.
// Call before the application object exists.
void provide_runtime_dir();
