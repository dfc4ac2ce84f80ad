// Math channels as channels of the log graph: the definitions the Cells window keeps, offered
// after the catalogue's own channels and computed from the exact values their expressions read.
//
// Window thread only.
#pragma once

#include <string>
#include <vector>

#include "analysis/cells.h"
#include "analysis/channels.h"

void set_math_channels(const std::vector<MathChannelDef>& defs);
const std::vector<MathChannelDef>& math_channels();

// The catalogue, then one channel per math channel (column and ADC channel -1, `math` its row).
std::vector<ChannelInfo> catalogue_with_math();

// Fills the values of the math channels among `series.channels` (one more pass over the log, for
// the exact values their expressions read). A definition that does not compile, or a frame where
// its value is not finite, leaves NaN: a gap in the line.
void compute_math_series(const std::string& path, ChannelSeries& series);
