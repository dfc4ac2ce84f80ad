#include "flash/protocol.h"

#include <chrono>
#include <thread>

#include "link/link_thread.h"
#include "link/ring.h"
#include "stream/crc.h"

int (*g_sl_stop_no_wait)() = nullptr;

namespace {

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int send_ms(uint8_t command, int argument)
{
    uint8_t arg = static_cast<uint8_t>(argument);
    uint8_t msg[MS_MESSAGE_BYTES];
    int len = frame_message(LEAD_MS, command, &arg, MS_ARG_BYTES, msg);
    return transmit(msg, len);
}

}  // namespace

int frame_message(uint8_t lead, uint8_t command, const uint8_t* args, int n, uint8_t* out)
{
    out[0] = lead;
    out[1] = command;
    for (int i = 0; i < n; ++i)
        out[2 + i] = args[i];
    uint16_t crc = crc16(out, static_cast<size_t>(2 + n));
    out[2 + n] = static_cast<uint8_t>(crc >> 8);
    out[3 + n] = static_cast<uint8_t>(crc & 0xFF);
    return 4 + n;
}

int TxMsXmit(int mode)
{
    int rc = send_ms(MS_XMIT, mode);
    if (mode == STREAM_STOP) {
        sleep_ms(60);
        request_ring_flush();
    }
    return rc;
}

int TxMsBank(int bank)
{
    int first = send_ms(MS_BANK, bank & 7);
    sleep_ms(60);
    int second = send_ms(MS_BANK, bank & 7);
    return first == 0 || second == 0 ? 0 : -1;
}

int TxMsFlash()
{
    int rc = send_ms(MS_FLASH, 0);
    if (rc == 0)
        request_ring_flush();
    sleep_ms(120);
    request_ring_flush();
    sleep_ms(10);
    return rc;
}

int TxMsMasterV()
{
    int rc = send_ms(MS_MASTER_V, 0);
    sleep_ms(60);
    return rc;
}

int ecm_command(int command, int argument)
{
    switch (command) {
    case ECM_SL_STOP_NO_WAIT:
        return g_sl_stop_no_wait ? g_sl_stop_no_wait() : -1;
    case ECM_BANK:
        return TxMsBank(argument);
    case ECM_MASTER_V:
        return TxMsMasterV();
    case ECM_STREAM:
        return TxMsXmit(argument);
    case 100: case 101: case 102: case 103: case 105: case 106: case 107: case 201:
        return 0;
    default:
        return -1;
    }
}
