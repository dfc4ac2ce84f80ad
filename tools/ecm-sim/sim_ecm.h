// The simulated ECM's behaviour on the wire, apart from the pseudo-terminal it talks through:
// the messages it understands, the frames it streams, and (with the flash loader) its replies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine_model.h"
#include "flash_loader.h"
#include "stream/frame.h"

struct SimOptions {
    uint32_t seed = 1;
    int map_sensor = 1;     // the MAP sensor the engine model reports: 1, 2 or 3 bar
    std::string replay;     // stream this data log's frames instead of the model's
    bool loop = false;      // start the replayed log again at its end (else the ECM falls silent)
    bool silent = false;    // never stream
    std::string banks;      // keep the flash banks in this file
    std::vector<Fault> faults;
    int pause_ms = 1500;
    std::string trace;      // append a line for every message received
};

struct SimEcm {
    SimOptions options;
    EngineModel model;
    bool streaming = true;
    bool flash_mode = false;
    int bank = 0;
    std::vector<uint8_t> input;   // received bytes not yet making a whole message
    FILE* replay = nullptr;
    bool replay_ended = false;    // the log is over: no stream request wakes the ECM again
    FlashLoader loader;
    FILE* trace = nullptr;
    uint64_t frames_sent = 0;
    uint64_t messages = 0;
    uint64_t bad_messages = 0;
};

// Parses the options common to every run; returns 1 when argv[i] (and its value) was taken,
// 0 when it is not an option of the ECM, -1 when its value is missing or bad.
int sim_parse_option(SimOptions& opt, int argc, char** argv, int& i);

// Returns 0, or -1 with a message on stderr (a replay log that cannot be opened).
int sim_init(SimEcm& ecm, const SimOptions& options);
void sim_close(SimEcm& ecm);

// Bytes from the program; replies, if any, are appended to `out`.
void sim_receive(SimEcm& ecm, const uint8_t* bytes, size_t n, std::vector<ReplyChunk>& out);

// The next frame of the stream (277 bytes) when the ECM is streaming; false otherwise.
bool sim_next_frame(SimEcm& ecm, std::vector<uint8_t>& out);
