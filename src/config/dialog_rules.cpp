#include "config/dialog_rules.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

int32_t parse_number(std::string_view text, bool sign)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (sign && i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (v <= std::numeric_limits<int32_t>::max())
            v = v * 10 + (text[i] - '0');
    if (v > std::numeric_limits<int32_t>::max())
        v = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(negative ? -v : v);
}

}  // namespace

int32_t dialog_unsigned(std::string_view text) { return parse_number(text, false); }

int32_t dialog_integer(std::string_view text) { return parse_number(text, true); }

int32_t limit_and_round(int32_t v, int32_t min, int32_t max, int32_t step)
{
    v = v < min ? min : v > max ? max : v;
    if (step > 1)
        v = (v + step / 2) / step * step;
    return v;
}

int32_t celsius_to_fahrenheit(int32_t c)
{
    double f = c * 1.8 + 32 + 0.5;
    return f < 0 ? 0 : f > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(f);
}

int32_t fahrenheit_to_celsius(int32_t f)
{
    double c = (f - 32) / 1.8 + 0.5;
    return c < 0 ? 0 : static_cast<int32_t>(c);
}

std::string filter_item(int index)
{
    int shown = 100 - filter_for_index(index);
    const char* format = shown == 100 ? "   %3d %%  (slow)" : shown == 0 ? "   %3d %%    (fast)" : "   %3d %%";
    char buf[32];
    std::snprintf(buf, sizeof buf, format, shown);
    return buf;
}

int filter_index(int32_t filter)
{
    // A filter between two entries (written by hand) opens on the nearer one.
    int i = (filter < 0 ? 0 : filter > 100 ? 100 : filter + 5) / 10;
    return i >= FILTER_ITEMS ? FILTER_ITEMS - 1 : i;
}

int device_index(std::span<const CatalogueEntry> devices, int32_t kind, uint32_t id, int32_t position)
{
    int first = -1;
    for (size_t i = 0; i < devices.size(); ++i) {
        const CatalogueEntry& e = devices[i];
        if (e.kind != kind || e.id != id)
            continue;
        if (e.position == position)
            return static_cast<int>(i);
        if (first < 0)
            first = static_cast<int>(i);
    }
    return first < 0 ? 0 : first;
}

std::string filter_number_field(std::string_view text, bool decimal, bool& removed)
{
    std::string kept;
    bool point = false;
    removed = false;
    for (char c : text) {
        bool keep = (c >= '0' && c <= '9') || (decimal && c == '.' && !point) || (decimal && c == '-' && kept.empty());
        if (keep) {
            point = point || c == '.';
            kept.push_back(c);
        } else {
            removed = true;
        }
    }
    return kept;
}

double field_value(std::string_view text, const NumberFieldRule& rule, bool& corrected)
{
    double v = 0.0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    corrected = ec != std::errc() || end == text.data();
    if (corrected || !std::isfinite(v))
        v = 0.0;
    if (v < rule.min) {
        v = rule.min;
        corrected = true;
    } else if (v > rule.max) {
        v = rule.max;
        corrected = true;
    }
    // Rounded in the last place shown, a little over a half counting as a whole; a negative value
    // is rounded the same way away from zero, so that -1.5 stays -1.5.
    double scaled = std::trunc(std::fabs(v) * rule.factor + 0.55);
    return (v < 0 ? -scaled : scaled) / rule.factor;
}

std::string field_text(double value, const NumberFieldRule& rule)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", rule.decimals, value == 0.0 ? 0.0 : value);
    return buf;
}

int32_t field_stored(double value, const NumberFieldRule& rule)
{
    // The value is already rounded to the field's decimals: the nearest whole number is exact,
    // where truncating would turn 4.095 V into 4094 mV.
    return static_cast<int32_t>(std::llround(value * rule.factor));
}
