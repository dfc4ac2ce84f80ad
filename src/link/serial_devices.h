// The ports a CommPort menu offers: COM1 to COM40, then the serial devices of this machine that
// the COM names do not reach. Both desktop programs build their menu from these.
#pragma once

#include <string>
#include <vector>

constexpr int COM_PORT_COUNT = 40;

// "COM&1" to "COM&9", "COM1&0", then "COM11" to "COM40": the mnemonic is the last digit up to 9
// and the 0 of COM10; none beyond.
std::string com_item_text(int n);

// USB serial devices found now (/dev/ttyUSB*, /dev/ttyACM*), in name order.
std::vector<std::string> serial_devices();
