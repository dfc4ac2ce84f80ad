// ZOV_J8Update's configuration file, ZOV_J8Update.cfg beside the updater: the same format, reader
// and writer as GlanzoFlash's, with a key table of its own.
#pragma once

#include <span>
#include <string>

#include "config/config_file.h"
#include "platform/shared_word.h"

struct UpdaterSettings {
    std::string port;                            // [PORT]
    Shared<int32_t> xposhwnd, yposhwnd;          // [XPOSHWND] [YPOSHWND]; -1 = centred
    std::string flshbin, flshbinfile, flshbinpath;   // last BIN file of "&Bin Update..."
};

extern UpdaterSettings g_updater_settings;

std::span<const ConfigKey> updater_config_keys();
void reset_updater_settings();

const std::string& updater_config_path();
void set_updater_config_path(const std::string& path);
int load_updater_config();
int save_updater_config();

constexpr const char* UPDATER_CONFIG_FILE_NAME = "ZOV_J8Update.cfg";
