#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "config/config.h"
#include "config/settings.h"
#include "config/updater_config.h"
#include "support/full_disk.h"
#include "support/log_builder.h"
#include "support/scripted_ui.h"

namespace {

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override { reset_settings(); }
    void TearDown() override { reset_settings(); }

    // Loads a configuration file holding `text`.
    void load(const std::string& text)
    {
        set_config_path(write_temp_file("load.cfg", Bytes(text.begin(), text.end())));
        ASSERT_EQ(load_config(), 0);
    }

    std::string written()
    {
        std::string path = temp_dir() + "/written.cfg";
        set_config_path(path);
        EXPECT_EQ(save_config(), 0);
        return read_file(path);
    }

    ScopedScriptedUi ui_;
};

std::vector<std::string> lines_of(const std::string& file)
{
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = file.find("\r\n", start)) != std::string::npos) {
        lines.push_back(file.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, file.size()) << "every line ends in CR LF";
    return lines;
}

TEST_F(ConfigTest, WrittenFileHoldsEveryKeyInTableOrderWithInitialValues)
{
    std::vector<std::string> lines = lines_of(written());
    ASSERT_EQ(lines.size(), 259u);
    EXPECT_EQ(lines.front(), "[ID] ZOV J8 Glanzo Display");
    EXPECT_EQ(lines[1], "[PORT] COM2");
    EXPECT_EQ(lines[2], "[DLOG] ");
    EXPECT_EQ(lines.back(), "[AD7FPPREF] 0");

    auto line_of = [&](const std::string& key) {
        for (const std::string& l : lines)
            if (l.compare(0, key.size() + 1, key + " ") == 0)
                return l;
        return std::string("missing " + key);
    };
    // Settings whose initial value differs from their fallback.
    EXPECT_EQ(line_of("[LRNLWR]"), "[LRNLWR] 75");
    EXPECT_EQ(line_of("[RDLN]"), "[RDLN] 5800");
    EXPECT_EQ(line_of("[SMOOTHFAC]"), "[SMOOTHFAC] 5");
    EXPECT_EQ(line_of("[AUTOVSHOW]"), "[AUTOVSHOW] 1");
    EXPECT_EQ(line_of("[KNOCKALERT]"), "[KNOCKALERT] 1");
    EXPECT_EQ(line_of("[ACTVMALF]"), "[ACTVMALF] 0");
    EXPECT_EQ(line_of("[UD0PRECI]"), "[UD0PRECI] 4");
    EXPECT_EQ(line_of("[TOTALPW]"), "[TOTALPW] 0.000000");
    EXPECT_EQ(line_of("[UD15NAME]"), "[UD15NAME] -Available Device Entry-");
    EXPECT_EQ(line_of("[UD10UNITK]"), "[UD10UNITK] 1000000");
    EXPECT_EQ(line_of("[AD3NAME]"), "[AD3NAME] None");
    EXPECT_EQ(line_of("[AD0TYPE]"), "[AD0TYPE] -1");
    EXPECT_EQ(line_of("[ANA.CSV]"), "[ANA.CSV] 0");
    // The families follow [UPDATERATE]: nine keys per device, then seven per channel.
    EXPECT_EQ(lines[58], "[UPDATERATE] 0");
    EXPECT_EQ(lines[59], "[UD0ACTIVE] 0");
    EXPECT_EQ(lines[59 + 9 * 16], "[AD0TYPE] -1");
}

TEST_F(ConfigTest, WhatIsWrittenReadsBackUnchanged)
{
    g_settings.port = "/dev/ttyUSB0";
    g_settings.lrnlwr = 90;
    g_settings.totalpw = 123456.789;
    g_settings.flshbank = 5;
    g_settings.ud[12].unit = "psi";
    g_settings.ud[12].unit_j = -9999999;
    g_settings.ad[7].fppref = 1;
    g_settings.savetrip = 1;
    std::string first = written();

    reset_settings();
    load(first);
    EXPECT_EQ(g_settings.port, "/dev/ttyUSB0");
    EXPECT_EQ(g_settings.totalpw, 123456.789);
    EXPECT_EQ(g_settings.ud[12].unit_j, -9999999);
    EXPECT_EQ(written(), first);
}

TEST_F(ConfigTest, KeysAreFoundInAnyOrderAndEachTableNamesAKeyOnce)
{
    // The reader tries the key after the last one found first; with each name once in a table
    // that finds what a search from the top would.
    for (std::span<const ConfigKey> keys : {glanzo_config_keys(), updater_config_keys()}) {
        std::set<std::string_view> names;
        for (const ConfigKey& k : keys)
            EXPECT_TRUE(names.insert(k.name()).second) << k.name();
    }

    g_settings.port = "/dev/ttyS3";
    g_settings.lrnlwr = 90;
    g_settings.ud[12].unit_j = -9999999;
    std::vector<std::string> lines = lines_of(written());
    std::string reversed;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        reversed += *line + "\r\n";
    std::string shuffled = lines[7] + "\r\n" + lines[3] + "\r\n" + lines[8] + "\r\n";
    std::string in_order = written();

    for (const std::string& text : {reversed, shuffled + reversed + shuffled}) {
        reset_settings();
        load(text);
        EXPECT_EQ(written(), in_order);
    }
}

TEST_F(ConfigTest, WritingClampsNumbersIntoRangeInMemoryToo)
{
    g_settings.rdln = 9000;
    g_settings.xposhwnd = -50;
    g_settings.flshaction = 9;
    std::vector<std::string> lines = lines_of(written());
    EXPECT_EQ(g_settings.rdln, 8000);
    EXPECT_EQ(g_settings.xposhwnd, -1);
    EXPECT_EQ(g_settings.flshaction, 2);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[RDLN] 8000"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[FLSHACTION] 2"), lines.end());
}

TEST_F(ConfigTest, NumbersOutOfRangeTakeTheFallbackNotTheLimit)
{
    load("[LRNLWR] 500\r\n[PBSPD] 150\r\n[AUTOVSAVE] 1\r\n[FLSHBANK] 8\r\n"
         "[XPOSHWND] 99999999999\r\n[YPOSHWND] -2\r\n[UD3UNITJ] -10000000\r\n");
    EXPECT_EQ(g_settings.lrnlwr, 80);
    EXPECT_EQ(g_settings.pbspd, 50);
    EXPECT_EQ(g_settings.autovsave, 0);
    EXPECT_EQ(g_settings.flshbank, 0);
    EXPECT_EQ(g_settings.xposhwnd, -1);
    EXPECT_EQ(g_settings.yposhwnd, -1);
    EXPECT_EQ(g_settings.ud[3].unit_j, 0);
}

TEST_F(ConfigTest, NumbersParseLikeTheCLibrary)
{
    load("[PBSPD] abc\r\n[RDLN]   6100rpm\r\n[XPOSMALF] -1\r\n[MPHRANGE] +200\r\n[TOTALVSS] 42.25xyz\r\n"
         "[SAVETRIP] 1\r\n");
    EXPECT_EQ(g_settings.pbspd, 0) << "no digits parse as 0, which is in range";
    EXPECT_EQ(g_settings.rdln, 6100);
    EXPECT_EQ(g_settings.xposmalf, -1);
    EXPECT_EQ(g_settings.mphrange, 200);
    EXPECT_EQ(g_settings.totalvss, 42.25);
}

TEST_F(ConfigTest, RealsThatAreNotFiniteNumbersReadAsZero)
{
    load("[SAVETRIP] 1\r\n[TOTALPW] nan\r\n[TOTALVSS] 1e999\r\n");
    EXPECT_EQ(g_settings.totalpw, 0.0);
    EXPECT_EQ(g_settings.totalvss, 0.0);
}

TEST_F(ConfigTest, KeysMustMatchExactlyFromTheFirstColumn)
{
    load(" [PORT] COM3\r\n[port] COM4\r\n[PORT COM5\r\n[PORTX] COM6\r\n[ID] something\r\n");
    EXPECT_EQ(g_settings.port, "COM2");
}

TEST_F(ConfigTest, TheCharacterAfterTheKeyIsSkippedWhateverItIs)
{
    load("[PORT]COM3\r\n");
    EXPECT_EQ(g_settings.port, "OM3");
    load("[PORT]\r\n");
    EXPECT_EQ(g_settings.port, "") << "a line that ends with its key has an empty value";
}

TEST_F(ConfigTest, TextsLongerThanTheirLimitTakeTheFallback)
{
    load("[UD0UNIT] ABCD\r\n[UD1UNIT] ABCDE\r\n[UD2NAME] " + std::string(48, 'n') + "\r\n[UD3NAME] " +
         std::string(49, 'n') + "\r\n[PORT] " + std::string(31, 'p') + "\r\n[DLOG] " + std::string(1023, 'd') +
         "\r\n");
    EXPECT_EQ(g_settings.ud[0].unit, "ABCD");
    EXPECT_EQ(g_settings.ud[1].unit, "NEW");
    EXPECT_EQ(g_settings.ud[2].name, std::string(48, 'n'));
    EXPECT_EQ(g_settings.ud[3].name, "-Available Device Entry-");
    EXPECT_EQ(g_settings.port, std::string(31, 'p'));
    EXPECT_EQ(g_settings.dlog, "/") << "path settings fall back to the root folder";
}

TEST_F(ConfigTest, TextsAreStrippedAndLineEndsOfEveryKindAreRemoved)
{
    load("[DLOG]   /logs/run one.dat \t\r\r\n[DLOGNAME] run.dat\n[DLOGPATH]     \r\n");
    EXPECT_EQ(g_settings.dlog, "/logs/run one.dat");
    EXPECT_EQ(g_settings.dlogname, "run.dat");
    EXPECT_EQ(g_settings.dlogpath, "");
}

TEST_F(ConfigTest, TheLastOfTwoLinesWithTheSameKeyWins)
{
    load("[PORT] COM3\r\n[PORT] COM7\r\n");
    EXPECT_EQ(g_settings.port, "COM7");
}

TEST_F(ConfigTest, TripTotalsAreClearedUnlessSaveTripIsOneWhereverItStands)
{
    load("[TOTALPW] 12.5\r\n[TOTALVSS] 7\r\n[SAVETRIP] 0\r\n");
    EXPECT_EQ(g_settings.totalpw, 0.0);
    EXPECT_EQ(g_settings.totalvss, 0.0);
    load("[TOTALPW] 12.5\r\n[TOTALVSS] 7\r\n[SAVETRIP] 1\r\n");
    EXPECT_EQ(g_settings.totalpw, 12.5);
    EXPECT_EQ(g_settings.totalvss, 7.0);
}

TEST_F(ConfigTest, LoadingDerivesTheFrameSkipCodeAndAsksForARepaint)
{
    const int expected[] = {3, 2, 1, 0};
    for (int rate = 0; rate <= 3; ++rate) {
        load("[UPDATERATE] " + std::to_string(rate) + "\r\n");
        EXPECT_EQ(g_settings.frame_skip_code, expected[rate]);
    }
    EXPECT_EQ(ui_.repaints, 4);
}

TEST_F(ConfigTest, AbsentKeysKeepTheirValues)
{
    g_settings.rpmrange = 6000;
    load("[RDLN] 6000\r\n");
    EXPECT_EQ(g_settings.lrnlwr, 75);
    EXPECT_EQ(g_settings.rpmrange, 6000);
}

TEST_F(ConfigTest, DamagedFilesLoadWithoutHarmAndKeepWhatTheyCan)
{
    // Binary garbage with valid lines among it.
    Bytes garbage;
    uint32_t x = 7;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        garbage.push_back(static_cast<uint8_t>(x >> 16));
    }
    std::string text(garbage.begin(), garbage.end());
    text += "\n[RDLN] 6100\n";
    text += std::string(100000, 'x') + "\n";        // a line far longer than a piece
    text += std::string("[MPHRANGE] 1") + '\0' + "60\n";   // NUL ends the line's text
    text += "[RPMRANGE] 7500";                        // no line end at all
    load(text);
    EXPECT_EQ(g_settings.rdln, 6100);
    EXPECT_EQ(g_settings.mphrange, 120) << "1 is out of range";
    EXPECT_EQ(g_settings.rpmrange, 7500);
    EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(ConfigTest, ALineLongerThanAPieceIsReadAsSeveralLines)
{
    // The second piece of this line starts with a key of its own.
    std::string first_piece = "[DLOGNAME] " + std::string(CONFIG_LINE_MAX - 11, 'a');
    load(first_piece + "[RDLN] 6200\r\n");
    EXPECT_EQ(g_settings.rdln, 6200);
    EXPECT_EQ(g_settings.dlogname, "") << "1036 characters exceed the limit";
}

TEST_F(ConfigTest, AMissingFileIsCreatedEmptyAndSettingsKeepTheirValues)
{
    std::string path = temp_dir() + "/absent.cfg";
    std::remove(path.c_str());
    set_config_path(path);
    EXPECT_EQ(load_config(), 0);
    EXPECT_EQ(read_file(path), "");
    struct stat st;
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(g_settings.lrnlwr, 75);
    EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(ConfigTest, AFileThatCannotBeOpenedOrWrittenIsReportedInAMessageBox)
{
    std::string path = temp_dir() + "/no-such-folder/x.cfg";
    set_config_path(path);
    EXPECT_EQ(load_config(), -1);
    EXPECT_EQ(save_config(), -1);
    ASSERT_EQ(ui_.shown.size(), 2u);
    EXPECT_EQ(ui_.shown[0].text, "Can not open Configuration File: \n\n " + path);
    EXPECT_EQ(ui_.shown[0].caption, "Configuration File Error");
    EXPECT_EQ(ui_.shown[0].flags, MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

TEST_F(ConfigTest, ASaveOntoAFullDiskLeavesTheOldFileWholeAndNothingBesideIt)
{
    FullDisk disk;
    std::string path = disk.folder() + "/kept.cfg";
    set_config_path(path);
    ASSERT_EQ(save_config(), 0);
    std::string before = read_file(path);
    disk.fill(1024);
    g_settings.port = "/dev/ttyUSB7";
    EXPECT_EQ(save_config(), -1);
    EXPECT_EQ(ui_.shown.size(), 1u);
    disk.empty();
    EXPECT_EQ(read_file(path), before);
    EXPECT_EQ(files_in(disk.folder()), std::vector<std::string>{"kept.cfg"});
}

TEST_F(ConfigTest, ALinkedFileStaysALinkAndWhatIsNoRegularFileIsRefused)
{
    std::string dir = temp_dir() + "/dotfiles-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/dotfiles");
    std::string target = dir + "/dotfiles/glanzo.cfg";
    write_temp_file("dotfiles-test/dotfiles/glanzo.cfg", Bytes{'x'});
    std::string link = dir + "/linked.cfg";
    ASSERT_EQ(symlink("dotfiles/glanzo.cfg", link.c_str()), 0);   // relative to the link's folder
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    g_settings.port = "/dev/ttyACM3";
    set_config_path(link);
    ASSERT_EQ(save_config(), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    struct stat kept;
    ASSERT_EQ(stat(target.c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 0777, 0600u) << "a private file stays private";
    EXPECT_NE(read_file(target).find("[PORT] /dev/ttyACM3\r\n"), std::string::npos);
    EXPECT_EQ(read_file(link), read_file(target));

    // A link to a file not there yet makes the file and keeps the link.
    std::string dangling = dir + "/dangling.cfg";
    ASSERT_EQ(symlink((dir + "/dotfiles/later.cfg").c_str(), dangling.c_str()), 0);
    set_config_path(dangling);
    ASSERT_EQ(save_config(), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dangling));
    EXPECT_EQ(read_file(dir + "/dotfiles/later.cfg"), read_file(target));

    // A pipe and a folder are no configuration files, to read or to write; a link to one neither.
    std::string fifo = dir + "/pipe.cfg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string to_fifo = dir + "/to-pipe.cfg";
    ASSERT_EQ(symlink(fifo.c_str(), to_fifo.c_str()), 0);
    for (const std::string& path : {fifo, to_fifo, dir + "/dotfiles"}) {
        SCOPED_TRACE(path);
        set_config_path(path);
        ui_.shown.clear();
        EXPECT_EQ(load_config(), -1);
        EXPECT_EQ(save_config(), -1);
        ASSERT_EQ(ui_.shown.size(), 2u);
        EXPECT_EQ(ui_.shown[1].text, "Can not open Configuration File: \n\n " + path);
    }
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe is still a pipe";
    EXPECT_TRUE(std::filesystem::is_symlink(to_fifo));
}

TEST(UpdaterConfig, UsesItsOwnKeysWithTheSameReaderAndWriter)
{
    reset_updater_settings();
    std::string path = write_temp_file("upd.cfg", Bytes());
    {
        std::string text = "[PORT] " + std::string(32, 'q') + "\r\n[XPOSHWND] 1300\r\n[YPOSHWND] 20\r\n"
                           "[FLSHBIN] /cal/my.bin\r\n[RDLN] 100\r\n";
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    set_updater_config_path(path);
    ASSERT_EQ(load_updater_config(), 0);
    EXPECT_EQ(g_updater_settings.port, std::string(32, 'q')) << "the updater's port holds 32 characters";
    EXPECT_EQ(g_updater_settings.xposhwnd, -1);
    EXPECT_EQ(g_updater_settings.yposhwnd, 20);
    ASSERT_EQ(save_updater_config(), 0);
    EXPECT_EQ(read_file(path), "[ID] ZOV Flash Update\r\n[PORT] " + std::string(32, 'q') +
                                   "\r\n[XPOSHWND] -1\r\n[YPOSHWND] 20\r\n[FLSHBIN] /cal/my.bin\r\n"
                                   "[FLSHBINFILE] \r\n[FLSHBINPATH] \r\n");
    reset_updater_settings();
    EXPECT_EQ(g_updater_settings.port, "COM2");
    EXPECT_EQ(g_updater_settings.flshbin, "/");
}

}  // namespace
