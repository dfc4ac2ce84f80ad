// The configuration reader of both programs. Whatever it reads, what the writer then writes must
// read back to the same settings: writing, reading and writing again gives the same bytes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/config.h"
#include "config/config_file.h"
#include "config/updater_config.h"
#include "fuzz_support.h"

namespace {

std::string written(std::span<const ConfigKey> keys)
{
    char* buf = nullptr;
    size_t len = 0;
    FILE* out = open_memstream(&buf, &len);
    if (out == nullptr || write_config_lines(keys, out) != 0)
        std::abort();
    std::fclose(out);
    std::string s(buf, len);
    std::free(buf);
    return s;
}

void round_trip(std::span<const ConfigKey> keys, void (*after_load)(), const uint8_t* data, size_t size)
{
    reset_config_keys(keys);
    if (load_config_file(ConfigFile{keys, as_file(data, size), after_load}) != 0)
        std::abort();
    std::string first = written(keys);
    reset_config_keys(keys);
    if (load_config_file(ConfigFile{keys, as_file(reinterpret_cast<const uint8_t*>(first.data()), first.size()),
                                    after_load}) != 0)
        std::abort();
    if (written(keys) != first)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    install_quiet_ui();
    round_trip(glanzo_config_keys(), nullptr, data, size);
    round_trip(updater_config_keys(), nullptr, data, size);
    return 0;
}
