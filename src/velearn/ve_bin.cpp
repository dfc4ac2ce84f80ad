// The VE table inside a calibration BIN: read for a learn run, and the learned table written back.
#include <unistd.h>

#include <cstdio>

#include "config/settings.h"
#include "platform/files.h"
#include "platform/ui_services.h"
#include "velearn/smoother.h"
#include "velearn/ve_bin_layout.h"
#include "velearn/ve_learn_state.h"

namespace {

using namespace ve_bin;

class File {
public:
    File(const std::string& path, const char* mode) : f_(std::fopen(path.c_str(), mode)) {}
    explicit File(FILE* f) : f_(f) {}
    ~File()
    {
        if (f_)
            std::fclose(f_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    FILE* get() const { return f_; }
    // Closes now; false when the close reported an error.
    bool close()
    {
        FILE* f = f_;
        f_ = nullptr;
        return f != nullptr && std::fclose(f) == 0;
    }

private:
    FILE* f_;
};

// Makes `new_path` a 32768-byte copy of `source_path`, padded with 0xFF when the source is shorter.
bool create_from_source(const std::string& source_path, const std::string& new_path)
{
    File src(open_regular_file(source_path));
    if (src.get() == nullptr)
        return false;
    ReplacingFile dst(new_path);
    if (dst.get() == nullptr)
        return false;
    unsigned char image[BIN_BYTES];
    size_t got = std::fread(image, 1, sizeof image, src.get());
    for (size_t i = got; i < sizeof image; ++i)
        image[i] = 0xFF;
    return std::fwrite(image, 1, sizeof image, dst.get()) == sizeof image && dst.commit() == 0;
}

}  // namespace

int32_t check_bin_signature(const std::string& path)
{
    File f(open_regular_file(path));
    if (f.get() == nullptr)
        return -1;
    unsigned char head[6];
    size_t got = std::fread(head, 1, sizeof head, f.get());
    if (!f.close())
        return -1;
    static const unsigned char SIGNATURE[4] = {'Z', 'O', 'V', '8'};
    bool right = got == sizeof head;
    for (int i = 0; right && i < 4; ++i)
        right = head[SIGNATURE_OFFSET + i] == SIGNATURE[i];
    if (!right) {
        ui().message_box("Not an ZOV J8 Flash BIN!", "Incorrect BIN File", MB_OK | MB_TOPMOST);
        return -2;
    }
    return head[0] * 256 + head[1];
}

int read_bin_ve_table(const std::string& path)
{
    File f(open_regular_file(path));
    if (f.get() == nullptr)
        return -1;
    VeTable ve = [] {
        std::lock_guard<std::mutex> lock(g_ve_learn.tables_lock);
        return g_ve_learn.original_ve;
    }();
    for (const VeBlock& block : VE_BLOCKS) {
        if (std::fseek(f.get(), block.offset, SEEK_SET) != 0)
            return -1;
        for (int r = 0; r < block.read_rows; ++r) {
            unsigned char row[VE_COLS];
            size_t got = std::fread(row, 1, VE_COLS, f.get());
            // A short file leaves the cells beyond its end as they were.
            for (size_t j = 0; j < got; ++j)
                ve[block.first_grid_row + r][j + 1] = row[j];
            if (got < VE_COLS)
                break;
        }
    }
    if (!f.close())
        return -1;
    {
        std::lock_guard<std::mutex> lock(g_ve_learn.tables_lock);
        g_ve_learn.original_ve = ve;
    }
    ui().request_repaint();
    return 0;
}

void show_smoother_error(int error)
{
    if (error <= 0)
        return;
    char caption[32];
    std::snprintf(caption, sizeof caption, "Smoother Error: %d", error);
    ui().message_box("Error Smoothing VE table for VE Learn", caption, MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

int write_bin_ve_table(const std::string& source_path, const std::string& new_path, int32_t serial,
                       int* smoother_error)
{
    if (smoother_error != nullptr)
        *smoother_error = 0;
    if (g_settings.smoothfac > 0) {
        int e = smooth_learned_ve();
        if (smoother_error != nullptr)
            *smoother_error = e;
        else
            show_smoother_error(e);
    }
    // Updated in place: the file a link points at, and only a regular one.
    std::string target;
    if (resolve_write_target(new_path, target) != 0)
        return -1;
    if (access(target.c_str(), F_OK) != 0 && !create_from_source(source_path, target))
        return -1;

    File f(target, "r+b");
    if (f.get() == nullptr)
        return -1;
    // Every byte must land: a partly written table is a failure, not a saved one.
    bool written = true;
    uint32_t next = static_cast<uint32_t>(serial + 1) & 0xFFFF;
    unsigned char serial_bytes[2] = {static_cast<unsigned char>(next >> 8), static_cast<unsigned char>(next)};
    if (std::fseek(f.get(), 0, SEEK_SET) != 0)
        return -1;
    written &= std::fwrite(serial_bytes, 1, 2, f.get()) == 2;

    const VeTable ve = learned_ve_copy();
    for (const VeBlock& block : VE_BLOCKS) {
        if (std::fseek(f.get(), block.offset, SEEK_SET) != 0)
            return -1;
        for (int r = 0; r < block.write_rows && written; ++r) {
            unsigned char row[VE_COLS];
            for (int j = 0; j < VE_COLS; ++j)
                row[j] = static_cast<unsigned char>(ve[block.first_grid_row + r][j + 1] & 0xFF);
            written &= std::fwrite(row, 1, VE_COLS, f.get()) == VE_COLS;
        }
    }

    if (std::fflush(f.get()) != 0 || std::fseek(f.get(), SUMMED_FROM, SEEK_SET) != 0)
        return -1;
    uint32_t sum = 0;
    unsigned char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0)
        for (size_t i = 0; i < got; ++i)
            sum += chunk[i];
    unsigned char checksum[2] = {static_cast<unsigned char>((sum >> 8) & 0xFF), static_cast<unsigned char>(sum & 0xFF)};
    if (std::fseek(f.get(), CHECKSUM_OFFSET, SEEK_SET) != 0)
        return -1;
    written &= std::fwrite(checksum, 1, 2, f.get()) == 2;
    if (!f.close() || !written)
        return -1;
    return 0;
}
