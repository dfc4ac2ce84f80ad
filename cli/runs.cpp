// glanzo-cli runs: every drag-strip run of one or more logs, one JSON object a line.
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/runs.h"
#include "analysis_input.h"
#include "cli.h"
#include "json.h"
#include "platform/numbers.h"

namespace {

constexpr const char* USAGE = "usage: glanzo-cli runs LOG... [--min-tps P]";

// A usage mistake: its one line, and the exit code that tells it from a log that cannot be read.
int usage_error(const std::string& message)
{
    fail(message);
    return 2;
}

std::string run_line(const std::string& log, const QmileRun& run)
{
    std::string line = "{\"log\":";
    append_json_text(line, log.data(), log.size());
    line += ",\"row\":" + std::to_string(run.row) + ",\"runtime\":";
    append_json_text(line, run.results.start_run_time, 7);
    line += "," + qmile_json_fields(run.results) + "}\n";
    return line;
}

}  // namespace

int cmd_runs(const Args& args)
{
    std::vector<std::string> logs;
    double min_tps = RUN_MIN_TPS;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--min-tps") {
            if (i + 1 >= args.size())
                return usage_error("--min-tps needs a throttle % (" + std::string(USAGE) + ")");
            if (!parse_real_number(args[++i], 0, 999, min_tps))
                return usage_error("--min-tps takes a throttle % from 0, not '" + args[i] + "'");
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return usage_error("unknown option '" + args[i] + "' (" + USAGE + ")");
        } else {
            logs.push_back(args[i]);
        }
    }
    if (logs.empty())
        return usage_error(USAGE);

    // Each log's lines go out before the next log is read, so that a log that cannot be read
    // leaves the lines of the logs before it.
    for (const std::string& log : logs) {
        int rc = 0;
        // Every argument is a data log, whatever its name (qmile alone also takes built tables).
        FILE* table = open_analysis_table(log, rc, TableArgument::Log);
        if (table == nullptr)
            return rc;
        std::vector<QmileRun> runs;
        rc = find_runs(table, min_tps, runs);
        std::fclose(table);
        if (rc != RUNS_OK)
            return fail("cannot read the table of " + log);
        for (const QmileRun& run : runs) {
            std::string line = run_line(log, run);
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
        std::fflush(stdout);
    }
    return 0;
}
