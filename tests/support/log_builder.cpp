#include "support/log_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "ecm/crc.h"

FrameRecord frame_with_adc(int channel, int count)
{
    FrameRecord f{};
    f.b[F_ADC_0 + 2 * channel] = static_cast<uint8_t>(count >> 8);
    f.b[F_ADC_0 + 1 + 2 * channel] = static_cast<uint8_t>(count);
    return f;
}

FrameRecord sample_frame(uint32_t seed)
{
    FrameRecord f;
    uint32_t x = seed * 2654435761u + 12345u;
    for (int i = 0; i < FRAME_PAYLOAD_BYTES; ++i) {
        x = x * 1103515245u + 12345u;
        uint8_t b = static_cast<uint8_t>(x >> 16);
        // Keep clear of 0x55 and of the record letters so nothing but the frame's own sync pair
        // and CRC can be mistaken for structure.
        if (b == 0x55 || b == 'T' || b == 'M')
            b = 0x20;
        f.b[i] = b;
    }
    return f;
}

FrameRecord drive_frame(uint32_t n)
{
    FrameRecord f = sample_frame(7);
    f.b[0] = 0;                      // no engine stop
    f.b[1] = 0x80;                   // running
    f.b[13] = 0;
    f.b[3] = 0;
    f.b[F_ECM_CONFIG] = 0x18;        // multi-port, 8 cylinders, 1-bar MAP
    for (int i = 0; i < 4; ++i)
        f.b[90 + i] = static_cast<uint8_t>(n >> (24 - 8 * i));
    uint32_t run_time = 100 + n / 17;
    f.b[F_RUN_TIME] = static_cast<uint8_t>(run_time >> 8);
    f.b[F_RUN_TIME + 1] = static_cast<uint8_t>(run_time & 0xFF);
    f.b[F_VSS_COUNTER] = static_cast<uint8_t>(2 * n);
    f.b[F_FUEL_COUNTER] = static_cast<uint8_t>(n);
    f.b[F_SPEED_K] = 0;
    f.b[F_SPEED_K + 1] = 230;        // 920920 / 230 = 4004 pulses a mile
    f.b[F_INJ_FLOW] = 1416 >> 8;     // 1416 / 188.8 x 8 / 2 = 30
    f.b[F_INJ_FLOW + 1] = 1416 & 0xFF;
    return f;
}

uint32_t drive_frame_number(const FrameRecord& f)
{
    return static_cast<uint32_t>(f.b[90]) << 24 | static_cast<uint32_t>(f.b[91]) << 16 |
           static_cast<uint32_t>(f.b[92]) << 8 | f.b[93];
}

Bytes drive_log(int frames)
{
    Bytes out = time_record(3, 7, 2013, 13, 5, 0);
    for (int n = 0; n < frames; ++n)
        append(out, frame_bytes(drive_frame(static_cast<uint32_t>(n))));
    return out;
}

Bytes frame_bytes(const FrameRecord& f)
{
    Bytes out(FRAME_PAYLOAD_BYTES + 4);
    out[0] = 0x55;
    out[1] = 0xAA;
    std::copy(f.b, f.b + FRAME_PAYLOAD_BYTES, out.begin() + 2);
    uint16_t crc = stream_crc(f.b, 0x55, 0xAA, FRAME_PAYLOAD_BYTES);
    out[FRAME_PAYLOAD_BYTES + 2] = static_cast<uint8_t>(crc >> 8);
    out[FRAME_PAYLOAD_BYTES + 3] = static_cast<uint8_t>(crc & 0xFF);
    return out;
}

Bytes frame_bytes_bad_crc(const FrameRecord& f)
{
    Bytes out = frame_bytes(f);
    out.back() ^= 0x01;
    return out;
}

Bytes time_record(int month, int day, int year, int hour, int minute, int second)
{
    char text[64];
    std::snprintf(text, sizeof text, "TIME: %02d/%02d/%4d - %02d:%02d:%02d", month, day, year, hour, minute,
                  second);
    return Bytes(text, text + std::char_traits<char>::length(text));
}

Bytes marker_record(int number, int month, int day, int year, int hour, int minute, int second)
{
    char text[16];
    std::snprintf(text, sizeof text, "MARK%03d", number);
    Bytes out(text, text + std::char_traits<char>::length(text));
    append(out, time_record(month, day, year, hour, minute, second));
    return out;
}

Bytes insert_at(const Bytes& frame, size_t at, const Bytes& record)
{
    Bytes out(frame.begin(), frame.begin() + static_cast<long>(at));
    append(out, record);
    out.insert(out.end(), frame.begin() + static_cast<long>(at), frame.end());
    return out;
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

namespace {
char made_dir[4096];   // outlives every static object, for the clean-up at exit
}  // namespace

std::string temp_dir()
{
    static std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/glanzo-test-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back(0);
        const char* made = mkdtemp(buf.data());
        if (made == nullptr)
            std::abort();
        std::snprintf(made_dir, sizeof made_dir, "%s", made);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(made_dir, ec);
        });
        return std::string(made);
    }();
    return dir;
}

std::string write_temp_file(const std::string& name, const Bytes& bytes)
{
    std::string path = temp_dir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        if (!bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

std::string read_file(const std::string& path)
{
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return out;
}

std::string write_hour_log(const std::string& name)
{
    Bytes log;
    log.reserve(61200 * 280);
    uint32_t x = 1;
    int marker = 0;
    for (int i = 0; i < 61200; ++i) {
        Bytes f = frame_bytes(sample_frame(static_cast<uint32_t>(i)));
        x = x * 1103515245u + 12345u;
        if (i % 85 == 0) {
            size_t at = i % 170 == 0 ? 0 : 2 + (x >> 8) % 200;
            f = insert_at(f, at, time_record(3, 7, 2013, 14, i / 1020 % 60, i / 17 % 60));
        }
        if (i % 997 == 0)
            f = insert_at(f, 2 + (x >> 12) % 200, marker_record(marker++, 3, 7, 2013, 14, 5, 9));
        append(log, f);
    }
    return write_temp_file(name, log);
}

std::vector<std::string> files_in(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
