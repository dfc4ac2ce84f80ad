#include "analysis/cells_settings.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

#include "platform/files.h"
#include "platform/numbers.h"

namespace {

constexpr size_t LINE_MAX_BYTES = 4096;
constexpr long FILE_MAX_BYTES = 1 << 20;

bool read_text(const std::string& v, std::string& out)
{
    out = v;
    return true;
}

bool read_real(const std::string& v, double& out) { return parse_real_number(v, -DBL_MAX, DBL_MAX, out); }

// One key of the file: reads its value into the settings (false: the line is damaged) and
// writes its lines.
struct SettingsKey {
    const char* key;
    bool (*read)(const std::string& value, CellsSettings& s);
    void (*write)(std::string& out, const CellsSettings& s);
};

void line(std::string& out, const char* key, const std::string& value)
{
    out += key;
    out += ' ';
    out += value;
    out += '\n';
}

const SettingsKey SETTINGS_KEYS[] = {
    {"x", [](const std::string& v, CellsSettings& s) { return read_text(v, s.x); },
     [](std::string& o, const CellsSettings& s) { line(o, "x", s.x); }},
    {"y", [](const std::string& v, CellsSettings& s) { return read_text(v, s.y); },
     [](std::string& o, const CellsSettings& s) { line(o, "y", s.y); }},
    {"z", [](const std::string& v, CellsSettings& s) { return read_text(v, s.z); },
     [](std::string& o, const CellsSettings& s) { line(o, "z", s.z); }},
    {"grid",
     [](const std::string& v, CellsSettings& s) {
         s.ve_grid = v == "ve";
         return v == "ve" || v == "own";
     },
     [](std::string& o, const CellsSettings& s) { line(o, "grid", s.ve_grid ? "ve" : "own"); }},
    {"x-axis", [](const std::string& v, CellsSettings& s) { return parse_breakpoints(v, s.x_axis); },
     [](std::string& o, const CellsSettings& s) { line(o, "x-axis", breakpoints_text(s.x_axis)); }},
    {"y-axis", [](const std::string& v, CellsSettings& s) { return parse_breakpoints(v, s.y_axis); },
     [](std::string& o, const CellsSettings& s) { line(o, "y-axis", breakpoints_text(s.y_axis)); }},
    {"stat", [](const std::string& v, CellsSettings& s) { return cell_stat_named(v, s.stat); },
     [](std::string& o, const CellsSettings& s) { line(o, "stat", cell_stat_name(s.stat)); }},
    {"weighting", [](const std::string& v, CellsSettings& s) { return cell_weighting_named(v, s.weighting); },
     [](std::string& o, const CellsSettings& s) { line(o, "weighting", cell_weighting_name(s.weighting)); }},
    {"min-hits",
     [](const std::string& v, CellsSettings& s) {
         int64_t n = 0;
         bool ok = parse_whole_number(v, 0, 1000000, n);
         s.min_hits = ok ? static_cast<long>(n) : s.min_hits;
         return ok;
     },
     [](std::string& o, const CellsSettings& s) { line(o, "min-hits", std::to_string(s.min_hits)); }},
    {"where", [](const std::string& v, CellsSettings& s) { return read_text(v, s.where); },
     [](std::string& o, const CellsSettings& s) {
         if (!s.where.empty())
             line(o, "where", s.where);
     }},
    {"channel",
     [](const std::string& v, CellsSettings& s) {
         size_t eq = v.find('=');
         if (eq == std::string::npos || eq == 0)
             return false;
         s.math.push_back({v.substr(0, eq), v.substr(eq + 1)});
         return true;
     },
     [](std::string& o, const CellsSettings& s) {
         for (const MathChannelDef& m : s.math)
             line(o, "channel", m.name + "=" + m.expression);
     }},
    {"wideband-delay", [](const std::string& v, CellsSettings& s) { return read_real(v, s.wideband_delay); },
     [](std::string& o, const CellsSettings& s) { line(o, "wideband-delay", shortest_number(s.wideband_delay)); }},
    {"centre",
     [](const std::string& v, CellsSettings& s) {
         double c = 0;
         bool ok = read_real(v, c) && (c == 0 || c == 128);
         s.centre = ok ? c : s.centre;
         return ok;
     },
     [](std::string& o, const CellsSettings& s) { line(o, "centre", shortest_number(s.centre)); }},
    {"view",
     [](const std::string& v, CellsSettings& s) {
         s.scatter = v == "scatter";
         return v == "scatter" || v == "table";
     },
     [](std::string& o, const CellsSettings& s) { line(o, "view", s.scatter ? "scatter" : "table"); }},
};

void read_line(std::string line, CellsSettings& s)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty() || line[0] == '#' || line.size() > LINE_MAX_BYTES)
        return;
    size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return;
    std::string key = line.substr(0, blank), value = line.substr(blank + 1);
    for (char c : value)
        if (static_cast<unsigned char>(c) < ' ')
            return;
    for (const SettingsKey& k : SETTINGS_KEYS) {
        if (key != k.key)
            continue;
        CellsSettings tried = s;
        if (k.read(value, tried))
            s = tried;
        return;
    }
}

}  // namespace

bool parse_breakpoints(const std::string& text, std::vector<double>& out)
{
    std::vector<double> axis;
    size_t from = 0;
    while (true) {
        size_t comma = text.find(',', from);
        std::string word = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        while (!word.empty() && word.front() == ' ')
            word.erase(word.begin());
        while (!word.empty() && word.back() == ' ')
            word.pop_back();
        double v = 0;
        if (!parse_real_number(word, -DBL_MAX, DBL_MAX, v))
            return false;
        axis.push_back(v);
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    out = axis;
    return true;
}

std::string breakpoints_text(const std::vector<double>& axis)
{
    std::string out;
    for (double v : axis)
        out += (out.empty() ? "" : ",") + shortest_number(v);
    return out;
}

bool even_steps(double a, double b, double step, std::vector<double>& out)
{
    if (!std::isfinite(a) || !std::isfinite(b) || !(step > 0) || !(b > a) || (b - a) / step > 999)
        return false;
    std::vector<double> axis;
    // Each breakpoint from its index, so that steps like 0.1 do not add up their rounding.
    for (long i = 0;; ++i) {
        double v = a + static_cast<double>(i) * step;
        if (v > b + step * 1e-9)
            break;
        axis.push_back(std::fabs(v - b) <= step * 1e-9 ? b : v);
    }
    if (axis.size() < 2)
        return false;
    out = axis;
    return true;
}

CellsSettings read_cells_settings(const std::string& path)
{
    CellsSettings s;
    read_text_lines(path, FILE_MAX_BYTES, LINE_MAX_BYTES, [&](std::string& line) { read_line(line, s); });
    return s;
}

int write_cells_settings(const std::string& path, const CellsSettings& settings)
{
    std::string text = "# GlanzoFlash cell table settings\n";
    for (const SettingsKey& k : SETTINGS_KEYS)
        k.write(text, settings);
    return write_text_file(path, text);
}
