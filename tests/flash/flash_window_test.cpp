// The Flash page without a window: its message area, controls, settings, file choices and Apply,
// on a recording canvas and recording controls with scripted message boxes and file dialogs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <regex>

#include "config/config.h"
#include "config/settings.h"
#include "datalog/datalog.h"
#include "draw/recording_canvas.h"
#include "ecm/protocol.h"
#include "ecm/tick.h"
#include "flash/flash_window.h"
#include "link/link_thread.h"
#include "stream/reader.h"
#include "support/live.h"
#include "support/scripted_ui.h"

namespace {

constexpr FlashColour N = FLASH_NORMAL, E = FLASH_ERROR, S = FLASH_SUCCESS, F = FLASH_FAILURE;

using Lines = std::vector<std::pair<FlashColour, std::string>>;

class FlashPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        disable_config_file();
        attach_canvas(&canvas_);
        attach_controls(&controls_);
    }
    void TearDown() override
    {
        reset_everything();
        attach_canvas(nullptr);
    }

    // The kept lines, trimmed of the padding to 48 characters.
    static Lines kept()
    {
        Lines out;
        for (int n = 0; n <= g_flash_window.line_count; ++n) {
            std::string t = g_flash_window.lines[n].text;
            t.erase(t.find_last_not_of(' ') + 1);
            out.push_back({g_flash_window.lines[n].colour, t});
        }
        return out;
    }

    // The last text drawn at (x, y).
    RecordingCanvas::Text text_at(int x, int y) const
    {
        RecordingCanvas::Text found{};
        for (const auto& t : canvas_.texts())
            if (t.x == x && t.y == y)
                found = t;
        return found;
    }

    static std::string bin_file(const std::string& name, bool signature = true)
    {
        Bytes b(32768, 0x11);
        if (signature)
            std::memcpy(b.data() + 2, "ZOV8", 4);
        return write_temp_file(name, b);
    }

    RecordingCanvas canvas_;
    RecordingControls controls_;
    ScopedScriptedUi ui_;
};

TEST_F(FlashPage, ANinthLineScrollsTheAreaAndARepaintShowsTheLastEightInTheirColours)
{
    const FlashColour colours[] = {N, E, S, F, N, E, S, F, E};
    for (int i = 0; i < 9; ++i)
        flash_window_add_line(colours[i], "line " + std::to_string(i));
    ASSERT_EQ(g_flash_window.line_count, 7);
    std::vector<RecordingCanvas::Shape> shapes = canvas_.shapes();
    auto scroll = std::find_if(shapes.begin(), shapes.end(), [](const auto& s) { return s.kind == 's'; });
    ASSERT_NE(scroll, shapes.end());
    EXPECT_EQ((std::array{scroll->a, scroll->b, scroll->c, scroll->d, scroll->width}),
              (std::array{331, 321, 719, 457, 17})) << "up one 17-pixel line inside the area";
    EXPECT_EQ(std::count_if(shapes.begin(), shapes.end(), [](const auto& s) { return s.kind == 's'; }), 1);

    canvas_.clear();
    paint_flash_window();
    for (int n = 0; n < 8; ++n) {
        std::string want = "line " + std::to_string(n + 1);
        want.resize(48, ' ');
        EXPECT_EQ(canvas_.text_at(334, 321 + 17 * n), want) << n;
    }
    EXPECT_EQ(text_at(334, 321 + 17 * 7).bg, (Rgb{150, 106, 3})) << "the last line in the error colour";
    EXPECT_EQ(text_at(334, 321 + 17 * 2).bg, (Rgb{225, 60, 60})) << "the fourth line added, failure";
    EXPECT_EQ(text_at(334, 321 + 17 * 1).bg, (Rgb{33, 165, 33}));
}

TEST_F(FlashPage, ALineIsCutAfter48CharactersAndClearingEmptiesTheArea)
{
    std::string sixty(60, 'x');
    sixty.replace(47, 2, "AB");
    flash_window_add_line(S, sixty);
    EXPECT_EQ(g_flash_window.lines[0].text, sixty.substr(0, 48));
    EXPECT_EQ(g_flash_window.lines[0].text.back(), 'A');
    flash_window_add_line(N, "short");
    EXPECT_EQ(g_flash_window.lines[1].text.size(), 48u);

    flash_window_clear();
    EXPECT_EQ(g_flash_window.line_count, -1);
    canvas_.clear();
    paint_flash_window();
    EXPECT_EQ(canvas_.text_at(334, 321), std::string(48, ' '));
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(text_at(334, 321 + 17 * n).bg, BACKGROUND);
}

TEST_F(FlashPage, OpeningSetsTheControlsFromTheSettingsAndHoldsTheLinkUntilClosed)
{
    g_settings.flshbank = 5;
    g_settings.flshaction = ACTION_READ;
    g_settings.flshverify = 0;
    g_settings.flshsetbank = 1;
    ASSERT_EQ(start_logging(temp_dir() + "/flash_page.dat"), 0);
    g_link.logging_paused = 0;

    open_flash_window();
    std::vector<int> ids = controls_.ids();
    ASSERT_EQ(ids.size(), 21u);
    EXPECT_EQ(ids.front(), FLASH_BANK_GROUP);
    EXPECT_EQ(ids.back(), FLASH_APPLY);
    EXPECT_EQ(controls_.get(FLASH_BANK_0 + 3).def.x, 270);
    EXPECT_TRUE(controls_.get(FLASH_BANK_0 + 5).checked);
    EXPECT_EQ(controls_.focused(), FLASH_BANK_0 + 5);
    EXPECT_TRUE(controls_.get(FLASH_READ).checked);
    EXPECT_FALSE(controls_.get(FLASH_PROGRAM).checked);
    EXPECT_FALSE(controls_.get(FLASH_VERIFY).checked);
    EXPECT_TRUE(controls_.get(FLASH_SET_ACTIVE).checked);
    EXPECT_TRUE(controls_.get(FLASH_READ_NAME).enabled);
    EXPECT_FALSE(controls_.get(FLASH_PROGRAM_NAME).enabled);

    EXPECT_EQ(static_cast<int>(g_stream.run_mode), RUN_FLASH);
    EXPECT_EQ(static_cast<int>(g_link.logging_paused), 1);
    EXPECT_TRUE(wait_until([] { return g_ticks >= 2; }, 5)) << "the tick counter runs";

    close_flash_window();
    EXPECT_TRUE(controls_.ids().empty());
    EXPECT_EQ(static_cast<int>(g_stream.run_mode), RUN_LIVE);
    EXPECT_EQ(static_cast<int>(g_link.logging_paused), 0) << "logging goes on";
    int32_t ticks = g_ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(static_cast<int32_t>(g_ticks), ticks) << "the tick counter stopped";

    // A pause the user had chosen is kept.
    g_link.logging_paused = 1;
    open_flash_window();
    close_flash_window();
    EXPECT_EQ(static_cast<int>(g_link.logging_paused), 1);
    stop_logging();
}

TEST_F(FlashPage, TheControlsChangeTheSettingsAndTheActionChoosesWhichNameIsBright)
{
    g_settings.flshbinfile = "prog.bin";
    g_settings.readbinfile = std::string(50, 'r');
    open_flash_window();
    controls_.click(FLASH_BANK_0 + 6);
    EXPECT_EQ(g_settings.flshbank, 6);
    controls_.click(FLASH_VERIFY);
    EXPECT_EQ(g_settings.flshverify, 0);
    controls_.click(FLASH_SET_ACTIVE);
    EXPECT_EQ(g_settings.flshsetbank, 0);

    canvas_.clear();
    controls_.click(FLASH_READ);
    EXPECT_EQ(g_settings.flshaction, ACTION_READ);
    EXPECT_FALSE(controls_.get(FLASH_VERIFY).enabled);
    EXPECT_TRUE(controls_.get(FLASH_READ_NAME).enabled);
    EXPECT_FALSE(controls_.get(FLASH_PROGRAM_NAME).enabled);
    EXPECT_EQ(text_at(339, 157).fg, (Rgb{130, 130, 130})) << "the program name dimmed";
    EXPECT_EQ(text_at(339, 209).fg, TEXT);
    EXPECT_EQ(text_at(339, 209).s, std::string(40, 'r')) << "at most 40 characters";

    controls_.click(FLASH_PROGRAM);
    EXPECT_EQ(g_settings.flshaction, ACTION_PROGRAM);
    EXPECT_TRUE(controls_.get(FLASH_VERIFY).enabled);
    EXPECT_EQ(canvas_.text_at(339, 157), "prog.bin");

    int closes = 0;
    static int* seen = nullptr;
    seen = &closes;
    g_flash_window.switch_to_gauges = [] { ++*seen; };
    controls_.click(FLASH_CLOSE);
    EXPECT_EQ(closes, 1);
}

TEST_F(FlashPage, TheProgramFileChoiceRefusesWhatIsNoCalibrationBin)
{
    std::string good = bin_file("choice_good.bin");
    std::string plain = bin_file("choice_plain.bin", false);
    std::string folder = temp_dir() + "/choice_folder.bin";
    mkdir(folder.c_str(), 0755);
    g_settings.flshaction = ACTION_NONE;   // no action chosen: the program file is chosen
    g_settings.flshbinpath = "/start/";
    g_settings.flshbinfile = "last.bin";
    const std::string before = g_settings.flshbin;
    open_flash_window();

    ui_.file_answers = {temp_dir() + "/missing.bin", folder, plain, ""};
    for (int i = 0; i < 4; ++i)
        controls_.click(FLASH_SELECT_BIN);
    ASSERT_EQ(ui_.shown.size(), 3u);
    EXPECT_EQ(ui_.shown[0].text, "Can not open BIN File");
    EXPECT_EQ(ui_.shown[0].caption, "File Open Error");
    EXPECT_EQ(ui_.shown[1].text, "Can not open BIN File") << "a folder is no file";
    EXPECT_EQ(ui_.shown[2].text, "Not an ZOV J8 Flash BIN!");
    EXPECT_EQ(ui_.shown[2].caption, "Incorrect BIN File");
    EXPECT_EQ(g_settings.flshbin, before) << "nothing changed";
    EXPECT_EQ(controls_.focused(), FLASH_SELECT_BIN);

    const FileDialogRequest& r = ui_.dialogs[0];
    EXPECT_EQ(r.title, "Select BIN file to Flash to ZOV");
    EXPECT_EQ(r.initial_folder, "/start/");
    EXPECT_EQ(r.initial_name, "last.bin");
    ASSERT_EQ(r.filters.size(), 2u);
    EXPECT_EQ(r.filters[0].second, "*.bin");
    EXPECT_EQ(r.filters[1].second, "*.*");

    ui_.file_answers = {good};
    controls_.click(FLASH_SELECT_BIN);
    EXPECT_EQ(g_settings.flshbin, good);
    EXPECT_EQ(g_settings.flshbinfile, "choice_good.bin");
    EXPECT_EQ(g_settings.flshbinpath, temp_dir() + "/");
    EXPECT_EQ(canvas_.text_at(339, 157), "choice_good.bin");
}

TEST_F(FlashPage, TheReadFileChoiceAsksBeforeOverwritingAndNoAsksAgain)
{
    std::string existing = bin_file("read_existing.bin");
    std::string fresh = temp_dir() + "/read_fresh.bin";
    std::remove(fresh.c_str());
    g_settings.flshaction = ACTION_READ;
    open_flash_window();

    // No: the dialog again, then a new name is taken without a question.
    ui_.file_answers = {existing, fresh};
    ui_.answers = {ID_NO};
    controls_.click(FLASH_SELECT_BIN);
    ASSERT_EQ(ui_.dialogs.size(), 2u);
    EXPECT_EQ(ui_.dialogs[0].title, "Select/Create File to Save ZOV BIN to");
    EXPECT_EQ(ui_.dialogs[0].default_extension, "bin");
    ASSERT_EQ(ui_.shown.size(), 1u);
    EXPECT_EQ(ui_.shown[0].text, "BIN File Exists, Overwrite?");
    EXPECT_EQ(ui_.shown[0].caption, "File Exists");
    EXPECT_EQ(ui_.shown[0].flags & 0xF, static_cast<unsigned>(MB_YESNOCANCEL));
    EXPECT_EQ(g_settings.readbin, fresh);
    EXPECT_EQ(g_settings.readbinfile, "read_fresh.bin");
    EXPECT_EQ(g_settings.readbinpath, temp_dir() + "/");

    // Cancel changes nothing; Yes takes the existing file.
    ui_.file_answers = {existing};
    ui_.answers = {ID_CANCEL};
    controls_.click(FLASH_SELECT_BIN);
    EXPECT_EQ(g_settings.readbin, fresh);
    EXPECT_EQ(ui_.dialogs.back().initial_name, "read_fresh.bin");
    ui_.file_answers = {existing};
    ui_.answers = {ID_YES};
    controls_.click(FLASH_SELECT_BIN);
    EXPECT_EQ(g_settings.readbin, existing);
}

TEST_F(FlashPage, ApplyWithoutAnActionOnlyReportsTheTimeAndSetsTheFlashParameters)
{
    g_settings.flshaction = ACTION_NONE;
    g_settings.flshbank = 4;
    g_settings.flshverify = 0;
    g_settings.flshsetbank = 1;
    open_flash_window();
    flash_window_add_line(E, "old");
    controls_.click(FLASH_APPLY);
    Lines lines = kept();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (std::pair{N, std::string()}));
    EXPECT_TRUE(std::regex_match(lines[1].second, std::regex("[ 0-9]*[0-9]\\.[0-9] Second\\(s\\)"))) << lines[1].second;
    EXPECT_EQ(g_flash.params.bank, 4);
    EXPECT_EQ(g_flash.params.verify, 0);
    EXPECT_EQ(g_flash.params.set_active, 1);
    EXPECT_EQ((std::array<int, 4>{g_flash.params.info[0], g_flash.params.info[1], g_flash.params.info[2],
                                  g_flash.params.info[3]}),
              (std::array<int, 4>{1, 1, 1, 25}));
    EXPECT_EQ(controls_.focused(), FLASH_BANK_0 + 4);
}

TEST_F(FlashPage, ApplyWantsAFileName)
{
    open_flash_window();
    g_settings.flshaction = ACTION_PROGRAM;
    g_settings.flshbin = "";
    EXPECT_EQ(flash_window_apply(), -1);
    g_settings.flshaction = ACTION_READ;
    g_settings.readbinpath = "";
    EXPECT_EQ(flash_window_apply(), -1);
    ASSERT_EQ(ui_.shown.size(), 2u);
    EXPECT_EQ(ui_.shown[0].text, "Need a Program Bank BIN Name");
    EXPECT_EQ(ui_.shown[0].caption, "File Error");
    EXPECT_EQ(ui_.shown[1].text, "Need a Read Bank BIN Name");
    EXPECT_TRUE(kept().empty()) << "no time for a failure";

    EXPECT_EQ(ui_.shown.size(), 2u);
}

// Files that cannot be programmed from, or read into, end in the procedure's failure lines before
// anything is sent to the ECM (no link is open here: a message sent would fail differently).
TEST_F(FlashPage, ApplyEndsEveryBadFileInTheProceduresFailureLines)
{
    std::string folder = temp_dir() + "/apply_folder";
    mkdir(folder.c_str(), 0755);
    std::string locked = temp_dir() + "/apply_locked";
    mkdir(locked.c_str(), 0555);
    const Lines no_file = {{E, "Failed opening BIN File"}, {N, ""}, {F, "     -Flashing Failed-"}};
    const struct {
        const char* name;
        std::string path;
        Lines lines;
    } programs[] = {
        // The drive root that a first start leaves in [FLSHBIN] is a folder: no file to program from.
        {"the default root", "/", no_file},
        {"a folder", folder, no_file},
        {"a missing file", temp_dir() + "/apply_missing.bin", no_file},
        {"a short file", write_temp_file("apply_short.bin", Bytes(8191, 0)),
         {{E, "BIN File Shorter Than 8192 Bytes"}, {N, ""}, {F, "     -Flashing Failed-"}}},
        {"no calibration", bin_file("apply_plain.bin", false),
         {{E, "Not an ZOV J8 Flash BIN!"}, {N, ""}, {F, "     -Flashing Failed-"}}},
    };
    open_flash_window();
    g_settings.flshaction = ACTION_PROGRAM;
    for (const auto& p : programs) {
        g_settings.flshbin = p.path;
        EXPECT_EQ(flash_window_apply(), -1) << p.name;
        EXPECT_EQ(kept(), p.lines) << p.name;
    }

    g_settings.flshaction = ACTION_READ;
    g_settings.readbinpath = folder + "/";
    for (const std::string& target : {folder, locked + "/read.bin"}) {
        g_settings.readbin = target;
        EXPECT_EQ(flash_window_apply(), -1) << target;
        if (geteuid() == 0 && target != folder)
            continue;   // the superuser writes into a locked folder
        EXPECT_EQ(kept(), (Lines{{E, "Failed opening BIN File"}, {N, ""}, {F, "     -Read Failed-"}})) << target;
    }
    EXPECT_TRUE(ui_.shown.empty()) << "procedures show no message boxes";
}

// The window shows each line as it comes while the procedure holds the window thread; what the
// user does meanwhile reaches the page's command routine late, and must start nothing.
TEST_F(FlashPage, NothingStartsFromThePageWhileAProcedureRuns)
{
    g_settings.flshaction = ACTION_PROGRAM;
    g_settings.flshbin = temp_dir() + "/absent.bin";
    open_flash_window();
    static std::vector<int> counts;
    static int closes;
    counts.clear();
    closes = 0;
    g_flash_window.switch_to_gauges = [] { ++closes; };
    g_flash_window.show_line = [] {
        counts.push_back(g_flash_window.line_count);
        EXPECT_TRUE(flash_procedure_running());
        flash_window_command(FLASH_APPLY, CONTROL_CLICKED, 0);
        flash_window_command(FLASH_CLOSE, CONTROL_CLICKED, 0);
        flash_window_command(FLASH_SELECT_BIN, CONTROL_CLICKED, 0);
    };
    controls_.click(FLASH_APPLY);
    EXPECT_EQ(counts, (std::vector<int>{-1, 0, 1, 2})) << "cleared, then each line shown once";
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(ui_.dialogs.empty());
    EXPECT_FALSE(flash_procedure_running());
}

}  // namespace
