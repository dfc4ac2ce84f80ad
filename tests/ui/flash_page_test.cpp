// The Flash page and the bank select window in the real window, offscreen, against ecm-sim: the
// user's clicks on the realised controls program, verify and read banks; the message area shows
// each line in its colour as it comes; faults end in their failure lines; a click in the bank
// select window switches the ECM's bank and the status panel follows the stream.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QTest>

#include <csignal>
#include <cstring>
#include <set>
#include <thread>

#include "app/main_window.h"
#include "config/config.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "displays/display_routines.h"
#include "flash/flash_window.h"
#include "link/link_thread.h"
#include "link/port.h"
#include "stream/display_thread.h"
#include "stream/reader.h"
#include "support/live.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"
#include "ui/serve.h"

namespace {

using Lines = std::vector<std::pair<FlashColour, std::string>>;
constexpr FlashColour N = FLASH_NORMAL, E = FLASH_ERROR, S = FLASH_SUCCESS, F = FLASH_FAILURE;

// The kept message lines without their padding; the elapsed time as "T Second(s)".
Lines shown_lines()
{
    Lines out;
    for (int n = 0; n <= g_flash_window.line_count; ++n) {
        std::string t = g_flash_window.lines[n].text;
        t.erase(t.find_last_not_of(' ') + 1);
        if (t.ends_with(" Second(s)"))
            t = "T Second(s)";
        out.push_back({g_flash_window.lines[n].colour, t});
    }
    return out;
}

// The colour of message line n on the canvas, right of any text.
QColor line_colour(MainWindow& w, int n) { return w.canvas().pixel(712, 321 + 17 * n + 8); }

QColor qcolour(Rgb c) { return QColor(c.r, c.g, c.b); }

// Counts the message lines the window has shown: at each paint of the message area, how many
// lines there were.
class PaintWatcher : public QObject {
public:
    std::set<int> line_counts;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint &&
            static_cast<QPaintEvent*>(event)->rect().intersects(QRect(334, 321, 385, 136)))
            line_counts.insert(g_flash_window.line_count);
        return false;
    }
};

class FlashShell : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        set_config_path(temp_dir() + "/flash_shell.cfg");
        std::remove(config_path().c_str());
        banks_ = temp_dir() + "/flash_shell_banks.bin";
        std::remove(banks_.c_str());
        Bytes cal(32768);
        for (size_t i = 0; i < cal.size(); ++i)
            cal[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
        std::memcpy(cal.data() + 2, "ZOV8", 4);
        cal_ = write_temp_file("flash_shell_cal.bin", cal);
    }
    void TearDown() override
    {
        window_.reset();
        sim_.reset();
        attach_canvas(nullptr);
        reset_everything();
    }

    // ecm-sim with these arguments, and the window live on it.
    void start(std::vector<std::string> args = {})
    {
        args.insert(args.begin(), {"--banks", banks_});
        sim_ = std::make_unique<SimProcess>(args);
        g_settings.port = sim_->device();
        window_ = std::make_unique<MainWindow>(false);
        window_->show();
        install_display_routines();
        ASSERT_EQ(window_->start(), 0);
        ASSERT_TRUE(serve_until([] { return g_display.frames_dispatched > 17; }, 10)) << "no frames from ecm-sim";
    }

    QWidget* widget(int id) { return window_->controls_host().widget(id); }

    // A click where a button takes it: on the box of a check box or radio button (right of its
    // text when the text stands left), in the middle of a push button.
    void click(int id)
    {
        QWidget* b = widget(id);
        ASSERT_NE(b, nullptr) << id;
        QPoint at = b->rect().center();
        if (qobject_cast<QAbstractButton*>(b) != nullptr && b->inherits("QPushButton") == false)
            at = b->layoutDirection() == Qt::RightToLeft ? QPoint(b->width() - 8, b->height() / 2)
                                                         : QPoint(8, b->height() / 2);
        QTest::mouseClick(b, Qt::LeftButton, {}, at);
    }

    std::string banks_, cal_;
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<MainWindow> window_;
    ScopedScriptedUi scripted_;
};

TEST_F(FlashShell, ProgramVerifyAndReadABankFromThePage)
{
    ASSERT_NO_FATAL_FAILURE(start());
    MainWindow& w = *window_;
    std::string log = temp_dir() + "/flash_shell.dat";
    std::remove(log.c_str());
    ASSERT_EQ(start_logging(log), 0);

    w.command(CMD_FLASH);
    ASSERT_EQ(static_cast<int>(g_display.active_display), DISPLAY_FLASH);
    EXPECT_EQ(static_cast<int>(g_stream.run_mode), RUN_FLASH);
    EXPECT_EQ(static_cast<int>(g_link.logging_paused), 1) << "logging paused on the page";
    EXPECT_EQ(static_cast<int>(g_datalog.logging_on), 1) << "the log stays open";
    EXPECT_EQ(w.canvas().pixel(580 + 100, 40 + 50), QColor(255, 153, 0)) << "the picture at the top right";

    click(FLASH_BANK_0 + 3);
    click(FLASH_PROGRAM);
    scripted_.file_answers = {cal_};
    click(FLASH_SELECT_BIN);
    EXPECT_EQ(g_settings.flshbank, 3);
    EXPECT_EQ(g_settings.flshbin, cal_);

    PaintWatcher watcher;
    w.centralWidget()->installEventFilter(&watcher);
    click(FLASH_APPLY);
    w.centralWidget()->removeEventFilter(&watcher);
    EXPECT_EQ(shown_lines(), (Lines{{N, "Bank Flash Program Starting"}, {N, "Flash Bank Set"}, {N, "Bank Verify Starting"},
                                    {N, "Bank Programmed Successfully"}, {N, ""}, {S, "    -Flashing Successful-"},
                                    {N, ""}, {N, "T Second(s)"}}));
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(watcher.line_counts.count(n), 1u) << "line " << n << " shown while the procedure ran";
    EXPECT_EQ(line_colour(w, 5), QColor(33, 165, 33));
    EXPECT_EQ(line_colour(w, 4), qcolour(BACKGROUND));
    EXPECT_EQ(w.canvas().pixel(340, 321 + 17 * 5 + 8), QColor(33, 165, 33)) << "the colour runs under the text";
    EXPECT_EQ(widget(FLASH_BANK_0 + 3), QApplication::focusWidget()) << "the focus back on the bank";

    std::string back = temp_dir() + "/flash_shell_read.bin";
    std::remove(back.c_str());
    click(FLASH_READ);
    scripted_.file_answers = {back};
    click(FLASH_SELECT_BIN);
    click(FLASH_APPLY);
    EXPECT_EQ(shown_lines(), (Lines{{N, "Bank Read Starting"}, {N, "Flash Bank Set"}, {N, "Bank Read Successful"},
                                    {N, ""}, {S, "    -Read Successful-"}, {N, ""}, {N, "T Second(s)"}}));
    std::string read = read_file(back), programmed = read_file(cal_);
    ASSERT_EQ(read.size(), 32768u);
    EXPECT_EQ(read.substr(0, 8192), programmed.substr(0, 8192)) << "the bank holds what was programmed";

    // "Close" goes back to the gauges: the stream comes again and logging goes on.
    click(FLASH_CLOSE);
    ASSERT_TRUE(serve_until([] { return g_display.active_display == DISPLAY_GAUGES; }, 2));
    EXPECT_EQ(static_cast<int>(g_stream.run_mode), RUN_LIVE);
    EXPECT_EQ(static_cast<int>(g_link.logging_paused), 0);
    int64_t frames = g_display.frames_dispatched;
    EXPECT_TRUE(serve_until([&] { return g_display.frames_dispatched > frames + 17; }, 10)) << "the stream restarted";
    EXPECT_EQ(widget(FLASH_APPLY), nullptr);
    stop_logging();

    w.close();
    std::string cfg = read_file(config_path());
    for (const std::string& key : std::vector<std::string>{"[FLSHBANK] 3", "[FLSHACTION] 2", "[FLSHVERIFY] 1", "[FLSHBIN] " + cal_,
                            "[FLSHBINFILE] flash_shell_cal.bin", "[READBIN] " + back, "[READBINPATH] " + temp_dir() + "/"})
        EXPECT_NE(cfg.find(key + "\r\n"), std::string::npos) << key;
}

MainWindow* shell_window = nullptr;
void (*page_show_line)() = nullptr;
int tries_during_procedure = 0;

TEST_F(FlashShell, AFaultEndsInItsLinesAndThePageStaysUsable)
{
    ASSERT_NO_FATAL_FAILURE(start({"--fault", "no-reply:1"}));
    MainWindow& w = *window_;
    g_settings.flshbank = 2;
    g_settings.flshaction = ACTION_PROGRAM;
    g_settings.flshsetbank = 0;
    g_settings.flshbin = cal_;
    w.command(CMD_FLASH);

    // While the procedure runs, a display switch and a second "Apply" start nothing.
    shell_window = &w;
    page_show_line = g_flash_window.show_line;
    tries_during_procedure = 0;
    g_flash_window.show_line = [] {
        page_show_line();
        if (g_flash_window.line_count != 0)
            return;
        ++tries_during_procedure;
        shell_window->command(CMD_GLANZO);
        QWidget* apply = shell_window->controls_host().widget(FLASH_APPLY);
        QTest::mouseClick(apply, Qt::LeftButton, {}, apply->rect().center());
        EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_FLASH);
    };
    click(FLASH_APPLY);
    g_flash_window.show_line = page_show_line;
    EXPECT_EQ(tries_during_procedure, 1) << "one procedure ran";
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_FLASH);
    EXPECT_EQ(shown_lines(), (Lines{{N, "Bank Flash Program Starting"}, {E, "RX Timeout 1"}, {E, "TxSlInfo Failed"},
                                    {N, ""}, {F, "     -Flashing Failed-"}}));
    EXPECT_EQ(line_colour(w, 1), QColor(150, 106, 3));
    EXPECT_EQ(line_colour(w, 2), QColor(150, 106, 3));
    EXPECT_EQ(line_colour(w, 4), QColor(225, 60, 60));

    // The ECM's loader answers again: the same page programs the bank.
    click(FLASH_APPLY);
    Lines lines = shown_lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[lines.size() - 3], (std::pair{S, std::string("    -Flashing Successful-")}));

    w.command(CMD_GLANZO);
    EXPECT_EQ(static_cast<int>(g_display.active_display), DISPLAY_GAUGES);
}

TEST_F(FlashShell, ALineTakenAwayEndsTheProcedureAsAFailureAndACloseWaitsForItsEnd)
{
    std::string link = temp_dir() + "/flash_shell_link";
    ASSERT_NO_FATAL_FAILURE(start({"--link", link, "--outage-ms", "3000"}));
    MainWindow& w = *window_;
    g_settings.flshaction = ACTION_PROGRAM;
    g_settings.flshbin = cal_;
    w.command(CMD_FLASH);
    sim_->signal(SIGUSR1);   // the cable is pulled
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // A close asked for meanwhile (a timer's) waits for the procedure's end.
    shell_window = &w;
    page_show_line = g_flash_window.show_line;
    g_flash_window.show_line = [] {
        page_show_line();
        shell_window->close();
    };
    click(FLASH_APPLY);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(serve_until([&] { return !w.isVisible(); }, 2)) << "closed after the procedure";
    EXPECT_EQ(static_cast<int>(g_stream.run_mode), RUN_LIVE) << "the page was taken down at exit";
    Lines lines = shown_lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), (std::pair{F, std::string("     -Flashing Failed-")}));
    EXPECT_EQ(lines[lines.size() - 3].first, E) << lines[lines.size() - 3].second;
    for (const auto& l : lines)
        EXPECT_NE(l.first, S) << l.second;
}

TEST_F(FlashShell, TheBankSelectWindowSwitchesTheBankAndTheStatusPanelFollows)
{
    ASSERT_NO_FATAL_FAILURE(start());
    MainWindow& w = *window_;
    g_settings.frame_skip_code = 0;
    w.command(CMD_BANK_SELECT);
    QWidget* bank = nullptr;
    for (QWidget* t : QApplication::topLevelWidgets())
        if (t->isVisible() && t->windowTitle() == "Flash Bank")
            bank = t;
    ASSERT_NE(bank, nullptr);
    EXPECT_EQ(g_settings.actvfbnk, 1);

    // What the window has handed to the screen (not a fresh rendering of it, as grab() would be).
    auto on_screen = [&] { return bank->screen()->grabWindow(bank->winId()).toImage(); };
    auto cell_colour = [](const QImage& shown, int cell) { return shown.pixelColor(25 + cell * 50 + 20, 30); };
    const QColor active(255, 153, 0), black(0, 0, 0);
    QImage cells;
    auto filled_alone = [&](int cell) {
        return serve_until([&] {
            cells = on_screen();
            for (int i = 0; i < 8; ++i)
                if (cell_colour(cells, i) != (i == cell ? active : black))
                    return false;
            return true;
        }, 3);
    };
    int first = g_display.bank;
    ASSERT_TRUE(filled_alone(first)) << "cell " << first << " filled at open";

    // Each bank the stream reports moves the fill on the screen.
    for (int to : {5, 2}) {
        QTest::mouseClick(bank, Qt::LeftButton, {}, QPoint(25 + to * 50 + 20, 30));
        ASSERT_TRUE(serve_until([&] { return g_display.bank == to; }, 5)) << "the stream reports bank " << to;
        EXPECT_TRUE(filled_alone(to)) << "cell " << to << " filled, the others black";
    }

    // The dotted outline follows the pointer: drawn round the cell under it, gone from the one it left.
    const QColor hover(15, 15, 15);
    auto outlined = [&](const QImage& shown, int cell) {
        for (int x = 23 + cell * 50; x < 71 + cell * 50; ++x)
            if (shown.pixelColor(x, 4) == hover)
                return true;
        return false;
    };
    auto point_at = [&](int cell) {
        QPointF at(25 + cell * 50 + 20, 30);
        QMouseEvent move(QEvent::MouseMove, at, bank->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(bank, &move);
    };
    point_at(3);
    EXPECT_TRUE(serve_until([&] { return outlined(on_screen(), 3); }, 3)) << "outline round cell 3";
    point_at(6);
    EXPECT_TRUE(serve_until([&] {
        QImage shown = on_screen();
        return outlined(shown, 6) && !outlined(shown, 3);
    }, 3)) << "outline moved to cell 6";
    QTest::mouseClick(bank, Qt::LeftButton, {}, QPoint(25 + 5 * 50 + 20, 30));
    ASSERT_TRUE(serve_until([] { return g_display.bank == 5; }, 5)) << "the stream reports bank 5";
    EXPECT_TRUE(filled_alone(5));

    // The status panel's "Flash Bank:" field says 5, as the same text drawn on its own.
    QtCanvas reference;
    std::string five = "         5";
    reference.text(140, 102, five, Font::Default, TEXT, BACKGROUND, ALIGN_RIGHT, true);
    int width = reference.text_width(five, Font::Default);
    QImage expected = reference.snapshot().copy(140 - width, 102, width, 16);
    EXPECT_TRUE(serve_until([&] { return w.canvas().snapshot().copy(140 - width, 102, width, 16) == expected; }, 3));

    // The Flash page takes the window down and leaves it remembered; the gauges bring it back
    // where it was. Escape is the user closing it.
    bank->move(200, 150);
    w.command(CMD_FLASH);
    EXPECT_FALSE(bank_select_is_open());
    EXPECT_EQ(g_settings.actvfbnk, 1);
    EXPECT_EQ(g_settings.xposfbnk, 200);
    w.command(CMD_GLANZO);
    ASSERT_TRUE(bank_select_is_open());
    for (QWidget* t : QApplication::topLevelWidgets())
        if (t->isVisible() && t->windowTitle() == "Flash Bank")
            bank = t;
    EXPECT_EQ(bank->pos(), QPoint(200, 150));
    QTest::keyClick(bank, Qt::Key_Escape);
    EXPECT_FALSE(bank_select_is_open());
    EXPECT_EQ(g_settings.actvfbnk, 0);
}

}  // namespace
