// Messages to the ECM: the TxMs family for the running firmware (stream on and off, active bank,
// flash mode) and the command dispatcher through which the live side of the program uses them.
//
// A message is a lead byte, a command byte, its argument bytes and a CRC-16 over all of them,
// high byte first. It is handed to the link thread's transmit slot; no reply is read after a TxMs
// message.
#pragma once

#include <cstdint>

constexpr uint8_t LEAD_MS = 'R';   // messages to the running firmware
constexpr uint8_t LEAD_SL = 'S';   // messages to the flash loader

constexpr uint8_t MS_XMIT = 'X';
constexpr uint8_t MS_BANK = 'B';
constexpr uint8_t MS_FLASH = 'F';
constexpr uint8_t MS_MASTER_V = 'V';

constexpr int MS_ARG_BYTES = 1;
constexpr int SL_ARG_BYTES = 129;
constexpr int MS_MESSAGE_BYTES = 2 + MS_ARG_BYTES + 2;   // 5
constexpr int SL_MESSAGE_BYTES = 2 + SL_ARG_BYTES + 2;   // 133

constexpr int STREAM_START = 102;
constexpr int STREAM_STOP = 0;

// Dispatcher commands.
enum EcmCommand : int {
    ECM_SL_STOP_NO_WAIT = 104,
    ECM_BANK = 200,
    ECM_MASTER_V = 202,
    ECM_STREAM = 203,
};

// Builds lead, command, the n argument bytes and the CRC into `out`; returns the length.
int frame_message(uint8_t lead, uint8_t command, const uint8_t* args, int n, uint8_t* out);

// Each returns 0 when its message was handed over, -1 otherwise.
int TxMsXmit(int mode);      // 0 stops the stream (then 60 ms and a ring flush), 102 starts it
int TxMsBank(int bank);      // sent twice, 60 ms apart; succeeds if either went
int TxMsFlash();             // enters flash mode, with the ring flushes around it
int TxMsMasterV();

// The single entry point of the live side: 203 stream on/off, 200 bank, 202 master "V",
// 104 loader stop without a reply; 100-103, 105-107 and 201 do nothing (0); others -1.
int ecm_command(int command, int argument);

// The loader stop without waiting (command 104) comes with the flash loader messages; until then
// the dispatcher calls it through this hook, which answers -1 when unset.
extern int (*g_sl_stop_no_wait)();
