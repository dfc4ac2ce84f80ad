// glanzo-cli table, export, qmile and channels: the log analysis without a window.
#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/channels.h"
#include "analysis/export.h"
#include "analysis/qmile.h"
#include "analysis/view_table.h"
#include "analysis_input.h"
#include "cli.h"
#include "json.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/numbers.h"

namespace {

// Progress on stderr, only when somebody watches it.
Progress terminal_progress()
{
    if (!isatty(2))
        return {};
    return [](long done, long total) {
        if (total > 0)
            std::fprintf(stderr, "\r%3ld%%", done * 100 / total > 100 ? 100 : done * 100 / total);
    };
}

void end_progress()
{
    if (isatty(2))
        std::fprintf(stderr, "\r    \r");
}

bool has_dat_extension(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".dat";
}

}  // namespace

FILE* open_analysis_table(const std::string& path, int& rc, TableArgument kind)
{
    rc = 1;
    if (!regular_file_readable(path)) {
        fail(open_error(path));
        return nullptr;
    }
    if (kind == TableArgument::LogOrTable && !has_dat_extension(path)) {
        FILE* table = open_regular_file(path);
        if (table == nullptr)
            fail(open_error(path));
        return table;
    }
    FILE* table = std::tmpfile();
    if (table == nullptr) {
        fail("cannot create a temporary file");
        return nullptr;
    }
    long rows = 0;
    if (build_view_table(path, table, rows) != BUILD_OK) {
        std::fclose(table);
        return nullptr;   // the write error has been shown
    }
    return table;
}

std::string qmile_json_fields(const QmileResults& r)
{
    return "\"zero_to_60_s\":" + json_number(r.zero_to_60_s) + ",\"ft60_s\":" + json_number(r.ft60_s) +
           ",\"ft330_s\":" + json_number(r.ft330_s) + ",\"eighth_s\":" + json_number(r.eighth_s) +
           ",\"eighth_mph\":" + json_number(r.eighth_mph) + ",\"quarter_s\":" + json_number(r.quarter_s) +
           ",\"quarter_mph\":" + json_number(r.quarter_mph);
}

int cmd_table(const Args& args)
{
    if (args.size() != 3 || args[1] != "-o")
        return fail("usage: glanzo-cli table LOG -o FILE");
    if (!regular_file_readable(args[0]))
        return fail(open_error(args[0]));
    ReplacingFile table(args[2]);
    if (table.get() == nullptr)
        return fail(open_error(args[2]));
    long rows = 0;
    int rc = build_view_table(args[0], table.get(), rows, terminal_progress());
    end_progress();
    if (rc != BUILD_OK)
        return 1;   // the write error has been shown
    if (table.commit() != 0)
        return fail("error writing " + args[2]);
    return 0;
}

int cmd_export(const Args& args)
{
    const char* usage = "usage: glanzo-cli export LOG [-o OUT] [--csv|--blank] [--single-header|--header-every-second]";
    if (args.empty())
        return fail(usage);
    ExportOptions options;
    options.csv = g_settings.ana_csv == 1;
    options.single_header = g_settings.anasheader == 1;
    std::string input = args[0], output;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size())
            output = args[++i];
        else if (args[i] == "--csv" || args[i] == "--blank")
            options.csv = args[i] == "--csv";
        else if (args[i] == "--single-header" || args[i] == "--header-every-second")
            options.single_header = args[i] == "--single-header";
        else
            return fail(usage);
    }
    if (!regular_file_readable(input))
        return fail(open_error(input));
    if (output.empty())
        output = export_output_path(input, options.csv);
    int rc = export_log(input, output, options, terminal_progress());
    end_progress();
    return rc == EXPORT_OK ? 0 : 1;   // failures have printed their message
}

int cmd_qmile(const Args& args)
{
    const char* usage = "usage: glanzo-cli qmile TABLE_OR_LOG [--start-row N]";
    if (args.empty())
        return fail(usage);
    int64_t start = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] != "--start-row" || i + 1 >= args.size())
            return fail(usage);
        if (!parse_whole_number(args[++i], 0, LONG_MAX / VIEW_ROW_BYTES, start))
            return fail("--start-row takes a row number from 0, not '" + args[i] + "'");
    }
    int rc = 0;
    FILE* table = open_analysis_table(args[0], rc);
    if (table == nullptr)
        return rc;
    std::fseek(table, 0, SEEK_END);
    long rows = std::ftell(table) / VIEW_ROW_BYTES;
    if (start >= rows) {
        std::fclose(table);
        return fail("--start-row " + std::to_string(start) + " is past the table's last row (it has " +
                    std::to_string(rows) + ")");
    }
    QmileResults r = compute_qmile(table, static_cast<long>(start));
    std::fclose(table);
    std::printf("{%s}\n", qmile_json_fields(r).c_str());
    return 0;
}

int cmd_channels(const Args& args)
{
    if (args.size() != 1)
        return fail("usage: glanzo-cli channels LOG");
    // The channels a log graph offers come from the settings, not from the log's bytes (a log
    // holds frames, whatever their number or damage): LOG need only be a file that can be read, as
    // it must for the graph itself.
    if (!regular_file_readable(args[0]))
        return fail(open_error(args[0]));
    std::string out;
    for (const ChannelInfo& channel : channel_catalogue())
        out += channel.name + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : fail("cannot write the channel names");
}
