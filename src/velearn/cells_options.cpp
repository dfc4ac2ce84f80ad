#include "velearn/cells_options.h"

#include <cfloat>

#include "platform/numbers.h"
#include "velearn/ve_apply.h"

const char* const CELLS_USAGE =
    "cells LOG --z CH (--grid ve | --x CH --x-axis V,V,... --y CH --y-axis V,V,...) "
    "[--stat mean|min|max|count|stdev] [--weighting nearest|bilinear] [--where EXPR] [--channel NAME=EXPR]... "
    "[--shift CH=SECONDS]... [--min-hits N] [--apply SRC.bin --to NEW.bin [--smooth FACTOR]]";

namespace {

bool parse_axis(const std::string& text, std::vector<double>& out)
{
    out.clear();
    size_t from = 0;
    while (true) {
        size_t comma = text.find(',', from);
        std::string word = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        double v = 0;
        if (!parse_real_number(word, -DBL_MAX, DBL_MAX, v))
            return false;
        out.push_back(v);
        if (comma == std::string::npos)
            return true;
        from = comma + 1;
    }
}

}  // namespace

int parse_cells_options(const std::vector<std::string>& args, CellsOptions& out, std::string& error)
{
    out = CellsOptions{};
    CellsRequest& rq = out.request;
    bool has_x_axis = false, has_y_axis = false, has_smooth = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            if (!out.log.empty()) {
                error = "one log only: '" + a + "' is one too many";
                return -1;
            }
            out.log = a;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = a + " needs a value";
            return -1;
        }
        const std::string& v = args[++i];
        if (a == "--z") {
            rq.z = v;
        } else if (a == "--x") {
            rq.x = v;
        } else if (a == "--y") {
            rq.y = v;
        } else if (a == "--grid") {
            if (v != "ve") {
                error = "--grid takes 've', not '" + v + "'";
                return -1;
            }
            out.ve_grid = true;
        } else if (a == "--x-axis" || a == "--y-axis") {
            bool x = a == "--x-axis";
            if (!parse_axis(v, x ? rq.x_axis : rq.y_axis)) {
                error = a + " needs numbers split by commas, not '" + v + "'";
                return -1;
            }
            (x ? has_x_axis : has_y_axis) = true;
        } else if (a == "--stat") {
            if (!cell_stat_named(v, rq.stat)) {
                error = "--stat takes mean, min, max, count or stdev, not '" + v + "'";
                return -1;
            }
        } else if (a == "--weighting") {
            if (!cell_weighting_named(v, rq.weighting)) {
                error = "--weighting takes nearest or bilinear, not '" + v + "'";
                return -1;
            }
        } else if (a == "--where") {
            rq.where = v;
        } else if (a == "--channel") {
            size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                error = "--channel takes NAME=EXPR, not '" + v + "'";
                return -1;
            }
            rq.math.push_back({v.substr(0, eq), v.substr(eq + 1)});
        } else if (a == "--shift") {
            size_t eq = v.rfind('=');
            double s = 0;
            if (eq == std::string::npos || eq == 0 || !parse_real_number(v.substr(eq + 1), -DBL_MAX, DBL_MAX, s)) {
                error = "--shift takes CH=SECONDS, not '" + v + "'";
                return -1;
            }
            rq.shifts.push_back({v.substr(0, eq), s});
        } else if (a == "--min-hits") {
            int64_t n = 0;
            if (!parse_whole_number(v, 0, INT32_MAX, n)) {
                error = "--min-hits takes a whole number of at least 0, not '" + v + "'";
                return -1;
            }
            rq.min_hits = static_cast<long>(n);
        } else if (a == "--apply") {
            out.apply_source = v;
        } else if (a == "--to") {
            out.apply_target = v;
        } else if (a == "--smooth") {
            if (!parse_real_number(v, 0, DBL_MAX, out.smooth)) {
                error = "--smooth takes a number of at least 0, not '" + v + "'";
                return -1;
            }
            has_smooth = true;
        } else {
            error = "unknown option " + a;
            return -1;
        }
    }
    if (out.log.empty()) {
        error = "no log given";
        return -1;
    }
    if (rq.z.empty()) {
        error = "--z is missing";
        return -1;
    }
    if (out.ve_grid) {
        if (!rq.x.empty() || !rq.y.empty() || has_x_axis || has_y_axis) {
            error = "--grid ve sets the axes: give either --grid ve or --x, --x-axis, --y and --y-axis";
            return -1;
        }
        set_ve_grid(rq);
    } else {
        const char* missing = rq.x.empty() ? "--x" : !has_x_axis ? "--x-axis" : rq.y.empty() ? "--y" : !has_y_axis ? "--y-axis" : nullptr;
        if (missing != nullptr) {
            error = std::string(missing) + " is missing (or give --grid ve)";
            return -1;
        }
    }
    if (out.apply_source.empty() != out.apply_target.empty()) {
        error = "--apply and --to go together";
        return -1;
    }
    if (has_smooth && out.apply_source.empty()) {
        error = "--smooth goes with --apply";
        return -1;
    }
    if (!out.apply_source.empty() && !out.ve_grid) {
        error = "--apply needs --grid ve";
        return -1;
    }
    return 0;
}

CellsRequest cells_request(const CellsSettings& s)
{
    CellsRequest rq;
    rq.x = s.x;
    rq.y = s.y;
    rq.x_axis = s.x_axis;
    rq.y_axis = s.y_axis;
    if (s.ve_grid)
        set_ve_grid(rq);
    rq.z = s.z;
    rq.stat = s.stat;
    rq.weighting = s.weighting;
    rq.min_hits = s.min_hits;
    rq.where = s.where;
    rq.math = s.math;
    if (s.wideband_delay != 0)
        rq.shifts.push_back({WIDEBAND_CHANNEL, s.wideband_delay});
    return rq;
}

int settings_from_options(const CellsOptions& o, CellsSettings& s, std::string& error)
{
    if (!o.apply_source.empty()) {
        error = "--apply is glanzo-cli's; the window writes a BIN with \"Write BIN...\"";
        return -1;
    }
    const CellsRequest& rq = o.request;
    s.ve_grid = o.ve_grid;
    if (!o.ve_grid) {
        s.x = rq.x;
        s.y = rq.y;
        s.x_axis = rq.x_axis;
        s.y_axis = rq.y_axis;
    }
    s.z = rq.z;
    s.stat = rq.stat;
    s.weighting = rq.weighting;
    s.min_hits = rq.min_hits;
    s.where = rq.where;
    s.math = rq.math;
    s.wideband_delay = 0;
    for (const ChannelShift& shift : rq.shifts) {
        if (shift.channel != WIDEBAND_CHANNEL) {
            error = std::string("the window delays only the wideband channel (--shift ") + WIDEBAND_CHANNEL + "=SECONDS)";
            return -1;
        }
        s.wideband_delay = shift.seconds;
    }
    return 0;
}
