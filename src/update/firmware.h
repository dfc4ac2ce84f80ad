// The firmware the updater brings every bank to: image offsets 8192 to 32767.
//
// This block is a stand-in made by a fixed generator, not a real ECM firmware: it carries the two
// marker bytes that identify firmware 1.2 (0x8C and 0x0D at image offsets 12800 and 12801) and
// otherwise deterministic filler. A real firmware image of the same size replaces it.
#pragma once

#include <array>
#include <cstdint>

constexpr int FIRMWARE_OFFSET = 8192;
constexpr int FIRMWARE_BYTES = 24576;
constexpr int FIRMWARE_MARKER_OFFSET = 12800;   // image offset of 0x8C; 0x0D follows

const std::array<uint8_t, FIRMWARE_BYTES>& firmware_block();
