// The sensor diagnostics display on a recording canvas: the read-outs in their formats, only what
// changed drawn again, the coolant conversion the ECM suppresses, and the strip chart's steps.
#include <gtest/gtest.h>

#include <algorithm>

#include "config/devices.h"
#include "config/settings.h"
#include "displays/diagnostics.h"
#include "draw/recording_canvas.h"
#include "stream/display_thread.h"
#include "support/live.h"
#include "support/scripted_ui.h"

namespace {

constexpr Rgb RED{240, 10, 10};
constexpr Rgb MAGENTA{240, 10, 240};

class DiagnosticsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_everything();
        attach_canvas(&canvas);
        g_settings.temperscale = 1;
    }
    void TearDown() override
    {
        attach_canvas(nullptr);
        reset_everything();
        build_device_catalogue();
        rebuild_channel_state();
    }

    static FrameRecord frame()
    {
        FrameRecord f{};
        f.b[F_MAP_COUNT] = 153;     // 1 bar: 66.872 kPa, 3.0 V
        f.b[F_SPEED] = 44;
        f.b[F_TPS_COUNT] = 107;     // 2.098 V
        f.b[F_CTS_COUNT] = 120;     // table 0: 161, 80.75 C, 177.4 F
        f.b[212] = 0x01;
        f.b[F_IAT_COUNT] = 120;     // table 1: 124, 53.0 C, 127.4 F
        f.b[F_O2] = 178;            // 786 mV
        return f;
    }
    static void prefer_wideband()
    {
        g_settings.ad[0].type = DEVICE_WIDEBAND;
        g_settings.ad[0].wbpref = 1;
        rebuild_channel_state();
    }
    std::vector<RecordingCanvas::Shape> lines_in(Rgb colour) const
    {
        std::vector<RecordingCanvas::Shape> out;
        for (const auto& s : canvas.shapes())
            if (s.kind == 'l' && s.colour == colour)
                out.push_back(s);
        return out;
    }
    int large_texts() const
    {
        auto t = canvas.texts();
        return static_cast<int>(std::count_if(t.begin(), t.end(), [](const auto& x) { return x.font == Font::Large; }));
    }

    RecordingCanvas canvas;
    ScopedScriptedUi ui;
};

TEST_F(DiagnosticsTest, ReadoutsShowCountsBesideWhatTheyConvertTo)
{
    g_display.engine_speed = 1962;
    diagnostics_update(frame(), 0);
    paint_diagnostics();
    EXPECT_EQ(canvas.text_at(410, 60), "   1962");
    EXPECT_EQ(canvas.text_at(670, 60), "     44");
    EXPECT_EQ(canvas.text_at(540, 60), "MPH:      ");
    EXPECT_EQ(canvas.text_at(410, 112), "    153");
    EXPECT_EQ(canvas.text_at(410, 142), "   66.9");
    EXPECT_EQ(canvas.text_at(410, 172), "    3.0");
    EXPECT_EQ(canvas.text_at(410, 224), "    107");
    EXPECT_EQ(canvas.text_at(410, 254), "    2.1");
    EXPECT_EQ(canvas.text_at(670, 112), "    120");
    EXPECT_EQ(canvas.text_at(670, 142), "   80.8");
    EXPECT_EQ(canvas.text_at(670, 172), "   177.4");
    EXPECT_EQ(canvas.text_at(670, 224), "    120");
    EXPECT_EQ(canvas.text_at(670, 254), "   53.0");
    EXPECT_EQ(canvas.text_at(670, 284), "   127.4");
    EXPECT_EQ(canvas.text_at(150, 224), "    178");
    EXPECT_EQ(canvas.text_at(150, 254), "    786");
    EXPECT_EQ(canvas.text_at(680, 142), "\xB0" "C   ");

    // Kilometres, a 2-bar sensor and the other coolant range.
    canvas.clear();
    g_settings.kphormph = 1;
    g_display.map_bar = 2;
    FrameRecord f = frame();
    f.b[212] = 0;   // table 2 at 130: 80, 20.0 C
    diagnostics_update(f, 0);
    paint_diagnostics();
    EXPECT_EQ(canvas.text_at(540, 60), "KPH:      ");
    EXPECT_EQ(canvas.text_at(670, 60), "     70") << "44 mph is 70.8 km/h, truncated";
    EXPECT_EQ(canvas.text_at(410, 142), "   125.9") << "153 x 0.7705 + 8";
    EXPECT_EQ(canvas.text_at(670, 142), "   20.0");
}

TEST_F(DiagnosticsTest, OnlyChangedReadoutsAreDrawnAgain)
{
    paint_diagnostics();
    diagnostics_update(frame(), 1);
    canvas.clear();
    diagnostics_update(frame(), 1);
    EXPECT_EQ(large_texts(), 0) << "nothing changed";

    FrameRecord f = frame();
    f.b[F_O2] = 10;
    canvas.clear();
    diagnostics_update(f, 1);
    EXPECT_EQ(large_texts(), 2) << "the O2 count and millivolts only";
    EXPECT_EQ(canvas.text_at(150, 254), "     44");

    diagnostics_update(f, 0);
    canvas.clear();
    f.b[F_TPS_COUNT] = 1;
    diagnostics_update(f, 0);
    EXPECT_TRUE(canvas.texts().empty() && canvas.shapes().empty()) << "not shown: nothing drawn";
    diagnostics_update(f, 1);
    EXPECT_EQ(canvas.text_at(410, 224), "      1") << "the change made while hidden is drawn once shown";
}

TEST_F(DiagnosticsTest, SuppressedCoolantConversionKeepsTheLastTemperature)
{
    paint_diagnostics();
    diagnostics_update(frame(), 1);
    FrameRecord f = frame();
    f.b[149] = 0x01;
    f.b[F_CTS_COUNT] = 200;
    canvas.clear();
    diagnostics_update(f, 1);
    EXPECT_EQ(canvas.text_at(670, 112), "    200") << "the count moves";
    EXPECT_EQ(canvas.text_at(670, 142), "   80.8") << "the temperature stays";

    // The conversion runs again at the same count: the temperature follows at once.
    f.b[149] = 0;
    canvas.clear();
    diagnostics_update(f, 1);
    EXPECT_EQ(canvas.text_at(670, 142), "   42.5") << "table 0 at 200: 110";
}

TEST_F(DiagnosticsTest, StripChartStepsFourPixelsAndPlotsBothTracesWithinTheChart)
{
    paint_diagnostics();
    EXPECT_FALSE(canvas.has_text("AFR")) << "no wideband: no AFR axis";
    EXPECT_EQ(canvas.text_at(83, 323), "1000");
    EXPECT_EQ(canvas.text_at(83, 514), "   0");
    canvas.clear();

    FrameRecord f = frame();
    diagnostics_update(f, 1);   // 786 mV: 521 - trunc(78.6 x 1.9125 + 0.5) = 371
    auto shapes = canvas.shapes();
    auto scroll = std::find_if(shapes.begin(), shapes.end(), [](const auto& s) { return s.kind == 'h'; });
    ASSERT_NE(scroll, shapes.end());
    EXPECT_EQ(scroll->a, 92);
    EXPECT_EQ(scroll->b, 330);
    EXPECT_EQ(scroll->c, 771);
    EXPECT_EQ(scroll->d, 522);
    EXPECT_EQ(scroll->width, 4);
    auto red = lines_in(RED);
    ASSERT_EQ(red.size(), 1u);
    EXPECT_EQ(red[0].a, 763);
    EXPECT_EQ(red[0].b, 425) << "the trace starts from the middle";
    EXPECT_EQ(red[0].c, 767);
    EXPECT_EQ(red[0].d, 371);
    EXPECT_TRUE(lines_in(MAGENTA).empty());

    canvas.clear();
    f.b[F_O2] = 255;   // 1127 mV: the top
    diagnostics_update(f, 1);
    red = lines_in(RED);
    ASSERT_EQ(red.size(), 1u);
    EXPECT_EQ(red[0].b, 371);
    EXPECT_EQ(red[0].d, 330);

    prefer_wideband();
    canvas.clear();
    paint_diagnostics();
    EXPECT_EQ(canvas.text_at(83, 323), "20.0");
    EXPECT_EQ(canvas.text_at(38, 323), "1000");
    EXPECT_EQ(canvas.text_at(218, 305), "WB O2");
    for (double afr : {8.5, 14.7, 22.0}) {
        g_adc.current_wb_afr = afr;
        canvas.clear();
        diagnostics_update(f, 1);
        auto magenta = lines_in(MAGENTA);
        ASSERT_EQ(magenta.size(), 1u) << afr;
        EXPECT_EQ(magenta[0].d, afr < 10 ? 521 : afr > 20 ? 330 : 521 - 90) << afr;
    }
}

}  // namespace
