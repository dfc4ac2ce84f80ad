#include "analysis/cells_host.h"

#include "analysis/graph.h"
#include "analysis/viewer.h"
#include "platform/ui_services.h"

namespace {

CellsOpener g_opener = nullptr;

void open_for(const std::string& log)
{
    if (log.empty()) {
        ui().message_box("Please open a data log...", "No Data Log Opened", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
        return;
    }
    if (g_opener != nullptr)
        g_opener(log);
}

}  // namespace

void attach_cells_opener(CellsOpener opener)
{
    g_opener = opener;
    set_cells_button_action(opener != nullptr ? cells_show_for_viewer : nullptr);
}

void cells_show_for_viewer() { open_for(g_viewer.table != nullptr ? g_viewer.log_path : std::string()); }

void cells_show_for_graph() { open_for(g_graph.series.log_path); }

void cells_select_samples(const std::string& log, const std::vector<uint32_t>& samples)
{
    graph_mark_samples(log, samples);
    if (samples.empty() || g_viewer.table == nullptr || g_viewer.log_path != log)
        return;
    long first = samples.front();
    if (first >= viewer_rows())
        return;
    long top = first - VIEW_PAGE_ROWS / 2;
    analysis_scroll(CONTROL_SCROLL_THUMB_TRACK, static_cast<int>(top < 0 ? 0 : top));
    select_viewer_row(first);
}
