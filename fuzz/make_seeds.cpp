// fuzz_seeds FOLDER: writes a small seed corpus for every harness into FOLDER/<harness>/, made
// by the same builders the tests use: logs with records in and between frames, the written
// configuration of both programs, a complete BIN image, flash replies of every short kind, an
// analysis table.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/view_table.h"
#include "config/config.h"
#include "config/updater_config.h"
#include "ecm/crc.h"
#include "ecm/protocol.h"
#include "flash/bin_file.h"
#include "support/log_builder.h"

namespace {

std::string root;

void put(const std::string& harness, const std::string& name, const Bytes& bytes)
{
    std::string dir = root + "/" + harness;
    ::mkdir(dir.c_str(), 0755);
    FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
    if (f == nullptr)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

Bytes reply(uint8_t code, const Bytes& body)
{
    Bytes r = {LEAD_SL, code};
    append(r, body);
    uint16_t crc = crc16(r.data(), r.size());
    r.push_back(static_cast<uint8_t>(crc >> 8));
    r.push_back(static_cast<uint8_t>(crc));
    return r;
}

Bytes written_config(std::span<const ConfigKey> keys)
{
    FILE* f = std::tmpfile();
    write_config_lines(keys, f);
    std::rewind(f);
    Bytes b;
    for (int c; (c = std::fgetc(f)) != EOF;)
        b.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return b;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    root = argv[1];
    ::mkdir(root.c_str(), 0755);

    // Logs: frames, a bad CRC, records between frames and inside one, a record cut short.
    Bytes log = time_record(3, 7, 2013, 14, 5, 9);
    for (uint32_t i = 0; i < 4; ++i)
        append(log, frame_bytes(sample_frame(i)));
    append(log, insert_at(frame_bytes(sample_frame(9)), 100, marker_record(7, 3, 7, 2013, 14, 5, 10)));
    append(log, frame_bytes_bad_crc(sample_frame(5)));
    Bytes cut = log;
    append(cut, Bytes{'M', 'A', 'R', 'K', '0'});
    put("read_frame", "log", log);
    put("read_frame", "cut", cut);
    put("export", "blank-every-second", Bytes{0});
    Bytes csv = {3};
    append(csv, log);
    put("export", "csv-single", csv);
    Bytes blank = {4};
    append(blank, cut);
    put("export", "blank-kph", blank);

    // The analysis table of the log, started at rows 0 and 2.
    std::string log_path = write_temp_file("seed.dat", log);
    FILE* t = std::tmpfile();
    long rows = 0;
    build_view_table(log_path, t, rows);
    std::rewind(t);
    Bytes table;
    for (int c; (c = std::fgetc(t)) != EOF;)
        table.push_back(static_cast<uint8_t>(c));
    std::fclose(t);
    Bytes from0 = {0, 0, 2};
    append(from0, table);
    put("qmile", "from-row-0", from0);
    Bytes from2 = {1, 0, 4};
    append(from2, table);
    put("qmile", "from-row-2-kph", from2);

    // Configurations as the programs write them.
    put("config", "glanzo", written_config(glanzo_config_keys()));
    put("config", "updater", written_config(updater_config_keys()));
    put("config", "damaged", Bytes{'[', 'P', 'O', 'R', 'T', ']', '\r', '\r', '\n', '[', 'R', 'D', 'L', 'N', ']', ' ', '-',
                                   '9', '9', '9', '9', '9', '9', '9', '9', '9', '9', '9', '\n', '[', 'T', 'O', 'T', 'A', 'L',
                                   'P', 'W', ']', ' ', '1', 'e', '9', '9', '9', '\n'});

    // A whole BIN image, and its first bytes alone.
    BinImage image{};
    for (size_t i = 0; i < 8192; ++i)
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    std::memcpy(image.data() + 2, "ZOV8", 4);
    complete_bin_image(image);
    balance_checksum(image);
    put("bin", "image", Bytes(image.begin(), image.end()));
    put("bin", "head", Bytes(image.begin(), image.begin() + 300));

    // Replies: acknowledge, refusal, version, page and calibration; one after noise and "S" runs.
    Bytes ack(12, 0);
    ack[0] = SL_INFO;
    put("flash_reply", "ack", reply('A', ack));
    put("flash_reply", "nak", reply('N', ack));
    put("flash_reply", "version", reply('V', Bytes(128, 0x31)));
    put("flash_reply", "page", reply('P', Bytes(129, 0x42)));
    Bytes cal(8193, 0x5A);
    cal[0] = 3;
    put("flash_reply", "calibration", reply('C', cal));
    Bytes noisy = {0x00, 'S', 'S', 'S', 'x', 'S'};
    append(noisy, reply('A', ack));
    put("flash_reply", "noisy", noisy);
    return 0;
}
