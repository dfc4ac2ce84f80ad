// The Cells window as the Analysis page and the log graph see it: opened for a log, and the
// samples of a clicked cell shown in the table and the graph.
//
// Window thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the desktop program does to open its Cells window for a log.
using CellsOpener = void (*)(const std::string& log);
void attach_cells_opener(CellsOpener opener);

// The Analysis page's "Cells" button: the window for the log the table shows ("Please open a
// data log..." when none is open).
void cells_show_for_viewer();
// The graph window's: the window for the log the graph shows.
void cells_show_for_graph();

// The samples of a clicked cell (sample n is row n of the Analysis table): the graph marks them
// and the table jumps to the first, each when it shows `log`.
void cells_select_samples(const std::string& log, const std::vector<uint32_t>& samples);
