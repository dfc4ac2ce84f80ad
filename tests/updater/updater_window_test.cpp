// ZOV_J8Update's window offscreen against ecm-sim: a whole update with its lines and colours, a
// failure half-way, no ECM, closing while banks are programmed, "&Bin Update..." through a
// scripted file dialog, the port menu and the configuration written at exit.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <cstring>
#include <filesystem>
#include <set>

#include "config/updater_config.h"
#include "ecm/sink.h"
#include "link/port.h"
#include "link/serial_devices.h"
#include "support/live.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"
#include "ui/serve.h"
#include "update/firmware.h"
#include "update/message_area.h"
#include "update/update.h"
#include "update/update_thread.h"
#include "updater/updater_window.h"

namespace {

std::vector<std::string> texts()
{
    std::vector<std::string> t;
    for (const MessageLine& l : message_lines()) {
        std::string s = l.text;
        s.erase(s.find_last_not_of(' ') + 1);
        t.push_back(std::string(flash_colour_name(l.colour)) + ": " + s);
    }
    return t;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines)
        s += l + "\n";
    return s;
}

QColor line_background(UpdaterWindow& w, int line)
{
    // A pixel at the right end of the line's 80 columns, where its text is blank.
    return w.client()->grab().toImage().pixelColor(740, 127 + 17 * line + 8);
}

const QColor YELLOW(255, 255, 0), GREEN(103, 245, 103), RED(245, 80, 80), GREY(220, 220, 220);

// Each test runs in a folder of its own (the update writes its BIN files into the working
// folder) with a configuration file there.
class UpdaterWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        reset_updater_settings();
        reset_message_area();
        dir = fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        previous_dir = here;
        ASSERT_EQ(chdir(dir.c_str()), 0);
        set_updater_config_path(dir + "/ZOV_J8Update.cfg");
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(previous_dir.c_str()), 0);
        reset_message_area();
        reset_updater_settings();
        reset_everything();
    }
    // A window on `port`, started, with its port open when `wait_open`.
    std::unique_ptr<UpdaterWindow> open_window(const std::string& port, bool wait_open = true)
    {
        g_updater_settings.port = port;
        auto w = std::make_unique<UpdaterWindow>(false);
        w->show();
        EXPECT_EQ(w->start(), 0);
        if (wait_open) {
            EXPECT_TRUE(serve_until([] { return g_port.indicator != 0; }, 10)) << "the port opens";
        }
        return w;
    }
    // Presses the button and waits until the update has ended.
    static bool run_from_button(UpdaterWindow& w, double seconds = 120)
    {
        QTest::mouseClick(w.proceed_button(), Qt::LeftButton);
        return serve_until([&] { return w.proceed_button()->isEnabled(); }, seconds);
    }
    std::string config_text() { return read_file(updater_config_path()); }

    std::string dir, previous_dir;
    ScopedScriptedUi scripted;
};

TEST_F(UpdaterWindowTest, AWholeUpdateShowsItsLinesAsTheyComeWithTheirColours)
{
    SimProcess sim({"--banks", dir + "/ecm-banks.bin", "--baud", "921600"});
    auto w = open_window(sim.device());
    EXPECT_EQ(w->page_mode(), 0);
    EXPECT_FALSE(w->messages_box()->isVisible());

    QTest::mouseClick(w->proceed_button(), Qt::LeftButton);
    EXPECT_EQ(w->page_mode(), 1);
    EXPECT_TRUE(w->messages_box()->isVisible());
    EXPECT_FALSE(w->proceed_button()->isEnabled()) << "one update at a time";
    EXPECT_FALSE(w->action(updater_com_command(1))->isEnabled()) << "no port change in the middle of a bank";
    EXPECT_TRUE(w->action(UPD_BIN_UPDATE)->isEnabled()) << "the rest of the menu stays usable";

    // While it runs the window answers, and the lines grow as they are added.
    ASSERT_TRUE(serve_until([] { return message_lines().size() >= 5; }, 30));
    size_t seen = message_lines().size();
    w->command(UPD_PROCEED);
    EXPECT_GE(message_lines().size(), seen) << "a second start neither clears the area nor starts again";
    std::set<size_t> counts;
    ASSERT_TRUE(serve_until([&] {
        counts.insert(message_lines().size());
        return w->proceed_button()->isEnabled();
    }, 120));
    EXPECT_GT(counts.size(), 5u) << "the lines appeared one by one";

    // 16 banks of lines and more: the area keeps the last 20.
    std::vector<std::string> want;
    for (int n = 2; n < 8; ++n)
        want.insert(want.end(), {"normal: Bank #: " + std::to_string(n), "success: Bank Updated/Verified Successfully"});
    want.insert(want.end(), {"normal: ZOV J8 Flash Update Completed...", "normal: ", "success:     -Update Successful-"});
    std::vector<std::string> got = texts();
    ASSERT_EQ(got.size(), 20u);
    EXPECT_EQ(joined(std::vector<std::string>(got.end() - 15, got.end())), joined(want));
    EXPECT_TRUE(scripted.shown.empty()) << "no box after a successful update";
    EXPECT_TRUE(w->action(updater_com_command(1))->isEnabled());

    EXPECT_EQ(line_background(*w, 19), GREEN) << "-Update Successful-";
    EXPECT_EQ(line_background(*w, 18), GREY) << "the empty line";
    EXPECT_EQ(line_background(*w, 16), GREEN) << "Bank Updated/Verified Successfully";
    EXPECT_EQ(line_background(*w, 15), GREY) << "Bank #: 7";

    w.reset();
    sim.stop();
    std::string banks = read_file(dir + "/ecm-banks.bin");
    ASSERT_EQ(banks.size(), 8u * 32768u);
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(0, std::memcmp(banks.data() + n * 32768 + 8192, firmware_block().data(), firmware_block().size()))
            << "bank " << n << " carries the new firmware";
        EXPECT_EQ(read_file(dir + "/" + new_bin_name(n)).size(), 32768u);
    }
}

TEST_F(UpdaterWindowTest, AFailureHalfWayEndsWithItsFailureLinesAndTheErrorBox)
{
    // The second erase of bank 2 is refused: 16 messages while reading, 268 for each bank
    // programmed, then bank 2's info, BIN request and first erase.
    SimProcess sim({"--banks", dir + "/ecm-banks.bin", "--baud", "921600", "--fault", "nak:" + std::to_string(16 + 2 * 268 + 4)});
    auto w = open_window(sim.device());
    ASSERT_TRUE(run_from_button(*w));
    std::vector<std::string> got = texts();
    ASSERT_GE(got.size(), 6u);
    EXPECT_EQ(joined(std::vector<std::string>(got.end() - 5, got.end())),
              joined({"normal: Bank #: 2", "error: TxSlEraseSector Failed", "failure: BIN Programing FAILED!", "normal: ",
                      "failure:      -Update Failed-"}));
    int last = static_cast<int>(got.size()) - 1;
    EXPECT_EQ(line_background(*w, last), RED);
    EXPECT_EQ(line_background(*w, last - 2), RED);
    EXPECT_EQ(line_background(*w, last - 3), YELLOW);
    ASSERT_EQ(scripted.shown.size(), 1u);
    EXPECT_EQ(scripted.shown[0].caption, "-ZOV Update Error-");
    EXPECT_EQ(scripted.shown[0].text, "");
    EXPECT_TRUE(scripted.shown[0].flags & MB_ICONERROR);
    EXPECT_TRUE(w->proceed_button()->isEnabled()) << "the user may run it again";
}

TEST_F(UpdaterWindowTest, WithoutAnEcmTheUpdateFailsAtItsFirstMessage)
{
    {
        // A port that cannot be opened: the first message cannot even be sent.
        auto w = open_window(dir + "/no-such-device", false);
        ASSERT_TRUE(run_from_button(*w));
        EXPECT_EQ(joined(texts()), joined({"normal: Updating your ZOV J8 Flash ECM", "error: TxMsXmit Failed", "normal: ",
                                           "failure:      -Update Failed-"}));
    }
    // A line with nothing answering on it.
    scripted.shown.clear();
    SimProcess sim({"--silent", "--fault", "no-reply:1"});
    auto w = open_window(sim.device());
    ASSERT_TRUE(run_from_button(*w, 60));
    std::vector<std::string> got = texts();
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got.back(), "failure:      -Update Failed-");
    EXPECT_EQ(got[got.size() - 3], "error: TxSlInfo Failed");
    EXPECT_EQ(access((dir + "/" + old_bin_name(0)).c_str(), F_OK), -1) << "nothing half-saved is kept";
    EXPECT_EQ(scripted.shown.size(), 1u);
}

TEST_F(UpdaterWindowTest, ClosingWhileBanksAreProgrammedStopsBeforeTheNextBank)
{
    SimProcess sim({"--banks", dir + "/ecm-banks.bin", "--baud", "460800"});
    auto w = open_window(sim.device());
    QTest::mouseClick(w->proceed_button(), Qt::LeftButton);
    // Bank 1 is being programmed.
    ASSERT_TRUE(serve_until([] {
        std::vector<std::string> t = texts();
        return t.size() >= 4 && t[t.size() - 4] == "normal: Programming Banks..." && t.back() == "normal: Bank #: 1";
    }, 120));
    w->close();
    EXPECT_TRUE(w->isVisible()) << "the window waits for the update to reach a safe point";
    ASSERT_TRUE(serve_until([&] { return !w->isVisible(); }, 60)) << "and then closes";
    std::vector<std::string> got = texts();
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(joined(std::vector<std::string>(got.end() - 4, got.end())),
              joined({"success: Bank Updated/Verified Successfully", "error: Update Stopped", "normal: ",
                      "failure:      -Update Failed-"}));
    EXPECT_TRUE(scripted.shown.empty()) << "no box is left for a window that is closing";
    EXPECT_NE(config_text().find("[XPOSHWND] "), std::string::npos) << "the configuration is written at exit";
    w.reset();

    sim.stop();
    std::string banks = read_file(dir + "/ecm-banks.bin");
    ASSERT_EQ(banks.size(), 8u * 32768u);
    for (int n = 0; n < 8; ++n) {
        bool updated = std::memcmp(banks.data() + n * 32768 + 8192, firmware_block().data(), firmware_block().size()) == 0;
        EXPECT_EQ(updated, n <= 1) << "bank " << n << " is either wholly updated or untouched";
        if (!updated) {
            EXPECT_EQ(static_cast<uint8_t>(banks[n * 32768 + 12800]), 0x8B) << "bank " << n << " keeps its old firmware";
        }
    }
}

// A calibration BIN as a bank read leaves it.
std::string write_bin(const std::string& path, size_t size = 32768)
{
    std::string b(size, '\xFF');
    std::memcpy(b.data() + 2, "ZOV8", 4);
    b[9] = 1;
    b[10] = 1;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
    return path;
}

TEST_F(UpdaterWindowTest, BinUpdateAsksAgainForAFileThatIsNotABinAndWritesTheNewFile)
{
    auto w = open_window(dir + "/no-such-device", false);
    std::string text = dir + "/notes.bin";
    FILE* f = std::fopen(text.c_str(), "wb");
    std::fputs("hello, not a calibration", f);
    std::fclose(f);
    std::string cal = write_bin(dir + "/cal");
    g_updater_settings.flshbinpath = "/somewhere";

    scripted.file_answers = {text, cal};
    w->action(UPD_BIN_UPDATE)->trigger();
    ASSERT_EQ(scripted.dialogs.size(), 2u) << "the dialog comes again after a file that is not a BIN";
    EXPECT_EQ(scripted.dialogs[0].title, "Select BIN file to update");
    EXPECT_EQ(scripted.dialogs[0].initial_folder, "/somewhere");
    ASSERT_EQ(scripted.dialogs[0].filters.size(), 2u);
    EXPECT_EQ(scripted.dialogs[0].filters[0].second, "*.bin");
    EXPECT_EQ(scripted.dialogs[1].initial_folder, "/somewhere") << "nothing was taken from the refused file";
    ASSERT_EQ(scripted.shown.size(), 2u);
    EXPECT_EQ(scripted.shown[0].caption, "Incorrect BIN File");
    EXPECT_EQ(scripted.shown[0].text, "Not an ZOV Flash BIN");
    EXPECT_EQ(scripted.shown[1].caption, "SUCCESS!");
    EXPECT_EQ(scripted.shown[1].text, "            New BIN has been Created             ");
    std::string made = read_file(dir + "/cal_new.bin");
    ASSERT_EQ(made.size(), 32768u) << "a file without extension gets _new.bin";
    EXPECT_EQ(made[10], 2) << "version 1.2";
    EXPECT_NE(config_text().find("[FLSHBIN] " + cal + "\r\n"), std::string::npos);
    EXPECT_NE(config_text().find("[FLSHBINFILE] cal\r\n"), std::string::npos);
    EXPECT_NE(config_text().find("[FLSHBINPATH] " + dir + "\r\n"), std::string::npos);

    // A BIN too short to convert, then Cancel after a refused file.
    scripted.shown.clear();
    scripted.file_answers = {write_bin(dir + "/short.bin", 4000)};
    w->command(UPD_BIN_UPDATE);
    ASSERT_EQ(scripted.shown.size(), 1u);
    EXPECT_EQ(scripted.shown[0].text, "             BIN Creation failed             \n\nCalibration File Read Failure");
    scripted.file_answers = {text};
    scripted.dialogs.clear();
    w->command(UPD_BIN_UPDATE);
    EXPECT_EQ(scripted.dialogs.size(), 2u) << "Cancel on the second dialog ends the command";
}

TEST_F(UpdaterWindowTest, ChoosingAPortAndClosingWriteTheConfiguration)
{
    // The window opens centred when [XPOSHWND] is -1, whatever [YPOSHWND] holds.
    g_updater_settings.yposhwnd = 500;
    auto w = open_window(dir + "/no-such-device", false);
    QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(w->pos(), QPoint(desktop.width() / 2 - 400, desktop.height() / 2 - 300));

    w->action(updater_com_command(26))->trigger();
    EXPECT_EQ(g_updater_settings.port, "COM26");
    EXPECT_NE(config_text().find("[PORT] COM26\r\n"), std::string::npos) << "written at once";
    EXPECT_EQ(w->action(updater_com_command(10))->text(), "COM1&0");
    EXPECT_EQ(w->action(32812)->text(), "COM40");
    serve_for(0.3);
    EXPECT_EQ(static_cast<int>(g_port.indicator), 0) << "COM26 is not on this machine";

    w->move(37, 45);
    w->close();
    EXPECT_NE(config_text().find("[XPOSHWND] 37\r\n"), std::string::npos);
    EXPECT_NE(config_text().find("[YPOSHWND] 45\r\n"), std::string::npos);
    w.reset();

    // Minimised and closed: the last stored place is kept.
    load_updater_config();
    w = open_window(dir + "/no-such-device", false);
    EXPECT_EQ(w->pos(), QPoint(37, 45));
    w->showMinimized();
    w->move(300, 300);
    w->close();
    EXPECT_NE(config_text().find("[XPOSHWND] 37\r\n"), std::string::npos);
}

TEST_F(UpdaterWindowTest, TheCommPortListShowsTheDevicesPluggedInWhenItOpens)
{
    std::string devices = dir + "/dev";
    std::filesystem::create_directories(devices);
    g_device_folder = devices;
    auto w = open_window(dir + "/no-such-device", false);
    auto* ports = qobject_cast<QMenu*>(w->action(updater_com_command(1))->parent());
    ASSERT_NE(ports, nullptr);
    Q_EMIT ports->aboutToShow();
    EXPECT_EQ(w->action(UPD_DEVICE_FIRST), nullptr) << "no device, no item";

    // An adapter plugged in while the window is open: there the next time the list opens.
    write_temp_file(std::filesystem::relative(devices + "/ttyUSB0", temp_dir()).string(), Bytes());
    Q_EMIT ports->aboutToShow();
    ASSERT_NE(w->action(UPD_DEVICE_FIRST), nullptr);
    EXPECT_EQ(w->action(UPD_DEVICE_FIRST)->text().toStdString(), devices + "/ttyUSB0");
    w->action(UPD_DEVICE_FIRST)->trigger();
    EXPECT_EQ(g_updater_settings.port, devices + "/ttyUSB0");
    w->close();
    g_device_folder = "/dev";
}

}  // namespace
