// The configuration file: one "[KEY] value" line per setting, driven by a key table.
//
// The reader is keyed: lines come in any order, unknown keys and malformed lines are skipped,
// absent keys leave their settings untouched, out-of-range numbers and over-long texts take the
// key's fallback. The writer writes every key in table order, clamping numbers into range in
// memory first. GlanzoFlash and ZOV_J8Update use the same reader and writer with their own tables.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "platform/shared_word.h"

enum class KeyType : uint8_t {
    Integer,  // 32-bit signed, range checked
    Text,     // length limited
    Real,     // double, no range
    Short,    // 16-bit signed, range checked
};

struct ConfigKey {
    std::array<char, 16> key{};       // "[KEY]" with the brackets, zero-terminated
    KeyType type = KeyType::Integer;
    int32_t min = 0;                  // integers: smallest accepted value
    int32_t max = 0;                  // integers: largest accepted value; texts: length limit,
                                      // counting a terminator, so max - 1 characters fit
    const char* fallback = nullptr;   // used for bad values; nullptr = none ("0" for numbers)
    const char* initial = nullptr;    // value at program start; nullptr = 0 or empty
    // The setting the key fills: exactly one is set, matching the type; none for [ID].
    Shared<int32_t>* integer = nullptr;
    Shared<int16_t>* short_integer = nullptr;
    Shared<double>* real = nullptr;
    std::string* text = nullptr;

    constexpr std::string_view name() const { return std::string_view(key.data()); }
};

// One program's configuration file.
struct ConfigFile {
    std::span<const ConfigKey> keys;
    std::string path;
    void (*after_load)() = nullptr;   // rules applied after every read
};

// Longest piece of a line the reader takes at once; a longer line is read as several lines.
constexpr int CONFIG_LINE_MAX = 1047;

// Reads the file into the settings. A missing file is created empty. When the file can be neither
// read nor created, shows "Can not open Configuration File: ..." and returns -1; else 0.
int load_config_file(const ConfigFile& cfg);
// Writes every key to the file (replacing it only once the new one is complete). Shows the same
// message and returns -1 when it cannot be written; else 0.
int save_config_file(const ConfigFile& cfg);
// The writer's body: every key in table order, "KEY value\r\n". Returns 0, or -1 on a write error.
int write_config_lines(std::span<const ConfigKey> keys, FILE* out);
// Applies one line as the reader does (exposed for tests and for the data log header reader).
void apply_config_line(std::span<const ConfigKey> keys, std::string_view line);
// Every setting of the table to its initial value.
void reset_config_keys(std::span<const ConfigKey> keys);

// Builds a ConfigKey's key text at compile time.
constexpr std::array<char, 16> key_text(std::string_view text)
{
    std::array<char, 16> out{};
    for (size_t i = 0; i < text.size() && i < out.size() - 1; ++i)
        out[i] = text[i];
    return out;
}
