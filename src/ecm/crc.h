// CRC-16 of stream frames and flash messages: polynomial 0x1021, most significant bit first,
// initial value 0, no final XOR (the XMODEM parameters), one table lookup a byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::array<uint16_t, 256> make_crc_table()
{
    std::array<uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        uint16_t r = static_cast<uint16_t>(i << 8);
        for (int b = 0; b < 8; ++b)
            r = static_cast<uint16_t>((r & 0x8000) ? (r << 1) ^ 0x1021 : r << 1);
        t[i] = r;
    }
    return t;
}

inline constexpr std::array<uint16_t, 256> CRC_TABLE = make_crc_table();

constexpr uint16_t crc_step(uint16_t reg, uint8_t byte)
{
    return static_cast<uint16_t>((reg << 8) ^ CRC_TABLE[((reg >> 8) ^ byte) & 0xFF]);
}

// CRC of `length` bytes from an initial 0.
uint16_t crc16(const uint8_t* buf, size_t length);
// CRC of `first`, `second` and then the payload, as if they were one buffer (a frame's sync pair
// and its payload).
uint16_t stream_crc(const uint8_t* payload, uint8_t first, uint8_t second, size_t length);
