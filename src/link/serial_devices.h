// The ports a CommPort menu offers: COM1 to COM40, then the serial devices of this machine that
// the COM names do not reach. Both desktop programs build their menu from these.
#pragma once

#include <string>
#include <vector>

constexpr int COM_PORT_COUNT = 40;

// Where the menus look for serial devices: "/dev" (tests point it at a folder of their own).
// Window thread only.
extern std::string g_device_folder;

// "COM&1" to "COM&9", "COM1&0", then "COM11" to "COM40": the mnemonic is the last digit up to 9
// and the 0 of COM10; none beyond.
std::string com_item_text(int n);

// The USB serial devices of this machine that the COM names do not reach: first the stable names
// under DEV/serial/by-id (they follow the device when unplugging and plugging it in again gives it
// another number), then the numbered DEV/ttyUSB* and DEV/ttyACM*, each group sorted.
std::vector<std::string> serial_device_names(const std::string& dev = g_device_folder);
