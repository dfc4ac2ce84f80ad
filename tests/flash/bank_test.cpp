// The bank procedures against the simulated ECM's flash loader.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "config/config.h"
#include "ecm/protocol.h"
#include "ecm/sink.h"
#include "ecm/tick.h"
#include "flash/bank.h"
#include "flash/bin_file.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "support/full_disk.h"
#include "support/live.h"
#include "support/param_name.h"
#include "support/sim_process.h"

namespace {

using Lines = std::vector<std::pair<FlashColour, std::string>>;

class RecordingSink : public FlashSink {
public:
    Lines lines;
    void add_line(FlashColour colour, const std::string& text) override { lines.push_back({colour, text}); }
    void clear() override { lines.clear(); }
};

constexpr FlashColour N = FLASH_NORMAL, E = FLASH_ERROR, S = FLASH_SUCCESS, F = FLASH_FAILURE;

class Bank : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        disable_config_file();
        set_flash_sink(&sink_);
        start_tick_timer();
        start_link_thread();
        static int n = 0;
        banks_ = temp_dir() + "/banks" + std::to_string(n) + ".bin";
        trace_ = temp_dir() + "/trace" + std::to_string(n++) + ".txt";
        std::remove(banks_.c_str());
        std::remove(trace_.c_str());
        g_flash.params.bank = 3;
        g_flash.params.verify = 1;
        g_flash.params.set_active = 1;
        const int info[4] = {1, 1, 1, 25};
        for (int k = 0; k < 4; ++k)
            g_flash.params.info[k] = info[k];
    }
    void TearDown() override
    {
        sim_.reset();
        stop_link_thread();
        stop_tick_timer();
        set_flash_sink(nullptr);
        reset_everything();
    }

    // Starts the simulator with these faults and opens the link to it.
    void connect(const std::vector<std::string>& faults = {})
    {
        std::vector<std::string> args = {"--banks", banks_, "--trace", trace_};
        for (const std::string& f : faults) {
            args.push_back("--fault");
            args.push_back(f);
        }
        sim_ = std::make_unique<SimProcess>(args);
        request_port_state(PORT_OPEN, sim_->device().c_str());
        ASSERT_TRUE(wait_until([] { return g_port.link_running == 1; }, 3));
        ecm_command(ECM_STREAM, STREAM_STOP);
    }

    // The simulator's flash after it has saved it.
    std::vector<uint8_t> flash_contents()
    {
        sim_->stop();
        std::string all = read_file(banks_);
        return std::vector<uint8_t>(all.begin(), all.end());
    }

    std::vector<std::string> trace()
    {
        std::vector<std::string> out;
        std::ifstream in(trace_);
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }

    std::string calibration_file(uint8_t seed, size_t size = BIN_BYTES)
    {
        Bytes b(size);
        for (size_t i = 0; i < size; ++i)
            b[i] = static_cast<uint8_t>((i * 31 + seed) ^ (i >> 7));
        if (size >= 6)
            std::memcpy(b.data() + 2, "ZOV8", 4);
        return write_temp_file("cal" + std::to_string(seed) + ".bin", b);
    }

    RecordingSink sink_;
    std::unique_ptr<SimProcess> sim_;
    std::string banks_, trace_;
};

TEST_F(Bank, ProgrammingWithVerifyWritesTheCalibrationIntoTheBank)
{
    connect();
    std::string file = calibration_file(1);
    ASSERT_EQ(program_bank_from_file(file), 0);
    EXPECT_EQ(sink_.lines, (Lines{{N, "Bank Flash Program Starting"}, {N, "Flash Bank Set"}, {N, "Bank Verify Starting"},
                                  {N, "Bank Programmed Successfully"}, {N, ""}, {S, "    -Flashing Successful-"}}));
    std::vector<std::string> t = trace();
    EXPECT_EQ(std::count(t.begin(), t.end(), "R B 3"), 2) << "the bank is set twice";
    EXPECT_NE(std::find(t.begin(), t.end(), "S 2 24"), t.end()) << "sector 3 x 8 + 0 erased";
    EXPECT_NE(std::find(t.begin(), t.end(), "S 2 25"), t.end()) << "sector 3 x 8 + 1 erased";
    std::vector<uint8_t> flash = flash_contents();
    std::string want = read_file(file);
    EXPECT_EQ(0, std::memcmp(flash.data() + 3 * 32768, want.data(), 8192));
    EXPECT_NE(flash[3 * 32768 + 8192], 0xFF) << "the firmware area is untouched";
}

TEST_F(Bank, WithoutVerifyTheLoaderIsStoppedRightAfterTheLastPage)
{
    g_flash.params.verify = 0;
    g_flash.params.set_active = 0;
    connect();
    ASSERT_EQ(program_bank_from_file(calibration_file(2)), 0);
    EXPECT_EQ(sink_.lines, (Lines{{N, "Bank Flash Program Starting"}, {N, "Bank Programmed Successfully"}, {N, ""},
                                  {S, "    -Flashing Successful-"}}));
    // The stop is not answered: the simulator may still be writing it to its trace.
    std::vector<std::string> t;
    EXPECT_TRUE(wait_until([&] { return !(t = trace()).empty() && t.back() == "S 4 32"; }, 3));
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t[t.size() - 2], "S 7 63");
    EXPECT_EQ(std::count(t.begin(), t.end(), "R B 3"), 0);
}

TEST_F(Bank, ReadingMakesAWholeBalancedBinFile)
{
    connect();
    std::string path = temp_dir() + "/read.bin";
    ASSERT_EQ(read_bank_to_file(path), 0);
    EXPECT_EQ(sink_.lines, (Lines{{N, "Bank Read Starting"}, {N, "Flash Bank Set"}, {N, "Bank Read Successful"}, {N, ""},
                                  {S, "    -Read Successful-"}}));
    std::string file = read_file(path);
    ASSERT_EQ(file.size(), 32768u);
    std::vector<uint8_t> flash = flash_contents();
    EXPECT_EQ(0, std::memcmp(file.data(), flash.data() + 3 * 32768, 8192));
    for (int i = 8192; i < 32000; ++i)
        ASSERT_EQ(static_cast<uint8_t>(file[i]), 0xFF);
    EXPECT_EQ(0, std::memcmp(file.data() + 32000 + 528, "  ZOV_J8 Flash  ", 16));
    BinImage img;
    std::memcpy(img.data(), file.data(), img.size());
    EXPECT_EQ(bin_checksum(img), stored_checksum(img));
}

TEST_F(Bank, TheInfoMessageSendsSmallDValuesAs15)
{
    connect();
    ASSERT_EQ(TxMsFlash(), 0);
    for (auto [d, sent] : {std::pair{7, 15}, {0, 0}, {25, 25}, {1, 15}, {15, 15}, {16, 16}}) {
        g_flash.params.info[3] = d;
        ASSERT_EQ(TxSlInfo(), 0);
        EXPECT_EQ(g_flash.reply.ack5, sent) << "D " << d;
    }
    EXPECT_EQ(TxSlStop(1), 0);
}

struct FailureCase {
    const char* name;
    std::vector<std::string> faults;
    Lines expected;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class BankFailures : public Bank, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BankFailures, ReportTheirExactLines)
{
    g_flash.params.set_active = 0;
    connect(GetParam().faults);
    program_bank_from_file(calibration_file(3));
    EXPECT_EQ(sink_.lines, GetParam().expected) << GetParam().name;
}

const Lines START = {{N, "Bank Flash Program Starting"}};
Lines with(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const Lines FAILED = {{N, ""}, {F, "     -Flashing Failed-"}};
const Lines SUCCEEDED = {{N, "Bank Verify Starting"}, {N, "Bank Programmed Successfully"}, {N, ""},
                         {S, "    -Flashing Successful-"}};

const FailureCase FAILURES[] = {
    {"no reply to the first info", {"no-reply:1"}, with(with(START, {{E, "RX Timeout 1"}, {E, "TxSlInfo Failed"}}), FAILED)},
    {"a wrong check on an erase reply", {"bad-crc:2"},
     with(with(START, {{E, "RX Cksum Failure"}, {E, "TxSlEraseSector Failed"}}), FAILED)},
    {"a refusal of the second erase", {"nak:3"}, with(with(START, {{E, "TxSlEraseSector Failed"}}), FAILED)},
    {"a wrong echo from the first info", {"bad-echo:1"}, with(with(START, {{E, "TxSlInfo Failed"}}), FAILED)},
    {"a wrong echo on a page", {"bad-echo:20"}, with(with(START, {{E, "TxSlPgmPage Failed"}}), FAILED)},
    {"a wrong bank in the verify reply", {"bad-echo:69"}, with(with(START, {{N, "Bank Verify Starting"}, {E, "TxSlRequestCal Failed"}}), FAILED)},
    {"no reply to the stop", {"no-reply:70"},
     with(START, {{N, "Bank Verify Starting"}, {N, "Bank Programmed Successfully"}, {E, "RX Timeout 1"},
                  {E, "TxSlStop Failed"}, {N, ""}, {F, "     -Flashing Failed-"}})},
    {"garbage and an unknown code before a reply", {"garbage:5", "garbage:69"}, with(START, SUCCEEDED)},
    {"a run of S bytes before a reply", {"s-run:4", "s-run:69"}, with(START, SUCCEEDED)},
    {"a pause of 1.5 s inside a reply", {"pause:10", "pause:69"}, with(START, SUCCEEDED)},
    {"a pause of 1.5 s before the check bytes", {"late-check:3"}, with(START, SUCCEEDED)},
    {"noise and no reply for three seconds", {"babble:1"},
     with(with(START, {{E, "RX Streaming Data Failure"}, {E, "TxSlInfo Failed"}}), FAILED)},
};

INSTANTIATE_TEST_SUITE_P(Faults, BankFailures, ::testing::ValuesIn(FAILURES), NameFromSentence());

TEST_F(Bank, APauseLongerThanTwoSecondsInsideAReplyTimesOut)
{
    g_flash.params.set_active = 0;
    sim_ = std::make_unique<SimProcess>(
        std::vector<std::string>{"--banks", banks_, "--fault", "pause:1", "--fault", "late-check:2",
                                 "--fault-pause-ms", "2600"});
    request_port_state(PORT_OPEN, sim_->device().c_str());
    ASSERT_TRUE(wait_until([] { return g_port.link_running == 1; }, 3));
    ASSERT_EQ(TxMsFlash(), 0);
    EXPECT_EQ(TxSlInfo(), -1);
    // The late half of the first reply comes first and is searched past.
    EXPECT_EQ(TxSlInfo(), -1);
    EXPECT_EQ(sink_.lines, (Lines{{E, "RX Timeout 2"}, {E, "RX Timeout 3"}}));
}

TEST_F(Bank, AShortBinIsRefusedBeforeAnythingIsErased)
{
    connect();
    program_bank_from_file(calibration_file(5, 8191));
    EXPECT_EQ(sink_.lines, (Lines{{E, "BIN File Shorter Than 8192 Bytes"}, {N, ""}, {F, "     -Flashing Failed-"}}));
    std::vector<std::string> t = trace();
    EXPECT_EQ(std::count_if(t.begin(), t.end(), [](const std::string& l) { return l[0] == 'S'; }), 0);
    sink_.lines.clear();
    program_bank_from_file(temp_dir() + "/none.bin");
    EXPECT_EQ(sink_.lines, (Lines{{E, "Failed opening BIN File"}, {N, ""}, {F, "     -Flashing Failed-"}}));
}

TEST_F(Bank, WithoutALinkTheFirstMessageFails)
{
    program_bank_from_file(calibration_file(6));
    EXPECT_EQ(sink_.lines, with(with(START, {{E, "TxMsXmit Failed"}}), FAILED));
}

TEST_F(Bank, AReadWhoseCalibrationRequestFailsLeavesFillerAndTrailer)
{
    connect({"no-reply:2"});
    std::string path = temp_dir() + "/failed-read.bin";
    EXPECT_EQ(read_bank_to_file(path), -1);
    EXPECT_EQ(sink_.lines, (Lines{{N, "Bank Read Starting"}, {N, "Flash Bank Set"}, {E, "RX Timeout 1"},
                                  {E, "TxSlRequestCal Failed"}, {N, ""}, {F, "     -Read Failed-"}}));
    std::string file = read_file(path);
    ASSERT_EQ(file.size(), 24576u);
    EXPECT_EQ(static_cast<uint8_t>(file[0]), 0xFF);
    EXPECT_EQ(0, std::memcmp(file.data() + 23808 + 528, "  ZOV_J8 Flash  ", 16));
}

TEST_F(Bank, AReadThatCannotWriteItsFileStillStopsTheLoader)
{
    connect();
    FullDisk disk;
    disk.fill(0);
    EXPECT_EQ(read_bank_to_file(disk.folder() + "/read.bin"), -1);
    EXPECT_EQ(sink_.lines, (Lines{{N, "Bank Read Starting"}, {N, "Flash Bank Set"}, {E, "File Write Failed"}, {N, ""},
                                  {F, "     -Read Failed-"}}));
    std::vector<std::string> t = trace();
    EXPECT_EQ(t.back(), "S 4 32");
}

}  // namespace
