#include "datalog/datalog.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "config/config.h"
#include "config/settings.h"
#include "link/link_thread.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "platform/paths.h"
#include "platform/ui_services.h"

DatalogState g_datalog;

namespace {

void changed()
{
    if (void (*notify)() = g_datalog.on_change)
        notify();
}

void show_write_error();

void show_open_error()
{
    ui().message_box("Can not open Data Logging File", "File Open Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

}  // namespace

int start_logging(const std::string& path)
{
    if (g_datalog.logging_on != 0)
        return 0;
    // Appended to the file a link points at; a folder or a device is no log.
    std::string target;
    FILE* f = resolve_write_target(path, target) == 0 ? std::fopen(target.c_str(), "ab") : nullptr;
    if (f == nullptr) {
        show_open_error();
        return -1;
    }
    // The header goes in before the file is handed over, so it always precedes the stream.
    std::string time = "TIME: " + local_time_text();
    bool ok = std::fwrite(time.data(), 1, time.size(), f) == time.size() && write_config_lines(f) == 0 &&
              std::fflush(f) == 0;
    if (!ok) {
        std::fclose(f);
        show_write_error();
        return -1;
    }

    {
        std::lock_guard<std::mutex> lock(g_datalog.lock);
        g_datalog.file = f;
        g_datalog.path = path;
        g_datalog.logging_on = 1;
        g_datalog.logging_paused = 0;
        // The link thread reports a failed write to the log through this, before it has the file.
        g_link.on_log_write_error = log_write_error;
        set_logging(1, f);
    }

    std::string folder = folder_part(path);
    g_settings.dlog = path;
    g_settings.dlogname = file_name_part(path);
    g_settings.dlogpath = folder;
    g_settings.analysispath = folder;
    g_settings.analysisname = g_settings.dlogname;
    g_settings.analysis = folder + g_settings.dlogname;
    save_config();
    changed();
    return 0;
}

int choose_and_start_logging()
{
    if (g_datalog.logging_on != 0)
        return 1;
    FileDialogRequest request;
    request.title = "Select/Create File to Save Data Log to";
    request.filters = {{"DataLogs (*.dat)", "*.dat"}, {"All (*.*)", "*.*"}};
    request.default_extension = "dat";
    request.initial_name = g_settings.dlogname;
    request.initial_folder = g_settings.dlogpath;
    std::string path = choose_file(request);
    if (path.empty())
        return 1;
    return start_logging(path);
}

namespace {

// Takes the file back from the link thread and closes it; false when the close reported a write
// error. Nothing happens when logging is already off.
bool finish_logging()
{
    std::unique_lock<std::mutex> lock(g_datalog.lock);
    if (g_datalog.file == nullptr)
        return true;
    g_datalog.logging_on = 0;
    g_datalog.logging_paused = 0;
    // Once set_logging returns the link thread no longer holds the file, so it can be closed
    // without a grace period.
    set_logging(0, nullptr);
    FILE* f = g_datalog.file;
    g_datalog.file = nullptr;
    lock.unlock();
    bool ok = std::fclose(f) == 0;
    changed();
    return ok;
}

void show_write_error()
{
    ui().message_box("Error Writing to File\nDisk Full?", "File Write Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

}  // namespace

int stop_logging()
{
    if (finish_logging())
        return 0;
    // Bytes still buffered could not be written: the user hears of it like any write failure.
    show_write_error();
    return -1;
}

void log_write_error()
{
    if (g_datalog.logging_on == 0)
        return;
    show_write_error();
    finish_logging();
}

namespace {
// Space and TAB: ask for the record (which also resumes copying) and show the log as running.
void record_key(void (*request)())
{
    if (g_datalog.logging_on == 0)
        return;
    request();
    if (g_datalog.logging_paused != 0) {
        g_datalog.logging_paused = 0;
        changed();
    }
}
}  // namespace

void log_key_space() { record_key(request_time_record); }
void log_key_tab() { record_key(request_marker_record); }

void log_key_enter()
{
    if (g_datalog.logging_on == 0 || g_settings.enterpause != 1 || g_datalog.logging_paused != 0)
        return;
    set_logging_paused(1);
    g_datalog.logging_paused = 1;
    changed();
}

void reset_datalog()
{
    finish_logging();
    g_datalog.logging_on = 0;
    g_datalog.logging_paused = 0;
    g_datalog.path.clear();
    g_datalog.on_change = nullptr;
}

bool display_key(char c)
{
    if (c >= '1' && c <= '5')
        return true;
    return (c == '\t' || c == '\r' || c == ' ') && g_datalog.logging_on != 0;
}
