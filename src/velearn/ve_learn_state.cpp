#include "velearn/ve_learn_state.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "platform/paths.h"
#include "platform/ui_services.h"
#include "stream/display_thread.h"

VeLearnState g_ve_learn;

namespace {

// Neighbourhood weights: table A (9 x 9) below 3600 RPM, table B (17 x 9) from there.
constexpr uint32_t WEIGHTS_A[9][9] = {
    {1, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 2, 2, 2, 2, 2, 2, 2, 1}, {1, 2, 3, 3, 3, 3, 3, 2, 1},
    {1, 2, 3, 4, 4, 4, 3, 2, 1}, {1, 2, 3, 4, 5, 4, 3, 2, 1}, {1, 2, 3, 4, 4, 4, 3, 2, 1},
    {1, 2, 3, 3, 3, 3, 3, 2, 1}, {1, 2, 2, 2, 2, 2, 2, 2, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1},
};
constexpr uint32_t WEIGHTS_B[17][9] = {
    {1, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 2, 2, 2, 2, 2, 2, 2, 1},
    {1, 2, 2, 2, 2, 2, 2, 2, 1}, {1, 2, 3, 3, 3, 3, 3, 2, 1}, {1, 2, 3, 3, 3, 3, 3, 2, 1},
    {1, 2, 3, 4, 4, 4, 3, 2, 1}, {1, 2, 3, 4, 4, 4, 3, 2, 1}, {1, 2, 3, 4, 5, 4, 3, 2, 1},
    {1, 2, 3, 4, 4, 4, 3, 2, 1}, {1, 2, 3, 4, 4, 4, 3, 2, 1}, {1, 2, 3, 3, 3, 3, 3, 2, 1},
    {1, 2, 3, 3, 3, 3, 3, 2, 1}, {1, 2, 2, 2, 2, 2, 2, 2, 1}, {1, 2, 2, 2, 2, 2, 2, 2, 1},
    {1, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1},
};

constexpr int HOLD_OFF_FRAMES = 34;
constexpr int MIN_WEIGHTED_SAMPLES = 15;

void changed()
{
    if (void (*notify)() = g_ve_learn.on_change)
        notify();
}

void info(const char* text, const char* caption) { ui().message_box(text, caption, MB_OK | MB_ICONINFORMATION | MB_TOPMOST); }

}  // namespace

VeTable empty_ve_table()
{
    VeTable t{};
    for (int j = 1; j <= VE_COLS; ++j)
        t[0][j] = static_cast<uint32_t>(VE_MAP_AXIS[j - 1]);
    for (int i = 1; i <= VE_ROWS; ++i)
        t[i][0] = static_cast<uint32_t>(VE_RPM_AXIS[i - 1]);
    return t;
}

void ve_learn_update(const FrameRecord& f, int draw)
{
    VeLearnState& v = g_ve_learn;
    int map = std::min(static_cast<int>(map_load_kpa(f.u8(F_MAP_LOAD)) + 0.5), 100);
    int throttle = static_cast<int>(tps_percent(f.u8(F_TPS)) + 0.5);
    int column = std::max(map - 20, 0);
    int speed_byte = f.u8(F_RPM_25);
    int row = speed_byte >= 240 ? f.u8(F_RPM_31_25) + 32 : std::max(speed_byte - 16, 0);
    v.fine_row = row;
    v.fine_col = column;
    v.map_kpa = map;
    v.sample_taken = 0;

    if (g_display.engine_running != 0 && v.active != 0) {
        // Each condition either rejects the frame (it still becomes the previous one), skips it
        // (the previous one stays), or lets it through with a sample or none.
        enum { REJECT, SKIP, TAKE, NO_SAMPLE } verdict = TAKE;
        uint32_t sample = 0;
        double coolant = temperature_on_scale(f.u8(F_CTS), g_settings.temperscale);
        if (coolant < g_settings.lrnlwr || coolant > g_settings.lrnupr) {
            verdict = REJECT;
        } else if (flag(f, FLAG_AE) || flag(f, FLAG_DE)) {
            v.hold_off = HOLD_OFF_FRAMES;
            verdict = REJECT;
        } else if (v.hold_off > 0) {
            v.hold_off = v.hold_off - 1;
            verdict = REJECT;
        } else if (std::abs(map - v.previous_map) > 5 || std::abs(throttle - v.previous_throttle) > 5 || map < 20 ||
                   speed_byte * 25 < 400) {
            verdict = REJECT;
        } else if ((g_display.map_bar == 2 || g_display.map_bar == 3) && f.u8(F_BOOST_COUNT) != 0) {
            verdict = SKIP;
        } else if (g_settings.lrninp == 0) {
            int blm = f.u8(F_BLM), integrator = f.u8(F_INTEGRATOR);
            if (!flag(f, FLAG_BLM_LEARN))
                verdict = REJECT;
            else if ((blm > 128 && integrator < 124) || (blm < 128 && integrator > 132))
                verdict = SKIP;
            else
                sample = static_cast<uint32_t>(blm);
        } else if (g_settings.lrninp == 1) {
            int commanded = f.u8(F_AFR);
            if (flag(f, FLAG_CLOSED_LOOP)) {
                verdict = REJECT;
            } else if (f.u8(F_BLM) != 128) {
                v.blm_not_128 = 1;
                verdict = REJECT;
            } else if (commanded == 0) {
                verdict = NO_SAMPLE;
            } else {
                double ratio = static_cast<double>(g_adc.current_wb_afr) / (commanded / 10.0) * 128 + 0.5;
                sample = ratio > 0 ? static_cast<uint32_t>(ratio) : 0;
            }
        } else {
            verdict = NO_SAMPLE;
        }

        if (verdict == TAKE) {
            std::lock_guard<std::mutex> lock(v.tables_lock);
            uint32_t& value = v.sample_value[row][column];
            value = value == 0 ? sample : (value + sample) / 2;
            v.sample_count[row][column] += 1;
        }
        if (verdict == TAKE || verdict == NO_SAMPLE)
            v.sample_taken = 1;
        if (verdict != SKIP) {
            v.previous_map = map;
            v.previous_throttle = throttle;
        }
    }

    int32_t redraw = v.redraw_frames + 1;
    if (redraw > g_settings.frame_skip_code && draw == 1) {
        v.redraw_frames = 0;
        if (void (*repaint)() = v.repaint_display)
            repaint();
        return;
    }
    v.redraw_frames = redraw;
    int32_t recompute = v.recompute_frames + 1;
    if (recompute >= 17) {
        recompute = 0;
        recompute_learned_ve();
    }
    v.recompute_frames = recompute;
}

namespace {

uint32_t average_locked(int rpm, int kpa);

}  // namespace

uint32_t neighbourhood_average(int rpm, int kpa)
{
    std::lock_guard<std::mutex> lock(g_ve_learn.tables_lock);
    return average_locked(rpm, kpa);
}

VeTable learned_ve_copy()
{
    std::lock_guard<std::mutex> lock(g_ve_learn.tables_lock);
    return g_ve_learn.learned_ve;
}

namespace {

uint32_t average_locked(int rpm, int kpa)
{
    const VeLearnState& v = g_ve_learn;
    int r0 = rpm >= 6000 ? static_cast<int>((rpm - 6000) / 31.25) + 224 : (rpm - 400) / 25;
    int c0 = kpa - 20;
    // Row window and weight rows by speed, column window and weight columns by pressure.
    int half_rows = rpm < 2000 ? 2 : rpm < 3600 ? 4 : 8;
    int first_weight_row = rpm < 2000 ? 2 : 0;
    const uint32_t(*weights)[9] = rpm < 3600 ? WEIGHTS_A : WEIGHTS_B;
    int half_cols = kpa < 70 ? 2 : 4;
    int first_weight_col = kpa < 70 ? 2 : 0;

    uint32_t w_sum = 0, v_sum = 0, n_sum = 0;
    for (int dr = -half_rows; dr <= half_rows; ++dr) {
        int r = r0 + dr;
        if (r < 0 || r >= FINE_ROWS)
            continue;
        for (int dc = -half_cols; dc <= half_cols; ++dc) {
            int c = c0 + dc;
            if (c < 0 || c >= FINE_COLS || v.sample_value[r][c] == 0)
                continue;
            uint32_t w = weights[first_weight_row + dr + half_rows][first_weight_col + dc + half_cols];
            w_sum += w;
            v_sum += v.sample_value[r][c] * w;
            n_sum += v.sample_count[r][c] * w;
        }
    }
    if (w_sum == 0 || n_sum < MIN_WEIGHTED_SAMPLES)
        return 0;
    return v_sum / w_sum;
}

}  // namespace

void recompute_learned_ve()
{
    VeLearnState& v = g_ve_learn;
    std::lock_guard<std::mutex> lock(v.tables_lock);
    v.overflow[0][0] = '\0';
    int input = g_settings.lrninp == 1 ? 1 : 0;
    for (int i = 1; i <= VE_ROWS; ++i) {
        for (int j = 1; j <= VE_COLS; ++j) {
            int rpm = VE_RPM_AXIS[i - 1], kpa = VE_MAP_AXIS[j - 1];
            uint32_t avg = average_locked(rpm, kpa);
            if (avg == 0)
                continue;
            int c = static_cast<int>((static_cast<double>(avg) - 128) * LEARN_GAIN[input] + 128);
            c = std::clamp(c, 112, 144);
            v.ve_corrections[i][j] = static_cast<uint32_t>(c);
            uint32_t cell = static_cast<uint32_t>(c) * v.original_ve[i][j] / 128;
            if (cell > 255) {
                std::snprintf(v.overflow[0], sizeof v.overflow[0], "Overflow on VE:");
                std::snprintf(v.overflow[1], sizeof v.overflow[1], "%d RPM   ", rpm);
                std::snprintf(v.overflow[2], sizeof v.overflow[2], "%d KPa   ", kpa);
                cell = 255;
            }
            v.learned_ve[i][j] = cell;
        }
    }
}

void reset_ve_learn()
{
    VeLearnState& v = g_ve_learn;
    std::lock_guard<std::mutex> lock(v.tables_lock);
    for (int i = 1; i <= VE_ROWS; ++i)
        for (int j = 1; j <= VE_COLS; ++j) {
            v.learned_ve[i][j] = v.original_ve[i][j];
            v.ve_corrections[i][j] = 0;
        }
    for (auto& row : v.sample_value)
        row.fill(0);
    for (auto& row : v.sample_count)
        row.fill(0);
    v.blm_not_128 = 0;
}

namespace {

int start_with_serial(const std::string& source, const std::string& new_bin, int32_t serial)
{
    VeLearnState& v = g_ve_learn;
    std::string target = normalise_new_bin_path(new_bin);
    if (read_bin_ve_table(source) != 0) {
        info("Error reading VE table from BIN File", "File Read Error");
        return -1;
    }
    v.serial = serial;
    v.source_path = source;
    v.source_name = file_name_part(source);
    v.source_dir = folder_part(source);
    v.new_path = target;
    v.new_name = file_name_part(target);
    v.new_dir = folder_part(target);
    v.active.store_release(1);
    g_display.ve_save_time = g_display.one_second_counter + g_settings.autovtime * 60;
    reset_ve_learn();

    g_settings.learnve = v.source_path;
    g_settings.learnvename = v.source_name;
    g_settings.learnvepath = v.source_dir;
    g_settings.newve = v.new_path;
    g_settings.newvename = v.new_name;
    g_settings.newvepath = v.new_dir;
    g_settings.flshbin = v.new_path;
    g_settings.flshbinfile = v.new_name;
    g_settings.flshbinpath = v.new_dir;
    save_config();
    changed();
    ui().request_repaint();
    return 0;
}

// The signature check with its message for a file that cannot be opened.
int32_t checked_serial(const std::string& source)
{
    int32_t serial = check_bin_signature(source);
    if (serial == -1)
        info("Can not open BIN File", "File Open Error");
    return serial;
}

}  // namespace

int start_ve_learn(const std::string& source, const std::string& new_bin)
{
    if (g_ve_learn.active != 0)
        return 0;
    int32_t serial = checked_serial(source);
    if (serial < 0)
        return -1;
    return start_with_serial(source, new_bin, serial);
}

int choose_learn_bins(std::string& source, std::string& target, int32_t& serial)
{
    FileDialogRequest open;
    open.title = "Select BIN to Learn From";
    open.filters = {{"BIN (*.bin)", "*.bin"}};
    open.default_extension = "bin";
    open.initial_folder = g_settings.newvepath;
    open.initial_name = g_settings.newvename;
    open.file_must_exist = true;
    source = choose_file(open);
    if (source.empty())
        return 1;
    serial = checked_serial(source);
    if (serial < 0)
        return -1;

    FileDialogRequest save;
    save.title = "Select File to Create New BIN";
    save.filters = {{"BIN (*.bin)", "*.bin"}};
    save.initial_folder = folder_part(source);
    save.initial_name = propose_new_bin_name(file_name_part(source), serial);
    save.save = true;
    target = choose_file(save);
    return target.empty() ? 1 : 0;
}

int choose_and_start_ve_learn()
{
    if (g_ve_learn.active != 0)
        return 1;
    std::string source, target;
    int32_t serial = 0;
    if (int rc = choose_learn_bins(source, target, serial); rc != 0)
        return rc;
    return start_with_serial(source, target, serial);
}

int stop_ve_learn()
{
    VeLearnState& v = g_ve_learn;
    if (v.active == 0)
        return 0;
    {
        // An autosave writing the same BIN ends first; after this none starts. (A learning step
        // still under way only adds to the grids: the table is copied under its own lock.)
        std::lock_guard<std::mutex> lock(v.save_lock);
        v.active = 0;
    }
    int rc = write_bin_ve_table(v.source_path, v.new_path, v.serial);
    if (rc != 0)
        info("Error Writing VE table to BIN File", "File Write Error");
    changed();
    ui().request_repaint();
    return rc;
}

void autosave_ve_learn()
{
    VeLearnState& v = g_ve_learn;
    const char* failure = nullptr;
    const char* caption = nullptr;
    int smoother_error = 0;
    {
        std::lock_guard<std::mutex> lock(v.save_lock);
        if (v.active.load_acquire() == 0)
            return;
        if (write_bin_ve_table(v.source_path, v.new_path, v.serial, &smoother_error) != 0) {
            failure = "Error Writing VE table to BIN File";
            caption = "File Write Error";
        } else if (read_bin_ve_table(v.new_path) != 0) {
            failure = "Error reading VE table from BIN File";
            caption = "File Read Error";
        } else {
            reset_ve_learn();
        }
    }
    // Shown once the lock is free: a message waits for the window thread, which may itself be
    // waiting for the lock in stop_ve_learn.
    show_smoother_error(smoother_error);
    if (failure != nullptr)
        info(failure, caption);
}

std::string propose_new_bin_name(const std::string& source_name, int32_t serial)
{
    std::string base = source_name, extension;
    bool has_extension = false;
    if (size_t dot = source_name.rfind('.'); dot != std::string::npos) {
        base = source_name.substr(0, dot);
        extension = source_name.substr(dot + 1);
        has_extension = true;
    }
    if (size_t underscore = base.rfind('_'); underscore != std::string::npos) {
        std::string tail = base.substr(underscore + 1);
        if (std::all_of(tail.begin(), tail.end(), [](char c) { return c >= '0' && c <= '9'; }))
            base.erase(underscore);
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%05d", serial + 1);
    return base + suffix + (has_extension ? "." + extension : std::string(".bin"));
}

std::string normalise_new_bin_path(const std::string& path)
{
    std::string p = path;
    if (!p.empty() && p.back() == '.')
        p.pop_back();
    std::string name = file_name_part(p);
    if (name.find('.') == std::string::npos)
        p += ".bin";
    return p;
}

void reset_ve_learn_state()
{
    VeLearnState& v = g_ve_learn;
    v.active = 0;
    v.source_path.clear();
    v.source_name.clear();
    v.source_dir.clear();
    v.new_path.clear();
    v.new_name.clear();
    v.new_dir.clear();
    v.serial = 0;
    v.hold_off = 0;
    v.previous_map = 0;
    v.previous_throttle = 0;
    v.sample_taken = 0;
    v.fine_row = 0;
    v.fine_col = 0;
    v.map_kpa = 0;
    v.redraw_frames = 0;
    v.recompute_frames = 0;
    {
        std::lock_guard<std::mutex> lock(v.tables_lock);
        for (auto& line : v.overflow)
            line[0] = '\0';
        v.original_ve = empty_ve_table();
    }
    reset_ve_learn();
    v.repaint_display = nullptr;
    v.on_change = nullptr;
}
