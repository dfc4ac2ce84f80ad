// Whether VE learning runs, and from which input; the learning itself builds on this record.
#pragma once

#include <cstdint>

#include "platform/shared_word.h"

struct VeLearnState {
    Shared<int32_t> active{0};
};

extern VeLearnState g_ve_learn;
