#include "link/serial_devices.h"

#include <glob.h>

std::string g_device_folder = "/dev";

std::string com_item_text(int n)
{
    std::string digits = std::to_string(n);
    if (n <= 9)
        return "COM&" + digits;
    if (n == 10)
        return "COM1&0";
    return "COM" + digits;
}

std::vector<std::string> serial_device_names(const std::string& dev)
{
    std::vector<std::string> found;
    for (std::string pattern : {"/serial/by-id/*", "/ttyUSB*", "/ttyACM*"}) {
        glob_t g{};
        if (glob((dev + pattern).c_str(), 0, nullptr, &g) == 0)   // sorted
            for (size_t i = 0; i < g.gl_pathc; ++i)
                found.emplace_back(g.gl_pathv[i]);
        globfree(&g);
    }
    return found;
}
