#include "config/updater_config.h"

#include <array>

#include "platform/paths.h"

UpdaterSettings g_updater_settings;

namespace {

constexpr ConfigKey key(std::string_view name, KeyType type, int32_t min, int32_t max, const char* fallback,
                        Shared<int32_t>* integer, std::string* text)
{
    ConfigKey k;
    k.key = key_text(name);
    k.type = type;
    k.min = min;
    k.max = max;
    k.fallback = fallback;
    k.initial = fallback;   // the updater starts from its fallbacks
    k.integer = integer;
    k.text = text;
    return k;
}

constexpr std::array<ConfigKey, 7> make_keys()
{
    UpdaterSettings& s = g_updater_settings;
    return {{
        key("[ID]", KeyType::Text, 0, 0, "ZOV Flash Update", nullptr, nullptr),
        key("[PORT]", KeyType::Text, 0, 256, "COM2", nullptr, &s.port),   // room for a /dev/serial/by-id/ name
        key("[XPOSHWND]", KeyType::Integer, -1, 1280, "-1", &s.xposhwnd, nullptr),
        key("[YPOSHWND]", KeyType::Integer, -1, 1024, "-1", &s.yposhwnd, nullptr),
        key("[FLSHBIN]", KeyType::Text, 0, 1024, "/", nullptr, &s.flshbin),
        key("[FLSHBINFILE]", KeyType::Text, 0, 1024, nullptr, nullptr, &s.flshbinfile),
        key("[FLSHBINPATH]", KeyType::Text, 0, 1024, nullptr, nullptr, &s.flshbinpath),
    }};
}

constexpr std::array<ConfigKey, 7> KEYS = make_keys();

std::string& path_setting()
{
    static std::string path;
    return path;
}

ConfigFile updater_file()
{
    if (path_setting().empty())
        path_setting() = program_directory() + "/" + UPDATER_CONFIG_FILE_NAME;
    return ConfigFile{KEYS, path_setting(), nullptr};
}

const bool settings_initialised = (reset_updater_settings(), true);

}  // namespace

std::span<const ConfigKey> updater_config_keys() { return KEYS; }
void reset_updater_settings() { reset_config_keys(KEYS); }

const std::string& updater_config_path()
{
    updater_file();
    return path_setting();
}

void set_updater_config_path(const std::string& path) { path_setting() = path; }
int load_updater_config() { return load_config_file(updater_file()); }
int save_updater_config() { return save_config_file(updater_file()); }
