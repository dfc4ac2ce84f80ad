// Numbers given on a command line: the whole text is the number, and it lies in its range.
#pragma once

#include <cstdint>
#include <string_view>

// A decimal integer from `min` to `max` (an optional leading '-'; no blanks, no '+', nothing
// after it). False for anything else, a number beyond 64 bits included.
bool parse_whole_number(std::string_view text, int64_t min, int64_t max, int64_t& out);

// A decimal real number from `min` to `max`; never an infinity or NaN. False for anything else.
bool parse_real_number(std::string_view text, double min, double max, double& out);
