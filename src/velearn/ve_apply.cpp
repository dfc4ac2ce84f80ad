#include "velearn/ve_apply.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "config/settings.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui_services.h"
#include "velearn/smoother.h"
#include "velearn/ve_bin_layout.h"
#include "velearn/ve_learn_state.h"

using namespace ve_bin;

VeTable ve_table_of_image(const unsigned char* image)
{
    VeTable ve = empty_ve_table();
    for (const VeBlock& block : VE_BLOCKS)
        for (int r = 0; r < block.read_rows; ++r)
            for (int j = 0; j < VE_COLS; ++j)
                ve[block.first_grid_row + r][j + 1] = image[block.offset + r * VE_COLS + j];
    return ve;
}

int apply_ve_corrections(const std::string& source_path, const std::string& new_path, const VeCorrections& corrections,
                         double smooth_factor, VeApplyOutcome& outcome)
{
    outcome = VeApplyOutcome{};
    std::vector<unsigned char> bytes(BIN_BYTES);
    unsigned char* image = bytes.data();
    FILE* src = open_regular_file(source_path);
    if (src == nullptr)
        return VE_APPLY_NO_SOURCE;
    size_t got = std::fread(image, 1, bytes.size(), src);
    bool read_error = std::ferror(src) != 0;
    std::fclose(src);
    if (read_error)
        return VE_APPLY_NO_SOURCE;
    if (got < static_cast<size_t>(SIGNATURE_OFFSET + 4) || std::memcmp(image + SIGNATURE_OFFSET, "ZOV8", 4) != 0)
        return VE_APPLY_NOT_BIN;
    // A short source is padded as a learn run's copy of it is.
    std::memset(image + got, 0xFF, bytes.size() - got);

    VeTable ve = ve_table_of_image(image);
    for (int r = 0; r < VE_ROWS; ++r) {
        for (int c = 0; c < VE_COLS; ++c) {
            if (!corrections.has[r][c])
                continue;
            double factor = 1.0 + corrections.percent[r][c] / 100.0;
            double v = std::floor(ve[r + 1][c + 1] * factor + 0.5);
            ve[r + 1][c + 1] = v >= 255 ? 255 : v > 0 ? static_cast<uint32_t>(v) : 0;
        }
    }
    if (smooth_factor > 0) {
        int e = smooth_ve_table(ve, smooth_factor);
        if (e > 0)
            outcome.smoother_error = e;
    }

    for (const VeBlock& block : VE_BLOCKS)
        for (int r = 0; r < block.write_rows; ++r)
            for (int j = 0; j < VE_COLS; ++j)
                image[block.offset + r * VE_COLS + j] = static_cast<unsigned char>(ve[block.first_grid_row + r][j + 1] & 0xFF);
    outcome.serial = static_cast<int32_t>((image[0] * 256 + image[1] + 1) & 0xFFFF);
    image[0] = static_cast<unsigned char>(outcome.serial >> 8);
    image[1] = static_cast<unsigned char>(outcome.serial & 0xFF);
    uint32_t sum = 0;
    for (long i = SUMMED_FROM; i < BIN_BYTES; ++i)
        sum += image[i];
    image[CHECKSUM_OFFSET] = static_cast<unsigned char>((sum >> 8) & 0xFF);
    image[CHECKSUM_OFFSET + 1] = static_cast<unsigned char>(sum & 0xFF);

    ReplacingFile out(new_path);
    if (out.get() == nullptr || std::fwrite(image, 1, bytes.size(), out.get()) != bytes.size() || out.commit() != 0)
        return VE_APPLY_NO_WRITE;
    return VE_APPLY_OK;
}

void set_ve_grid(CellsRequest& request)
{
    request.x = "MAP";
    request.y = "RPM";
    request.x_axis.assign(VE_MAP_AXIS.begin(), VE_MAP_AXIS.end());
    request.y_axis.assign(VE_RPM_AXIS.begin(), VE_RPM_AXIS.end());
}

bool is_ve_grid(const CellsRequest& request)
{
    CellsRequest ve;
    set_ve_grid(ve);
    return request.x == ve.x && request.y == ve.y && request.x_axis == ve.x_axis && request.y_axis == ve.y_axis;
}

VeCorrections ve_corrections(const CellTable& table, CellStat stat, long min_hits)
{
    VeCorrections out;
    if (table.rows() != VE_ROWS || table.columns() != VE_COLS)
        return out;
    for (size_t r = 0; r < VE_ROWS; ++r) {
        for (size_t c = 0; c < VE_COLS; ++c) {
            double v = cell_value(table.at(r, c), stat, min_hits);
            out.has[r][c] = std::isfinite(v);
            out.percent[r][c] = out.has[r][c] ? v : 0.0;
        }
    }
    return out;
}

int choose_and_apply_ve_corrections(const VeCorrections& corrections)
{
    std::string source, target;
    int32_t serial = 0;
    if (int rc = choose_learn_bins(source, target, serial); rc != 0)
        return rc;
    VeApplyOutcome outcome;
    int rc = apply_ve_corrections(source, normalise_new_bin_path(target), corrections, g_settings.smoothfac, outcome);
    if (outcome.smoother_error > 0) {
        char caption[32];
        std::snprintf(caption, sizeof caption, "Smoother Error: %d", outcome.smoother_error);
        ui().message_box("Error Smoothing VE table for VE Learn", caption, MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
    }
    if (rc != VE_APPLY_OK) {
        ui().message_box("Error Writing VE table to BIN File", "File Write Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
        return -1;
    }
    return 0;
}
