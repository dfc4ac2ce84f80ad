#include "link/ring.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "link/link_wakeup.h"

ReceiveRing g_ring;

namespace {

// The reader drops what a flush asked to drop, itself: only the reader ever moves `tail`.
void apply_discard()
{
    int32_t to = g_ring.discard_to.exchange(-1);
    if (to >= 0)
        g_ring.tail.store_release(to);
}

}  // namespace

int32_t ring_count()
{
    apply_discard();
    int32_t n = g_ring.head.load_acquire() - g_ring.tail;
    return n < 0 ? n + RING_SIZE : n;
}

int ring_get()
{
    apply_discard();
    int32_t tail = g_ring.tail;
    if (g_ring.head.load_acquire() == tail)
        return -1;
    tail = tail + 1 == RING_SIZE ? 0 : tail + 1;
    int byte = g_ring.buf[tail];
    g_ring.tail.store_release(tail);
    return byte;
}

int ring_peek()
{
    apply_discard();
    int32_t tail = g_ring.tail;
    if (g_ring.head.load_acquire() == tail)
        return -1;
    return g_ring.buf[tail + 1 == RING_SIZE ? 0 : tail + 1];
}

void request_ring_flush()
{
    g_ring.reset_request = 1;
    wake_link_thread();
}

namespace {
std::mutex wait_lock;
std::condition_variable stored;
}  // namespace

void ring_notify()
{
    { std::lock_guard<std::mutex> lock(wait_lock); }
    stored.notify_all();
}

int32_t ring_wait(int32_t threshold, int timeout_ms)
{
    std::unique_lock<std::mutex> lock(wait_lock);
    stored.wait_for(lock, std::chrono::milliseconds(timeout_ms), [threshold] { return ring_count() > threshold; });
    return ring_count();
}

bool ring_put(uint8_t byte)
{
    int32_t w = g_ring.writer + 1 == RING_SIZE ? 0 : g_ring.writer + 1;
    if (w == g_ring.tail.load_acquire())
        return false;   // full: one slot always stays free, the oldest bytes are kept
    g_ring.buf[w] = byte;
    g_ring.writer = w;
    g_ring.head.store_release(w);
    return true;
}

bool ring_serve_reset()
{
    if (g_ring.reset_request == 0)
        return false;
    // Everything stored so far is dropped; the reader moves its tail up to here when it next looks.
    g_ring.discard_to.store_release(g_ring.head.load_acquire());
    g_ring.reset_request = 0;
    return true;
}

void reset_ring()
{
    g_ring.writer = 0;
    g_ring.head = 0;
    g_ring.tail = 0;
    g_ring.reset_request = 0;
    g_ring.discard_to = -1;
}
