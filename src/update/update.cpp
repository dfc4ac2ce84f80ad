#include "update/update.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "config/updater_config.h"
#include "ecm/protocol.h"
#include "ecm/sink.h"
#include "flash/bank.h"
#include "flash/bin_file.h"
#include "link/port.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "update/firmware.h"

UpdateState g_update;

namespace {

int fail(const char* text)
{
    flash_message(FLASH_ERROR, text);
    return -1;
}

std::string bank_line(int bank) { return "Bank #: " + std::to_string(bank) + " "; }

// At a point where no bank is half-done: whether the run is to stop here (and say so).
bool stopping_here()
{
    if (g_update.stop_request == 0)
        return false;
    flash_message(FLASH_ERROR, "Update Stopped");
    return true;
}

// Calibration bytes that versions 1.0 and 1.1 carry differently from 1.2.
struct ConversionPatch {
    int offset;
    uint8_t value;
};
constexpr ConversionPatch PATCH_FROM_1_0_AND_1_1[] = {
    {1899, 0xFE}, {1900, 0xC8}, {1901, 0xC0}, {1902, 0xC0}, {1903, 0xC0},
    {1904, 0xC0}, {1905, 0xC0}, {1906, 0xC0}, {1907, 0x10}, {2254, 0x05},
};

}  // namespace

std::string old_bin_name(int bank) { return "Bank_" + std::to_string(bank) + "_old.bin"; }
std::string new_bin_name(int bank) { return "Bank_" + std::to_string(bank) + "_new.bin"; }

void use_updater_profiles()
{
    g_flash.profile = &UPDATER_PROFILE;
    g_port.profile = &UPDATER_LINK;
    g_flash.params.verify = 1;
    g_flash.params.set_active = 0;
    const int info[4] = {1, 1, 1, 0};
    for (int k = 0; k < 4; ++k)
        g_flash.params.info[k] = info[k];
}

int save_old_calibration(int bank, const std::string& path)
{
    if (FILE* existing = open_regular_file(path)) {
        std::fclose(existing);
        flash_message(FLASH_NORMAL, "    -Calibration Exists-");
        return 0;
    }
    ReplacingFile saved(path);
    FILE* file = saved.get();
    if (file == nullptr)
        return fail("Failed opening BIN File");

    g_flash.params.bank = bank;
    int rc = 0;
    if (TxSlInfo() != 0) {
        rc = fail("TxSlInfo Failed");
    } else if (TxSlRequestCal() != 0) {
        rc = fail("TxSlRequestCal Failed");
    } else if (std::fwrite(g_flash.reply.body + 1, 1, CAL_BYTES, file) < static_cast<size_t>(CAL_BYTES)) {
        rc = fail("File Write Failed");
    } else {
        flash_message(FLASH_NORMAL, "Bank Read Successful");
    }
    static uint8_t filler[BIN_FILLER_BYTES];
    std::memset(filler, 0xFF, sizeof filler);
    if (std::fwrite(filler, 1, sizeof filler, file) != sizeof filler ||
        std::fwrite(BIN_TRAILER.data(), 1, BIN_TRAILER.size(), file) != BIN_TRAILER.size())
        rc = -1;
    if (balance_file_checksum(file) != 0)
        rc = -1;
    // A half-written file must not pass for a saved calibration in a later run (it is never put
    // in place); a good one is kept from being overwritten by accident.
    if (rc == 0 && saved.commit() != 0)
        rc = -1;
    if (rc == 0)
        chmod(saved.target().c_str(), 0444);
    return rc;
}

int convert_calibration(const std::string& old_path, const std::string& new_path, std::string& error)
{
    BinImage image{};
    FILE* in = open_regular_file(old_path);
    if (in == nullptr) {
        error = "Calibration File Open Failed";
        return -1;
    }
    size_t n = std::fread(image.data(), 1, BIN_CAL_BYTES, in);
    std::fclose(in);
    if (n < static_cast<size_t>(BIN_CAL_BYTES)) {
        error = "Calibration File Read Failure";
        return -1;
    }

    int version = image[BIN_VERSION_OFFSET] * 256 + image[BIN_VERSION_OFFSET + 1];
    image[BIN_VERSION_OFFSET] = 1;
    image[BIN_VERSION_OFFSET + 1] = 2;
    if (version == 0x0100 || version == 0x0101)
        for (const ConversionPatch& p : PATCH_FROM_1_0_AND_1_1)
            image[p.offset] = p.value;

    uint32_t sum = 0;
    for (int i = 8; i < BIN_CAL_BYTES; ++i)
        sum += image[i];
    image[BIN_CHECKSUM_OFFSET] = static_cast<uint8_t>(sum >> 8);
    image[BIN_CHECKSUM_OFFSET + 1] = static_cast<uint8_t>(sum);
    complete_bin_image(image);
    balance_checksum(image);

    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ReplacingFile out(new_path);
    if (out.get() == nullptr) {
        error = "New Calibration File Open Failed";
        return -1;
    }
    bool written = std::fwrite(image.data(), 1, image.size(), out.get()) == image.size();
    if (!written || out.commit() != 0) {
        error = "New Calibration File Write Failure";
        return -1;
    }
    return 0;
}

int program_updated_bank(int bank)
{
    g_flash.params.bank = bank;
    flash_message(FLASH_NORMAL, bank_line(bank));
    if (TxSlInfo() != 0)
        return fail("TxSlInfo Failed");
    if (TxSlRequestBin() != 0)
        return fail("TxSlReqstBin Failed");

    const auto& firmware = firmware_block();
    const uint8_t* image = g_flash.reply.body + 1;
    if (image[FIRMWARE_MARKER_OFFSET] == 0x8C && image[FIRMWARE_MARKER_OFFSET + 1] == 0x0D &&
        std::memcmp(image + FIRMWARE_OFFSET, firmware.data(), FIRMWARE_BYTES) == 0) {
        flash_message(FLASH_NORMAL, "Bank Already Updated");
        return 0;
    }

    for (int s = 0; s < SECTORS_PER_BANK; ++s)
        if (TxSlEraseSector(bank * SECTORS_PER_BANK + s) != 0)
            return fail("TxSlEraseSector Failed");

    uint8_t cal[CAL_BYTES];
    FILE* in = open_regular_file(new_bin_name(bank));
    if (in == nullptr)
        return fail("New Calibration File Open Failed");
    size_t n = std::fread(cal, 1, sizeof cal, in);
    std::fclose(in);
    if (n < sizeof cal)
        return fail("New Calibration File Read Failure");

    for (int p = 0; p < CAL_PAGES; ++p) {
        g_flash.params.page = p;
        if (TxSlPgmPage(cal + p * PAGE_BYTES) != 0)
            return fail("TxSlPgmPage Failed");
    }
    if (TxSlRequestCal() != 0)
        return fail("TxSlRequestCal Failed");
    if (std::memcmp(g_flash.reply.body + 1, cal, CAL_BYTES) != 0)
        return fail("Verify Failed");

    for (int j = 0; j < FIRMWARE_BYTES / PAGE_BYTES; ++j) {
        g_flash.params.page = CAL_PAGES + j;
        if (TxSlPgmPage(firmware.data() + j * PAGE_BYTES) != 0)
            return fail("TxSlPgmPage Failed");
    }
    if (TxSlRequestBin() != 0)
        return fail("TxSlRequestBin Failed  ");
    if (std::memcmp(g_flash.reply.body + 1 + FIRMWARE_OFFSET, firmware.data(), FIRMWARE_BYTES) != 0)
        return fail("Verify Failed  ");
    flash_message(FLASH_SUCCESS, "Bank Updated/Verified Successfully");
    return 0;
}

int run_update()
{
    flash_message(FLASH_NORMAL, "Updating your ZOV J8 Flash ECM");
    if (TxMsXmit(STREAM_STOP) != 0)
        return fail("TxMsXmit Failed");
    if (TxMsFlash() != 0)
        return fail("TxMsFlash Failed");

    flash_message(FLASH_NORMAL, "Reading Calibrations");
    for (int n = 0; n < BANK_COUNT; ++n) {
        if (stopping_here())
            return -1;
        flash_message(FLASH_NORMAL, bank_line(n));
        g_flash.params.bank = n;
        if (save_old_calibration(n, old_bin_name(n)) != 0)
            return -1;
    }

    flash_message(FLASH_NORMAL, "Creating New Calibrations");
    for (int n = 0; n < BANK_COUNT; ++n) {
        if (stopping_here())
            return -1;
        flash_message(FLASH_NORMAL, bank_line(n));
        std::string error;
        if (convert_calibration(old_bin_name(n), new_bin_name(n), error) != 0)
            return fail(error.c_str());
    }

    flash_message(FLASH_NORMAL, "Programming Banks...");
    for (int n = 0; n < BANK_COUNT; ++n) {
        if (stopping_here())
            return -1;
        if (program_updated_bank(n) != 0) {
            flash_message(FLASH_FAILURE, "BIN Programing FAILED!");
            return -1;
        }
    }

    flash_message(FLASH_NORMAL, "ZOV J8 Flash Update Completed...");
    if (TxSlStop(1) != 0)
        return fail("TxSlStop Failed");
    return 0;
}

int run_update_and_report()
{
    int rc = run_update();
    flash_message(FLASH_NORMAL, "");
    if (rc == 0)
        flash_message(FLASH_SUCCESS, "    -Update Successful-");
    else
        flash_message(FLASH_FAILURE, "     -Update Failed-");
    return rc;
}

std::string bin_update_name(const std::string& path)
{
    std::string dir = directory_part(path);
    std::string name = file_name_part(path);
    size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "bin" : name.substr(dot + 1);
    std::string prefix = dir.empty() ? "" : dir == "/" ? "/" : dir + "/";
    return prefix + stem + "_new." + ext;
}

BinUpdateResult bin_update(const std::string& path)
{
    FILE* f = open_regular_file(path);
    if (f == nullptr)
        return {BIN_UPDATE_NO_FILE, "Can not open BIN file", "File Open Error", ""};
    std::fclose(f);
    if (bin_check(path) != 0)
        return {BIN_UPDATE_NOT_BIN, "Not an ZOV Flash BIN", "Incorrect BIN File", ""};

    g_updater_settings.flshbin = path;
    g_updater_settings.flshbinfile = file_name_part(path);
    g_updater_settings.flshbinpath = directory_part(path);

    std::string new_path = bin_update_name(path);
    std::string error;
    if (convert_calibration(path, new_path, error) != 0)
        return {BIN_UPDATE_FAILED, "             BIN Creation failed             \n\n" + error, "Incorrect BIN File",
                new_path};
    return {BIN_UPDATE_DONE, "            New BIN has been Created             ", "SUCCESS!", new_path};
}
