#include "flash_loader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ecm/crc.h"
#include "ecm/protocol.h"
#include "platform/numbers.h"

namespace {

struct FaultName {
    const char* name;
    FaultKind kind;
};
constexpr FaultName FAULT_NAMES[] = {
    {"no-reply", FAULT_NO_REPLY}, {"bad-crc", FAULT_BAD_CRC}, {"nak", FAULT_NAK},
    {"garbage", FAULT_GARBAGE},   {"s-run", FAULT_S_RUN},     {"pause", FAULT_PAUSE},
    {"bad-echo", FAULT_BAD_ECHO}, {"late-check", FAULT_LATE_CHECK}, {"babble", FAULT_BABBLE},
};
static_assert(std::size(FAULT_NAMES) == FAULT_KIND_COUNT);

// Calibration version of each factory bank (major, minor).
constexpr uint8_t FACTORY_VERSIONS[SIM_BANKS][2] = {{1, 2}, {1, 0}, {1, 1}, {2, 3}, {1, 2}, {1, 0}, {1, 1}, {1, 2}};

bool has_fault(const FlashLoader& l, FaultKind kind)
{
    for (const Fault& f : l.faults)
        if (f.kind == kind && f.message == l.messages)
            return true;
    return false;
}

std::vector<uint8_t> reply(uint8_t code, const uint8_t* body, int body_len)
{
    std::vector<uint8_t> r(static_cast<size_t>(body_len) + 4);
    r[0] = LEAD_SL;
    r[1] = code;
    std::memcpy(r.data() + 2, body, static_cast<size_t>(body_len));
    uint16_t crc = crc16(r.data(), static_cast<size_t>(body_len) + 2);
    r[static_cast<size_t>(body_len) + 2] = static_cast<uint8_t>(crc >> 8);
    r[static_cast<size_t>(body_len) + 3] = static_cast<uint8_t>(crc & 0xFF);
    return r;
}

std::vector<uint8_t> acknowledge(FlashLoader& l, uint8_t command, int page, uint8_t echo, bool ok = true,
                                 uint8_t extra = 0xA5)
{
    uint8_t body[12] = {command, static_cast<uint8_t>(l.bank), static_cast<uint8_t>(page), 0x5A, echo, extra};
    return reply(ok ? 'A' : 'N', body, 12);
}

std::vector<uint8_t> image_reply(FlashLoader& l, uint8_t code, int bank, int bytes)
{
    std::vector<uint8_t> body(static_cast<size_t>(bytes) + 1);
    body[0] = static_cast<uint8_t>(bank);
    std::memcpy(body.data() + 1, l.banks.data() + static_cast<size_t>(bank & 7) * SIM_BANK_BYTES,
                static_cast<size_t>(bytes));
    return reply(code, body.data(), static_cast<int>(body.size()));
}

}  // namespace

bool parse_fault(const std::string& text, Fault& out)
{
    size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    std::string name = text.substr(0, colon);
    int64_t n = 0;
    if (!parse_whole_number(std::string_view(text).substr(colon + 1), 1, INT32_MAX, n))
        return false;
    for (const FaultName& f : FAULT_NAMES) {
        if (name == f.name) {
            out = Fault{f.kind, static_cast<int>(n)};
            return true;
        }
    }
    return false;
}

void factory_bank(int bank, uint8_t* image)
{
    uint32_t x = 0x9E3779B9u * static_cast<uint32_t>(bank + 1);
    for (int i = 0; i < SIM_BANK_BYTES; ++i) {
        x = x * 1664525u + 1013904223u;
        image[i] = static_cast<uint8_t>(x >> 24);
    }
    image[0] = 0;
    image[1] = static_cast<uint8_t>(bank + 1);   // serial number
    std::memcpy(image + 2, "ZOV8", 4);
    image[9] = FACTORY_VERSIONS[bank][0];
    image[10] = FACTORY_VERSIONS[bank][1];
    // The firmware the banks left the factory with is older than 1.2: its marker bytes differ.
    image[12800] = 0x8B;
    image[12801] = 0x0C;
    uint32_t sum = 0;
    for (int i = 8; i < SIM_BANK_BYTES; ++i)
        sum += image[i];
    image[6] = static_cast<uint8_t>(sum >> 8);
    image[7] = static_cast<uint8_t>(sum);
}

int loader_init(FlashLoader& l, const std::string& path)
{
    l.banks.assign(static_cast<size_t>(SIM_BANKS) * SIM_BANK_BYTES, 0);
    l.banks_path = path;
    if (!path.empty()) {
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            size_t n = std::fread(l.banks.data(), 1, l.banks.size(), f);
            bool longer = std::fgetc(f) != EOF;
            std::fclose(f);
            if (n != l.banks.size() || longer) {
                std::fprintf(stderr, "ecm-sim: %s does not hold eight banks of 32768 bytes\n", path.c_str());
                return -1;
            }
            return 0;
        }
    }
    for (int b = 0; b < SIM_BANKS; ++b)
        factory_bank(b, l.banks.data() + static_cast<size_t>(b) * SIM_BANK_BYTES);
    l.dirty = !path.empty();
    loader_save(l);
    return 0;
}

void loader_save(FlashLoader& l)
{
    if (!l.dirty || l.banks_path.empty())
        return;
    std::string temp = l.banks_path + ".new";
    if (FILE* f = std::fopen(temp.c_str(), "wb")) {
        bool ok = std::fwrite(l.banks.data(), 1, l.banks.size(), f) == l.banks.size();
        ok = std::fclose(f) == 0 && ok;
        if (ok && std::rename(temp.c_str(), l.banks_path.c_str()) == 0)
            l.dirty = false;
    }
}

bool loader_message(FlashLoader& l, const uint8_t* m, std::vector<ReplyChunk>& out)
{
    ++l.messages;
    const uint8_t* arg = m + 2;
    std::vector<uint8_t> r;
    bool leave = false;
    switch (m[1]) {
    case SL_INFO:
        l.bank = arg[1] & 7;
        r = acknowledge(l, SL_INFO, 0, arg[3], true, arg[5]);   // the D value comes back in byte 5
        break;
    case SL_REQUEST_CAL:
        r = image_reply(l, 'C', arg[0], 8192);
        break;
    case SL_ERASE_SECTOR: {
        int sector = arg[0] & 63;
        std::memset(l.banks.data() + static_cast<size_t>(sector) * 4096, 0xFF, 4096);
        l.dirty = true;
        r = acknowledge(l, SL_ERASE_SECTOR, 0, 0);
        break;
    }
    case SL_REQUEST_BIN:
        r = image_reply(l, 'B', arg[0], SIM_BANK_BYTES);
        break;
    case SL_STOP:
        r = acknowledge(l, SL_STOP, 0, 0);
        leave = true;
        loader_save(l);
        break;
    case SL_PGM_PAGE: {
        // Programming can only clear bits, as in real flash: an unerased page comes out wrong.
        uint8_t* page = l.banks.data() + static_cast<size_t>(l.bank) * SIM_BANK_BYTES + arg[0] * 128;
        for (int i = 0; i < 128; ++i)
            page[i] &= arg[1 + i];
        l.dirty = true;
        r = acknowledge(l, SL_PGM_PAGE, arg[0], 0);
        break;
    }
    default:
        r = acknowledge(l, m[1], 0, 0, false);
        break;
    }

    if (has_fault(l, FAULT_NO_REPLY))
        return leave;
    if (has_fault(l, FAULT_BABBLE)) {
        for (int i = 0; i < 30; ++i)
            out.push_back({{0x11, 0x22, 0x33}, 100});
        return leave;
    }
    if (has_fault(l, FAULT_NAK) && r[1] == 'A')
        r = acknowledge(l, r[2], r[4], r[6], false);
    if (has_fault(l, FAULT_BAD_ECHO)) {
        r[2] ^= 0x01;   // command echo, or the bank of an image reply
        uint16_t crc = crc16(r.data(), r.size() - 2);
        r[r.size() - 2] = static_cast<uint8_t>(crc >> 8);
        r[r.size() - 1] = static_cast<uint8_t>(crc & 0xFF);
    }
    if (has_fault(l, FAULT_BAD_CRC))
        r.back() ^= 0x01;
    if (has_fault(l, FAULT_GARBAGE))
        out.push_back({{0x00, 0x13, 0x7E, LEAD_SL, 'Z', 0x41, 0x99, 0x55, 0xAA, 0x20}, 0});
    if (has_fault(l, FAULT_S_RUN))
        out.push_back({std::vector<uint8_t>(10, LEAD_SL), 0});
    if (has_fault(l, FAULT_PAUSE) || has_fault(l, FAULT_LATE_CHECK)) {
        size_t half = has_fault(l, FAULT_PAUSE) ? r.size() / 2 : r.size() - 2;
        out.push_back({std::vector<uint8_t>(r.begin(), r.begin() + static_cast<long>(half)), 0});
        out.push_back({std::vector<uint8_t>(r.begin() + static_cast<long>(half), r.end()), l.pause_ms});
    } else {
        out.push_back({r, 0});
    }
    return leave;
}
