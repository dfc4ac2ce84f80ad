// glanzo-cli knock: a log replayed through the dispatch, then the knock total and the cells of
// both maps as JSON, on a log built frame by frame and on a boosted drive of the simulated engine.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/log_builder.h"

namespace {

using Grid = std::vector<std::vector<long>>;

struct Knock {
    long total = -1;
    std::map<std::string, Grid> cells;   // "standard.average", ..., "boost.counts"
};

// Reads the one object the command prints: {"knock_total":N,"standard":{...},"boost":{...}}.
class Reader {
public:
    explicit Reader(const std::string& s) : s_(s) {}
    bool parse(Knock& k)
    {
        if (!expect("{\"knock_total\":") || !number(k.total))
            return false;
        for (const char* map : {"standard", "boost"}) {
            if (!expect(",\"") || !expect(map) || !expect("\":{"))
                return false;
            const char* sep = "\"";
            for (const char* table : {"average", "peak", "total", "counts"}) {
                if (!expect(sep) || !expect(table) || !expect("\":"))
                    return false;
                if (!grid(k.cells[std::string(map) + "." + table]))
                    return false;
                sep = ",\"";
            }
            if (!expect("}"))
                return false;
        }
        return expect("}\n") && at_ == s_.size();
    }

private:
    bool expect(const std::string& t)
    {
        if (s_.compare(at_, t.size(), t) != 0)
            return false;
        at_ += t.size();
        return true;
    }
    bool number(long& v)
    {
        size_t start = at_;
        while (at_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_])))
            ++at_;
        if (at_ == start)
            return false;
        v = std::stol(s_.substr(start, at_ - start));
        return true;
    }
    bool grid(Grid& g)
    {
        if (!expect("["))
            return false;
        do {
            std::vector<long> row;
            if (!expect("["))
                return false;
            do {
                long v;
                if (!number(v))
                    return false;
                row.push_back(v);
            } while (expect(","));
            if (!expect("]"))
                return false;
            g.push_back(row);
        } while (expect(","));
        return expect("]");
    }

    const std::string& s_;
    size_t at_ = 0;
};

struct CliResult {
    int exit_code;
    std::string out, err;
};

CliResult knock(const std::string& args)
{
    std::string out = temp_dir() + "/knock.out", err = temp_dir() + "/knock.err";
    int status = std::system((std::string(GLANZO_CLI) + " knock " + args + " >" + out + " 2>" + err).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out), read_file(err)};
}

// A running engine at 3000 rpm and 60 kPa on a 1-bar sensor with the knock counter and retard.
FrameRecord running(int count, int retard)
{
    FrameRecord f{};
    f.b[1] = 0x80;
    f.b[F_RUN_TIME + 1] = 100;
    f.b[F_RPM_12_5] = 240;   // with byte 27 at 0: 240 x 12.5
    f.b[F_MAP_LOAD] = 128;   // 60 kPa
    f.b[F_ECM_CONFIG] = 0x18;
    f.b[F_KNOCK_COUNT] = static_cast<uint8_t>(count >> 8);
    f.b[F_KNOCK_COUNT + 1] = static_cast<uint8_t>(count);
    f.b[F_SPARK_RETARD] = static_cast<uint8_t>(retard);
    return f;
}

TEST(CliKnock, FilesEachKnockInItsCellOnceTheEngineRuns)
{
    Bytes log;
    for (int i = 0; i < 34; ++i)   // the engine counts as running from the 35th frame on
        append(log, frame_bytes(running(1000 + 63 * i, 0)));
    append(log, frame_bytes(running(3079, 0)));
    append(log, frame_bytes(running(3205, 100)));   // 126 more: two events at 17.6 degrees
    append(log, frame_bytes(running(3205, 0)));
    CliResult r = knock(write_temp_file("knock-built.dat", log));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Knock k;
    ASSERT_TRUE(Reader(r.out).parse(k)) << r.out;
    EXPECT_EQ(k.total, 2) << "the counter's climb before the engine ran is not knock";
    ASSERT_EQ(k.cells["standard.counts"].size(), 21u);
    ASSERT_EQ(k.cells["standard.counts"][0].size(), 12u);
    ASSERT_EQ(k.cells["boost.counts"].size(), 17u);
    ASSERT_EQ(k.cells["boost.counts"][0].size(), 11u);
    for (auto& [name, grid] : k.cells)
        for (size_t row = 0; row < grid.size(); ++row)
            for (size_t col = 0; col < grid[row].size(); ++col) {
                bool the_cell = name.rfind("standard.", 0) == 0 && row == 12 && col == 4;   // 3200 rpm, 60 kPa
                long want = !the_cell ? 0 : name == "standard.counts" ? 200 : 1807;
                EXPECT_EQ(grid[row][col], want) << name << " row " << row + 1 << " column " << col + 1;
            }
}

TEST(CliKnock, BoostedSimulatedDriveKnocksInBoostAndEveryEventIsInACell)
{
    // Four minutes as ecm-sim records them on a 2-bar sensor, with time and marker records.
    std::string log = temp_dir() + "/knock-boost.dat";
    ASSERT_EQ(std::system((std::string(GLANZO_ECM_SIM) + " --write-log " + log + " --seconds 240 --seed 5 --map-sensor 2")
                              .c_str()),
              0);
    CliResult r = knock(log);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    Knock k;
    ASSERT_TRUE(Reader(r.out).parse(k)) << r.out;
    EXPECT_GT(k.total, 20);
    long filed = 0, in_boost = 0;
    for (const char* map : {"standard", "boost"}) {
        std::string m_name = map;
        const Grid& counts = k.cells[m_name + ".counts"];
        for (size_t row = 0; row < counts.size(); ++row)
            for (size_t col = 0; col < counts[row].size(); ++col) {
                long c = counts[row][col];
                EXPECT_EQ(c % 100, 0);
                EXPECT_LE(c, 25500);
                filed += c / 100;
                if (m_name == "boost")
                    in_boost += c / 100;
                long avg = k.cells[m_name + ".average"][row][col], peak = k.cells[m_name + ".peak"][row][col];
                long sum = k.cells[m_name + ".total"][row][col];
                EXPECT_LE(avg, peak) << map << " " << row << " " << col;
                EXPECT_LE(peak, sum);
                EXPECT_EQ(peak != 0, c != 0) << "the simulated ECM retards with every knock";
            }
    }
    EXPECT_EQ(filed, k.total) << "no cell reached its cap, so every event is in one";
    EXPECT_GT(in_boost, k.total / 2) << "the boosted engine knocks in boost";
    for (long c : k.cells["boost.counts"][0])
        EXPECT_EQ(c, 0) << "the 0 rpm row of the Boost map is never filled";
}

TEST(CliKnock, RefusesWhatIsNotALogWithOneLine)
{
    CliResult r = knock("");
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.err, "glanzo-cli: usage: glanzo-cli knock LOG\n");
    r = knock(temp_dir() + "/no-such-log.dat");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    r = knock(temp_dir());
    EXPECT_EQ(r.exit_code, 1) << "a folder";

    Bytes junk(5000);
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<uint8_t>(i * 7919 % 251);
    r = knock(write_temp_file("knock-junk.dat", junk));
    EXPECT_EQ(r.exit_code, 0);
    Knock k;
    ASSERT_TRUE(Reader(r.out).parse(k)) << r.out;
    EXPECT_EQ(k.total, 0);
}

}  // namespace
