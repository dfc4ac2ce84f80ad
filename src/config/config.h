// GlanzoFlash's configuration file, ZOV_J8_Glanzo.cfg beside the program.
#pragma once

#include <cstdio>
#include <span>
#include <string>

#include "config/config_file.h"

// The key table, in the order of the lines of every written file (259 keys).
std::span<const ConfigKey> glanzo_config_keys();

// Path of the configuration file: beside the program unless set (--config FILE).
const std::string& config_path();
void set_config_path(const std::string& path);
// Runs without a configuration file: loads and saves do nothing (glanzo-cli without --config).
void disable_config_file();

// Reads the configuration file into g_settings, then derives the frame-skip code, clears the
// trip totals unless [SAVETRIP] is 1 and asks for a repaint. Returns 0, or -1 when the file could
// be neither read nor created (the message box has been shown).
int load_config();
// Writes every setting to the configuration file. Returns 0, or -1 (message box shown).
int save_config();
// Writes every setting to `out` as the configuration file holds them (also the data log header).
int write_config_lines(FILE* out);

constexpr const char* CONFIG_FILE_NAME = "ZOV_J8_Glanzo.cfg";
