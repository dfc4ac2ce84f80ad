// The flash reply receiver, fed through the receive ring.
//
// The bytes are stored in the ring as the link thread stores them (as many as it holds: a reply
// of 32773 bytes is cut there), then one reply is read. The time-outs are set to "already passed"
// so that running out of bytes fails at once instead of waiting for the clock.
#include <climits>
#include <cstdlib>

#include "ecm/protocol.h"
#include "link/ring.h"

namespace {
constexpr ProtocolProfile NO_WAITING = {false, false, 0, -1, INT_MAX, -1, -1, -1};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    g_flash.profile = &NO_WAITING;
    reset_ring();
    for (size_t i = 0; i < size && ring_put(data[i]); ++i) {
    }
    int rc = receive_reply();
    if (rc != 0 && rc != -1)
        std::abort();
    if (rc == 0 && reply_length(g_flash.reply.code) == 0)
        std::abort();   // only a known reply is accepted
    return 0;
}
