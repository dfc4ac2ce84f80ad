#include "ui/window_thread.h"

#include <QCoreApplication>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

std::mutex queue_lock;
std::deque<std::function<void()>> queue;

void drain();

}  // namespace

void run_posted_work() { drain(); }

namespace {

void drain()
{
    std::deque<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(queue_lock);
        work.swap(queue);
    }
    for (auto& w : work)
        w();
}

bool on_window_thread() { return QCoreApplication::instance() != nullptr && QThread::currentThread() == qApp->thread(); }

}  // namespace

void post_to_window_thread(std::function<void()> work)
{
    bool first;
    {
        std::lock_guard<std::mutex> lock(queue_lock);
        first = queue.empty();
        queue.push_back(std::move(work));
    }
    // One nudge per batch: the drain takes everything queued until it runs.
    if (first && QCoreApplication::instance() != nullptr)
        QMetaObject::invokeMethod(qApp, &drain, Qt::QueuedConnection);
}

void call_on_window_thread(const std::function<void()>& work, const std::function<bool()>& skip)
{
    if (on_window_thread()) {
        if (!skip || !skip())
            work();
        return;
    }
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    post_to_window_thread([&] {
        if (!skip || !skip())
            work();
        std::lock_guard<std::mutex> lock(m);
        done = true;
        cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return done; });
}
