#include "analysis/cells.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <strings.h>

#include "analysis/export.h"
#include "config/devices.h"
#include "platform/files.h"

namespace {

constexpr double NO_VALUE = std::numeric_limits<double>::quiet_NaN();

// The double a decimal text denotes; NaN when it is none ("nan", "inf" read as such).
double parse_decimal(const char* s, const char* end)
{
    while (s < end && *s == ' ')
        ++s;
    double v = NO_VALUE;
    auto r = std::from_chars(s, end, v);
    return r.ec == std::errc{} ? v : NO_VALUE;
}

// The number the export prints for `v` with `precision` digits after the point. Printing rounds
// the exact binary value to the nearest decimal (ties to even); with no digits after the point
// that is nearbyint in the default rounding mode, which saves the text round trip.
double printed_fixed(double v, int precision)
{
    if (precision <= 0)
        return std::nearbyint(v);
    char text[400];
    auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, precision);
    return r.ec == std::errc{} ? parse_decimal(text, r.ptr) : NO_VALUE;
}

// The number a column prints for its value `v`.
double printed_value(const ExportColumn& col, double v)
{
    if (!std::isfinite(v))
        return NO_VALUE;
    switch (col.format) {
    case ColumnFormat::RunTime:
        return static_cast<double>(static_cast<int>(v));
    case ColumnFormat::Integer:
    case ColumnFormat::Gear:   // an automatic's gear code: its text ("P/N", " OD") is no number
        return static_cast<double>(static_cast<long>(v));
    case ColumnFormat::Fixed:
        return printed_fixed(v, col.precision);
    case ColumnFormat::Flag:
        return v != 0 ? 1.0 : 0.0;
    }
    return NO_VALUE;
}

// A column's printed value remembered for the last raw value: consecutive frames often repeat one.
struct LastValue {
    double raw = NO_VALUE;
    double printed = NO_VALUE;
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The position of `v` on `axis` for the nearest breakpoint: the end ones outside, the lower one
// exactly between two.
size_t nearest_breakpoint(const std::vector<double>& axis, double v)
{
    if (v <= axis.front())
        return 0;
    if (v >= axis.back())
        return axis.size() - 1;
    size_t k = static_cast<size_t>(std::upper_bound(axis.begin(), axis.end(), v) - axis.begin()) - 1;
    return v - axis[k] <= axis[k + 1] - v ? k : k + 1;
}

// The two breakpoints `v` lies between and its weights on them (the second may be 0).
struct AxisWeights {
    size_t lo, hi;
    double w_lo, w_hi;
};
AxisWeights bilinear_weights(const std::vector<double>& axis, double v)
{
    if (v <= axis.front())
        return {0, 0, 1.0, 0.0};
    if (v >= axis.back())
        return {axis.size() - 1, axis.size() - 1, 1.0, 0.0};
    size_t k = static_cast<size_t>(std::upper_bound(axis.begin(), axis.end(), v) - axis.begin()) - 1;
    double t = (v - axis[k]) / (axis[k + 1] - axis[k]);
    return {k, k + 1, 1.0 - t, t};
}

// Calls f(cell index, weight) for every cell a sample at (x, y) reaches.
template <class F>
void for_each_cell(const CellTable& t, CellWeighting weighting, double x, double y, F&& f)
{
    const size_t columns = t.columns();
    if (weighting == CellWeighting::Nearest) {
        f(nearest_breakpoint(t.y_axis, y) * columns + nearest_breakpoint(t.x_axis, x), 1.0);
        return;
    }
    AxisWeights wx = bilinear_weights(t.x_axis, x), wy = bilinear_weights(t.y_axis, y);
    const size_t xs[2] = {wx.lo, wx.hi}, ys[2] = {wy.lo, wy.hi};
    const double wxs[2] = {wx.w_lo, wx.w_hi}, wys[2] = {wy.w_lo, wy.w_hi};
    for (int j = 0; j < 2; ++j) {
        for (int i = 0; i < 2; ++i) {
            double w = wxs[i] * wys[j];
            if (w > 0)
                f(ys[j] * columns + xs[i], w);
        }
    }
}

bool axis_ok(const std::vector<double>& axis)
{
    if (axis.size() < 2)
        return false;
    for (size_t i = 0; i < axis.size(); ++i)
        if (!std::isfinite(axis[i]) || (i > 0 && !(axis[i] > axis[i - 1])))
            return false;
    return true;
}

}  // namespace

const char* cell_stat_name(CellStat stat)
{
    for (const CellStatName& s : CELL_STATS)
        if (s.stat == stat)
            return s.name;
    return "";
}

const char* cell_weighting_name(CellWeighting weighting)
{
    for (const CellWeightingName& w : CELL_WEIGHTINGS)
        if (w.weighting == weighting)
            return w.name;
    return "";
}

bool cell_stat_named(const std::string& name, CellStat& out)
{
    for (const CellStatName& s : CELL_STATS)
        if (name == s.name) {
            out = s.stat;
            return true;
        }
    return false;
}

bool cell_weighting_named(const std::string& name, CellWeighting& out)
{
    for (const CellWeightingName& w : CELL_WEIGHTINGS)
        if (name == w.name) {
            out = w.weighting;
            return true;
        }
    return false;
}

std::string CellPlan::channel_name(int channel) const
{
    if (channel >= 0 && channel < static_cast<int>(catalogue.size()))
        return catalogue[static_cast<size_t>(channel)].name;
    size_t m = static_cast<size_t>(channel) - catalogue.size();
    return m < request.math.size() ? request.math[m].name : std::string();
}

int resolve_channel(const std::vector<ChannelInfo>& catalogue, const std::vector<MathChannelDef>& math,
                    size_t math_count, const std::string& name)
{
    const int base = static_cast<int>(catalogue.size());
    math_count = std::min(math_count, math.size());
    int row = find_channel(catalogue, name);
    if (row >= 0 && catalogue[static_cast<size_t>(row)].name == name)
        return row;
    for (size_t i = 0; i < math_count; ++i)
        if (math[i].name == name)
            return base + static_cast<int>(i);
    if (row >= 0)
        return row;
    for (size_t i = 0; i < math_count; ++i)
        if (strcasecmp(math[i].name.c_str(), name.c_str()) == 0)
            return base + static_cast<int>(i);
    return -1;
}

int compile_math_channels(const std::vector<MathChannelDef>& math, const std::vector<ChannelInfo>& catalogue,
                          std::vector<ChannelExpression>& out, std::vector<bool>& reads, std::string& error)
{
    out.clear();
    reads.resize(catalogue.size(), false);
    for (size_t i = 0; i < math.size(); ++i) {
        const MathChannelDef& def = math[i];
        if (def.name.empty() || def.name.find_first_of("[]") != std::string::npos) {
            error = "a math channel needs a name without '[' or ']', not '" + def.name + "'";
            return CELLS_BAD_REQUEST;
        }
        int same = resolve_channel(catalogue, math, i, def.name);
        bool taken = same >= 0 && (same < static_cast<int>(catalogue.size())
                                       ? catalogue[static_cast<size_t>(same)].name == def.name
                                       : math[static_cast<size_t>(same) - catalogue.size()].name == def.name);
        if (taken) {
            error = "channel '" + def.name + "' is defined twice";
            return CELLS_BAD_REQUEST;
        }
        ChannelExpression e;
        auto resolve = [&](const std::string& name) { return resolve_channel(catalogue, math, i, name); };
        if (compile_expression(def.expression, resolve, e, error) != EXPRESSION_OK) {
            error = def.name + ": " + error;
            return CELLS_BAD_REQUEST;
        }
        for (int input : e.inputs)
            if (input >= 0 && input < static_cast<int>(catalogue.size()))
                reads[static_cast<size_t>(input)] = true;
        out.push_back(std::move(e));
    }
    return CELLS_OK;
}

void evaluate_math_channels(std::vector<ChannelExpression>& math, std::vector<const double*>& columns, size_t base,
                            long first, long end, std::vector<std::vector<double>>& out)
{
    const long n = end > first ? end - first : 0;
    std::vector<const double*> offset(columns.size());
    out.assign(math.size(), std::vector<double>());
    for (size_t m = 0; m < math.size(); ++m) {
        for (size_t i = 0; i < columns.size(); ++i)
            offset[i] = columns[i] == nullptr ? nullptr : columns[i] + first;
        out[m].assign(static_cast<size_t>(end > 0 ? end : 0), NO_VALUE);
        evaluate_over(math[m], offset, n, out[m].data() + first);
        columns[base + m] = out[m].data();
    }
}

int plan_cells(const CellsRequest& request, const std::vector<ChannelInfo>& catalogue, CellPlan& plan,
               std::string& error)
{
    plan = CellPlan{};
    plan.request = request;
    plan.catalogue = catalogue;
    plan.reads.assign(catalogue.size(), false);
    const int base = static_cast<int>(catalogue.size());
    auto use = [&](int channel) {
        if (channel >= 0 && channel < base)
            plan.reads[static_cast<size_t>(channel)] = true;
    };

    if (compile_math_channels(request.math, catalogue, plan.math, plan.reads, error) != CELLS_OK)
        return CELLS_BAD_REQUEST;
    auto resolve_all = [&](const std::string& name) {
        return resolve_channel(catalogue, request.math, request.math.size(), name);
    };
    if (!request.where.empty()) {
        if (compile_expression(request.where, resolve_all, plan.where, error) != EXPRESSION_OK) {
            error = "filter: " + error;
            return CELLS_BAD_REQUEST;
        }
        plan.has_where = true;
        for (int input : plan.where.inputs)
            use(input);
    }

    struct Axis {
        const char* what;
        const std::string& name;
        int& channel;
    };
    const Axis axes[] = {{"X", request.x, plan.x}, {"Y", request.y, plan.y}, {"Z", request.z, plan.z}};
    for (const Axis& a : axes) {
        if (a.name.empty()) {
            error = std::string(a.what) + " needs a channel";
            return CELLS_BAD_REQUEST;
        }
        a.channel = resolve_all(a.name);
        if (a.channel < 0) {
            error = "unknown channel '" + a.name + "'";
            return CELLS_BAD_REQUEST;
        }
        use(a.channel);
    }
    if (!axis_ok(request.x_axis) || !axis_ok(request.y_axis)) {
        error = std::string(axis_ok(request.x_axis) ? "Y" : "X") +
                " axis needs at least two breakpoints, each greater than the one before";
        return CELLS_BAD_REQUEST;
    }

    for (const ChannelShift& s : request.shifts) {
        int row = find_channel(catalogue, s.channel);
        if (row < 0) {
            bool math = resolve_all(s.channel) >= 0;
            error = math ? "only a log channel can be shifted, not '" + s.channel + "'"
                         : "unknown channel '" + s.channel + "'";
            return CELLS_BAD_REQUEST;
        }
        if (!std::isfinite(s.seconds)) {
            error = "a shift needs a number of seconds";
            return CELLS_BAD_REQUEST;
        }
        // Beyond any log (10^12 frames are nearly two thousand years), and no overflow.
        double frames = std::round(s.seconds * CELL_FRAMES_PER_SECOND);
        frames = std::clamp(frames, -1e12, 1e12);
        // A later shift of the same channel replaces an earlier one.
        auto same = std::find_if(plan.shifts.begin(), plan.shifts.end(), [&](const auto& p) { return p.first == row; });
        if (same != plan.shifts.end())
            plan.shifts.erase(same);
        plan.shifts.emplace_back(row, static_cast<long>(frames));
    }
    if (request.min_hits < 0) {
        error = "minimum hits must be 0 or more";
        return CELLS_BAD_REQUEST;
    }
    return CELLS_OK;
}

int read_log_values(const std::string& path, const std::vector<ChannelInfo>& catalogue, const std::vector<bool>& rows,
                    LogValues& out, const Progress& progress)
{
    out = LogValues{};
    out.values.resize(catalogue.size());
    FILE* log = open_regular_file(path);
    if (log == nullptr)
        return CELLS_NO_LOG;
    long size = file_size_rewound(log);
    long total = size / STREAM_SECOND_BYTES;
    const size_t most = static_cast<size_t>(size / FRAME_BYTES + 1);
    std::vector<size_t> columns, adcs;   // rows read: export columns and ADC channels
    for (size_t i = 0; i < catalogue.size(); ++i) {
        if (!rows.empty() && (i >= rows.size() || !rows[i]))
            continue;
        const ChannelInfo& ch = catalogue[i];
        if (ch.column >= 0 && ch.column < EXPORT_COLUMN_COUNT)
            columns.push_back(i);
        else if (ch.adc >= 0 && ch.adc < static_cast<int>(g_adc.channels.size()))
            adcs.push_back(i);
        else
            continue;
        out.values[i].reserve(most);
    }
    std::vector<LastValue> last(catalogue.size());

    read_log_frames(log, begin_log_conversion, [&](int status, const FrameRecord& frame, const RecordText&, const RecordText&) {
        if (status != STREAM_OK)
            return true;
        convert_channels(adc_counts(frame), 1);
        for (size_t i : columns) {
            const ExportColumn& col = EXPORT_COLUMNS[static_cast<size_t>(catalogue[i].column)];
            double raw = col.value(frame);
            LastValue& l = last[i];
            if (!same_bits(raw, l.raw)) {
                l.raw = raw;
                l.printed = printed_value(col, raw);
            }
            out.values[i].push_back(l.printed);
        }
        if (!adcs.empty()) {
            std::lock_guard<std::mutex> lock(g_adc.lock);
            for (size_t i : adcs) {
                const AdcChannelState& a = g_adc.channels[static_cast<size_t>(catalogue[i].adc)];
                out.values[i].push_back(parse_decimal(a.text, a.text + strnlen(a.text, sizeof a.text)));
            }
        }
        ++out.samples;
        if (out.samples % FRAMES_PER_SECOND == 0 && progress)
            progress(out.samples / FRAMES_PER_SECOND, total);
        return true;
    });
    std::fclose(log);
    return CELLS_OK;
}

void compute_cells(CellPlan& plan, const LogValues& values, CellTable& out)
{
    const CellsRequest& rq = plan.request;
    out = CellTable{};
    out.x_axis = rq.x_axis;
    out.y_axis = rq.y_axis;
    out.cells.assign(out.rows() * out.columns(), CellStats{});
    const long n = values.samples;
    out.samples = n;

    const size_t base = plan.catalogue.size();
    std::vector<const double*> columns(base + plan.math.size(), nullptr);
    for (size_t i = 0; i < base && i < values.values.size(); ++i)
        if (static_cast<long>(values.values[i].size()) == n)
            columns[i] = values.values[i].data();

    // Frames whose shifted partners all lie inside the log.
    long first = 0, end = n;
    std::vector<std::vector<double>> shifted;
    for (const auto& [row, frames] : plan.shifts) {
        first = std::max(first, -frames);
        end = std::min(end, n - frames);
        const double* v = columns[static_cast<size_t>(row)];
        if (v == nullptr)
            continue;   // read by nothing: it only narrows the frames
        std::vector<double> s(static_cast<size_t>(n), NO_VALUE);
        for (long i = std::max(0L, -frames); i < n && i + frames < n; ++i)
            s[static_cast<size_t>(i)] = v[i + frames];
        shifted.push_back(std::move(s));
        columns[static_cast<size_t>(row)] = shifted.back().data();
    }
    if (end < first)
        end = first;

    // Math channels and the filter over the frames that can be kept.
    std::vector<std::vector<double>> math;
    evaluate_math_channels(plan.math, columns, base, first, end, math);
    std::vector<double> keep;
    if (plan.has_where) {
        std::vector<const double*> offset(columns.size());
        for (size_t i = 0; i < columns.size(); ++i)
            offset[i] = columns[i] == nullptr ? nullptr : columns[i] + first;
        keep.assign(static_cast<size_t>(n), NO_VALUE);
        evaluate_over(plan.where, offset, end - first, keep.data() + first);
    }

    const double* xs = columns[static_cast<size_t>(plan.x)];
    const double* ys = columns[static_cast<size_t>(plan.y)];
    const double* zs = columns[static_cast<size_t>(plan.z)];
    if (xs == nullptr || ys == nullptr || zs == nullptr)
        return;
    for (long i = first; i < end; ++i) {
        double x = xs[i], y = ys[i], z = zs[i];
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
            continue;
        bool finite = true;
        for (const std::vector<double>& m : math)
            finite = finite && std::isfinite(m[static_cast<size_t>(i)]);
        if (!finite)
            continue;
        if (plan.has_where) {
            double w = keep[static_cast<size_t>(i)];
            if (!std::isfinite(w) || w == 0)
                continue;
        }
        out.kept_samples.push_back(static_cast<uint32_t>(i));
        out.kept_x.push_back(x);
        out.kept_y.push_back(y);
        out.kept_z.push_back(z);
        for_each_cell(out, rq.weighting, x, y, [&](size_t cell, double w) {
            CellStats& c = out.cells[cell];
            if (c.hits == 0) {
                c.min = c.max = z;
            } else {
                c.min = std::min(c.min, z);
                c.max = std::max(c.max, z);
            }
            ++c.hits;
            c.weight += w;
            c.sum_wz += w * z;
        });
    }
    out.kept = static_cast<long>(out.kept_samples.size());

    std::vector<double> squares(out.cells.size(), 0.0);
    for (CellStats& c : out.cells)
        if (c.hits > 0)
            c.mean = c.sum_wz / c.weight;
    for (size_t k = 0; k < out.kept_samples.size(); ++k) {
        double z = out.kept_z[k];
        for_each_cell(out, rq.weighting, out.kept_x[k], out.kept_y[k], [&](size_t cell, double w) {
            double d = z - out.cells[cell].mean;
            squares[cell] += w * (d * d);
        });
    }
    for (size_t i = 0; i < out.cells.size(); ++i)
        if (out.cells[i].hits > 0)
            out.cells[i].stdev = std::sqrt(squares[i] / out.cells[i].weight);
}

double cell_value(const CellStats& cell, CellStat stat, long min_hits)
{
    if (cell.hits < min_hits)
        return NO_VALUE;
    if (stat == CellStat::Count)
        return static_cast<double>(cell.hits);
    if (cell.hits == 0)
        return NO_VALUE;
    switch (stat) {
    case CellStat::Mean:
        return cell.mean;
    case CellStat::Min:
        return cell.min;
    case CellStat::Max:
        return cell.max;
    case CellStat::Stdev:
        return cell.stdev;
    case CellStat::Count:
        break;
    }
    return NO_VALUE;
}

bool kept_sample_in_cell(const CellTable& table, CellWeighting weighting, size_t k, size_t r, size_t c)
{
    bool in = false;
    const size_t want = r * table.columns() + c;
    for_each_cell(table, weighting, table.kept_x[k], table.kept_y[k], [&](size_t cell, double) { in = in || cell == want; });
    return in;
}

std::string shortest_number(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string cells_text(const CellTable& table, CellStat stat, long min_hits, const std::string& y_name,
                       const std::string& x_name, char separator)
{
    std::string out = y_name + "\\" + x_name;
    for (double x : table.x_axis)
        out += separator + shortest_number(x);
    out += '\n';
    for (size_t r = 0; r < table.rows(); ++r) {
        out += shortest_number(table.y_axis[r]);
        for (size_t c = 0; c < table.columns(); ++c) {
            out += separator;
            double v = cell_value(table.at(r, c), stat, min_hits);
            if (std::isfinite(v))
                out += shortest_number(v);
        }
        out += '\n';
    }
    return out;
}
