#include "sim_ecm.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ecm/crc.h"
#include "ecm/protocol.h"
#include "platform/numbers.h"
#include "stream/reader.h"

int sim_parse_option(SimOptions& opt, int argc, char** argv, int& i)
{
    std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--silent") {
        opt.silent = true;
        return 1;
    }
    if (a == "--loop") {
        opt.loop = true;
        return 1;
    }
    if (a == "--map-sensor") {
        if (value == nullptr || (std::strcmp(value, "1") != 0 && std::strcmp(value, "2") != 0 && std::strcmp(value, "3") != 0))
            return -1;
        opt.map_sensor = value[0] - '0';
        ++i;
        return 1;
    }
    if (a == "--seed" || a == "--replay" || a == "--banks" || a == "--fault" || a == "--fault-pause-ms" ||
        a == "--trace") {
        if (value == nullptr)
            return -1;
        ++i;
        int64_t n = 0;
        if (a == "--seed") {
            if (!parse_whole_number(value, 0, UINT32_MAX, n))
                return -1;
            opt.seed = static_cast<uint32_t>(n);
        } else if (a == "--replay") {
            opt.replay = value;
        } else if (a == "--trace") {
            opt.trace = value;
        } else if (a == "--banks") {
            opt.banks = value;
        } else if (a == "--fault") {
            Fault f;
            if (!parse_fault(value, f))
                return -1;
            opt.faults.push_back(f);
        } else {
            if (!parse_whole_number(value, 0, 3600000, n))
                return -1;
            opt.pause_ms = static_cast<int>(n);
        }
        return 1;
    }
    return 0;
}

int sim_init(SimEcm& ecm, const SimOptions& options)
{
    ecm = SimEcm{};
    ecm.options = options;
    engine_model_init(ecm.model, options.seed, options.map_sensor);
    ecm.streaming = !options.silent;
    if (loader_init(ecm.loader, options.banks) != 0)
        return -1;
    ecm.loader.faults = options.faults;
    if (!options.trace.empty() && (ecm.trace = std::fopen(options.trace.c_str(), "a")) == nullptr) {
        std::fprintf(stderr, "ecm-sim: cannot open %s: %s\n", options.trace.c_str(), std::strerror(errno));
        return -1;
    }
    ecm.loader.pause_ms = options.pause_ms;
    if (!options.replay.empty()) {
        ecm.replay = std::fopen(options.replay.c_str(), "rb");
        if (ecm.replay == nullptr) {
            std::fprintf(stderr, "ecm-sim: cannot open %s: %s\n", options.replay.c_str(), std::strerror(errno));
            return -1;
        }
        set_run_mode(RUN_ANALYSIS);
        set_analysis_source(1, ecm.replay);
    }
    return 0;
}

void sim_close(SimEcm& ecm)
{
    loader_save(ecm.loader);
    if (ecm.trace) {
        std::fclose(ecm.trace);
        ecm.trace = nullptr;
    }
    if (ecm.replay) {
        set_analysis_source(0, nullptr);
        std::fclose(ecm.replay);
        ecm.replay = nullptr;
    }
}

namespace {

bool message_ok(const uint8_t* m, int len)
{
    uint16_t crc = crc16(m, static_cast<size_t>(len - 2));
    return m[len - 2] == (crc >> 8) && m[len - 1] == (crc & 0xFF);
}

void running_firmware_message(SimEcm& ecm, const uint8_t* m)
{
    switch (m[1]) {
    case MS_XMIT:
        ecm.streaming = m[2] == STREAM_START && !ecm.options.silent && !ecm.flash_mode;
        break;
    case MS_BANK:
        ecm.bank = m[2] & 7;
        ecm.model.bank = ecm.bank;
        break;
    case MS_FLASH:
        ecm.flash_mode = true;
        ecm.streaming = false;
        break;
    default:
        break;   // the master "V" request is answered by nothing the program reads
    }
}

}  // namespace

void sim_receive(SimEcm& ecm, const uint8_t* bytes, size_t n, std::vector<ReplyChunk>& out)
{
    ecm.input.insert(ecm.input.end(), bytes, bytes + n);
    size_t pos = 0;
    while (pos < ecm.input.size()) {
        uint8_t lead = ecm.input[pos];
        int len = lead == LEAD_MS ? MS_MESSAGE_BYTES : lead == LEAD_SL ? SL_MESSAGE_BYTES : 0;
        if (len == 0) {
            ++pos;   // noise between messages
            continue;
        }
        if (ecm.input.size() - pos < static_cast<size_t>(len))
            break;   // wait for the rest
        const uint8_t* m = ecm.input.data() + pos;
        if (!message_ok(m, len)) {
            ++ecm.bad_messages;
            ++pos;   // resynchronise on the next lead byte
            continue;
        }
        ++ecm.messages;
        if (ecm.trace) {
            // "R X 102": a message to the firmware with its argument; "S 7 12": a loader message
            // with its first argument byte (page, sector or bank).
            std::fprintf(ecm.trace, "%c %c %d\n", lead, lead == LEAD_MS ? m[1] : '0' + m[1], m[2]);
            std::fflush(ecm.trace);
        }
        if (lead == LEAD_MS)
            running_firmware_message(ecm, m);
        else if (ecm.flash_mode && loader_message(ecm.loader, m, out))
            ecm.flash_mode = false;   // back to the running firmware; it streams when asked
        pos += static_cast<size_t>(len);
    }
    ecm.input.erase(ecm.input.begin(), ecm.input.begin() + static_cast<long>(pos));
}

namespace {

// The replayed log's next good frame. At the log's end it starts again with --loop (once: a log
// without a good frame ends all the same); otherwise the log stays over. The reader is not asked
// again then, as it would wait at the end of the file for good.
bool replay_frame(SimEcm& ecm, FrameRecord& f)
{
    for (int pass = 0; pass < 2 && !ecm.replay_ended; ++pass) {
        RecordText time, marker;
        int status;
        while ((status = read_frame(f, time, marker)) == STREAM_BAD_CRC) {
        }
        if (status == STREAM_OK)
            return true;
        if (!ecm.options.loop)
            break;
        std::rewind(ecm.replay);
        set_analysis_source(1, ecm.replay);
    }
    ecm.replay_ended = true;
    return false;
}

}  // namespace

bool sim_next_frame(SimEcm& ecm, std::vector<uint8_t>& out)
{
    if (!ecm.streaming)
        return false;
    FrameRecord f;
    if (ecm.replay) {
        if (!replay_frame(ecm, f)) {
            ecm.streaming = false;   // the log is over: the ECM falls silent
            return false;
        }
    } else {
        engine_model_step(ecm.model, f);
    }
    out.resize(FRAME_BYTES);
    out[0] = SYNC_1;
    out[1] = SYNC_2;
    std::memcpy(out.data() + 2, f.b, FRAME_PAYLOAD_BYTES);
    uint16_t crc = stream_crc(f.b, SYNC_1, SYNC_2, FRAME_PAYLOAD_BYTES);
    out[275] = static_cast<uint8_t>(crc >> 8);
    out[276] = static_cast<uint8_t>(crc & 0xFF);
    ++ecm.frames_sent;
    return true;
}
