// "Compare With...": a second log's channels drawn over the log graph's, dashed, in the same
// lanes, and aligned at the logs' starts, at a chosen marker of each log, or at a chosen run's
// launch in each (analysis/runs.h). The read-out shows both values and their difference.
//
// Window thread only.
#pragma once

#include <string>
#include <vector>

#include "analysis/channels.h"

enum class CompareAlign : int { Start, Marker, Run };

// A place a log can be aligned at: its time (seconds of log) and how the choice is shown.
struct CompareAnchor {
    double time = 0;
    std::string label;   // "M007 1:23.4", "run 0:01:42 row 1734"
    int number = -1;     // a marker's number
};

struct GraphCompareState {
    ChannelSeries series;            // the compared log's picked channels; no log path: none
    std::vector<CompareAnchor> markers[2], runs[2];   // of the graph's log [0] and the compared [1]
    CompareAlign align = CompareAlign::Start;
    int chosen[2] = {0, 0};          // the anchor of each log for a marker or run alignment
    double shift = 0;                // seconds added to the compared log's times
};

extern GraphCompareState g_graph_compare;

bool graph_comparing();
// Reads `path` as the log compared (the graph's picks), aligned at the starts. 0, or -1 when it
// cannot be opened.
int graph_compare_load(const std::string& path);
void graph_compare_clear();
// Aligns at `align` with anchor `first` of the graph's log and `second` of the compared one.
// 0, or -1 when either log has no such anchor (the alignment is left as it was).
int graph_compare_align(CompareAlign align, int first, int second);
// The anchors of log `log` (0 the graph's, 1 the compared) for `align` (none for the start).
const std::vector<CompareAnchor>& graph_compare_anchors(int log, CompareAlign align);
// "start", "marker:N" (the marker numbered N in each log) or "run" (each log's first run): 0, -1
// with `error` said when the text is none of them or a log lacks the anchor.
int graph_compare_align_text(const std::string& text, std::string& error);

// The graph's log or picks changed: the compared log read again for the picks and the anchors
// found again.
void graph_compare_refresh();

void reset_graph_compare();
