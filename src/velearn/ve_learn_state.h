// VE learning: the learn run, the per-frame learning step into a fine grid of samples, the cell
// corrections worked out from it once a second, and the VE table inside calibration BIN files.
//
// Threading: the learning step, the periodic save and the once-a-second recompute run on the
// display thread; start, stop, clearing and the VE display's repaints run on the window thread.
// `active` says whether frames are learned; stop clears it and waits 100 ms before it takes the
// table to write, leaving the display thread time to finish the frame it is learning. The tables,
// the fine grids and the overflow text are read and written under `tables_lock` (the recompute
// runs once a second whether or not a run is active, so a start on the window thread meets it).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/shared_word.h"
#include "stream/frame.h"
#include "velearn/ve_table.h"

constexpr int FINE_ROWS = 288;   // 25 RPM a row below 6000 RPM, 31.25 RPM from there
constexpr int FINE_COLS = 81;    // one kPa a column, 20..100 kPa

using FineGrid = std::array<std::array<uint32_t, FINE_COLS>, FINE_ROWS>;

struct VeLearnState {
    // A run is on. Starting publishes the paths and serial below with a release store; the
    // display thread's autosave reads them after an acquire load.
    Shared<int16_t> active{0};
    // Held while the run's BIN is written, by the display thread's autosave and by stop on the
    // window thread: stop waits for a save under way, and no save starts once the run is off.
    std::mutex save_lock;

    // Paths of the run (also in [LEARNVE]... and [NEWVE]...).
    std::string source_path, source_name, source_dir;
    std::string new_path, new_name, new_dir;
    int32_t serial = 0;              // the source BIN's serial number

    Shared<int32_t> hold_off{0};     // frames still to skip after an enrichment event
    Shared<int32_t> previous_map{0}, previous_throttle{0};
    Shared<int32_t> sample_taken{0};
    Shared<int32_t> blm_not_128{0};
    // The last frame's fine-grid row and column and its whole-kPa MAP (the VE display's live cell).
    Shared<int32_t> fine_row{0}, fine_col{0}, map_kpa{0};
    Shared<int32_t> redraw_frames{0}, recompute_frames{0};
    std::mutex tables_lock;
    // "Overflow on VE:" and the last overflowing cell's axis values; the first is emptied at the
    // start of every recompute.
    char overflow[3][24] = {};

    VeTable original_ve{};
    VeTable learned_ve{};
    VeTable ve_corrections{};
    FineGrid sample_value{};
    FineGrid sample_count{};

    // Repaints the VE display in the window (when it is shown); none without a window.
    Shared<void (*)()> repaint_display{nullptr};
    // Menu states follow the run; none without a window.
    Shared<void (*)()> on_change{nullptr};
};

extern VeLearnState g_ve_learn;

// Learn gain by learning input: BLM, wideband.
constexpr double LEARN_GAIN[2] = {0.66667, 1.0};

// The learning step for one frame; `draw` is 1 while the VE display is shown. Returns 0.
void ve_learn_update(const FrameRecord& frame, int draw);
// Corrections and learned cells from the fine grid.
void recompute_learned_ve();
// The weighted fine-grid value around one table cell, or 0 when fewer than 15 weighted samples.
uint32_t neighbourhood_average(int rpm, int map_kpa);
// A copy of learned_ve, taken under the lock.
VeTable learned_ve_copy();
// learned = original, corrections and fine grids cleared, BLM-not-at-128 flag cleared.
void reset_ve_learn();

// The BIN serial number (0..65535), -1 when the file cannot be opened, -2 when it is not a
// calibration BIN (the message has then been shown).
int32_t check_bin_signature(const std::string& path);
// Fills original_ve from a BIN; 0, or -1.
int read_bin_ve_table(const std::string& path);
// Smooths learned_ve (when [SMOOTHFAC] > 0) and writes it into new_path, created from
// source_path when missing, with serial + 1 and a fresh checksum; 0, or -1. A smoother error is
// shown at once, or, given `smoother_error`, left there (0 for none) for the caller to show later
// with show_smoother_error.
int write_bin_ve_table(const std::string& source_path, const std::string& new_path, int32_t serial,
                       int* smoother_error = nullptr);
void show_smoother_error(int error);

// The new BIN name proposed for a source BIN: its base without a trailing "_digits", then
// "_%05d" of serial + 1, then its extension (".bin" without one).
std::string propose_new_bin_name(const std::string& source_name, int32_t serial);
// The save-as name as the learn run keeps it: a trailing dot goes, no extension gets ".bin".
std::string normalise_new_bin_path(const std::string& path);

// Starts a learn run from `source` into `new_bin` (the paths the two file dialogs chose).
// Returns 0, or -1 when it did not start (the message has been shown).
int start_ve_learn(const std::string& source, const std::string& new_bin);
// The two file dialogs of a learn run: the BIN to learn from (checked, its serial number in
// `serial`) and the new BIN to write. 0 with both paths, 1 when the user cancelled, -1 when the
// source is no BIN (the message has been shown).
int choose_learn_bins(std::string& source, std::string& target, int32_t& serial);
// The File menu's "&Learn VE...": both file dialogs, then start_ve_learn. 1 when cancelled.
int choose_and_start_ve_learn();
// Ends the run and writes the new BIN. Returns write_bin_ve_table's result (0 when not active).
int stop_ve_learn();
// The periodic save: write, re-read as the new original, restart accumulation.
void autosave_ve_learn();

// Back to program start (tests).
void reset_ve_learn_state();
