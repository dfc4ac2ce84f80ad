// The BIN file check and the VE table read from a BIN file.
#include <cstdlib>

#include "flash/bin_file.h"
#include "fuzz_support.h"
#include "velearn/ve_learn_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    install_quiet_ui();
    std::string path = as_file(data, size);
    int check = bin_check(path);
    int32_t serial = check_bin_signature(path);
    if ((check == 0) != (serial >= 0) || serial > 65535)
        std::abort();   // the two checks agree, and a serial is two bytes
    if (read_bin_ve_table(path) != 0)
        std::abort();   // any regular file reads; a short one leaves the cells beyond its end
    return 0;
}
