// The malfunction codes window's boxes on a recording canvas: which box a flag fills, only changes
// drawn, the states kept while the window is closed, what opening and closing keep in the
// configuration, and where a remembered position off every screen brings the window up.
#include <gtest/gtest.h>

#include <algorithm>

#include "config/settings.h"
#include "displays/malfunction.h"
#include "draw/recording_canvas.h"
#include "stream/display_thread.h"
#include "support/live.h"

namespace {

constexpr Rgb SET{255, 153, 0};
constexpr Rgb CLEAR{0, 0, 0};

class MalfunctionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        attach_malfunction_canvas(&canvas);
    }
    void TearDown() override { reset_everything(); }

    // The box fills drawn, as (x, y, colour).
    std::vector<RecordingCanvas::Shape> fills() const
    {
        std::vector<RecordingCanvas::Shape> out;
        for (const auto& s : canvas.shapes())
            if (s.kind == 'f')
                out.push_back(s);
        return out;
    }
    static int state(int row, int group) { return g_malfunction.state[row * MALF_GROUPS + group]; }

    RecordingCanvas canvas;
};

TEST_F(MalfunctionTest, TableHasEveryCodeOnceWithItsBoxPlaces)
{
    EXPECT_EQ(MALFUNCTION_INDICATORS[0].byte, 18);
    EXPECT_EQ(MALFUNCTION_INDICATORS[1].byte, 21);
    EXPECT_EQ(MALFUNCTION_INDICATORS[2].byte, 224);
    EXPECT_STREQ(MALFUNCTION_INDICATORS[1].label, "");
    const MalfunctionIndicator& last = MALFUNCTION_INDICATORS[MALF_INDICATORS - 1];
    EXPECT_EQ(last.byte, 226);
    EXPECT_EQ(last.x, 120);
    EXPECT_EQ(last.y, 325);
    for (const MalfunctionCode& c : MALFUNCTION_CODES) {
        EXPECT_EQ(std::string(c.label).size(), 9u) << c.label;
        int same = static_cast<int>(std::count_if(MALFUNCTION_CODES.begin(), MALFUNCTION_CODES.end(),
                                                  [&](const auto& o) { return o.byte == c.byte && o.mask == c.mask; }));
        EXPECT_EQ(same, 1) << c.label;
    }
}

TEST_F(MalfunctionTest, FirstFrameFillsEveryBoxThenOnlyChangesAreDrawn)
{
    FrameRecord f{};
    f.b[18] = 0x81;   // "DRP    12" and "VSS    24" in the first group
    f.b[19] = 0x60;   // bits that no code shows
    malfunction_window_update(f);
    auto drawn = fills();
    ASSERT_EQ(drawn.size(), static_cast<size_t>(MALF_INDICATORS)) << "every box once: the states were unknown";
    for (int i = 0; i < MALF_INDICATORS; ++i) {
        bool lit = i == 0 || i == 7 * MALF_GROUPS;
        EXPECT_EQ(drawn[i].colour, lit ? SET : CLEAR) << MALFUNCTION_INDICATORS[i].label << " " << i;
        EXPECT_EQ(drawn[i].a, MALFUNCTION_INDICATORS[i].x);
        EXPECT_EQ(drawn[i].c, MALFUNCTION_INDICATORS[i].x + 13);
        EXPECT_EQ(drawn[i].d, MALFUNCTION_INDICATORS[i].y + 9);
    }

    canvas.clear();
    malfunction_window_update(f);
    EXPECT_TRUE(canvas.shapes().empty()) << "a frame that changes nothing draws nothing";

    f.b[18] = 0x01;
    f.b[226] = 0x01;   // "OIL HI 62" in the third group
    canvas.clear();
    malfunction_window_update(f);
    drawn = fills();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].a, 80);
    EXPECT_EQ(drawn[0].b, 10);
    EXPECT_EQ(drawn[0].colour, CLEAR) << "DRP went out";
    EXPECT_EQ(drawn[1].a, 120);
    EXPECT_EQ(drawn[1].b, 325);
    EXPECT_EQ(drawn[1].colour, SET);

    f.b[23] = 0x10;   // "PROM   51" in the second group
    canvas.clear();
    malfunction_window_update(f);
    drawn = fills();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].a, 100);
    EXPECT_EQ(drawn[0].b, 10 + 15 * 17);
}

TEST_F(MalfunctionTest, StatesOutliveTheWindowAndPaintShowsThem)
{
    FrameRecord f{};
    f.b[20] = 0x40;   // "O2 LN  44"
    malfunction_window_update(f);
    attach_malfunction_canvas(nullptr);
    f.b[20] = 0x40 | 0x20;   // "O2 RH  45" comes while the window is closed
    malfunction_window_update(f);
    EXPECT_EQ(state(15, 0), 1);

    canvas.clear();
    attach_malfunction_canvas(&canvas);
    paint_malfunction_window();
    int frames = 0, labels = 0;
    for (const auto& s : canvas.shapes())
        frames += s.kind == 'r';
    EXPECT_EQ(frames, MALF_INDICATORS);
    for (const auto& t : canvas.texts()) {
        ++labels;
        EXPECT_EQ(t.x, 10);
        EXPECT_EQ(t.font, Font::Small);
    }
    EXPECT_EQ(labels, MALF_CODES);
    EXPECT_EQ(canvas.text_at(10, 10 + 15 * 14 - 2), "O2 LN  44");
    auto drawn = fills();
    ASSERT_EQ(drawn.size(), static_cast<size_t>(MALF_INDICATORS));
    EXPECT_EQ(drawn[14 * MALF_GROUPS].colour, SET);
    EXPECT_EQ(drawn[15 * MALF_GROUPS].colour, SET);
    EXPECT_EQ(drawn[15 * MALF_GROUPS + 1].colour, CLEAR);
    for (const auto& s : canvas.shapes())
        if (s.kind == 'r' && s.a == 79 && s.b == 9) {
            EXPECT_EQ(s.c, 94) << "the frame runs one pixel outside the box";
            EXPECT_EQ(s.d, 20);
        }
}

TEST_F(MalfunctionTest, OpeningAndClosingKeepPositionAndOpenStateAsTheUserLeftThem)
{
    malfunction_window_opened();
    EXPECT_EQ(static_cast<int>(g_settings.actvmalf), 1);
    EXPECT_NE(static_cast<FrameWatch>(g_frame_hooks.malfunction_window_update), nullptr);

    malfunction_window_closed(300, 200, false);   // a display switch takes it down
    EXPECT_EQ(static_cast<int>(g_settings.actvmalf), 1) << "still remembered as open";
    EXPECT_EQ(static_cast<int>(g_settings.xposmalf), 300);
    EXPECT_EQ(static_cast<int>(g_settings.yposmalf), 200);
    EXPECT_EQ(static_cast<FrameWatch>(g_frame_hooks.malfunction_window_update), nullptr);
    canvas.clear();
    FrameRecord f{};
    f.b[18] = 0xFF;
    malfunction_window_update(f);
    EXPECT_TRUE(canvas.shapes().empty()) << "a closed window is not drawn into";

    malfunction_window_opened();
    malfunction_window_closed(-20, 900, true);   // the user closed it
    EXPECT_EQ(static_cast<int>(g_settings.actvmalf), 0);
    EXPECT_EQ(static_cast<int>(g_settings.xposmalf), -20);
}

TEST(ReachablePlace, WindowOffEveryScreenComesUpWhereTheUserCanReachIt)
{
    const ScreenArea one[] = {{0, 0, 1024, 768}};
    const ScreenArea two[] = {{0, 0, 1024, 768}, {1024, 0, 1280, 1024}};
    auto place = [](int x, int y, std::span<const ScreenArea> screens) {
        WindowPlace p = reachable_place(x, y, 150, 374, screens);
        return std::make_tuple(p.move, p.x, p.y);
    };
    EXPECT_EQ(place(-1, 300, one), std::make_tuple(false, 0, 0)) << "never placed: the system chooses";
    EXPECT_EQ(place(100, 200, one), std::make_tuple(true, 100, 200)) << "on the screen: kept";
    EXPECT_EQ(place(1280, 1024, one), std::make_tuple(true, 874, 394)) << "past the corner: pulled in";
    EXPECT_EQ(place(1000, 100, one), std::make_tuple(true, 874, 100)) << "half off: pulled in";
    EXPECT_EQ(place(1100, 500, two), std::make_tuple(true, 1100, 500)) << "on the second screen: kept";
    EXPECT_EQ(place(1100, 900, two), std::make_tuple(true, 1100, 650)) << "below the second screen";
    EXPECT_EQ(place(-1000, -1000, two), std::make_tuple(true, 0, 0)) << "on none: the first";
    const ScreenArea tiny[] = {{0, 0, 100, 300}};
    EXPECT_EQ(place(50, 50, tiny), std::make_tuple(true, 0, 0)) << "larger than the screen: its corner shows";
}

}  // namespace
