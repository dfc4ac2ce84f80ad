// Builds stream bytes and data logs for tests and benchmarks: frames with correct (or broken)
// CRCs, time and marker records, records dropped in the middle of a frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/frame.h"

using Bytes = std::vector<uint8_t>;

// A frame record whose bytes follow from `seed`, avoiding accidental sync pairs and record
// patterns so a test knows exactly what the reader should see.
FrameRecord sample_frame(uint32_t seed);
// A frame of zeros whose ADC channel `channel` carries `count`.
FrameRecord frame_with_adc(int channel, int count);

// Frame `n` of a steady drive of a running engine: run time 100 s + n / 17 (17 frames a second),
// the frame number in bytes 90-93 (as ecm-sim numbers its frames), the speed counter (byte 166)
// up 2 and the fuel counter (byte 241) up 1 a frame, 4004 pulses a mile and flow constant 30 (8
// cylinders, multi-port, 1-bar sensor).
FrameRecord drive_frame(uint32_t n);
// The frame number drive_frame put into a record.
uint32_t drive_frame_number(const FrameRecord& f);
// A data log of `frames` drive frames after a recording header.
Bytes drive_log(int frames);

// The 277 bytes of a frame: sync pair, payload, CRC (high byte first).
Bytes frame_bytes(const FrameRecord& f);
// The same with the CRC's low byte changed.
Bytes frame_bytes_bad_crc(const FrameRecord& f);

// "TIME:" and the 22 text bytes " MM/DD/YYYY - hh:mm:ss".
Bytes time_record(int month, int day, int year, int hour, int minute, int second);
// "MARK", the number printed "%03d", then a complete time record.
Bytes marker_record(int number, int month, int day, int year, int hour, int minute, int second);

// `record` put into `frame` (a frame's bytes) before byte `at`.
Bytes insert_at(const Bytes& frame, size_t at, const Bytes& record);

void append(Bytes& out, const Bytes& more);

// A one-hour data log (61,200 frames) with a time record every five seconds and a marker now
// and then, many of them inside payloads; written under the temp directory. Returns its path.
std::string write_hour_log(const std::string& name);

// Writes bytes to a fresh file under the test temp directory and returns its path.
std::string write_temp_file(const std::string& name, const Bytes& bytes);
std::string read_file(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> files_in(const std::string& folder);
std::string temp_dir();
