#include "update/firmware.h"

namespace {

constexpr std::array<uint8_t, FIRMWARE_BYTES> make_firmware()
{
    std::array<uint8_t, FIRMWARE_BYTES> f{};
    uint32_t x = 0x12C0FFEEu;
    for (auto& b : f) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 11);
    }
    f[FIRMWARE_MARKER_OFFSET - FIRMWARE_OFFSET] = 0x8C;
    f[FIRMWARE_MARKER_OFFSET - FIRMWARE_OFFSET + 1] = 0x0D;
    return f;
}

constexpr std::array<uint8_t, FIRMWARE_BYTES> FIRMWARE = make_firmware();
static_assert(FIRMWARE[4608] == 0x8C && FIRMWARE[4609] == 0x0D);

}  // namespace

const std::array<uint8_t, FIRMWARE_BYTES>& firmware_block() { return FIRMWARE; }
