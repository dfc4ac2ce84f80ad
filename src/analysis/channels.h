// Channels of a data log as series over time, for the log graph.
//
// A channel is one value the export writes: one of its columns (analysis/export.h) or an active
// ADC channel. Its series holds the value of every good frame, computed by the export's own
// conversions, as a compact array of floats; the time axis is seconds of log (frames read, good
// or not, over 17 a second), which only ever grows, however many recordings the log holds and
// however their run times restart. Time, time-stamp and marker records become labelled events.
//
// Sample n of a series is the n-th good frame of the log, which is also row n of the Analysis
// view table: the graph and the table point at each other by that number.
//
// Window thread only (the computation uses the analysis byte source and the ADC channel state).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/view_table.h"

constexpr int GRAPH_MAX_CHANNELS = 8;

struct ChannelInfo {
    std::string name;    // the export's heading (an ADC channel: its label without padding)
    std::string unit;    // empty for raw counts and flags
    int column = -1;     // row of EXPORT_COLUMNS, or -1
    int adc = -1;        // ADC channel number, or -1
    int math = -1;       // row of the math channels (analysis/math_channels.h), or -1
    int precision = 0;   // digits after the point, as the export prints it
    bool flag = false;   // a Y/N column: 1 or 0
};

// Every channel in the current settings: the export's columns in their order, then the active
// ADC channels. Names are unique (a repeated heading gets its column number: the second "Cl" is
// "Cl#40").
std::vector<ChannelInfo> channel_catalogue();
// The channel named `name` (exactly, or else ignoring case), or -1.
int find_channel(const std::vector<ChannelInfo>& catalogue, const std::string& name);
// "RUNTIME, RPM, MPH, ..." for messages.
std::string channel_names(const std::vector<ChannelInfo>& catalogue);

enum class LogEventKind : uint8_t {
    Recording,   // the time record that starts a recording
    TimeStamp,   // a time record the user wrote
    Marker,      // a marker record
};

struct LogEvent {
    double time = 0;       // seconds of log
    LogEventKind kind = LogEventKind::TimeStamp;
    std::string label;     // "M007", or the clock time "14:05:09"
    std::string clock;     // the record's whole time text, trimmed ("03/07/2013 - 14:05:09")
};

struct ChannelSeries {
    std::string log_path;
    std::vector<ChannelInfo> channels;
    std::vector<std::vector<float>> values;   // [channel][sample]
    std::vector<float> time;                  // seconds of log of each sample, never decreasing
    // Samples that begin a new stretch: frames were lost before them (a bad CRC, bytes that are no
    // frame) or a new recording starts there. No line joins a sample to the one before it.
    std::vector<uint32_t> breaks;
    std::vector<LogEvent> events;             // in time order
    double duration = 0;                      // seconds of log read

    long samples() const { return static_cast<long>(time.size()); }
    bool break_before(long sample) const;
    // The sample nearest to `t`, or -1 when there are none.
    long sample_at(double t) const;
    // The first sample at or after `t`.
    long first_at_or_after(double t) const;
    int channel_index(const std::string& name) const;
    // Bytes held by the arrays.
    size_t memory_bytes() const;
};

enum SeriesResult : int {
    SERIES_OK = 0,
    SERIES_NO_LOG = -1,   // the log cannot be opened
};

// Reads the log at `path` once and computes the series of `channels` (rows of a catalogue).
// Sets the run mode to analysis while it reads and restores it.
int compute_series(const std::string& path, const std::vector<ChannelInfo>& channels, ChannelSeries& out,
                   const Progress& progress = {});

// One pixel column of a reduced series: the lowest and highest value of its samples and the first
// and last of them; `joined` when a line comes from the previous non-empty column (no break
// between them).
struct ColumnSpan {
    float lo = 0, hi = 0, first = 0, last = 0;
    bool any = false;
    bool joined = false;
};

// Reduces channel `channel` of `series` over the time span [t0, t1) to `width` pixel columns
// (column c covers [t0 + c d, t0 + (c + 1) d) with d = (t1 - t0) / width): every sample counts in
// its column, so no spike is lost at any zoom. Values that are not finite count as missing and
// break the line. `out` is resized to `width`.
void reduce_columns(const ChannelSeries& series, int channel, double t0, double t1, int width,
                    std::vector<ColumnSpan>& out);
