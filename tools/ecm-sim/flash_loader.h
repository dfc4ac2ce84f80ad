// The simulated ECM's flash loader: eight banks of 32768 bytes in sectors of 4096 and pages of
// 128, answering the TxSl messages with "A", "N", "C" and "B" replies, and faults on request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Bytes to send, after waiting `delay_ms` once the bytes before them are out.
struct ReplyChunk {
    std::vector<uint8_t> bytes;
    int delay_ms = 0;
    bool stream_frame = false;   // a frame of the live stream (else a reply)
};

enum FaultKind : int {
    FAULT_NO_REPLY,   // say nothing
    FAULT_BAD_CRC,    // a wrong check byte
    FAULT_NAK,        // "N" where "A" was due
    FAULT_GARBAGE,    // noise, and an "S" with an unknown code, before the reply
    FAULT_S_RUN,      // a run of "S" bytes before the reply
    FAULT_PAUSE,      // a pause in the middle of the reply
    FAULT_BAD_ECHO,   // the echoed command or bank is wrong
    FAULT_LATE_CHECK, // a pause before the two check bytes
    FAULT_BABBLE,     // three seconds of noise and no reply
    FAULT_KIND_COUNT
};

// A fault on the n-th TxSl message (counted from 1 since the simulator started).
struct Fault {
    FaultKind kind;
    int message;
};

struct FlashLoader {
    std::vector<uint8_t> banks;   // 8 x 32768
    std::string banks_path;       // kept between runs when set
    std::vector<Fault> faults;
    int pause_ms = 1500;
    int bank = 0;                 // chosen by the loader's info message
    int messages = 0;             // TxSl messages received
    bool dirty = false;
};

constexpr int SIM_BANK_BYTES = 32768;
constexpr int SIM_BANKS = 8;

// Parses "KIND:N" (no-reply, bad-crc, nak, garbage, s-run, pause, bad-echo, late-check, babble);
// false when bad.
bool parse_fault(const std::string& text, Fault& out);

// Loads the banks from `path` when it holds them, else makes the factory banks. Returns 0, or -1
// with a message on stderr when the file exists but is not a bank file.
int loader_init(FlashLoader& loader, const std::string& path);
// Writes the banks back to their file when they changed.
void loader_save(FlashLoader& loader);

// Serves one TxSl message (133 bytes, CRC already checked). Returns true when the message makes
// the ECM leave flash mode.
bool loader_message(FlashLoader& loader, const uint8_t* message, std::vector<ReplyChunk>& out);

// The factory image of a bank: a calibration of a version that depends on the bank, a firmware
// of its own, and a correct checksum.
void factory_bank(int bank, uint8_t* image);
