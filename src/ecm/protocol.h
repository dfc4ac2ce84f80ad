// Messages to the ECM and its replies: the layer below both the live stream and the flash loader,
// which both speak to the ECM through it.
//
// TxMs messages (lead "R") go to the running firmware: stream on and off, active bank, flash mode.
// TxSl messages (lead "S") go to the flash loader and each is answered by one reply. A message is
// a lead byte, a command byte, its argument bytes and a CRC-16 over all of them, high byte first;
// it is handed to the link thread's transmit slot, and replies are read from the receive ring.
//
// The main program and the updater speak the same protocol with a few differences of framing and
// timing; those are a profile, chosen by the program at start, not a second copy of the code.
#pragma once

#include <cstdint>

#include "platform/shared_word.h"

constexpr uint8_t LEAD_MS = 'R';   // messages to the running firmware
constexpr uint8_t LEAD_SL = 'S';   // messages to the flash loader, and every reply

constexpr uint8_t MS_XMIT = 'X';
constexpr uint8_t MS_BANK = 'B';
constexpr uint8_t MS_FLASH = 'F';
constexpr uint8_t MS_MASTER_V = 'V';

enum SlCommand : uint8_t {
    SL_INFO = 0,
    SL_REQUEST_CAL = 1,
    SL_ERASE_SECTOR = 2,
    SL_REQUEST_BIN = 3,
    SL_STOP = 4,
    SL_PGM_PAGE = 7,
};

constexpr int MS_ARG_BYTES = 1;
constexpr int SL_ARG_BYTES = 129;
constexpr int MS_MESSAGE_BYTES = 2 + MS_ARG_BYTES + 2;   // 5
constexpr int SL_MESSAGE_BYTES = 2 + SL_ARG_BYTES + 2;   // 133

constexpr int STREAM_START = 102;
constexpr int STREAM_STOP = 0;

constexpr int PAGE_BYTES = 128;
constexpr int SECTOR_BYTES = 4096;
constexpr int BANK_BYTES = 32768;
constexpr int CAL_BYTES = 8192;
constexpr int BANK_COUNT = 8;
constexpr int SECTORS_PER_BANK = BANK_BYTES / SECTOR_BYTES;   // 8
constexpr int CAL_PAGES = CAL_BYTES / PAGE_BYTES;             // 64

// Reply codes and their total lengths (lead, code, body, CRC).
struct ReplyFormat {
    uint8_t code;
    int length;
};
inline constexpr ReplyFormat REPLY_FORMATS[] = {
    {'A', 16},      // acknowledge
    {'N', 16},      // refusal, with the acknowledge fields
    {'V', 132},
    {'P', 133},
    {'C', 8197},    // bank number and the 8192-byte calibration
    {'B', 32773},   // bank number and the whole 32768-byte image
};
// Total length of a reply with this code, or 0 when the code is unknown.
int reply_length(uint8_t code);

constexpr int REPLY_BODY_BYTES = 33793;

struct ProtocolProfile {
    bool one_framer;            // one framer for both families, arguments up to 252 bytes
    bool xmit_low_bit;          // the stream argument is reduced to its lowest bit
    int flash_first_wait_ms;    // after entering flash mode and the first ring flush
    int flash_second_wait_ms;   // after the second flush; < 0: no second wait
    int whole_wait_ticks;       // "RX Streaming Data Failure" after more than this
    int timeout1_ticks;         // fewer than 2 bytes within one search pass
    int timeout2_ticks;         // one body byte late
    int timeout3_ticks;         // the check bytes late
};

inline constexpr ProtocolProfile MAIN_PROFILE = {false, false, 120, 10, 20, 10, 20, 20};
inline constexpr ProtocolProfile UPDATER_PROFILE = {true, true, 60, -1, 30, 20, 20, 5};

// Set by the caller before each operation (the Flash window's Apply, the updater).
struct FlashParams {
    Shared<int32_t> bank{0};
    Shared<int32_t> page{0};
    Shared<int32_t> verify{1};
    Shared<int32_t> set_active{1};
    Shared<int32_t> info[4] = {1, 1, 1, 25};   // TxSlInfo values A, B, C, D
};

// What the last reply left.
struct ReplyState {
    uint8_t code = 0;
    uint8_t ack_command = 0;
    uint8_t bank = 0;
    uint8_t page = 0;
    uint8_t ack3 = 0;
    uint8_t ack5 = 0;
    uint8_t info_echo = 0;
    uint8_t body[REPLY_BODY_BYTES] = {};
};

struct FlashProtocol {
    Shared<const ProtocolProfile*> profile{&MAIN_PROFILE};
    FlashParams params;
    ReplyState reply;
};

extern FlashProtocol g_flash;

// Frames and hands over one message; 0 when handed over, -1 when the framer refuses it or the
// link does not take it.
int send_message(uint8_t lead, uint8_t command, const uint8_t* args, int n);
// Builds lead, command, the n argument bytes and the CRC into `out`; returns the length.
int frame_message(uint8_t lead, uint8_t command, const uint8_t* args, int n, uint8_t* out);

// TxMs operations: 0 when handed over, -1 otherwise.
int TxMsXmit(int mode);      // 0 stops the stream (then 60 ms and a ring flush), 102 starts it
int TxMsBank(int bank);      // sent twice, 60 ms apart; succeeds if either went
int TxMsFlash();             // enters flash mode, with the ring flushes around it
int TxMsMasterV();

// TxSl operations: 0 when the expected reply came, -1 otherwise.
int TxSlInfo();
int TxSlRequestCal();
int TxSlEraseSector(int sector);
int TxSlRequestBin();
int TxSlStop(int wait);
int TxSlPgmPage(const uint8_t* data);

// Reads one reply from the receive ring into g_flash.reply; 0, or -1 after reporting the failure.
int receive_reply();

// Dispatcher commands.
enum EcmCommand : int {
    ECM_SL_STOP_NO_WAIT = 104,
    ECM_BANK = 200,
    ECM_MASTER_V = 202,
    ECM_STREAM = 203,
};

// The single entry point of the live side: 203 stream on/off, 200 bank, 202 master "V",
// 104 loader stop without a reply; others -1. 100-103, 105-107 and 201 are numbers of the same
// command set whose messages this program never sends through here: the loader's other messages
// (info, calibration and image requests, erase, page writes) each wait for a reply and go through
// their own TxSl call with the Flash window's parameters, and 201 has no message. They are
// accepted and do nothing (0), so a caller using any number of the set is not told of a failure.
int ecm_command(int command, int argument);

// Main profile, default parameters (tests, program start).
void reset_flash_protocol();

// The TxSlInfo D value as sent: 1 to 15 become 15.
constexpr int info_d_sent(int d) { return d >= 1 && d <= 15 ? 15 : d; }
