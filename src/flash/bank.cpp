#include "flash/bank.h"

#include <cstring>

#include "ecm/protocol.h"
#include "ecm/sink.h"
#include "flash/bin_file.h"
#include "platform/files.h"
#include "platform/sleep.h"

namespace {

int fail(const char* text)
{
    flash_message(FLASH_ERROR, text);
    return -1;
}

// The steps both procedures start with: stop the stream, make the bank active if asked, enter
// flash mode, say hello to the loader.
int enter_flash_mode()
{
    if (TxMsXmit(STREAM_STOP) != 0)
        return fail("TxMsXmit Failed");
    if (g_flash.params.set_active == 1) {
        if (TxMsBank(g_flash.params.bank) != 0)
            return fail("TxMsBank Failed");
        flash_message(FLASH_NORMAL, "Flash Bank Set");
        sleep_ms(60);
    }
    if (TxMsFlash() != 0)
        return fail("TxMsFlash Failed");
    if (TxSlInfo() != 0)
        return fail("TxSlInfo Failed");
    return 0;
}

int program_sequence(FILE* file)
{
    flash_message(FLASH_NORMAL, "Bank Flash Program Starting");
    if (enter_flash_mode() != 0)
        return -1;
    int bank = g_flash.params.bank;
    for (int i = 0; i < 2; ++i)
        if (TxSlEraseSector(bank * SECTORS_PER_BANK | i) != 0)
            return fail("TxSlEraseSector Failed");
    if (TxSlInfo() != 0)
        return fail("TxSlInfo Failed");
    uint8_t page[PAGE_BYTES];
    for (int p = 0; p < CAL_PAGES; ++p) {
        // The file was checked to hold the whole calibration.
        size_t got = std::fread(page, 1, PAGE_BYTES, file);
        if (got < PAGE_BYTES)
            std::memset(page + got, 0xFF, PAGE_BYTES - got);
        g_flash.params.page = p;
        if (TxSlPgmPage(page) != 0)
            return fail("TxSlPgmPage Failed");
    }
    if (g_flash.params.verify == 1) {
        flash_message(FLASH_NORMAL, "Bank Verify Starting");
        std::fseek(file, 0, SEEK_SET);
        std::memset(g_flash.reply.body, 0x55, sizeof g_flash.reply.body);
        if (TxSlRequestCal() != 0)
            return fail("TxSlRequestCal Failed");
        for (int i = 0; i < CAL_BYTES; ++i) {
            int c = std::fgetc(file);
            if (c == EOF || static_cast<uint8_t>(c) != g_flash.reply.body[1 + i])
                return fail("Verify Failed");
        }
    }
    flash_message(FLASH_NORMAL, "Bank Programmed Successfully");
    if (TxSlStop(1) != 0)
        return fail("TxSlStop Failed");
    return 0;
}

int read_sequence(FILE* file)
{
    flash_message(FLASH_NORMAL, "Bank Read Starting");
    if (enter_flash_mode() != 0)
        return -1;
    if (TxSlRequestCal() != 0)
        return fail("TxSlRequestCal Failed");   // flash mode is not left
    int rc = 0;
    if (std::fwrite(g_flash.reply.body + 1, 1, CAL_BYTES, file) < static_cast<size_t>(CAL_BYTES))
        rc = fail("File Write Failed");
    else
        flash_message(FLASH_NORMAL, "Bank Read Successful");
    if (TxSlStop(1) != 0)
        rc = fail("TxSlStop Failed  ");
    return rc;
}

long file_size(FILE* f)
{
    long here = std::ftell(f);
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fseek(f, here, SEEK_SET);
    return size;
}

// Whether the file starts as a calibration BIN does; leaves it at its start.
bool has_signature(FILE* f)
{
    uint8_t head[6];
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fseek(f, 0, SEEK_SET);
    return bin_signature_ok(head, n);
}

}  // namespace

int balance_file_checksum(FILE* file)
{
    if (std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    BinImage image{};
    size_t n = std::fread(image.data(), 1, image.size(), file);
    if (n != image.size())
        return std::ferror(file) ? -1 : 0;   // a file without its calibration is left as it is
    if (balance_checksum(image) != 0)
        return -1;
    // Only the balance area and the byte after it can have changed.
    const long from = BIN_BALANCE_OFFSET;
    const size_t count = BIN_BALANCE_BYTES + 1;
    if (std::fseek(file, from, SEEK_SET) != 0 || std::fwrite(image.data() + from, 1, count, file) != count)
        return -1;
    return std::fflush(file) == 0 ? 0 : -1;
}

int program_bank_from_file(const std::string& path)
{
    int rc = -1;
    FILE* file = open_regular_file(path);
    if (file == nullptr) {
        flash_message(FLASH_ERROR, "Failed opening BIN File");
    } else {
        // A file without a whole calibration, or one that is no calibration at all, is refused
        // before anything is erased.
        if (file_size(file) < CAL_BYTES)
            flash_message(FLASH_ERROR, "BIN File Shorter Than 8192 Bytes");
        else if (!has_signature(file))
            flash_message(FLASH_ERROR, "Not an ZOV J8 Flash BIN!");
        else
            rc = program_sequence(file);
        std::fclose(file);
    }
    flash_message(FLASH_NORMAL, "");
    if (rc == 0)
        flash_message(FLASH_SUCCESS, "    -Flashing Successful-");
    else
        flash_message(FLASH_FAILURE, "     -Flashing Failed-");
    return rc;
}

int read_bank_to_file(const std::string& path)
{
    int rc = -1;
    ReplacingFile replacing(path);
    FILE* file = replacing.get();
    if (file == nullptr) {
        flash_message(FLASH_ERROR, "Failed opening BIN File");
    } else {
        rc = read_sequence(file);
        // Whatever the sequence gave, the file is completed to a whole image.
        static uint8_t filler[BIN_FILLER_BYTES];
        std::memset(filler, 0xFF, sizeof filler);
        if (std::fwrite(filler, 1, sizeof filler, file) != sizeof filler)
            rc = -1;
        if (std::fwrite(BIN_TRAILER.data(), 1, BIN_TRAILER.size(), file) != BIN_TRAILER.size())
            rc = -1;
        if (balance_file_checksum(file) != 0)
            rc = -1;
        if (replacing.commit() != 0)
            rc = -1;
    }
    flash_message(FLASH_NORMAL, "");
    if (rc == 0)
        flash_message(FLASH_SUCCESS, "    -Read Successful-");
    else
        flash_message(FLASH_FAILURE, "     -Read Failed-");
    return rc;
}
