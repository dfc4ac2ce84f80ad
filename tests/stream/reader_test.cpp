#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ecm/crc.h"
#include "link/ring.h"
#include "stream/reader.h"
#include "support/log_builder.h"
#include "support/param_name.h"

namespace {

const std::string T1 = " 03/07/2013 - 14:05:09";
Bytes time1() { return time_record(3, 7, 2013, 14, 5, 9); }
Bytes marker7() { return marker_record(7, 3, 7, 2013, 14, 5, 9); }
Bytes frame(uint32_t seed) { return frame_bytes(sample_frame(seed)); }

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        append(out, p);
    return out;
}

// What one read_frame call should give: its status, the frame's seed for a good frame (-1 when
// the payload is not checked) and the record texts.
struct Expect {
    int status;
    int seed = -1;
    std::string marker = "";
    std::string time = "";
};

struct ReaderCase {
    const char* name;
    std::function<Bytes()> log;
    std::vector<Expect> reads;   // NO_DATA ends every case and need not be listed
};

struct Result {
    int status;
    FrameRecord frame;
    std::string marker, time;
};

// Reads a whole log file through the analysis source.
std::vector<Result> read_log(const Bytes& log)
{
    std::string path = write_temp_file("reader.dat", log);
    FILE* f = std::fopen(path.c_str(), "rb");
    set_run_mode(RUN_ANALYSIS);
    set_analysis_source(1, f);
    std::vector<Result> out;
    for (;;) {
        Result r;
        RecordText time, marker;
        r.status = read_frame(r.frame, time, marker);
        r.time.assign(time.bytes, static_cast<size_t>(time.len));
        r.marker.assign(marker.bytes, static_cast<size_t>(marker.len));
        out.push_back(r);
        if (r.status == STREAM_NO_DATA || out.size() > 100000)
            break;
    }
    set_analysis_source(0, nullptr);
    set_run_mode(RUN_LIVE);
    std::fclose(f);
    return out;
}

Bytes with_payload_bytes(uint32_t seed, size_t at, const std::string& text)
{
    FrameRecord f = sample_frame(seed);
    for (size_t i = 0; i < text.size(); ++i)
        f.b[at + i] = static_cast<uint8_t>(text[i]);
    return frame_bytes(f);
}

Bytes ff_in_time_text()
{
    Bytes t = time1();
    t[10] = 0xFF;
    return t;
}

const ReaderCase CASES[] = {
    {"a clean frame is read whole", [] { return frame(1); }, {{STREAM_OK, 1}}},
    {"leading garbage is skipped to the first sync pair",
     [] { return concat({Bytes{1, 2, 3, 0x55, 0x54, 0xAA}, frame(1)}); }, {{STREAM_OK, 1}}},
    {"a stream that begins mid-frame is read from the next sync pair",
     [] {
         Bytes f0 = frame(0);
         return concat({Bytes(f0.begin() + 100, f0.end()), frame(1), frame(2)});
     },
     {{STREAM_OK, 1}, {STREAM_OK, 2}}},
    {"a time record between frames is captured for the next frame",
     [] { return concat({frame(1), time1(), frame(2)}); }, {{STREAM_OK, 1}, {STREAM_OK, 2, "", T1}}},
    {"a time record inside a payload is removed and the frame checks",
     [] { return concat({insert_at(frame(1), 150, time1()), frame(2)}); },
     {{STREAM_OK, 1, "", T1}, {STREAM_OK, 2}}},
    {"a marker record inside a payload fills the marker and the time text",
     [] { return insert_at(frame(1), 2, marker7()); }, {{STREAM_OK, 1, "007", T1}}},
    {"a record that starts at the last payload byte spoils that frame",
     [] { return concat({insert_at(frame(1), 274, marker7()), frame(2)}); },
     {{STREAM_BAD_CRC}, {STREAM_OK, 2, "007", T1}}},
    {"the last of two time records before a frame is kept",
     [] { return concat({time_record(1, 1, 2020, 0, 0, 0), time1(), frame(1)}); }, {{STREAM_OK, 1, "", T1}}},
    {"a record between the sync bytes loses that frame",
     [] { return concat({insert_at(frame(1), 1, time1()), frame(2)}); }, {{STREAM_OK, 2, "", T1}}},
    {"a record between the CRC bytes fails the CRC and reading goes on",
     [] { return concat({insert_at(frame(1), 276, time1()), frame(2)}); },
     {{STREAM_BAD_CRC}, {STREAM_OK, 2, "", T1}}},
    {"a wrong CRC is reported and the next frame is read",
     [] { return concat({frame_bytes_bad_crc(sample_frame(1)), frame(2)}); }, {{STREAM_BAD_CRC}, {STREAM_OK, 2}}},
    {"a false sync pair fails its CRC and the reader finds the real frames again",
     [] { return concat({Bytes{0x55, 0xAA}, Bytes(100, 0x11), frame(1), frame(2), frame(3)}); },
     {{STREAM_BAD_CRC}, {STREAM_OK, 2}, {STREAM_OK, 3}}},
    {"payload bytes that spell TIME: are taken for a record and the frame is lost",
     [] { return concat({with_payload_bytes(1, 100, "TIME: 01/01/2020 - 00:00:00"), frame(2), frame(3)}); },
     {{STREAM_BAD_CRC, -1, "", " 01/01/2020 - 00:00:00"}, {STREAM_OK, 3}}},
    {"a doubled first letter is not a time record",
     [] { return concat({Bytes{'T'}, time1(), frame(1)}); }, {{STREAM_OK, 1}}},
    {"a doubled first letter is not a marker record",
     [] { return concat({Bytes{'M'}, marker7(), frame(1)}); }, {{STREAM_OK, 1, "", T1}}},
    {"a text byte 0xFF inside a time record is text",
     [] { return concat({ff_in_time_text(), frame(1)}); },
     {{STREAM_OK, 1, "", std::string(" 03/0\xFF/2013 - 14:05:09")}}},
    {"a marker above 999 keeps three digits and the fourth is an ordinary byte",
     [] { return concat({marker_record(1000, 3, 7, 2013, 14, 5, 9), frame(1)}); }, {{STREAM_OK, 1, "100", T1}}},
    {"a log that ends inside a time record keeps the text read so far",
     [] {
         Bytes t = time1();
         return concat({frame(1), Bytes(t.begin(), t.begin() + 12)});
     },
     {{STREAM_OK, 1}, {STREAM_NO_DATA, -1, "", " 03/07/"}}},
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class ReaderCases : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderCases, GiveTheExpectedFramesAndTexts)
{
    const ReaderCase& c = GetParam();
    std::vector<Expect> expected = c.reads;
    if (expected.empty() || expected.back().status != STREAM_NO_DATA)
        expected.push_back({STREAM_NO_DATA});
    std::vector<Result> got = read_log(c.log());
    ASSERT_EQ(got.size(), expected.size()) << c.name;
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(std::string(c.name) + ", read " + std::to_string(i));
        EXPECT_EQ(got[i].status, expected[i].status);
        EXPECT_EQ(got[i].marker, expected[i].marker);
        EXPECT_EQ(got[i].time, expected[i].time);
        if (expected[i].seed >= 0) {
            FrameRecord want = sample_frame(static_cast<uint32_t>(expected[i].seed));
            EXPECT_EQ(0, std::memcmp(got[i].frame.b, want.b, FRAME_PAYLOAD_BYTES));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Log, ReaderCases, ::testing::ValuesIn(CASES), NameFromSentence());

TEST(Crc, CoversTheSyncPairAndMatchesTheXmodemCheckValue)
{
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc16(check, 9), 0x31C3);
    FrameRecord f = sample_frame(5);
    Bytes whole = frame_bytes(f);
    EXPECT_EQ(stream_crc(f.b, 0x55, 0xAA, FRAME_PAYLOAD_BYTES), crc16(whole.data(), 275));
    EXPECT_NE(stream_crc(f.b, 0x55, 0xAA, FRAME_PAYLOAD_BYTES), crc16(f.b, FRAME_PAYLOAD_BYTES));
    // Every length agrees with the plain byte-at-a-time register.
    for (size_t n = 0; n <= FRAME_PAYLOAD_BYTES; ++n) {
        uint16_t reg = 0;
        for (size_t i = 0; i < n; ++i)
            reg = crc_step(reg, f.b[i]);
        ASSERT_EQ(crc16(f.b, n), reg) << n << " bytes";
    }
}

TEST(Reader, ALogCutAnywhereEndsWithNoDataAfterTheWholeFramesBeforeTheCut)
{
    Bytes log = concat({frame(1), insert_at(frame(2), 40, marker7()), time1(), frame(3)});
    const size_t frame_ends[] = {277, 277 + 277 + 34, log.size()};
    for (size_t cut = 0; cut <= log.size(); ++cut) {
        std::vector<Result> got = read_log(Bytes(log.begin(), log.begin() + static_cast<long>(cut)));
        size_t whole = 0;
        for (size_t end : frame_ends)
            whole += end <= cut;
        ASSERT_EQ(got.size(), whole + 1) << "cut at " << cut;
        EXPECT_EQ(got.back().status, STREAM_NO_DATA) << "cut at " << cut;
        for (size_t i = 0; i < whole; ++i)
            EXPECT_EQ(got[i].status, STREAM_OK) << "cut at " << cut;
    }
}

TEST(Reader, RandomBytesNeverHurtTheReader)
{
    Bytes noise;
    uint32_t x = 99;
    for (int i = 0; i < 2000000; ++i) {
        x = x * 1103515245u + 12345u;
        uint8_t b = static_cast<uint8_t>(x >> 16);
        // Seed the noise with structure: sync pairs and record patterns.
        if (i % 5000 == 0)
            append(noise, Bytes{0x55, 0xAA});
        if (i % 7919 == 0)
            append(noise, Bytes{'T', 'I', 'M', 'E', ':'});
        if (i % 10007 == 0)
            append(noise, Bytes{'M', 'A', 'R', 'K'});
        noise.push_back(b);
    }
    std::vector<Result> got = read_log(noise);
    EXPECT_EQ(got.back().status, STREAM_NO_DATA);
}

TEST(Reader, TheEndOfAFileIsReportedOnceThenZeroBytesComeSlowly)
{
    std::string path = write_temp_file("end.dat", frame(1));
    FILE* f = std::fopen(path.c_str(), "rb");
    set_run_mode(RUN_ANALYSIS);
    set_analysis_source(1, f);
    FrameRecord fr;
    RecordText time, marker;
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_OK);
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_NO_DATA);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(next_stream_byte(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5));
    // A fresh source reads again.
    std::rewind(f);
    set_analysis_source(1, f);
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_OK);
    reset_stream();
    std::fclose(f);
}

TEST(Reader, ThePlaybackSourceCallsItsEndRoutineOnce)
{
    static int ended = 0;
    ended = 0;
    std::string path = write_temp_file("play.dat", frame(1));
    FILE* f = std::fopen(path.c_str(), "rb");
    g_stream.on_playback_end = [] { ++ended; };
    set_run_mode(RUN_PLAYBACK);
    set_playback_source(1, f);
    FrameRecord fr;
    RecordText time, marker;
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_OK);
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_NO_DATA);
    EXPECT_EQ(next_stream_byte(), 0);
    EXPECT_EQ(ended, 1);
    reset_stream();
    std::fclose(f);
}

TEST(Reader, RunModeSwitchesReturnThePreviousMode)
{
    reset_stream();
    EXPECT_EQ(get_run_mode(), RUN_LIVE);
    EXPECT_EQ(set_run_mode(RUN_FLASH), RUN_LIVE);
    EXPECT_EQ(set_run_mode(RUN_LIVE), RUN_FLASH);
}

class RingReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_ring();
        reset_stream();
    }
    void put(const Bytes& bytes)
    {
        for (uint8_t b : bytes)
            ASSERT_TRUE(ring_put(b));
    }
};

TEST_F(RingReader, LiveFramesComeFromTheReceiveRing)
{
    put(concat({frame(1), insert_at(frame(2), 10, time1())}));
    FrameRecord fr;
    RecordText time, marker;
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_OK);
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_OK);
    EXPECT_EQ(std::string(time.bytes), T1);
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_NO_DATA);
}

TEST_F(RingReader, APartFrameIsDroppedAndABadCrcIsNotRewound)
{
    Bytes f1 = frame(1);
    put(Bytes(f1.begin(), f1.begin() + 200));
    FrameRecord fr;
    RecordText time, marker;
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_NO_DATA);
    EXPECT_EQ(ring_count(), 0);
    put(concat({frame_bytes_bad_crc(sample_frame(2)), frame(3)}));
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_BAD_CRC);
    EXPECT_EQ(ring_count(), 277);
    EXPECT_EQ(read_frame(fr, time, marker), STREAM_OK);
    EXPECT_EQ(fr.b[0], sample_frame(3).b[0]);
}

TEST_F(RingReader, FlashModeReadsTheRingToo)
{
    put(frame(1));
    set_run_mode(RUN_FLASH);
    EXPECT_EQ(next_stream_byte(), 0x55);
    step_back_stream();
    EXPECT_EQ(next_stream_byte(), 0xAA);
}

}  // namespace
