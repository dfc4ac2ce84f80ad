#include <cstdio>
#include <string>

#include "cli.h"
#include "config/config.h"
#include "json.h"
#include "platform/files.h"
#include "stream/reader.h"

namespace {

// Writes out what has gathered in `buf`; false on a write error.
bool flush_out(std::string& buf)
{
    bool ok = std::fwrite(buf.data(), 1, buf.size(), stdout) == buf.size();
    buf.clear();
    return ok;
}

void append_text_or_null(std::string& out, const RecordText& t)
{
    if (t.empty())
        out += "null";
    else
        append_json_text(out, t.bytes, static_cast<size_t>(t.len));
}

}  // namespace

int cmd_frames(const Args& args)
{
    if (args.size() != 1)
        return fail("usage: glanzo-cli frames LOG");
    FILE* log = open_regular_file(args[0]);
    if (log == nullptr)
        return fail(open_error(args[0]));

    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(1 << 17);
    bool ok = true;
    read_log_frames(log, [&](int status, const FrameRecord& frame, const RecordText& time, const RecordText& marker) {
        out += status == STREAM_OK ? "{\"status\":\"ok\",\"marker\":" : "{\"status\":\"bad_crc\",\"marker\":";
        append_text_or_null(out, marker);
        out += ",\"time\":";
        append_text_or_null(out, time);
        if (status == STREAM_OK) {
            out += ",\"payload\":\"";
            for (uint8_t b : frame.b) {
                out += hex[b >> 4];
                out += hex[b & 15];
            }
            out += '"';
        }
        out += "}\n";
        return out.size() < (1 << 16) || (ok = flush_out(out));
    });
    ok = ok && flush_out(out) && std::fflush(stdout) == 0;

    bool read_error = std::ferror(log) != 0;
    std::fclose(log);
    if (read_error)
        return fail("error reading " + args[0]);
    if (!ok)
        return fail("error writing the output");
    return 0;
}

int cmd_config(const Args& args)
{
    if (args.size() != 3 || args[0] != "rewrite")
        return fail("usage: glanzo-cli config rewrite IN OUT");
    FILE* in = open_regular_file(args[1]);
    if (in == nullptr)
        return fail(open_error(args[1]));
    std::fclose(in);

    std::string previous = config_path();
    set_config_path(args[1]);
    int rc = load_config();
    if (rc == 0) {
        set_config_path(args[2]);
        rc = save_config();
    }
    set_config_path(previous);
    return rc == 0 ? 0 : 1;   // on failure the message box line has been printed
}
