// A single word shared between threads.
//
// The link, display and window threads hand work to each other through single words: flags that
// one side sets and the other clears, settings the window thread writes and the others read, ring
// indices with one writer each. Plain words would be data races, so each is an atomic. Reads and
// writes through the conversion and assignment operators are relaxed, which is all a flag or a
// setting needs; where a word publishes data written before it (a ring index, a transmit length,
// a file handed to another thread) the writer uses store_release and the reader load_acquire.
#pragma once

#include <atomic>

template <class T>
class Shared {
public:
    constexpr Shared(T initial = T{}) noexcept : value_(initial) {}
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    operator T() const noexcept { return value_.load(std::memory_order_relaxed); }
    Shared& operator=(T v) noexcept
    {
        value_.store(v, std::memory_order_relaxed);
        return *this;
    }

    T load_acquire() const noexcept { return value_.load(std::memory_order_acquire); }
    void store_release(T v) noexcept { value_.store(v, std::memory_order_release); }
    T exchange(T v) noexcept { return value_.exchange(v, std::memory_order_acq_rel); }
    // Adds `v` in one step (a counter that another thread takes with exchange); returns the old value.
    T fetch_add(T v) noexcept { return value_.fetch_add(v, std::memory_order_acq_rel); }

private:
    std::atomic<T> value_;
    static_assert(std::atomic<T>::is_always_lock_free, "shared words must be lock-free");
};
