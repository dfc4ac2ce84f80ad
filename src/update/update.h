// The update sequence: read and save every bank's calibration, convert each to the version 1.2
// layout, then reprogram every bank that does not yet carry the new firmware with its new
// calibration and the firmware, verifying both. Progress goes through the flash message sink.
#pragma once

#include <cstdint>
#include <string>

#include "platform/shared_word.h"

// The update run's state.
//
// Threading: `running` is set by the window thread when it starts the update thread
// (update_thread.h) and cleared by that thread as its last act. `stop_request` is set by the
// window thread (its window is closing) and read by the sequence on the update thread at the
// points where no bank is half-done: before each bank is read, converted or erased and
// programmed. A run stopped there ends as a failed run does, with "Update Stopped" in the error
// colour. `on_finished` is called by the update thread when it ends; it only hands work over to
// the window thread.
struct UpdateState {
    Shared<int32_t> running{0};
    Shared<int32_t> stop_request{0};
    Shared<void (*)(int rc)> on_finished{nullptr};   // rc: 0 after a successful update
};

extern UpdateState g_update;

// Files in the working directory.
std::string old_bin_name(int bank);   // "Bank_%d_old.bin"
std::string new_bin_name(int bank);   // "Bank_%d_new.bin"

// Puts the protocol and link into the updater's ways (profiles, fixed flash parameters).
void use_updater_profiles();

// 0 on success, -1 on failure (the failure has been reported).
int run_update();
// Runs the update and ends its lines as the window does: an empty line, then "-Update
// Successful-" or "-Update Failed-". 0 on success, -1 on failure.
int run_update_and_report();
int save_old_calibration(int bank, const std::string& path);
// 0, or -1 with `error` set to the text to show.
int convert_calibration(const std::string& old_path, const std::string& new_path, std::string& error);
int program_updated_bank(int bank);

// "&Bin Update...": checks, remembers and converts a BIN file to its "_new" name.
enum BinUpdateStatus : int {
    BIN_UPDATE_DONE = 0,
    BIN_UPDATE_NO_FILE = -1,     // cannot be opened
    BIN_UPDATE_NOT_BIN = -2,     // fails the BIN check: the window asks for another file
    BIN_UPDATE_FAILED = -3,      // the conversion failed
};
struct BinUpdateResult {
    int rc;                 // a BinUpdateStatus
    std::string text;       // the message box to show
    std::string caption;
    std::string new_path;
};
BinUpdateResult bin_update(const std::string& path);
// "dir/my.bin" -> "dir/my_new.bin"; a name without extension gets "bin".
std::string bin_update_name(const std::string& path);
