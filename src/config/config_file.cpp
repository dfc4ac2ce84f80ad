#include "config/config_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/ui_services.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The leading decimal number of `s` as the C library's atoi reads it (leading white space, an
// optional sign, digits up to the first non-digit, none giving 0), except that a number too large
// for 32 bits saturates instead of being undefined, so the range check turns it into the fallback.
int64_t parse_integer(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && is_blank(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        if (v < (int64_t{1} << 40))
            v = v * 10 + (s[i] - '0');
    return negative ? -v : v;
}

// The leading decimal number of `s`; 0 when there is none. Parsing does not depend on the locale
// (the desktop programs run under whatever LC_NUMERIC the user has). Infinities, NaN and numbers
// beyond the range of a double give 0: a trip total must stay a number.
double parse_real(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && is_blank(s[i]))
        ++i;
    if (i < s.size() && s[i] == '+')
        ++i;
    double v = 0.0;
    auto [end, ec] = std::from_chars(s.data() + i, s.data() + s.size(), v, std::chars_format::general);
    (void)end;
    if (ec != std::errc() || !std::isfinite(v))
        return 0.0;
    return v;
}

std::string_view strip(std::string_view s)
{
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

int32_t clamp_to_range(const ConfigKey& k, int64_t v)
{
    return static_cast<int32_t>(v < k.min ? k.min : v > k.max ? k.max : v);
}

// A number read for `k`: kept when in range, otherwise the fallback read the same way.
int32_t accepted_integer(const ConfigKey& k, std::string_view value)
{
    int64_t v = parse_integer(value);
    if (v >= k.min && v <= k.max)
        return static_cast<int32_t>(v);
    return static_cast<int32_t>(parse_integer(k.fallback ? k.fallback : "0"));
}

// The key named `name` (which holds no NUL), or nullptr. The entry at `next` is tried first and
// `next` is left after the key found: a file we wrote lists its keys in table order, so reading it
// takes one comparison a line instead of a search of the table. Names in a table are distinct.
const ConfigKey* find_key(std::span<const ConfigKey> keys, std::string_view name, size_t& next)
{
    // Cheap tests first: the length (the key's text ends after n characters), a character from
    // the middle, then the whole name.
    size_t n = name.size();
    auto named = [name, n](const ConfigKey& k) {
        return n > 0 && n < k.key.size() && k.key[n] == '\0' && k.key[n - 1] != '\0' &&
               k.key[n / 2] == name[n / 2] && std::memcmp(k.key.data(), name.data(), n) == 0;
    };
    if (next < keys.size() && named(keys[next]))
        return &keys[next++];
    for (size_t i = 0; i < keys.size(); ++i)
        if (named(keys[i])) {
            next = i + 1;
            return &keys[i];
        }
    return nullptr;
}

void show_open_error(const std::string& path)
{
    ui().message_box("Can not open Configuration File: \n\n " + path, "Configuration File Error",
                     MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

// Reads one line of at most CONFIG_LINE_MAX bytes, or up to and including its LF. Returns false at
// the end of the file. The file is ours alone: no lock is taken for each byte.
bool read_line(FILE* f, std::string& line)
{
    line.clear();
    int c;
    while (line.size() < static_cast<size_t>(CONFIG_LINE_MAX) && (c = getc_unlocked(f)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    return !line.empty();
}

void apply_line(std::span<const ConfigKey> keys, std::string_view line, size_t& next)
{
    // A NUL ends the line's text; then LF, CR LF or CR CR LF end it.
    line = line.substr(0, line.find('\0'));
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
        for (int i = 0; i < 2 && !line.empty() && line.back() == '\r'; ++i)
            line.remove_suffix(1);
    }

    size_t close = line.find(']');
    if (close == std::string_view::npos)
        return;
    const ConfigKey* k = find_key(keys, line.substr(0, close + 1), next);
    if (k == nullptr)
        return;

    // The character after the key is skipped whatever it is; a line that ends with the key has an
    // empty value.
    std::string_view value = close + 2 <= line.size() ? line.substr(close + 2) : std::string_view();

    switch (k->type) {
    case KeyType::Integer:
        if (k->integer)
            *k->integer = accepted_integer(*k, value);
        break;
    case KeyType::Short:
        if (k->short_integer)
            *k->short_integer = static_cast<int16_t>(accepted_integer(*k, value));
        break;
    case KeyType::Real:
        if (k->real)
            *k->real = parse_real(value);
        break;
    case KeyType::Text:
        if (k->text) {
            // The limit counts a terminator, so limit - 1 characters fit.
            std::string_view accepted = value;
            if (value.size() > static_cast<size_t>(k->max - 1))
                accepted = k->fallback ? k->fallback : "";
            k->text->assign(strip(accepted));
        }
        break;
    }
}

}  // namespace

void apply_config_line(std::span<const ConfigKey> keys, std::string_view line)
{
    size_t next = 0;
    apply_line(keys, line, next);
}

int load_config_file(const ConfigFile& cfg)
{
    // Open for reading only: nothing is written while reading, and a file that exists but cannot
    // be read must not be truncated by creating it anew.
    FILE* f = open_regular_file(cfg.path);
    if (f == nullptr && errno == ENOENT)
        f = std::fopen(cfg.path.c_str(), "w+b");
    if (f == nullptr) {
        show_open_error(cfg.path);
        return -1;
    }

    std::string line;
    line.reserve(CONFIG_LINE_MAX);
    size_t next = 0;
    while (read_line(f, line))
        apply_line(cfg.keys, line, next);
    std::fclose(f);

    if (cfg.after_load)
        cfg.after_load();
    return 0;
}

int write_config_lines(std::span<const ConfigKey> keys, FILE* out)
{
    char number[512];
    bool ok = true;
    for (const ConfigKey& k : keys) {
        std::string line(k.name());
        line += ' ';
        switch (k.type) {
        case KeyType::Integer:
        case KeyType::Short: {
            int32_t v = 0;
            if (k.integer) {
                v = clamp_to_range(k, *k.integer);
                *k.integer = v;
            } else if (k.short_integer) {
                v = clamp_to_range(k, *k.short_integer);
                *k.short_integer = static_cast<int16_t>(v);
            }
            auto r = std::to_chars(number, number + sizeof number, v);
            line.append(number, r.ptr);
            break;
        }
        case KeyType::Real: {
            // Six decimals, as "%lf" prints them, whatever the locale.
            double v = k.real ? static_cast<double>(*k.real) : 0.0;
            auto r = std::to_chars(number, number + sizeof number, v, std::chars_format::fixed, 6);
            line.append(number, r.ptr);
            break;
        }
        case KeyType::Text:
            // [ID] has no setting: it is written with its fixed text.
            line += k.text ? *k.text : std::string(k.fallback ? k.fallback : "");
            break;
        }
        line += "\r\n";
        ok = std::fwrite(line.data(), 1, line.size(), out) == line.size() && ok;
    }
    return ok ? 0 : -1;
}

int save_config_file(const ConfigFile& cfg)
{
    // Written beside the file (a link's target) and renamed over it, so a full disk or a crash
    // leaves the old file.
    ReplacingFile f(cfg.path);
    int rc = f.get() != nullptr ? write_config_lines(cfg.keys, f.get()) : -1;
    if (rc == 0)
        rc = f.commit();
    if (rc != 0)
        show_open_error(cfg.path);
    return rc;
}

void reset_config_keys(std::span<const ConfigKey> keys)
{
    for (const ConfigKey& k : keys) {
        std::string_view initial = k.initial ? k.initial : "";
        if (k.integer)
            *k.integer = static_cast<int32_t>(parse_integer(initial));
        else if (k.short_integer)
            *k.short_integer = static_cast<int16_t>(parse_integer(initial));
        else if (k.real)
            *k.real = parse_real(initial);
        else if (k.text)
            k.text->assign(initial);
    }
}
