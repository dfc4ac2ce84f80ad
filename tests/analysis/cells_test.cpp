// Cell tables without a window: hand-worked tables on small logs for each statistic and
// weighting, shifts at the log's ends, the NaN rule, minimum hits, math channels built on each
// other, the export's printed values, and every request that must be refused.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/cells.h"
#include "analysis/cells_settings.h"
#include "analysis/channels.h"
#include "support/cells_log.h"
#include "support/log_builder.h"
#include "support/param_name.h"

namespace {

CellsRequest request(std::vector<double> x_axis, std::vector<double> y_axis)
{
    CellsRequest rq;
    rq.x = "INT";
    rq.y = "IAC";
    rq.z = "BLM";
    rq.x_axis = std::move(x_axis);
    rq.y_axis = std::move(y_axis);
    return rq;
}

CellTable table_of(const std::string& log, const CellsRequest& rq)
{
    CellPlan plan;
    std::string error;
    EXPECT_EQ(plan_cells(rq, channel_catalogue(), plan, error), CELLS_OK) << error;
    LogValues values;
    EXPECT_EQ(read_log_values(log, plan.catalogue, plan.reads, values), CELLS_OK);
    CellTable table;
    compute_cells(plan, values, table);
    return table;
}

TEST(Cells, NearestTakesTheNearestBreakpointTheLowerOneWhenBetweenAndTheEndOneOutside)
{
    std::string log = cells_log("cells-nearest.dat", {{10, 100, 50}, {15, 100, 60}, {16, 100, 70}, {5, 250, 80},
                                                       {40, 150, 90}, {30, 199, 100}});
    CellTable t = table_of(log, request({10, 20, 30}, {100, 200}));
    ASSERT_EQ(t.rows(), 2u);
    ASSERT_EQ(t.columns(), 3u);
    EXPECT_EQ(t.samples, 6);
    EXPECT_EQ(t.kept, 6);
    const CellStats& both = t.at(0, 0);
    EXPECT_EQ(both.hits, 2);
    EXPECT_EQ(both.weight, 2.0);
    EXPECT_EQ(both.mean, 55.0);
    EXPECT_EQ(both.min, 50.0);
    EXPECT_EQ(both.max, 60.0);
    EXPECT_EQ(both.stdev, 5.0);
    EXPECT_EQ(t.at(0, 1).mean, 70.0);
    EXPECT_EQ(t.at(0, 1).stdev, 0.0);
    EXPECT_EQ(t.at(1, 0).mean, 80.0);
    EXPECT_EQ(t.at(0, 2).mean, 90.0);
    EXPECT_EQ(t.at(1, 2).mean, 100.0);
    EXPECT_EQ(t.at(1, 1).hits, 0);

    EXPECT_EQ(cell_value(both, CellStat::Count, 1), 2.0);
    EXPECT_EQ(cell_value(both, CellStat::Min, 1), 50.0);
    EXPECT_EQ(cell_value(both, CellStat::Max, 1), 60.0);
    EXPECT_EQ(cell_value(both, CellStat::Stdev, 1), 5.0);
    EXPECT_TRUE(std::isnan(cell_value(t.at(1, 1), CellStat::Mean, 1)));
    EXPECT_TRUE(std::isnan(cell_value(t.at(0, 1), CellStat::Mean, 2))) << "one hit is fewer than two";
    EXPECT_EQ(cell_value(both, CellStat::Mean, 2), 55.0);
    EXPECT_EQ(cell_value(t.at(1, 1), CellStat::Count, 0), 0.0) << "with no minimum an empty cell counts 0";
    EXPECT_TRUE(std::isnan(cell_value(t.at(1, 1), CellStat::Mean, 0)));

    EXPECT_TRUE(kept_sample_in_cell(t, CellWeighting::Nearest, 1, 0, 0));
    EXPECT_FALSE(kept_sample_in_cell(t, CellWeighting::Nearest, 2, 0, 0));
}

TEST(Cells, BilinearSplitsASampleBetweenItsFourNeighboursAndWeighsTheStatistics)
{
    std::string log = cells_log("cells-bilinear.dat", {{25, 0, 40}, {50, 5, 80}, {200, 20, 10}});
    CellsRequest rq = request({0, 100}, {0, 10});
    rq.weighting = CellWeighting::Bilinear;
    CellTable t = table_of(log, rq);
    EXPECT_EQ(t.at(0, 0).hits, 2);
    EXPECT_EQ(t.at(0, 0).weight, 1.0);
    EXPECT_EQ(t.at(0, 0).mean, 50.0);
    EXPECT_EQ(t.at(0, 0).min, 40.0);
    EXPECT_EQ(t.at(0, 0).max, 80.0);
    EXPECT_EQ(t.at(0, 0).stdev, std::sqrt(300.0));
    EXPECT_EQ(t.at(0, 1).hits, 2);
    EXPECT_EQ(t.at(0, 1).weight, 0.5);
    EXPECT_EQ(t.at(0, 1).mean, 60.0);
    EXPECT_EQ(t.at(0, 1).stdev, 20.0);
    EXPECT_EQ(t.at(1, 0).hits, 1);
    EXPECT_EQ(t.at(1, 0).weight, 0.25);
    EXPECT_EQ(t.at(1, 0).mean, 80.0);
    EXPECT_EQ(t.at(1, 1).hits, 2);
    EXPECT_EQ(t.at(1, 1).weight, 1.25);
    EXPECT_EQ(t.at(1, 1).mean, 24.0);
    EXPECT_FALSE(kept_sample_in_cell(t, CellWeighting::Bilinear, 0, 1, 0)) << "weight 0 reaches no cell";
    EXPECT_TRUE(kept_sample_in_cell(t, CellWeighting::Bilinear, 1, 1, 0));
}

struct ShiftCase {
    const char* name;
    std::vector<ChannelShift> shifts;
    long kept;
    double mean;
};

class CellShifts : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(CellShifts, TakeValuesFromLaterOrEarlierFramesAndLeaveOutFramesWithoutAPartner)
{
    std::vector<CellSample> samples;
    for (int n = 1; n <= 12; ++n)
        samples.push_back({10, 10, n});
    std::string log = cells_log("cells-shift.dat", samples);
    CellsRequest rq = request({0, 100}, {0, 100});
    rq.shifts = GetParam().shifts;
    CellTable t = table_of(log, rq);
    EXPECT_EQ(t.kept, GetParam().kept);
    EXPECT_EQ(t.at(0, 0).mean, GetParam().mean);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, CellShifts,
    ::testing::Values(
        ShiftCase{"half a second later is 8.5 frames, rounded away from zero to 9", {{"BLM", 0.5}}, 3, 11.0},
        ShiftCase{"half a second earlier is 9 frames back", {{"BLM", -0.5}}, 3, 2.0},
        ShiftCase{"a shifted channel nothing reads still leaves out the frames at the end", {{"Flw", 0.5}}, 3, 2.0},
        ShiftCase{"a shift beyond the log leaves nothing", {{"BLM", 1e300}}, 0, 0.0},
        ShiftCase{"the later of two shifts of one channel holds", {{"BLM", 5.0}, {"blm", 1.0 / 17}}, 11, 7.0},
        ShiftCase{"shifts both ways keep only the frames in the middle", {{"BLM", 2.0 / 17}, {"Flw", -3.0 / 17}}, 7,
                  9.0}),
    NameFromSentence());

TEST(Cells, FramesWhereAnyExpressionIsNotFiniteAreLeftOutAndTheFilterKeepsNonZero)
{
    std::string log = cells_log("cells-nan.dat", {{10, 10, 10, true}, {10, 10, 20, true}, {10, 10, 30, true},
                                                   {10, 10, 40, true}, {10, 10, 60, false}});
    CellsRequest rq = request({0, 100}, {0, 100});
    rq.math = {{"inv", "1/([BLM]-20)"}, {"nan", "([BLM]-40)/([BLM]-40)"}};
    rq.where = "[BLM] != 30 && [Cl] == 1";
    CellTable t = table_of(log, rq);
    EXPECT_EQ(t.samples, 5);
    EXPECT_EQ(t.kept, 1) << "20 divides by zero, 30 is filtered, 40 is 0/0 in an unused channel, 60 is open loop";
    EXPECT_EQ(t.at(0, 0).mean, 10.0);
    ASSERT_EQ(t.kept_samples.size(), 1u);
    EXPECT_EQ(t.kept_samples[0], 0u);
}

TEST(Cells, MathChannelsUseTheOnesBeforeThemAndCanBeAnAxis)
{
    std::string log = cells_log("cells-math.dat", {{10, 10, 10}, {10, 10, 20}, {10, 10, 30}});
    CellsRequest rq = request({0, 100}, {0, 100});
    rq.math = {{"twice", "[BLM] * 2"}, {"Shifted Up", "[TWICE] + 1"}};
    rq.z = "shifted up";
    rq.x = "twice";
    rq.x_axis = {0, 30, 60};
    CellTable t = table_of(log, rq);
    EXPECT_EQ(t.at(0, 1).hits, 2);          // 20 and 40 are nearest to 30
    EXPECT_EQ(t.at(0, 1).mean, 31.0);       // (21 + 41) / 2
    EXPECT_EQ(t.at(0, 2).mean, 61.0);
}

TEST(Cells, AChannelsValueIsTheNumberTheExportPrints)
{
    // A drive frame: the pulse width prints with three decimals ("%6.3f"), the speed with none.
    std::string log = cells_log("cells-printed.dat", {{10, 10, 10}});
    std::vector<ChannelInfo> catalogue = channel_catalogue();
    LogValues v;
    ASSERT_EQ(read_log_values(log, catalogue, {}, v), CELLS_OK);
    ASSERT_EQ(v.samples, 1);
    for (size_t i = 0; i < catalogue.size(); ++i) {
        ASSERT_EQ(v.values[i].size(), 1u) << catalogue[i].name;
        double value = v.values[i][0];
        if (catalogue[i].precision > 0) {
            char text[64];
            std::snprintf(text, sizeof text, "%.*f", catalogue[i].precision, value);
            EXPECT_EQ(std::strtod(text, nullptr), value) << catalogue[i].name << " is not a printed decimal";
        } else {
            EXPECT_EQ(value, std::floor(value)) << catalogue[i].name;
        }
    }
    EXPECT_EQ(v.values[static_cast<size_t>(find_channel(catalogue, "RUNTIME"))][0], 100.0);
}

struct BadRequest {
    const char* name;
    void (*change)(CellsRequest&);
    const char* error;
};

class CellRequestsRefused : public ::testing::TestWithParam<BadRequest> {};

TEST_P(CellRequestsRefused, WithOneLineSayingWhy)
{
    CellsRequest rq = request({0, 100}, {0, 100});
    GetParam().change(rq);
    CellPlan plan;
    std::string error;
    EXPECT_EQ(plan_cells(rq, channel_catalogue(), plan, error), CELLS_BAD_REQUEST);
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, CellRequestsRefused,
    ::testing::Values(
        BadRequest{"an unknown Z", [](CellsRequest& r) { r.z = "Boost"; }, "unknown channel 'Boost'"},
        BadRequest{"an unknown channel in the filter", [](CellsRequest& r) { r.where = "[RPM] > 1 && [Nope] < 2"; },
                   "filter: unknown channel [Nope] in \"[RPM] > 1 && [Nope] < 2\""},
        BadRequest{"muParser's message, naming the channel as written",
                   [](CellsRequest& r) { r.where = "[RPM] > > 2"; },
                   "filter: Unexpected operator \">\" found at position 8"},
        BadRequest{"a lone '=', which would assign", [](CellsRequest& r) { r.where = "[Cl] = 1 && [RPM] >= 2"; },
                   "filter: '=' at position 5 in \"[Cl] = 1 && [RPM] >= 2\" assigns; compare with '=='"},
        BadRequest{"a bracket left open", [](CellsRequest& r) { r.where = "[RPM > 2"; },
                   "filter: '[' without ']' at position 0 in \"[RPM > 2\""},
        BadRequest{"a math channel using one defined after it",
                   [](CellsRequest& r) { r.math = {{"a", "[b] + 1"}, {"b", "[RPM]"}}; },
                   "a: unknown channel [b] in \"[b] + 1\""},
        BadRequest{"a math channel named twice", [](CellsRequest& r) { r.math = {{"a", "1"}, {"a", "2"}}; },
                   "channel 'a' is defined twice"},
        BadRequest{"a math channel with a log channel's name", [](CellsRequest& r) { r.math = {{"RPM", "1"}}; },
                   "channel 'RPM' is defined twice"},
        BadRequest{"an axis not increasing", [](CellsRequest& r) { r.x_axis = {0, 10, 10}; },
                   "X axis needs at least two breakpoints, each greater than the one before"},
        BadRequest{"an axis of one breakpoint", [](CellsRequest& r) { r.y_axis = {5}; },
                   "Y axis needs at least two breakpoints, each greater than the one before"},
        BadRequest{"a shifted math channel",
                   [](CellsRequest& r) {
                       r.math = {{"m", "1"}};
                       r.shifts = {{"m", 1}};
                   },
                   "only a log channel can be shifted, not 'm'"},
        BadRequest{"a shift of an unknown channel", [](CellsRequest& r) { r.shifts = {{"Lambda", 1}}; },
                   "unknown channel 'Lambda'"}),
    NameFromSentence());

TEST(CellsSettingsFile, KeepsEveryChoiceAndSkipsDamagedLines)
{
    CellsSettings s;
    s.x = "I/C";
    s.y = "Cl#40";
    s.z = "err";
    s.ve_grid = false;
    s.x_axis = {-10, 0.1, 1e6};
    s.y_axis = {1, 2};
    s.stat = CellStat::Stdev;
    s.weighting = CellWeighting::Bilinear;
    s.min_hits = 7;
    s.where = "[RPM] > 2000 && [Cl] == 1";
    s.math = {{"corr", "([WB]/[AFR] - 1) * 100"}, {"err", "[corr] = 2"}};
    s.wideband_delay = 0.15;
    s.centre = 0;
    s.scatter = true;
    std::string path = temp_dir() + "/cells-settings.conf";
    ASSERT_EQ(write_cells_settings(path, s), 0);
    EXPECT_EQ(read_cells_settings(path), s);

    // Damaged lines leave the value before them (or the default) in place.
    std::string text = read_file(path);
    text += "stat median\nmin-hits -3\ncentre 64\ngrid sideways\nx-axis 1,,2\nchannel =1\nwhere a\x01b\n"
            "nonsense line\n\xff\xfe\n";
    std::string damaged = write_temp_file("cells-settings-damaged.conf", Bytes(text.begin(), text.end()));
    EXPECT_EQ(read_cells_settings(damaged), s);
    EXPECT_EQ(read_cells_settings(temp_dir() + "/absent.conf"), CellsSettings{});
}

TEST(CellsSettingsFile, EvenStepsReachTheEndWithoutAddingUpRounding)
{
    std::vector<double> axis;
    ASSERT_TRUE(even_steps(400, 2000, 400, axis));
    EXPECT_EQ(axis, (std::vector<double>{400, 800, 1200, 1600, 2000}));
    ASSERT_TRUE(even_steps(0, 1, 0.1, axis));
    EXPECT_EQ(axis.size(), 11u);
    EXPECT_EQ(axis.back(), 1.0);
    EXPECT_EQ(axis[3], 0.30000000000000004) << "0 + 3 x 0.1, not 0.1 + 0.1 + 0.1";
    ASSERT_TRUE(even_steps(0, 10, 4, axis));
    EXPECT_EQ(axis, (std::vector<double>{0, 4, 8}));
    EXPECT_FALSE(even_steps(5, 5, 1, axis));
    EXPECT_FALSE(even_steps(0, 10, 0, axis));
    EXPECT_FALSE(even_steps(0, 1e9, 1, axis)) << "more than 1000 breakpoints";
    EXPECT_TRUE(parse_breakpoints(" 20, 25 ,30", axis));
    EXPECT_EQ(breakpoints_text(axis), "20,25,30");
    EXPECT_FALSE(parse_breakpoints("20;25", axis));
}

}  // namespace
