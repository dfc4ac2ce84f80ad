#include "analysis/channels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>

#include "analysis/export.h"
#include "config/devices.h"
#include "config/settings.h"
#include "platform/files.h"

namespace {

// More bytes than a frame with a marker record inside it came before a frame: something that is
// no frame lay between (noise, or the configuration dump at the head of a recording).
constexpr long SKIPPED_BYTES = FRAME_BYTES + MARKER_RECORD_BYTES + 16;

std::string trimmed(const char* s, int len)
{
    std::string t(s, static_cast<size_t>(len));
    size_t a = t.find_first_not_of(' ');
    size_t b = t.find_last_not_of(' ');
    return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
}

// The unit of an ADC channel's values by its device.
std::string adc_unit(const AdcChannelState& ch)
{
    switch (ch.kind) {
    case DEVICE_WIDEBAND:
        return "AFR";
    case DEVICE_PRESSURE:
        return "psi";
    case DEVICE_USER:
        if (ch.position >= 0 && ch.position < USER_DEVICE_COUNT)
            return g_settings.ud[static_cast<size_t>(ch.position)].unit;
        return "";
    default:
        return "";
    }
}

}  // namespace

std::vector<ChannelInfo> channel_catalogue()
{
    std::vector<ChannelInfo> out;
    for (size_t c = 0; c < EXPORT_COLUMNS.size(); ++c) {
        const ExportColumn& col = EXPORT_COLUMNS[c];
        ChannelInfo ch;
        ch.name = export_column_name(col);
        ch.unit = column_unit_text(col.unit);
        ch.column = static_cast<int>(c);
        ch.precision = col.format == ColumnFormat::Fixed ? col.precision : 0;
        ch.flag = col.format == ColumnFormat::Flag;
        for (const ChannelInfo& before : out)
            if (before.name == ch.name)
                ch.name += "#" + std::to_string(c + 1);
        out.push_back(ch);
    }
    std::lock_guard<std::mutex> lock(g_adc.lock);
    for (size_t n = 0; n < g_adc.channels.size(); ++n) {
        const AdcChannelState& a = g_adc.channels[n];
        if (!a.active)
            continue;
        ChannelInfo ch;
        ch.name = trimmed(a.label, static_cast<int>(strnlen(a.label, sizeof a.label)));
        ch.unit = adc_unit(a);
        ch.adc = static_cast<int>(n);
        ch.precision = a.kind == DEVICE_USER && a.position >= 0 && a.position < USER_DEVICE_COUNT
                           ? static_cast<int>(g_settings.ud[static_cast<size_t>(a.position)].preci)
                           : 1;
        out.push_back(ch);
    }
    return out;
}

int find_channel(const std::vector<ChannelInfo>& catalogue, const std::string& name)
{
    for (size_t i = 0; i < catalogue.size(); ++i)
        if (catalogue[i].name == name)
            return static_cast<int>(i);
    for (size_t i = 0; i < catalogue.size(); ++i)
        if (strcasecmp(catalogue[i].name.c_str(), name.c_str()) == 0)
            return static_cast<int>(i);
    return -1;
}

std::string channel_names(const std::vector<ChannelInfo>& catalogue)
{
    std::string out;
    for (const ChannelInfo& ch : catalogue) {
        if (!out.empty())
            out += ", ";
        out += ch.name;
    }
    return out;
}

// ---- Series -----------------------------------------------------------------------------------

bool ChannelSeries::break_before(long sample) const
{
    return std::binary_search(breaks.begin(), breaks.end(), static_cast<uint32_t>(sample));
}

long ChannelSeries::first_at_or_after(double t) const
{
    return static_cast<long>(std::lower_bound(time.begin(), time.end(), t) - time.begin());
}

long ChannelSeries::sample_at(double t) const
{
    if (time.empty())
        return -1;
    long i = first_at_or_after(t);
    if (i >= samples())
        return samples() - 1;
    if (i > 0 && t - time[static_cast<size_t>(i - 1)] < time[static_cast<size_t>(i)] - t)
        return i - 1;
    return i;
}

int ChannelSeries::channel_index(const std::string& name) const
{
    for (size_t i = 0; i < channels.size(); ++i)
        if (channels[i].name == name)
            return static_cast<int>(i);
    return -1;
}

size_t ChannelSeries::memory_bytes() const
{
    size_t bytes = time.capacity() * sizeof(float) + breaks.capacity() * sizeof(uint32_t);
    for (const std::vector<float>& v : values)
        bytes += v.capacity() * sizeof(float);
    for (const LogEvent& e : events)
        bytes += sizeof e + e.label.capacity() + e.clock.capacity();
    return bytes;
}

int compute_series(const std::string& path, const std::vector<ChannelInfo>& channels, ChannelSeries& out,
                   const Progress& progress)
{
    out = ChannelSeries{};
    out.log_path = path;
    out.channels = channels;
    out.values.resize(channels.size());
    FILE* log = open_regular_file(path);
    if (log == nullptr)
        return SERIES_NO_LOG;
    long size = file_size_rewound(log);
    long total = size / STREAM_SECOND_BYTES;
    // A frame takes at least its own bytes: the arrays never grow while the log is read.
    size_t most = static_cast<size_t>(size / FRAME_BYTES + 1);
    out.time.reserve(most);
    for (std::vector<float>& v : out.values)
        v.reserve(most);

    long frames = 0;        // good and bad frames read: the time axis
    long previous_end = 0;  // where the previous frame ended in the file
    bool lost = true;       // frames lost since the last good one (the first starts a stretch)
    auto each = [&](int status, const FrameRecord& frame, const RecordText& time, const RecordText& marker) {
        long end = std::ftell(log);
        bool skipped = end - previous_end > SKIPPED_BYTES;
        previous_end = end;
        double t = static_cast<double>(frames) / FRAMES_PER_SECOND;
        ++frames;
        if (!marker.empty() || !time.empty()) {
            LogEvent e;
            e.time = t;
            e.clock = trimmed(time.bytes, time.len);
            if (!marker.empty()) {
                e.kind = LogEventKind::Marker;
                e.label = "M" + trimmed(marker.bytes, marker.len);
            } else {
                e.kind = skipped || out.time.empty() ? LogEventKind::Recording : LogEventKind::TimeStamp;
                // The clock time: the last field of " MM/DD/YYYY - hh:mm:ss".
                size_t dash = e.clock.rfind(' ');
                e.label = dash == std::string::npos ? e.clock : e.clock.substr(dash + 1);
            }
            out.events.push_back(std::move(e));
        }
        if (status != STREAM_OK) {
            lost = true;
            return true;
        }
        if (lost || skipped)
            out.breaks.push_back(static_cast<uint32_t>(out.time.size()));
        lost = false;
        convert_channels(adc_counts(frame), 1);
        for (size_t c = 0; c < channels.size(); ++c) {
            const ChannelInfo& ch = channels[c];
            double v = 0;
            if (ch.column >= 0 && ch.column < EXPORT_COLUMN_COUNT) {
                v = EXPORT_COLUMNS[static_cast<size_t>(ch.column)].value(frame);
            } else if (ch.adc >= 0 && ch.adc < static_cast<int>(g_adc.channels.size())) {
                std::lock_guard<std::mutex> lock(g_adc.lock);
                v = g_adc.channels[static_cast<size_t>(ch.adc)].smoothed;
            }
            out.values[c].push_back(static_cast<float>(v));
        }
        out.time.push_back(static_cast<float>(t));
        if (out.time.size() % FRAMES_PER_SECOND == 0 && progress)
            progress(static_cast<long>(out.time.size()) / FRAMES_PER_SECOND, total);
        return true;
    };
    read_log_frames(log, begin_log_conversion, each);
    out.duration = static_cast<double>(frames) / FRAMES_PER_SECOND;
    std::fclose(log);
    return SERIES_OK;
}

// ---- Reduction to pixel columns ----------------------------------------------------------------

void reduce_columns(const ChannelSeries& series, int channel, double t0, double t1, int width,
                    std::vector<ColumnSpan>& out)
{
    out.assign(static_cast<size_t>(width > 0 ? width : 0), ColumnSpan{});
    if (width <= 0 || !(t1 > t0) || channel < 0 || channel >= static_cast<int>(series.values.size()))
        return;
    const std::vector<float>& v = series.values[static_cast<size_t>(channel)];
    const double scale = width / (t1 - t0);
    long i = series.first_at_or_after(t0);
    const long n = series.samples();
    auto next_break = std::lower_bound(series.breaks.begin(), series.breaks.end(), static_cast<uint32_t>(i));
    int previous = -1;   // the last column that has a sample
    bool broken = false; // a break (or a missing value) since that column's last sample
    for (; i < n; ++i) {
        double t = series.time[static_cast<size_t>(i)];
        if (t >= t1)
            break;
        if (next_break != series.breaks.end() && *next_break == static_cast<uint32_t>(i)) {
            broken = true;
            ++next_break;
        }
        float value = v[static_cast<size_t>(i)];
        if (!std::isfinite(value)) {
            broken = true;
            continue;
        }
        int c = static_cast<int>((t - t0) * scale);
        if (c >= width)
            c = width - 1;
        ColumnSpan& col = out[static_cast<size_t>(c)];
        if (!col.any) {
            col.any = true;
            col.lo = col.hi = col.first = value;
            col.joined = previous >= 0 && !broken;
        } else {
            col.lo = std::min(col.lo, value);
            col.hi = std::max(col.hi, value);
        }
        col.last = value;
        broken = false;
        previous = c;
    }
}
