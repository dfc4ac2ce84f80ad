// The export of an arbitrary log in both forms, and its analysis table, with a wideband and a
// user device among the ADC channels so that their conversions run as well.
#include <cstdio>
#include <cstdlib>

#include "analysis/export.h"
#include "analysis/qmile.h"
#include "analysis/view_table.h"
#include "config/devices.h"
#include "config/settings.h"
#include "fuzz_support.h"

namespace {

bool set_up()
{
    install_quiet_ui();
    g_settings.ad[0].type = DEVICE_WIDEBAND;
    g_settings.ad[0].index = 1;
    g_settings.ad[0].insta = 1;
    g_settings.ad[0].wbpref = 1;
    g_settings.ud[0].active = 1;
    g_settings.ud[0].unit_j = 5000000;
    g_settings.ud[0].unit_k = -3;
    g_settings.ad[1].type = DEVICE_USER;
    g_settings.ad[1].index = 0;
    g_settings.ad[1].insta = 1;
    build_device_catalogue();
    rebuild_channel_state();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = set_up();
    (void)ready;
    if (size < 1)
        return 0;
    ExportOptions options{(data[0] & 1) != 0, (data[0] & 2) != 0};
    g_settings.kphormph = (data[0] >> 2) & 1;
    g_settings.temperscale = (data[0] >> 3) & 1;
    static const std::string output = std::string(scratch_folder()) + "/out";
    std::string log = as_file(data + 1, size - 1);
    if (export_log(log, output, options) != EXPORT_OK)
        std::abort();

    FILE* table = memory_file();
    long rows = 0;
    if (build_view_table(log, table, rows) != BUILD_OK)
        std::abort();
    std::fseek(table, 0, SEEK_END);
    if (std::ftell(table) != rows * VIEW_ROW_BYTES)
        std::abort();   // every row is whole
    compute_qmile(table, 0);
    std::fclose(table);
    return 0;
}
