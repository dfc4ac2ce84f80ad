// The bank select window's cells without a window: hit test, selection, hover outline, the refill
// from the frame dispatch and the settings it keeps.
#include <gtest/gtest.h>

#include "config/settings.h"
#include "draw/recording_canvas.h"
#include "flash/bank_select.h"
#include "link/ring.h"
#include "stream/display_thread.h"
#include "support/live.h"
#include "support/log_builder.h"

namespace {

constexpr Rgb ACTIVE{255, 153, 0};
constexpr Rgb BLACK{0, 0, 0};

class BankSelect : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        bank_select_opened(&canvas_);
    }
    void TearDown() override { reset_everything(); }

    // The fill colour of each cell in the fills drawn since the canvas was cleared.
    std::vector<Rgb> fills() const
    {
        std::vector<Rgb> out;
        for (const auto& s : canvas_.shapes())
            if (s.kind == 'f' && s.b == 10 && s.d == 55)
                out.push_back(s.colour);
        return out;
    }

    static int click(int down_x, int up_x)
    {
        bank_select_button_down(down_x, 30);
        return bank_select_button_up(up_x);
    }

    RecordingCanvas canvas_;
};

TEST_F(BankSelect, ACellIsSelectedOnlyWherePressAndReleaseMeetOnTheRow)
{
    EXPECT_EQ(bank_cell_at(21), -1);
    EXPECT_EQ(bank_cell_at(22), 0);
    EXPECT_EQ(bank_cell_at(71), 0);
    EXPECT_EQ(bank_cell_at(72), 1);
    EXPECT_EQ(bank_cell_at(423), 8);

    EXPECT_EQ(click(130, 180), -1) << "pressed in cell 2, released in cell 3";
    EXPECT_EQ(click(423, 423), -1) << "right of the row";
    EXPECT_EQ(click(421, 421), 7);
    EXPECT_EQ(click(21, 21), -1) << "left of the row";
    EXPECT_EQ(click(10, 130), -1) << "pressed off the row";
    EXPECT_EQ(click(130, 140), 2);
}

TEST_F(BankSelect, TheHoverOutlineFollowsTheMouseAndGoesInTheGapAndOnLeaving)
{
    auto outlines = [this](Rgb colour, PenStyle style) {
        int n = 0;
        for (const auto& s : canvas_.shapes())
            n += s.kind == 'l' && s.colour == colour && s.style == style;
        return n;
    };
    constexpr Rgb HOVER{15, 15, 15};
    bank_select_mouse_move(180);   // cell 3
    EXPECT_EQ(outlines(HOVER, PEN_DOT), 4);
    std::vector<RecordingCanvas::Shape> s = canvas_.shapes();
    EXPECT_EQ((std::array{s[0].a, s[0].b, s[0].c}), (std::array{173, 4, 220})) << "from (23 + 150, 4) to 71 + 150";
    bank_select_mouse_move(190);   // still cell 3: nothing drawn
    EXPECT_EQ(canvas_.shapes().size(), 4u);

    bank_select_mouse_move(430);   // the gap right of the row
    EXPECT_EQ(outlines(BACKGROUND, PEN_SOLID), 4) << "erased";
    EXPECT_EQ(g_bank_select.hover, -1);
    bank_select_mouse_move(180);
    EXPECT_EQ(outlines(HOVER, PEN_DOT), 8) << "drawn again";
    bank_select_mouse_move(230);   // cell 4: the new outline, then the old one erased
    EXPECT_EQ(outlines(HOVER, PEN_DOT), 12);
    EXPECT_EQ(outlines(BACKGROUND, PEN_SOLID), 8);
    bank_select_mouse_leave();
    EXPECT_EQ(outlines(BACKGROUND, PEN_SOLID), 12);
    EXPECT_EQ(g_bank_select.hover, -1);
}

TEST_F(BankSelect, TheFillFollowsTheBankTheStreamReports)
{
    FrameRecord f = sample_frame(3);
    auto feed = [&](uint8_t byte256) {
        f.b[F_BANK] = byte256;
        for (uint8_t b : frame_bytes(f))
            ring_put(b);
        decode_and_dispatch();
    };
    feed(0x85);   // bank 5, whatever bit 7 says
    std::vector<Rgb> want(8, BLACK);
    want[5] = ACTIVE;
    EXPECT_EQ(fills(), want);
    canvas_.clear();
    feed(0x85);
    EXPECT_TRUE(fills().empty()) << "no refill while the bank stays";
    feed(0x02);
    want[5] = BLACK;
    want[2] = ACTIVE;
    EXPECT_EQ(fills(), want);

    canvas_.clear();
    bank_select_paint();
    EXPECT_EQ(fills(), want) << "a paint fills for the bank last reported";
    EXPECT_EQ(canvas_.text_at(43 + 50 * 7, 58), "7");
    int frames = 0;
    for (const auto& s : canvas_.shapes())
        frames += s.kind == 'r' && s.colour == (Rgb{100, 100, 100});
    EXPECT_EQ(frames, 8);

    bank_select_closed(100, 200, false);
    canvas_.clear();
    feed(0x04);
    EXPECT_TRUE(fills().empty()) << "closed: nothing draws into it";
}

TEST_F(BankSelect, OnlyTheUsersCloseForgetsThatTheWindowWasOpen)
{
    EXPECT_EQ(g_settings.actvfbnk, 1);
    EXPECT_FALSE(bank_select_opened(&canvas_)) << "no position remembered yet";
    bank_select_closed(120, 340, false);
    EXPECT_EQ(g_settings.actvfbnk, 1);
    EXPECT_EQ(g_settings.xposfbnk, 120);
    EXPECT_EQ(g_settings.yposfbnk, 340);
    EXPECT_TRUE(bank_select_opened(&canvas_));
    bank_select_closed(121, 341, true);
    EXPECT_EQ(g_settings.actvfbnk, 0);
}

}  // namespace
