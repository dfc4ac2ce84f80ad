#include "ecm/protocol.h"

#include <cstring>

#include "ecm/crc.h"
#include "ecm/sink.h"
#include "ecm/tick.h"
#include "link/link_thread.h"
#include "link/ring.h"
#include "platform/sleep.h"

FlashProtocol g_flash;

namespace {

const ProtocolProfile& profile()
{
    const ProtocolProfile* p = g_flash.profile;
    return *p;
}

int send_ms(uint8_t command, int argument)
{
    uint8_t arg = static_cast<uint8_t>(argument);
    return send_message(LEAD_MS, command, &arg, MS_ARG_BYTES);
}

// Every TxSl argument starts as 129 spaces.
struct SlArgs {
    uint8_t b[SL_ARG_BYTES];
    SlArgs() { std::memset(b, 0x20, sizeof b); }
};

int send_sl(uint8_t command, const SlArgs& args) { return send_message(LEAD_SL, command, args.b, SL_ARG_BYTES); }

int32_t ticks_since(int32_t start) { return g_ticks - start; }

// Takes one byte as soon as it is in; -1 when `limit` ticks pass first. (Waiting on the ring
// wakes the moment the link thread stores bytes, which keeps pace with the line as polling without
// a pause does, without spending a processor on it during a 32 KB reply.)
int take_byte_within(int limit)
{
    int32_t start = g_ticks;
    for (;;) {
        int b = ring_get();
        if (b >= 0)
            return b;
        if (ticks_since(start) > limit)
            return -1;
        ring_wait(0, 5);
    }
}

bool acknowledged(uint8_t command)
{
    return g_flash.reply.code == 'A' && g_flash.reply.ack_command == command;
}

}  // namespace

int reply_length(uint8_t code)
{
    for (const ReplyFormat& f : REPLY_FORMATS)
        if (f.code == code)
            return f.length;
    return 0;
}

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

int send_message(uint8_t lead, uint8_t command, const uint8_t* args, int n)
{
    if (profile().one_framer) {
        if (n < 0 || n > 252)
            return -1;
    } else if (lead == LEAD_MS ? n > MS_ARG_BYTES : n >= 130 || command >= 8) {
        return -1;
    }
    uint8_t msg[TX_SLOT_BYTES];
    int len = frame_message(lead, command, args, n, msg);
    return transmit(msg, len);
}

int TxMsXmit(int mode)
{
    int rc = send_ms(MS_XMIT, profile().xmit_low_bit ? mode & 1 : mode);
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
    sleep_ms(profile().flash_first_wait_ms);
    request_ring_flush();
    if (profile().flash_second_wait_ms >= 0)
        sleep_ms(profile().flash_second_wait_ms);
    return rc;
}

int TxMsMasterV()
{
    int rc = send_ms(MS_MASTER_V, 0);
    sleep_ms(60);
    return rc;
}

int receive_reply()
{
    const ProtocolProfile& p = profile();
    ReplyState& r = g_flash.reply;
    int32_t wait_start = g_ticks;
    int length = 0;
    uint8_t code = 0;
    // Search for the lead and code bytes, in passes.
    for (;;) {
        int32_t pass_start = g_ticks;
        if (ticks_since(wait_start) > p.whole_wait_ticks) {
            flash_message(FLASH_ERROR, "RX Streaming Data Failure");
            return -1;
        }
        while (ring_count() < 2) {
            if (ticks_since(pass_start) > p.timeout1_ticks) {
                flash_message(FLASH_ERROR, "RX Timeout 1");
                return -1;
            }
            // Sleeps 20 ms at most, waking as soon as the bytes are in.
            ring_wait(1, 20);
        }
        if (ring_get() != LEAD_SL)
            continue;
        if (ring_peek() == LEAD_SL)
            continue;   // in a run of "S" bytes the last one is the lead
        code = static_cast<uint8_t>(ring_get());
        length = reply_length(code);
        if (length != 0)
            break;
    }

    // Body, then the check bytes, each byte taken as soon as it arrives.
    int body = length - 4;
    for (int i = 0; i < body; ++i) {
        int b = take_byte_within(p.timeout2_ticks);
        if (b < 0) {
            flash_message(FLASH_ERROR, "RX Timeout 2");
            return -1;
        }
        r.body[i] = static_cast<uint8_t>(b);
    }
    int32_t check_start = g_ticks;
    while (ring_count() < 2) {
        if (ticks_since(check_start) > p.timeout3_ticks) {
            flash_message(FLASH_ERROR, "RX Timeout 3");
            return -1;
        }
        ring_wait(1, 5);
    }
    int high = ring_get();
    int low = ring_get();
    uint16_t crc = crc_step(crc_step(0, LEAD_SL), code);
    for (int i = 0; i < body; ++i)
        crc = crc_step(crc, r.body[i]);
    if (crc != high * 256 + low) {
        flash_message(FLASH_ERROR, "RX Cksum Failure");
        return -1;
    }

    r.code = code;
    switch (code) {
    case 'A':
    case 'N':
        r.ack_command = r.body[0];
        r.bank = r.body[1];
        r.page = r.body[2];
        r.ack3 = r.body[3];
        r.info_echo = r.body[4];
        r.ack5 = r.body[5];
        break;
    case 'P':
        r.page = r.body[0];
        break;
    case 'C':
    case 'B':
        r.bank = r.body[0];
        break;
    default:
        break;
    }
    return 0;
}

int TxSlInfo()
{
    SlArgs a;
    a.b[0] = 0x20;
    a.b[1] = static_cast<uint8_t>(g_flash.params.bank);
    a.b[2] = static_cast<uint8_t>(g_flash.params.info[0]);
    a.b[3] = static_cast<uint8_t>(g_flash.params.info[1]);
    a.b[4] = static_cast<uint8_t>(g_flash.params.info[2]);
    a.b[5] = static_cast<uint8_t>(info_d_sent(g_flash.params.info[3]));
    if (send_sl(SL_INFO, a) != 0 || receive_reply() != 0)
        return -1;
    return acknowledged(SL_INFO) && g_flash.reply.info_echo == static_cast<uint8_t>(g_flash.params.info[1]) ? 0 : -1;
}

namespace {
int request_image(SlCommand command, uint8_t code)
{
    SlArgs a;
    a.b[0] = static_cast<uint8_t>(g_flash.params.bank);
    if (send_sl(command, a) != 0 || receive_reply() != 0)
        return -1;
    return g_flash.reply.code == code && g_flash.reply.bank == static_cast<uint8_t>(g_flash.params.bank) ? 0 : -1;
}
}  // namespace

int TxSlRequestCal() { return request_image(SL_REQUEST_CAL, 'C'); }
int TxSlRequestBin() { return request_image(SL_REQUEST_BIN, 'B'); }

int TxSlEraseSector(int sector)
{
    SlArgs a;
    a.b[0] = static_cast<uint8_t>(sector);
    static const char text[] = " Erase Sector   ";   // and its terminating zero: 17 bytes
    std::memcpy(a.b + 1, text, sizeof text);
    if (send_sl(SL_ERASE_SECTOR, a) != 0 || receive_reply() != 0)
        return -1;
    return acknowledged(SL_ERASE_SECTOR) ? 0 : -1;
}

int TxSlStop(int wait)
{
    SlArgs a;
    if (send_sl(SL_STOP, a) != 0)
        return -1;
    if (wait != 1)
        return 0;
    if (receive_reply() != 0)
        return -1;
    return acknowledged(SL_STOP) ? 0 : -1;
}

int TxSlPgmPage(const uint8_t* data)
{
    SlArgs a;
    a.b[0] = static_cast<uint8_t>(g_flash.params.page);
    std::memcpy(a.b + 1, data, PAGE_BYTES);
    if (send_sl(SL_PGM_PAGE, a) != 0 || receive_reply() != 0)
        return -1;
    const ReplyState& r = g_flash.reply;
    return acknowledged(SL_PGM_PAGE) && r.page == static_cast<uint8_t>(g_flash.params.page) &&
                   r.bank == static_cast<uint8_t>(g_flash.params.bank)
               ? 0
               : -1;
}

int ecm_command(int command, int argument)
{
    switch (command) {
    case ECM_SL_STOP_NO_WAIT:
        return TxSlStop(0);
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

void reset_flash_protocol()
{
    g_flash.profile = &MAIN_PROFILE;
    g_flash.params.bank = 0;
    g_flash.params.page = 0;
    g_flash.params.verify = 1;
    g_flash.params.set_active = 1;
    const int info[4] = {1, 1, 1, 25};
    for (int k = 0; k < 4; ++k)
        g_flash.params.info[k] = info[k];
}
