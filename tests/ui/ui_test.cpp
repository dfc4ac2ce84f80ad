// The desktop shell offscreen: canvas pixels where the gauge display puts them, the message box
// carried over from another thread, the display switch, shutdown, and a live run on ecm-sim.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/app_main.h"
#include "app/main_window.h"
#include "config/config.h"
#include "config/devices.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "datalog/playback.h"
#include "displays/display_routines.h"
#include "displays/gauges.h"
#include "displays/status_panel.h"
#include "link/port.h"
#include "link/serial_devices.h"
#include "link/ring.h"
#include "stream/connection.h"
#include "stream/display_thread.h"
#include "support/live.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"
#include "ui/qt_canvas.h"
#include "ui/qt_ui.h"
#include "ui/serve.h"
#include "velearn/ve_learn_state.h"

namespace {

const QColor NEEDLE(210, 63, 10);
const QColor GREEN(10, 160, 5);
const QColor BLACK(0, 0, 0);
const QColor FACE(180, 180, 180);

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/ui_test.cfg");
        std::remove(config_path().c_str());
    }
    void TearDown() override
    {
        attach_canvas(nullptr);
        reset_everything();
    }
    static void set_flag(FrameRecord& f, FlagId id) { f.b[FLAGS[id].offset] |= static_cast<uint8_t>(1 << FLAGS[id].bit); }
};

TEST_F(ShellTest, GaugePixelsLandWhereTheDisplayPutsThem)
{
    QtCanvas canvas;
    attach_canvas(&canvas);
    g_settings.frame_skip_code = 0;
    g_settings.mphrange = 120;
    gauge_paint();

    FrameRecord f{};
    f.b[1] = 0x80;              // "Running"
    f.b[F_MAP_LOAD] = 128;      // 60 kPa: (60 - 20) / 80 of 171 rows = 86 rows
    f.b[F_SPEED] = 60;          // half scale: straight up
    f.b[11] = 0x01;             // service lamp
    gauge_update(f, 1);
    EXPECT_EQ(canvas.pixel(221, 41), GREEN) << "Running lit";
    EXPECT_EQ(canvas.pixel(601, 41), GREEN) << "FuelCut lit while its bit is clear";
    EXPECT_EQ(canvas.pixel(221, 59), BLACK) << "ClsdThrt dark";
    EXPECT_EQ(canvas.pixel(400, 270), QColor(245, 20, 20)) << "service lamp lit";
    EXPECT_EQ(canvas.pixel(446, 340 + 84), QColor(20, 10, 225)) << "the MAP bar's top row";
    EXPECT_EQ(canvas.pixel(446, 340 + 83), FACE) << "the row above it is empty";
    EXPECT_EQ(canvas.pixel(280, 150), NEEDLE) << "the needle tip at 60 of 120";

    f.b[6] = 0x80;
    f.b[11] = 0;
    f.b[F_SPEED] = 200;         // past full scale
    gauge_update(f, 1);
    EXPECT_EQ(canvas.pixel(601, 41), BLACK) << "FuelCut dark once its bit is set";
    EXPECT_EQ(canvas.pixel(400, 270), QColor(80, 10, 10)) << "service lamp dark";
    EXPECT_EQ(canvas.pixel(322, 252), NEEDLE) << "pinned at full scale";
    EXPECT_EQ(canvas.pixel(280, 150), FACE) << "the old needle is gone";
}

TEST_F(ShellTest, CanvasDrawsARepeatedTextAgainOnceSomethingCoveredIt)
{
    QtCanvas canvas;
    canvas.text(100, 100, "8888", Font::Large, {240, 240, 240}, {20, 20, 20}, ALIGN_LEFT, true);
    QImage before = canvas.snapshot();
    canvas.fill(90, 90, 200, 140, {0, 0, 255});
    canvas.text(100, 100, "8888", Font::Large, {240, 240, 240}, {20, 20, 20}, ALIGN_LEFT, true);
    QImage after = canvas.snapshot();
    int w = canvas.text_width("8888", Font::Large);
    EXPECT_EQ(before.copy(100, 100, w, 28), after.copy(100, 100, w, 28)) << "the text is back over the fill";

    canvas.clear({20, 20, 20});
    canvas.text(100, 100, "8888", Font::Large, {240, 240, 240}, {20, 20, 20}, ALIGN_LEFT, true);
    EXPECT_EQ(before, canvas.snapshot()) << "a cleared picture gets its text back";
    canvas.text(100, 100, "8889", Font::Large, {240, 240, 240}, {20, 20, 20}, ALIGN_LEFT, true);
    EXPECT_NE(before, canvas.snapshot());
}

TEST_F(ShellTest, AShortPortNameLeavesNothingOfALongerOneShownBefore)
{
    QtCanvas shown, fresh;
    attach_canvas(&shown);
    g_settings.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0";
    paint_status_panel();
    g_settings.port = "COM5";   // chosen from the CommPort menu
    refresh_port_state();
    attach_canvas(&fresh);
    paint_status_panel();
    EXPECT_EQ(shown.snapshot().copy(0, 120, 160, 18), fresh.snapshot().copy(0, 120, 160, 18))
        << "the port line reads as if COM5 had been the only name shown";
}

TEST_F(ShellTest, ALongLogNameStaysWithinTheStatusPanel)
{
    QtCanvas canvas;
    attach_canvas(&canvas);
    g_playback.playing = 1;
    g_settings.playname = "2026-12-08_drag_strip_session_with_the_new_injectors_run3.dat";
    paint_status_panel();
    QImage line = canvas.snapshot().copy(0, 29, CANVAS_WIDTH, 16);
    int rightmost = -1;
    for (int y = 0; y < line.height(); ++y)
        for (int x = 0; x < line.width(); ++x)
            if (line.pixelColor(x, y) != QColor(20, 20, 20))
                rightmost = std::max(rightmost, x);
    EXPECT_GT(rightmost, 100) << "the name is there";
    EXPECT_LT(rightmost, 144) << "and ends within the panel";
    g_playback.playing = 0;
}

TEST_F(ShellTest, TheCommPortListShowsTheSerialDevicesThereAreWhenItOpens)
{
    std::string dev = temp_dir() + "/menu-dev";
    std::filesystem::remove_all(dev);
    std::filesystem::create_directories(dev);
    g_device_folder = dev;
    write_temp_file("menu-dev/ttyUSB0", Bytes());
    MainWindow w(false);
    QMenu* ports = nullptr;
    for (QAction* a : w.menuBar()->actions())
        if (a->menu() != nullptr)
            for (QAction* item : a->menu()->actions())
                if (item->text() == "&CommPort")
                    ports = item->menu();
    ASSERT_NE(ports, nullptr);
    // What the list offers once it has opened: the devices after a separator ("-").
    auto devices = [&] {
        Q_EMIT ports->aboutToShow();
        std::vector<std::string> out;
        QList<QAction*> items = ports->actions();
        for (qsizetype i = COM_PORT_COUNT; i < items.size(); ++i)
            out.push_back(items[i]->isSeparator() ? "-" : items[i]->text().toStdString());
        return out;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(devices(), (Names{"-", dev + "/ttyUSB0"}));

    // An adapter plugged in while the program runs, then the first one taken out.
    write_temp_file("menu-dev/ttyACM0", Bytes());
    EXPECT_EQ(devices(), (Names{"-", dev + "/ttyUSB0", dev + "/ttyACM0"}));
    std::filesystem::remove(dev + "/ttyUSB0");
    EXPECT_EQ(devices(), (Names{"-", dev + "/ttyACM0"}));
    ports->actions().back()->trigger();
    EXPECT_EQ(g_settings.port, dev + "/ttyACM0") << "the device chosen is the one the item names";

    std::filesystem::remove(dev + "/ttyACM0");
    EXPECT_TRUE(devices().empty()) << "no devices, no separator";
    g_device_folder = "/dev";
}

TEST_F(ShellTest, MessageBoxFromAnotherThreadWaitsForTheAnswer)
{
    QtUi ui;
    std::atomic<int> answer{0};
    QString title, text;
    int answer_while_open = -1;
    // The box runs its own loop on this thread: a timer there reads it and answers "No".
    QTimer answerer;
    answerer.setInterval(10);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        title = box->windowTitle();
        text = box->text();
        answer_while_open = answer;
        answerer.stop();
        box->button(QMessageBox::No)->click();
    });
    answerer.start();
    std::thread caller([&] { answer = ui.message_box("Disk Full?", "File Write Error", MB_YESNO | MB_ICONQUESTION); });
    bool answered = serve_until([&] { return answer != 0; }, 10);
    caller.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(title, "File Write Error");
    EXPECT_EQ(text, "Disk Full?");
    EXPECT_EQ(answer_while_open, 0) << "the caller waits while the box is open";
    EXPECT_EQ(answer, ID_NO);

    ui.set_closing();
    EXPECT_EQ(ui.message_box("late", "late", MB_OKCANCEL), ID_OK) << "closing: answered at once";
}

TEST_F(ShellTest, DisplaySwitchGreysTheShownDisplayAndReopensThePortOnLeavingAnalysis)
{
    ScopedScriptedUi scripted;
    MainWindow w(false);
    EXPECT_FALSE(w.action(CMD_GLANZO)->isEnabled());
    EXPECT_FALSE(w.action(CMD_CLOSE_DATALOG)->isEnabled());
    EXPECT_FALSE(w.action(CMD_QUICK_LABEL)->isEnabled());
    ASSERT_NE(w.action(com_command(40)), nullptr);
    EXPECT_EQ(w.action(com_command(10))->text(), "COM1&0");

    // The shown display chosen again rebuilds nothing but still asks for the ring to be flushed.
    g_ring.reset_request = 0;
    w.command(CMD_GLANZO);
    EXPECT_EQ(static_cast<int>(g_ring.reset_request), 1);

    w.command(CMD_QUICK_TRIP);
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_TRIP);
    EXPECT_FALSE(w.action(CMD_TRIP)->isEnabled());
    EXPECT_TRUE(w.action(CMD_GLANZO)->isEnabled());
    EXPECT_EQ(static_cast<int>(g_port.requested), PORT_REOPEN) << "a closed port is opened again";

    // Analysis closes the data log and the port and holds the display thread.
    ASSERT_EQ(start_logging(temp_dir() + "/switch.dat"), 0);
    w.command(CMD_ANALYSIS);
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_ANALYSIS);
    EXPECT_EQ(static_cast<int>(g_datalog.logging_on), 0);
    EXPECT_EQ(static_cast<int>(g_port.requested), PORT_CLOSE);
    EXPECT_EQ(static_cast<int>(g_display.display_hold), 1);
    for (int id : {CMD_MALF_CODES, CMD_BANK_SELECT, CMD_ANALYSIS})
        EXPECT_FALSE(w.action(id)->isEnabled()) << id;
    EXPECT_TRUE(w.action(CMD_TRIP)->isEnabled());

    w.character('1');
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_ANALYSIS) << "keys do not switch away from Analysis";

    w.command(CMD_GLANZO);
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_GAUGES);
    EXPECT_EQ(static_cast<int>(g_display.display_hold), 0);
    EXPECT_EQ(static_cast<int>(g_port.requested), PORT_REOPEN);

    // Flash keeps the log open.
    ASSERT_EQ(start_logging(temp_dir() + "/switch.dat"), 0);
    w.command(CMD_FLASH);
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_FLASH);
    EXPECT_EQ(static_cast<int>(g_datalog.logging_on), 1);
    EXPECT_EQ(static_cast<int>(g_display.display_hold), 0);
    EXPECT_FALSE(w.action(CMD_FLASH)->isEnabled());
    w.character('5');
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_FLASH);
    w.command(CMD_DATALOG);   // switches back to the gauges first; logging is on already
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_GAUGES);
    stop_logging();
}

TEST_F(ShellTest, ShutdownSavesTheWindowPositionAndClosesTheLogAfterTheConfiguration)
{
    ScopedScriptedUi scripted;
    std::string log = temp_dir() + "/shutdown.dat";
    std::remove(log.c_str());
    scripted.file_answers.push_back(log);
    {
        MainWindow w(false);
        w.show();
        w.move(123, 77);
        serve_for(0.05);
        w.command(CMD_DATALOG);
        ASSERT_EQ(static_cast<int>(g_datalog.logging_on), 1);
        ASSERT_EQ(scripted.dialogs.size(), 1u);
        EXPECT_EQ(scripted.dialogs[0].title, "Select/Create File to Save Data Log to");
        EXPECT_FALSE(w.action(CMD_DATALOG)->isEnabled());
        EXPECT_TRUE(w.action(CMD_CLOSE_DATALOG)->isEnabled());
        w.close();
    }
    EXPECT_EQ(static_cast<int>(g_datalog.logging_on), 0);
    std::string cfg = read_file(config_path());
    EXPECT_NE(cfg.find("[XPOSHWND] 123\r\n"), std::string::npos) << cfg.substr(0, 200);
    EXPECT_NE(cfg.find("[YPOSHWND] 77\r\n"), std::string::npos);
    EXPECT_NE(cfg.find("[DLOG] " + log), std::string::npos);
}

TEST_F(ShellTest, LearnVeFromTheMenuProposesTheNewNameAndWritesTheBinWhenStopped)
{
    ScopedScriptedUi scripted;
    Bytes bin(32768, 100);
    bin[0] = 0;
    bin[1] = 6;
    std::memcpy(bin.data() + 2, "ZOV8", 4);
    std::string source = write_temp_file("stock.bin", bin);
    std::string target = temp_dir() + "/stock_00007.bin";
    std::remove(target.c_str());
    scripted.file_answers = {source, target};
    g_settings.smoothfac = 0;

    MainWindow w(false);
    w.command(CMD_LEARN_VE);
    ASSERT_EQ(scripted.dialogs.size(), 2u);
    EXPECT_EQ(scripted.dialogs[0].title, "Select BIN to Learn From");
    EXPECT_EQ(scripted.dialogs[1].title, "Select File to Create New BIN");
    EXPECT_EQ(scripted.dialogs[1].initial_name, "stock_00007.bin");
    EXPECT_EQ(static_cast<int>(g_ve_learn.active), 1);
    serve_for(0.05);
    EXPECT_FALSE(w.action(CMD_LEARN_VE)->isEnabled());
    EXPECT_TRUE(w.action(CMD_STOP_LEARN_VE)->isEnabled());
    EXPECT_EQ(w.action(CMD_STOP_LEARN_VE)->text(), "St&op VeLearn");

    w.command(CMD_STOP_LEARN_VE);
    serve_for(0.05);
    EXPECT_EQ(static_cast<int>(g_ve_learn.active), 0);
    EXPECT_TRUE(w.action(CMD_LEARN_VE)->isEnabled());
    EXPECT_FALSE(w.action(CMD_STOP_LEARN_VE)->isEnabled());
    std::string written = read_file(target);
    ASSERT_EQ(written.size(), 32768u);
    EXPECT_EQ(static_cast<uint8_t>(written[1]), 7) << "serial + 1";
    EXPECT_EQ(g_settings.flshbin, target) << "the Flash page offers the new BIN";
}

TEST_F(ShellTest, FirstStartWithoutAConfigurationCentresTheWindowOpensCom2AndWritesTheFileInFull)
{
    AppOptions options;
    options.config = config_path();   // removed by SetUp: a first start
    options.screenshot = temp_dir() + "/first_start.png";
    options.after = 0.5;
    ASSERT_EQ(app_main(options), 0);
    std::string cfg = read_file(config_path());
    EXPECT_EQ(std::count(cfg.begin(), cfg.end(), '\n'), 259) << "every key written";
    EXPECT_NE(cfg.find("[PORT] COM2\r\n"), std::string::npos);
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_NE(cfg.find("[XPOSHWND] " + std::to_string(area.width() / 2 - 400) + "\r\n"), std::string::npos);
    EXPECT_NE(cfg.find("[YPOSHWND] " + std::to_string(area.height() / 2 - 300) + "\r\n"), std::string::npos);
    QImage shot(QString::fromStdString(options.screenshot));
    EXPECT_EQ(shot.width(), 800);
    EXPECT_GT(shot.height(), 600) << "the client area and the menu bar";
}

// A port the user may not open: one message box says why and what to do, however often the link
// tries again, and the status panel keeps showing it closed. Root opens any device, so as root the
// whole process acts as the unprivileged user "nobody" meanwhile.
TEST_F(ShellTest, APortTheUserMayNotOpenIsExplainedOnceWhileTheLinkKeepsTrying)
{
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(chmod(name, 0), 0);
    char folder[] = "/tmp/glanzo-refused-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    ASSERT_EQ(chmod(folder, 0777), 0);
    set_config_path(std::string(folder) + "/refused.cfg");
    g_settings.port = name;

    int boxes = 0;
    QString title, text;
    QTimer answerer;
    answerer.setInterval(10);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            title = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    answerer.start();
    auto w = std::make_unique<MainWindow>(true);
    // Every thread of the process changes with it; back to root however the test ends.
    struct AsNobody {
        bool dropped = geteuid() == 0 && setegid(65534) == 0 && seteuid(65534) == 0;
        void restore()
        {
            if (dropped && seteuid(0) == 0 && setegid(0) == 0)
                dropped = false;
        }
        ~AsNobody() { restore(); }
    } as_nobody;
    ASSERT_EQ(w->start(), 0);
    // Four attempts: the first, then after 125, 250 and 500 ms.
    EXPECT_TRUE(serve_until([] { return g_port.reopen_delay >= 1000; }, 10));
    connect_port();   // the port chosen again from the menu: told once all the same
    EXPECT_TRUE(serve_until([] { return g_port.reopen_delay < 500; }, 10)) << "the back-off starts over";
    EXPECT_TRUE(serve_until([] { return g_port.reopen_delay >= 500; }, 10));
    serve_for(0.1);
    as_nobody.restore();
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(title, "Serial Port");
    EXPECT_EQ(text.toStdString(), std::string("Cannot open ") + name +
                                      ": permission denied; add your user to the dialout group: sudo usermod -aG "
                                      "dialout $USER, then log in again");
    EXPECT_EQ(static_cast<int>(g_port.indicator), 0);
    EXPECT_EQ(static_cast<int>(g_port.requested), PORT_OPEN) << "still trying";
    w.reset();   // writes its configuration into the folder on the way out
    std::filesystem::remove_all(folder);
    close(master);
    close(slave);
}

// ecm-sim streams; the window runs live, logs from the menu with a marker dropped by TAB, and
// what it shows is the simulated engine's speed.
TEST_F(ShellTest, LiveOnTheSimulatorLogsWithAMarkerAndShowsTheRpm)
{
    SimProcess sim;
    ScopedScriptedUi scripted;
    std::string log = temp_dir() + "/live_shell.dat";
    std::remove(log.c_str());
    scripted.file_answers.push_back(log);
    g_settings.port = sim.device();
    g_settings.frame_skip_code = 0;
    build_device_catalogue();
    rebuild_channel_state();

    MainWindow w(false);
    w.show();
    install_display_routines();
    ASSERT_EQ(w.start(), 0);
    ASSERT_TRUE(serve_until([] { return g_display.frames_dispatched > 17; }, 10)) << "no frames from ecm-sim";
    EXPECT_EQ(static_cast<int>(g_port.indicator), 1);

    w.command(CMD_DATALOG);
    ASSERT_EQ(static_cast<int>(g_datalog.logging_on), 1);
    serve_for(1.5);
    QTest::keyClick(w.centralWidget(), Qt::Key_Tab);
    serve_for(1.5);
    w.command(CMD_CLOSE_DATALOG);
    LogContents contents = read_log_contents(log);
    EXPECT_GE(contents.good, 34);
    ASSERT_EQ(contents.markers.size(), 1u);
    EXPECT_EQ(contents.markers[0], "000");

    // Stop the stream, then compare the RPM read-out with the same text drawn on its own.
    disconnect_port();
    serve_for(0.3);
    int rpm = g_gauges.rpm;
    EXPECT_GT(rpm, 400) << "the simulated engine idles";
    char text[32];
    std::snprintf(text, sizeof text, "  %4d   ", rpm);
    QtCanvas reference;
    int x = 518 - static_cast<int>(std::strlen(text)) * 5 / 2;
    reference.text(x, 248, text, Font::Default, {10, 10, 10}, {180, 180, 180}, ALIGN_LEFT, true);
    int width = reference.text_width(text, Font::Default);
    QImage shown = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    shown.save(QString::fromStdString(temp_dir() + "/live_shell.png"));
    int menu = w.centralWidget()->y();
    QImage expected = reference.snapshot();
    int differing = 0;
    for (int yy = 248; yy < 262; ++yy)
        for (int xx = x; xx < x + width; ++xx)
            differing += shown.pixelColor(xx, yy + menu) != expected.pixelColor(xx, yy);
    EXPECT_EQ(differing, 0) << "the screenshot shows " << text;
    w.close();
}

}  // namespace
