#include "flash/bin_file.h"
#include "platform/files.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char LABEL[] = "  ZOV_J8 Flash  ";                                   // 16 bytes
constexpr char NOTICE[] = "Calibration image saved by GlanzoFlash; keep unchanged.";   // at most 55

constexpr std::array<uint8_t, BIN_TRAILER_BYTES> make_trailer()
{
    std::array<uint8_t, BIN_TRAILER_BYTES> t{};
    for (auto& b : t)
        b = 0xFF;
    for (int i = 256; i < 512; ++i)
        t[i] = 0x00;
    for (int i = 0; i < 16; ++i)
        t[528 + i] = static_cast<uint8_t>(LABEL[i]);
    for (int i = 0; NOTICE[i] != 0 && i < 55; ++i)
        t[624 + i] = static_cast<uint8_t>(NOTICE[i]);
    return t;
}

static_assert(sizeof LABEL - 1 == 16);
static_assert(sizeof NOTICE - 1 <= 55);

}  // namespace

const std::array<uint8_t, BIN_TRAILER_BYTES> BIN_TRAILER = make_trailer();

bool bin_signature_ok(const uint8_t* image, size_t size)
{
    return size >= 6 && std::memcmp(image + 2, "ZOV8", 4) == 0;
}

int bin_check(const std::string& path)
{
    FILE* f = open_regular_file(path);
    if (f == nullptr)
        return -1;
    uint8_t head[6];
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return bin_signature_ok(head, n) ? 0 : -1;
}

uint16_t bin_checksum(const BinImage& image)
{
    uint32_t sum = 0;
    for (int i = 8; i < BIN_BYTES; ++i)
        sum += image[i];
    return static_cast<uint16_t>(sum);
}

uint16_t stored_checksum(const BinImage& image)
{
    return static_cast<uint16_t>(image[BIN_CHECKSUM_OFFSET] << 8 | image[BIN_CHECKSUM_OFFSET + 1]);
}

int balance_checksum(BinImage& image)
{
    uint16_t d = static_cast<uint16_t>(stored_checksum(image) - bin_checksum(image));
    int h = d >> 8, l = d & 0xFF;
    int carry = h + l >= 256 ? 1 : 0;
    if (h + carry < BIN_BALANCE_BYTES) {
        // H + C bytes of 0xFF and one more byte add 255 (H + C) + (H + L + C) mod 256 = 256 H + L.
        for (int i = 0; i < h + carry; ++i)
            image[BIN_BALANCE_OFFSET + i] = 0xFF;
        image[BIN_BALANCE_OFFSET + h + carry] = static_cast<uint8_t>((h + l + carry) & 0xFF);
        return 0;
    }
    // D of 0xFF01 and above needs 257 bytes, one more than the area holds, and no content of the
    // area can add that much. Adding D is the same as taking 65536 - D (1 to 255) away: lower the
    // 0xFF byte right after the area by that much instead. The sum then matches exactly.
    int take = 65536 - d;
    uint8_t& next = image[BIN_BALANCE_OFFSET + BIN_BALANCE_BYTES];
    if (next < take)
        return -1;
    next = static_cast<uint8_t>(next - take);
    return 0;
}

void complete_bin_image(BinImage& image)
{
    std::memset(image.data() + BIN_CAL_BYTES, 0xFF, BIN_FILLER_BYTES);
    std::memcpy(image.data() + BIN_TRAILER_OFFSET, BIN_TRAILER.data(), BIN_TRAILER_BYTES);
}
