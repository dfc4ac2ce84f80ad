// The configuration reader of both programs. Whatever it reads, what the writer then writes must
// read back to the same settings: writing, reading and writing again gives the same bytes.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <utility>

#include "config/config.h"
#include "config/config_file.h"
#include "config/updater_config.h"
#include "fuzz_support.h"

namespace {

// What the writer writes for `keys`, through one file in memory kept for the whole run.
std::string written(std::span<const ConfigKey> keys)
{
    static FILE* out = memory_file();
    std::rewind(out);
    if (ftruncate(fileno(out), 0) != 0 || write_config_lines(keys, out) != 0 || std::fflush(out) != 0)
        std::abort();
    std::string s(static_cast<size_t>(std::ftell(out)), '\0');
    if (pread(fileno(out), s.data(), s.size(), 0) != static_cast<ssize_t>(s.size()))
        std::abort();
    return s;
}

// One program's key table, and the texts written from it already shown to read back unchanged.
struct Table {
    std::span<const ConfigKey> keys;
    std::unordered_set<std::string> read_back;
};

void round_trip(Table& table, const uint8_t* data, size_t size)
{
    std::span<const ConfigKey> keys = table.keys;
    reset_config_keys(keys);
    if (load_config_file(ConfigFile{keys, as_file(data, size)}) != 0)
        std::abort();
    std::string first = written(keys);

    // Reading back what was written depends on nothing but those bytes: a text already shown to
    // read back unchanged is not read again (most inputs change few settings, or none).
    if (table.read_back.contains(first))
        return;
    reset_config_keys(keys);
    if (load_config_file(ConfigFile{keys, as_file(reinterpret_cast<const uint8_t*>(first.data()), first.size())}) != 0)
        std::abort();
    if (written(keys) != first)
        std::abort();
    if (table.read_back.size() >= 4096)
        table.read_back.clear();
    table.read_back.insert(std::move(first));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Table glanzo{glanzo_config_keys(), {}};
    static Table updater{updater_config_keys(), {}};
    install_quiet_ui();
    round_trip(glanzo, data, size);
    round_trip(updater, data, size);
    return 0;
}
