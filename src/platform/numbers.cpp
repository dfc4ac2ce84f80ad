#include "platform/numbers.h"

#include <charconv>
#include <cmath>

bool parse_whole_number(std::string_view text, int64_t min, int64_t max, int64_t& out)
{
    int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 10);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < min || v > max)
        return false;
    out = v;
    return true;
}

bool parse_real_number(std::string_view text, double min, double max, double& out)
{
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v < min ||
        v > max)
        return false;
    out = v;
    return true;
}
