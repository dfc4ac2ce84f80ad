// The update sequence: read and save every bank's calibration, convert each to the version 1.2
// layout, then reprogram every bank that does not yet carry the new firmware with its new
// calibration and the firmware, verifying both. Progress goes through the flash message sink.
#pragma once

#include <string>

// Files in the working directory.
std::string old_bin_name(int bank);   // "Bank_%d_old.bin"
std::string new_bin_name(int bank);   // "Bank_%d_new.bin"

// Puts the protocol and link into the updater's ways (profiles, fixed flash parameters).
void use_updater_profiles();

// 0 on success, -1 on failure (the failure has been reported).
int run_update();
int save_old_calibration(int bank, const std::string& path);
// 0, or -1 with `error` set to the text to show.
int convert_calibration(const std::string& old_path, const std::string& new_path, std::string& error);
int program_updated_bank(int bank);

// "&Bin Update...": checks, remembers and converts a BIN file to its "_new" name.
struct BinUpdateResult {
    int rc;                 // 0 on success
    std::string text;       // the message box to show
    std::string caption;
    std::string new_path;
};
BinUpdateResult bin_update(const std::string& path);
// "dir/my.bin" -> "dir/my_new.bin"; a name without extension gets "bin".
std::string bin_update_name(const std::string& path);
