// The smoother against an independent implementation of the same method (fixtures written by
// scripts/make_smoother_fixtures.py), and its failures.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "velearn/smoother.h"
#include "velearn/ve_learn_state.h"

namespace {

struct Case {
    std::string name;
    double factor = 0;
    int ier = 0;
    VeTable input = empty_ve_table(), expected = empty_ve_table();
};

std::vector<Case> load_cases()
{
    std::ifstream in(GLANZO_SOURCE_DIR "/tests/velearn/smoother_fixtures.txt");
    std::vector<Case> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("case ", 0) != 0)
            continue;
        Case c;
        std::istringstream head(line.substr(5));
        head >> c.name >> c.factor >> c.ier;
        for (VeTable* t : {&c.input, &c.expected})
            for (int i = 1; i <= VE_ROWS; ++i)
                for (int j = 1; j <= VE_COLS; ++j)
                    in >> (*t)[i][j];
        cases.push_back(c);
    }
    return cases;
}

TEST(Smoother, AgreesWithTheReferenceWithinOneCountInEveryCell)
{
    std::vector<Case> cases = load_cases();
    ASSERT_EQ(cases.size(), 22u) << "fixture file missing or cut short";
    for (const Case& c : cases) {
        VeTable t = c.input;
        int fit = 99;
        int ier = smooth_ve_table(t, c.factor, &fit);
        EXPECT_EQ(fit, c.ier) << c.name << " s=" << c.factor;
        EXPECT_EQ(ier, c.ier > 0 ? c.ier : 0);
        int worst = 0;
        for (int i = 1; i <= VE_ROWS; ++i)
            for (int j = 1; j <= VE_COLS; ++j)
                worst = std::max(worst, std::abs(static_cast<int>(t[i][j]) - static_cast<int>(c.expected[i][j])));
        EXPECT_LE(worst, 1) << c.name << " s=" << c.factor;
        if (c.ier > 0) {
            EXPECT_EQ(t, c.input) << c.name << ": a failed fit leaves the table as it was";
        }
    }
}

TEST(Smoother, ConstantTableComesBackUnchangedAsTheLeastSquaresPolynomial)
{
    VeTable t = empty_ve_table();
    for (int i = 1; i <= VE_ROWS; ++i)
        for (int j = 1; j <= VE_COLS; ++j)
            t[i][j] = 100;
    VeTable before = t;
    int fit = 0;
    EXPECT_EQ(smooth_ve_table(t, 12, &fit), 0);
    EXPECT_EQ(fit, -2);
    EXPECT_EQ(t, before);
}

TEST(Smoother, ABumpIsPulledDownMoreByALargerFactor)
{
    int previous = 170;
    for (double s : {1.0, 5.0, 20.0}) {
        VeTable t = empty_ve_table();
        for (int i = 1; i <= VE_ROWS; ++i)
            for (int j = 1; j <= VE_COLS; ++j)
                t[i][j] = 120;
        t[18][7] = 170;
        ASSERT_LE(smooth_ve_table(t, s), 0);
        EXPECT_LT(static_cast<int>(t[18][7]), previous) << "s=" << s;
        EXPECT_GE(static_cast<int>(t[18][7]), 120);
        previous = static_cast<int>(t[18][7]);
    }
}

TEST(Smoother, InvalidInputIsRefusedWithCodeTenAndTouchesNothing)
{
    VeTable t = empty_ve_table();
    t[5][5] = 77;
    VeTable before = t;
    EXPECT_EQ(smooth_ve_table(t, -1), 10);
    EXPECT_EQ(t, before);

    double x[5] = {0, 1, 2, 2, 4};   // not increasing
    double y[5] = {0, 1, 2, 3, 4};
    double z[25] = {};
    GridSpline out;
    EXPECT_EQ(regrid(0, x, 5, y, 5, z, 0, 4, 0, 4, 3, 3, 1, 9, 9, 2000, 100, out), 10);
    x[3] = 3;
    EXPECT_EQ(regrid(0, x, 5, y, 5, z, 0, 4, 0, 4, 3, 3, 1, 9, 9, 10, 100, out), 10) << "workspace too small";
    EXPECT_EQ(regrid(0, x, 5, y, 5, z, 0, 4, 0, 4, 6, 3, 1, 9, 9, 2000, 100, out), 10) << "degree above 5";
    EXPECT_EQ(regrid(2, x, 5, y, 5, z, 0, 4, 0, 4, 3, 3, 1, 9, 9, 2000, 100, out), 10) << "iopt out of range";
    EXPECT_LE(regrid(0, x, 5, y, 5, z, 0, 4, 0, 4, 3, 3, 1, 9, 9, 2000, 100, out), 0);
}

TEST(Smoother, LeastSquaresOnGivenKnotsAndCarryingOnReproduceAFreshFit)
{
    // A fit, then the least-squares spline on its own knots (iopt -1) reproduces a plane exactly;
    // carrying on with a larger factor (iopt 1) gives what a fresh fit with that factor gives.
    constexpr int M = 8;
    double x[M], y[M], z[M * M];
    for (int i = 0; i < M; ++i)
        x[i] = y[i] = i;
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < M; ++j)
            z[i * M + j] = std::sin(i * 0.7) + 0.3 * j;
    GridSpline fresh, given, carried;
    ASSERT_LE(regrid(0, x, M, y, M, z, 0, 7, 0, 7, 3, 3, 0.01, 12, 12, 2000, 100, fresh), 0);
    given.nx = fresh.nx;
    given.ny = fresh.ny;
    std::copy_n(fresh.tx, fresh.nx, given.tx);
    std::copy_n(fresh.ty, fresh.ny, given.ty);
    ASSERT_LE(regrid(-1, x, M, y, M, z, 0, 7, 0, 7, 3, 3, 0, 12, 12, 2000, 100, given), 0);
    EXPECT_LE(given.fp, fresh.fp) << "no smoothing: no larger residual than the smoothed fit";

    ASSERT_LE(regrid(0, x, M, y, M, z, 0, 7, 0, 7, 3, 3, 0.001, 12, 12, 2000, 100, carried), 0);
    ASSERT_LE(regrid(1, x, M, y, M, z, 0, 7, 0, 7, 3, 3, 0.01, 12, 12, 2000, 100, carried), 0);
    EXPECT_NEAR(carried.fp, 0.01, 0.01 * 0.001);
}

}  // namespace
