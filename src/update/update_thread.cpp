#include "update/update_thread.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "platform/ui_services.h"
#include "update/update.h"

namespace {

std::thread worker;   // window thread only

void update_thread_main()
{
    // The window has just shown its message area; let it paint before the first line.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int rc = run_update_and_report();
    // A run stopped because the window closes has said so in its lines; nobody is left to
    // answer a box.
    if (rc != 0 && g_update.stop_request == 0)
        ui().message_box("", "-ZOV Update Error-", MB_OK | MB_ICONERROR | MB_TOPMOST);
    g_update.running.store_release(0);
    if (void (*finished)(int) = g_update.on_finished)
        finished(rc);
}

}  // namespace

int start_update_thread()
{
    if (g_update.running.load_acquire() != 0)
        return 1;
    join_update_thread();   // the previous run's thread has ended
    g_update.stop_request = 0;
    g_update.running = 1;
    // A thread that cannot be created is reported, not thrown through the caller.
    try {
        worker = std::thread(update_thread_main);
    } catch (const std::system_error&) {
        g_update.running = 0;
        return -1;
    }
    return 0;
}

void join_update_thread()
{
    if (worker.joinable())
        worker.join();
}

void request_update_stop() { g_update.stop_request = 1; }
