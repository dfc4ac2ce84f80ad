#include "platform/local_time.h"

#include <cstdio>
#include <ctime>

std::string local_time_text()
{
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%4d - %02d:%02d:%02d", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}
