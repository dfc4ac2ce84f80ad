// The rules the Preferences and User Device dialogs store by: how a typed field is read, limited
// and rounded, the smoothing list's entries, the device list's choice. No controls here: the
// dialogs themselves (dialogs/) use these, and so do the tests without any window.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "config/devices.h"

// ---- Preferences ----------------------------------------------------------------------------

// The number of entries of a channel's smoothing list: 100 %, 90 %, ... 0 %.
constexpr int FILTER_ITEMS = 11;

// A number field read as an unsigned number: leading blanks skipped, the digits up to the first
// other character; no digits (or a sign) give 0, and a number too large for a setting saturates.
int32_t dialog_unsigned(std::string_view text);
// The same, with an optional minus sign.
int32_t dialog_integer(std::string_view text);
// Into min..max, then (step > 1) to the nearest multiple of step, halves upwards.
int32_t limit_and_round(int32_t value, int32_t min, int32_t max, int32_t step);
// A coolant temperature limit on the other scale, rounded as the page rounds it (never below 0).
int32_t celsius_to_fahrenheit(int32_t celsius);
int32_t fahrenheit_to_celsius(int32_t fahrenheit);
// The smoothing list's entries (index 0 shows 100 %, index 10 shows 0 %), the entry for a
// channel's filter, and the filter an entry stands for.
std::string filter_item(int index);
int filter_index(int32_t filter);
constexpr int32_t filter_for_index(int index) { return 10 * index; }
// The entry of `devices` a channel's device list opens on: kind and identifier equal, and where
// two entries share the identifier the position too; 0 ("None") when none matches.
int device_index(std::span<const CatalogueEntry> devices, int32_t kind, uint32_t id, int32_t position);

// ---- User devices ---------------------------------------------------------------------------

// A voltage or value field: its limits, the number of decimals it shows and the factor between
// the number typed and the number stored (millivolts, value x 10000).
struct NumberFieldRule {
    double min, max;
    int decimals;
    double factor;
};
constexpr NumberFieldRule VOLT_RULE{0.0, 5.0, 3, 1000.0};
constexpr NumberFieldRule VALUE_RULE{-999.9999, 9999.9999, 4, 10000.0};
constexpr int MAX_PRECISION = 4;

// What typing may leave in a number field: digits, one decimal point and a minus sign in first
// place (`decimal`), or digits only. `removed` says whether anything had to go.
std::string filter_number_field(std::string_view text, bool decimal, bool& removed);
// The number a field stands for, within the rule's limits and rounded to its decimals;
// `corrected` when the field was empty, unreadable or out of limits.
double field_value(std::string_view text, const NumberFieldRule& rule, bool& corrected);
// The field's text for a number, and the whole number stored for it.
std::string field_text(double value, const NumberFieldRule& rule);
int32_t field_stored(double value, const NumberFieldRule& rule);
