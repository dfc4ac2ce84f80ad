#include "analysis/math_channels.h"

#include <limits>

namespace {

std::vector<MathChannelDef> g_math;

}  // namespace

void set_math_channels(const std::vector<MathChannelDef>& defs) { g_math = defs; }

const std::vector<MathChannelDef>& math_channels() { return g_math; }

std::vector<ChannelInfo> catalogue_with_math()
{
    std::vector<ChannelInfo> out = channel_catalogue();
    for (size_t i = 0; i < g_math.size(); ++i) {
        if (find_channel(out, g_math[i].name) >= 0 && out[static_cast<size_t>(find_channel(out, g_math[i].name))].name == g_math[i].name)
            continue;   // a name taken: the channel it names stays the catalogue's
        ChannelInfo ch;
        ch.name = g_math[i].name;
        ch.math = static_cast<int>(i);
        ch.precision = 2;
        out.push_back(ch);
    }
    return out;
}

void compute_math_series(const std::string& path, ChannelSeries& series)
{
    std::vector<size_t> wanted;
    for (size_t c = 0; c < series.channels.size(); ++c)
        if (series.channels[c].math >= 0)
            wanted.push_back(c);
    if (wanted.empty())
        return;
    for (size_t c : wanted)
        series.values[c].assign(static_cast<size_t>(series.samples()), std::numeric_limits<float>::quiet_NaN());

    const std::vector<ChannelInfo> catalogue = channel_catalogue();
    std::vector<ChannelExpression> exprs;
    std::vector<bool> reads;
    std::string error;
    // Compiled one more at a time, so that a bad definition only loses itself and those after it.
    size_t good = 0;
    for (; good < g_math.size(); ++good) {
        std::vector<MathChannelDef> first(g_math.begin(), g_math.begin() + static_cast<long>(good + 1));
        if (compile_math_channels(first, catalogue, exprs, reads, error) != CELLS_OK)
            break;
    }
    std::vector<MathChannelDef> usable(g_math.begin(), g_math.begin() + static_cast<long>(good));
    if (usable.empty() || compile_math_channels(usable, catalogue, exprs, reads, error) != CELLS_OK)
        return;
    LogValues values;
    if (read_log_values(path, catalogue, reads, values) != CELLS_OK || values.samples != series.samples())
        return;
    std::vector<const double*> columns(catalogue.size() + exprs.size(), nullptr);
    for (size_t i = 0; i < catalogue.size(); ++i)
        if (static_cast<long>(values.values[i].size()) == values.samples)
            columns[i] = values.values[i].data();
    std::vector<std::vector<double>> math;
    evaluate_math_channels(exprs, columns, catalogue.size(), 0, values.samples, math);
    for (size_t c : wanted) {
        size_t m = static_cast<size_t>(series.channels[c].math);
        if (m >= math.size())
            continue;
        for (size_t i = 0; i < math[m].size(); ++i)
            series.values[c][i] = static_cast<float>(math[m][i]);
    }
}
