// The receive ring: bytes from the serial port, stored by the link thread, taken by one reader at
// a time (the display thread live, the flash receiver while the display thread idles).
//
// Threading: the link thread is the only writer of `head` and `writer`; the reader is the only
// writer of `tail`. A byte is stored before `head` is published (release), and the reader loads
// `head` with acquire before taking it; the reader publishes `tail` (release) after taking a byte,
// so the link thread never stores over a byte not yet read. A flush is asked for with a flag; the
// link thread serves it by publishing how far to drop (`discard_to`, release), and the reader
// moves its own `tail` there when it next looks, so each index keeps its single writer.
#pragma once

#include <cstdint>

#include "platform/shared_word.h"

constexpr int32_t RING_SIZE = 18432;

struct ReceiveRing {
    uint8_t buf[RING_SIZE];
    Shared<int32_t> head;            // index of the last byte stored
    Shared<int32_t> tail;            // index of the last byte taken
    int32_t writer = 0;              // the link thread's next-store bookkeeping
    Shared<int32_t> reset_request;   // set by anyone, served by the link thread
    Shared<int32_t> discard_to{-1};  // set by the link thread, taken by the reader
};

extern ReceiveRing g_ring;

// Reading side.
int32_t ring_count();      // bytes waiting, 0 to RING_SIZE - 1
int ring_get();            // the next byte, or -1 when the ring is empty
int ring_peek();           // the next byte without taking it, or -1
void request_ring_flush(); // everything received so far is dropped at the link thread's next pass

// Link-thread side.
// Stores one byte; returns false (and drops it) when the ring is full.
bool ring_put(uint8_t byte);
// Serves a pending reset request: returns true when the ring was emptied.
bool ring_serve_reset();

// Tells a reader waiting in ring_wait that bytes were stored.
void ring_notify();
// Waits until more than `threshold` bytes wait or `timeout_ms` has passed; returns the count.
int32_t ring_wait(int32_t threshold, int timeout_ms);

// Empties the ring and clears the reset request (process start, tests).
void reset_ring();
