// A shutdown signal while the Flash page programs a bank, against ecm-sim: the bank is finished
// first, as a close of the window waits for it, and then the window shuts down.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <QTest>
#include <QTimer>

#include <cstring>

#include "app/main_window.h"
#include "config/config.h"
#include "config/settings.h"
#include "displays/display_routines.h"
#include "flash/flash_window.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "support/live.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"
#include "ui/serve.h"
#include "ui/shutdown_signal_watch.h"

namespace {

void (*page_show_line)() = nullptr;

// The page's line routine, sending the signal as the procedure's first line is shown.
void show_line_and_signal()
{
    page_show_line();
    if (g_flash_window.line_count == 0)
        kill(getpid(), SIGTERM);
}

TEST(ShutdownSignalOnTheFlashPage, LetsTheBankProcedureFinishThenClosesTheWindow)
{
    reset_everything();
    const std::string banks = temp_dir() + "/signal_flash_banks.bin";
    std::remove(banks.c_str());
    set_config_path(temp_dir() + "/signal_flash.cfg");
    std::remove(config_path().c_str());
    Bytes cal(32768);
    for (size_t i = 0; i < cal.size(); ++i)
        cal[i] = static_cast<uint8_t>(i * 5 + (i >> 9));
    std::memcpy(cal.data() + 2, "ZOV8", 4);
    const std::string cal_path = write_temp_file("signal_flash_cal.bin", cal);

    ScopedScriptedUi scripted;
    ShutdownSignalWatch watch;
    auto sim = std::make_unique<SimProcess>(std::vector<std::string>{"--banks", banks});
    g_settings.port = sim->device();
    auto window = std::make_unique<MainWindow>(false);
    MainWindow& w = *window;
    w.show();
    install_display_routines();
    ASSERT_EQ(w.start(), 0);
    ASSERT_TRUE(serve_until([] { return g_display.frames_dispatched > 17; }, 10)) << "no frames from ecm-sim";

    g_settings.flshbank = 3;
    g_settings.flshaction = ACTION_PROGRAM;
    g_settings.flshbin = cal_path;
    w.command(CMD_FLASH);
    page_show_line = g_flash_window.show_line;
    g_flash_window.show_line = show_line_and_signal;
    bool procedure_returned = false;
    bool visible_after_procedure = false;
    QTimer::singleShot(0, &w, [&] {
        QWidget* apply = w.controls_host().widget(FLASH_APPLY);
        QTest::mouseClick(apply, Qt::LeftButton, {}, apply->rect().center());
        procedure_returned = true;
        visible_after_procedure = w.isVisible();
    });

    // The main loop, until the window has gone.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!w.isVisible())
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(60000, &loop, [&] { loop.quit(); });
    watch.main_loop_starts(&w);
    loop.exec();
    g_flash_window.show_line = page_show_line;

    EXPECT_EQ(watch.received(), SIGTERM);
    EXPECT_TRUE(procedure_returned);
    EXPECT_TRUE(visible_after_procedure) << "the window waited for the procedure";
    EXPECT_FALSE(w.isVisible()) << "and closed after it";
    std::vector<std::string> texts;
    for (int n = 0; n <= g_flash_window.line_count; ++n) {
        std::string t = g_flash_window.lines[n].text;
        texts.push_back(t.erase(t.find_last_not_of(' ') + 1));
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Bank Programmed Successfully"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "    -Flashing Successful-"), texts.end());
    EXPECT_EQ(static_cast<int>(g_stream.run_mode), RUN_LIVE) << "the page was taken down at exit";
    EXPECT_NE(read_file(config_path()).find("[FLSHBANK] 3\r\n"), std::string::npos) << "the configuration saved";

    sim->stop();
    std::string flash = read_file(banks);
    ASSERT_EQ(flash.size(), 8u * 32768u);
    EXPECT_EQ(flash.substr(3 * 32768, 8192), std::string(cal.begin(), cal.begin() + 8192)) << "bank 3 programmed whole";

    window.reset();
    attach_canvas(nullptr);
    reset_everything();
}

}  // namespace
