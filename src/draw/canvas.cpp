#include "draw/canvas.h"

#include <atomic>

namespace {
std::atomic<Canvas*> attached{nullptr};
}  // namespace

Canvas* canvas() { return attached.load(std::memory_order_acquire); }
void attach_canvas(Canvas* c) { attached.store(c, std::memory_order_release); }
