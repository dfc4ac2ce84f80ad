// The calibration BIN file: one bank's 32768-byte flash image on disk.
//
//   0      2  serial number (kept by VE learning)
//   2      4  signature "ZOV8"
//   6      2  checksum: 16-bit sum of bytes 8 to 32767, big-endian
//   9      2  calibration version, major and minor
//   8192   23808  0xFF (the firmware area, blank in BIN files)
//   32000  768    trailer, with a 256-byte zero balance area at 32256
#pragma once

#include <array>
#include <cstdint>
#include <string>

constexpr int BIN_BYTES = 32768;
constexpr int BIN_CAL_BYTES = 8192;
constexpr int BIN_FILLER_BYTES = 23808;
constexpr int BIN_TRAILER_OFFSET = 32000;
constexpr int BIN_TRAILER_BYTES = 768;
constexpr int BIN_BALANCE_OFFSET = BIN_TRAILER_OFFSET + 256;
constexpr int BIN_BALANCE_BYTES = 256;
constexpr int BIN_CHECKSUM_OFFSET = 6;
constexpr int BIN_VERSION_OFFSET = 9;

using BinImage = std::array<uint8_t, BIN_BYTES>;

// The trailer written after the filler of every BIN file we make.
extern const std::array<uint8_t, BIN_TRAILER_BYTES> BIN_TRAILER;

// 0 when bytes 2 to 5 of the file are "ZOV8" (the size is not checked), -1 otherwise or when the
// file cannot be read.
int bin_check(const std::string& path);
// The same on an image in memory of `size` bytes.
bool bin_signature_ok(const uint8_t* image, size_t size);

// 16-bit sum of bytes 8 to 32767.
uint16_t bin_checksum(const BinImage& image);
uint16_t stored_checksum(const BinImage& image);

// Writes filler bytes into the balance area so that the sum of bytes 8 to 32767 equals the stored
// checksum again. The area must still be zero. Returns 0, or -1 when no balance is possible.
int balance_checksum(BinImage& image);

// Fills bytes 8192 to 31999 with 0xFF and copies the trailer behind them.
void complete_bin_image(BinImage& image);
