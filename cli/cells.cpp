// glanzo-cli cells: a log's cell table as one JSON object, and optionally its VE-grid corrections
// multiplied onto a BIN.
#include <cmath>
#include <cstdio>
#include <string>

#include "analysis/cells.h"
#include "cli.h"
#include "json.h"
#include "platform/files.h"
#include "velearn/cells_options.h"
#include "velearn/ve_apply.h"

namespace {

constexpr int USAGE_ERROR = 2;

int usage_error(const std::string& message)
{
    fail(message);
    return USAGE_ERROR;
}

void append_number_or_null(std::string& out, double v)
{
    out += std::isfinite(v) ? json_number(v) : "null";
}

void append_axis(std::string& out, const char* key, const std::string& channel, const std::vector<double>& axis)
{
    out += '"';
    out += key;
    out += "\":{\"channel\":";
    append_json_text(out, channel.data(), channel.size());
    out += ",\"axis\":[";
    for (size_t i = 0; i < axis.size(); ++i) {
        if (i > 0)
            out += ',';
        out += json_number(axis[i]);
    }
    out += "]}";
}

std::string cells_json(const CellPlan& plan, const CellTable& table)
{
    const CellsRequest& rq = plan.request;
    std::string out = "{";
    append_axis(out, "x", plan.channel_name(plan.x), table.x_axis);
    out += ',';
    append_axis(out, "y", plan.channel_name(plan.y), table.y_axis);
    std::string z = plan.channel_name(plan.z);
    out += ",\"z\":";
    append_json_text(out, z.data(), z.size());
    out += ",\"stat\":\"";
    out += cell_stat_name(rq.stat);
    out += "\",\"weighting\":\"";
    out += cell_weighting_name(rq.weighting);
    out += "\",\"samples\":" + std::to_string(table.samples) + ",\"kept\":" + std::to_string(table.kept);
    out += ",\"cells\":[";
    for (size_t r = 0; r < table.rows(); ++r) {
        out += r > 0 ? ",[" : "[";
        for (size_t c = 0; c < table.columns(); ++c) {
            const CellStats& cell = table.at(r, c);
            out += c > 0 ? ",{\"hits\":" : "{\"hits\":";
            out += std::to_string(cell.hits);
            out += ",\"weight\":" + json_number(cell.weight);
            out += ",\"value\":";
            append_number_or_null(out, cell_value(cell, rq.stat, rq.min_hits));
            out += '}';
        }
        out += ']';
    }
    out += "]}\n";
    return out;
}

}  // namespace

int cmd_cells(const Args& args)
{
    CellsOptions options;
    std::string error;
    if (parse_cells_options(args, options, error) != 0)
        return usage_error(error + " (usage: glanzo-cli " + CELLS_USAGE + ")");
    CellPlan plan;
    if (plan_cells(options.request, channel_catalogue(), plan, error) != CELLS_OK)
        return usage_error(error);

    const bool apply = !options.apply_source.empty();
    if (apply) {
        // Refused before the log is read, which may take a while.
        FILE* src = open_regular_file(options.apply_source);
        if (src == nullptr)
            return fail(open_error(options.apply_source));
        std::fclose(src);
    }
    LogValues values;
    if (read_log_values(options.log, plan.catalogue, plan.reads, values) != CELLS_OK)
        return fail(open_error(options.log));
    CellTable table;
    compute_cells(plan, values, table);

    if (apply) {
        VeApplyOutcome outcome;
        int rc = apply_ve_corrections(options.apply_source, options.apply_target,
                                      ve_corrections(table, options.request.stat, options.request.min_hits),
                                      options.smooth, outcome);
        switch (rc) {
        case VE_APPLY_OK:
            break;
        case VE_APPLY_NO_SOURCE:
            return fail(open_error(options.apply_source));
        case VE_APPLY_NOT_BIN:
            return fail(options.apply_source + " is not a calibration BIN");
        default:
            return fail("cannot write " + options.apply_target + ": " + file_error_text(errno));
        }
        if (outcome.smoother_error > 0)
            std::fprintf(stderr, "glanzo-cli: Smoother Error: %d; the VE table was written unsmoothed\n",
                         outcome.smoother_error);
    }
    std::string json = cells_json(plan, table);
    std::fwrite(json.data(), 1, json.size(), stdout);
    return 0;
}
