// glanzo-cli trip and knock: a data log replayed through the frame dispatch at full speed, as a
// playback runs it, and what the trip computer or the knock map makes of it.
#include <cstdio>
#include <string>

#include "cli.h"
#include "config/settings.h"
#include "datalog/playback.h"
#include "displays/display_routines.h"
#include "displays/knock_map.h"
#include "displays/trip.h"
#include "json.h"
#include "platform/files.h"

namespace {

// Replays LOG with every display's per-frame routine installed; 0, or the failure's exit code.
int replay(const Args& args, const char* usage)
{
    if (args.size() != 1 || args[0].rfind("--", 0) == 0)
        return fail(usage);
    FILE* file = open_regular_file(args[0]);
    if (file == nullptr)
        return fail(open_error(args[0]));
    install_display_routines();
    replay_log(file);
    std::fclose(file);
    return 0;
}

const char* banner_name(TripBanner b)
{
    return b == BANNER_PE ? "pe" : b == BANNER_LEAN_CRUISE ? "lean_cruise" : "none";
}

// A map's cells (rows and columns 1 on) as a JSON array of rows.
template <class Map>
std::string json_cells(const Map& m)
{
    std::string out = "[";
    for (size_t r = 1; r < m.size(); ++r) {
        out += r > 1 ? ",[" : "[";
        for (size_t c = 1; c < m[r].size(); ++c) {
            if (c > 1)
                out += ',';
            out += std::to_string(m[r][c]);
        }
        out += "]";
    }
    return out + "]";
}

template <class Map>
std::string json_map(const std::array<Map, KNOCK_TABLES>& maps)
{
    return "{\"average\":" + json_cells(maps[KNOCK_AVERAGE]) + ",\"peak\":" + json_cells(maps[KNOCK_PEAK]) +
           ",\"total\":" + json_cells(maps[KNOCK_TOTAL]) + ",\"counts\":" + json_cells(maps[KNOCK_COUNTS]) + "}";
}

}  // namespace

int cmd_trip(const Args& args)
{
    if (int rc = replay(args, "usage: glanzo-cli trip LOG"))
        return rc;
    trip_compute();
    const TripFigures& f = g_trip.figures;
    std::printf("{\"instant\":%u,\"average\":%u,\"distance\":%u,\"fuel\":%u,\"rpm\":%u,\"banner\":\"%s\","
                "\"total_vss\":%s,\"total_pw\":%s,\"pulses_per_mile\":%d,\"flow_constant\":%d}\n",
                f.instant, f.average, f.distance, f.fuel, f.rpm, banner_name(trip_banner_state()),
                json_number(g_settings.totalvss).c_str(), json_number(g_settings.totalpw).c_str(),
                static_cast<int>(g_settings.bfrvssppm), static_cast<int>(g_settings.bfrflwcnst));
    return 0;
}

int cmd_knock(const Args& args)
{
    if (int rc = replay(args, "usage: glanzo-cli knock LOG"))
        return rc;
    std::lock_guard<std::mutex> lock(g_knock.lock);
    std::printf("{\"knock_total\":%d,\"standard\":%s,\"boost\":%s}\n", static_cast<int>(g_knock.total),
                json_map(g_knock.standard).c_str(), json_map(g_knock.boost).c_str());
    return 0;
}
