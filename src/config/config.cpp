#include "config/config.h"

#include <array>

#include "config/settings.h"
#include "platform/paths.h"
#include "platform/ui_services.h"

Settings g_settings;

namespace {

// Stands for the drive root that path settings fall back to.
constexpr const char* ROOT = "/";

constexpr ConfigKey integer(std::string_view key, int32_t min, int32_t max, const char* fallback,
                            const char* initial, Shared<int32_t>* setting)
{
    ConfigKey k;
    k.key = key_text(key);
    k.type = KeyType::Integer;
    k.min = min;
    k.max = max;
    k.fallback = fallback;
    k.initial = initial;
    k.integer = setting;
    return k;
}

constexpr ConfigKey short_integer(std::string_view key, int32_t min, int32_t max, const char* fallback,
                                  const char* initial, Shared<int16_t>* setting)
{
    ConfigKey k = integer(key, min, max, fallback, initial, nullptr);
    k.type = KeyType::Short;
    k.short_integer = setting;
    return k;
}

constexpr ConfigKey text(std::string_view key, int32_t limit, const char* fallback, const char* initial,
                         std::string* setting)
{
    ConfigKey k;
    k.key = key_text(key);
    k.type = KeyType::Text;
    k.max = limit;
    k.fallback = fallback;
    k.initial = initial;
    k.text = setting;
    return k;
}

constexpr ConfigKey real(std::string_view key, Shared<double>* setting)
{
    ConfigKey k;
    k.key = key_text(key);
    k.type = KeyType::Real;
    k.real = setting;
    return k;
}

// "[UD" + n + suffix, n in decimal without leading zeros.
constexpr std::string_view family_key(std::array<char, 16>& buf, const char* prefix, int n,
                                      const char* suffix)
{
    size_t len = 0;
    for (const char* p = prefix; *p; ++p)
        buf[len++] = *p;
    if (n >= 10)
        buf[len++] = static_cast<char>('0' + n / 10);
    buf[len++] = static_cast<char>('0' + n % 10);
    for (const char* p = suffix; *p; ++p)
        buf[len++] = *p;
    return std::string_view(buf.data(), len);
}

constexpr int FIXED_KEYS = 59;
constexpr int KEY_COUNT = FIXED_KEYS + 9 * USER_DEVICE_COUNT + 7 * ADC_CHANNEL_COUNT;

constexpr std::array<ConfigKey, KEY_COUNT> make_keys()
{
    Settings& s = g_settings;
    const std::array<ConfigKey, FIXED_KEYS> fixed = {{
        text("[ID]", 0, "ZOV J8 Glanzo Display", nullptr, nullptr),
        text("[PORT]", 256, "COM2", "COM2", &s.port),   // room for a /dev/serial/by-id/ name
        text("[DLOG]", 1023, ROOT, nullptr, &s.dlog),
        text("[DLOGNAME]", 1023, nullptr, nullptr, &s.dlogname),
        text("[DLOGPATH]", 1023, nullptr, nullptr, &s.dlogpath),
        text("[PLAY]", 1023, ROOT, nullptr, &s.play),
        text("[PLAYNAME]", 1023, nullptr, nullptr, &s.playname),
        text("[PLAYPATH]", 1023, nullptr, nullptr, &s.playpath),
        text("[LEARNVE]", 1023, ROOT, nullptr, &s.learnve),
        text("[LEARNVENAME]", 1023, nullptr, nullptr, &s.learnvename),
        text("[LEARNVEPATH]", 1023, nullptr, nullptr, &s.learnvepath),
        text("[NEWVE]", 1023, ROOT, nullptr, &s.newve),
        text("[NEWVENAME]", 1023, nullptr, nullptr, &s.newvename),
        text("[NEWVEPATH]", 1023, nullptr, nullptr, &s.newvepath),
        text("[ANALYSIS]", 1023, ROOT, nullptr, &s.analysis),
        text("[ANALYSISNAME]", 1023, nullptr, nullptr, &s.analysisname),
        text("[ANALYSISPATH]", 1023, nullptr, nullptr, &s.analysispath),
        integer("[TEMPERSCALE]", 0, 1, "1", "1", &s.temperscale),
        integer("[LRNLWR]", 0, 220, "80", "75", &s.lrnlwr),
        integer("[LRNUPR]", 0, 220, "110", "110", &s.lrnupr),
        integer("[LRNINP]", 0, 1, "0", "0", &s.lrninp),
        integer("[PBSPD]", 0, 100, "50", "50", &s.pbspd),
        integer("[RDLN]", 0, 8000, "6400", "5800", &s.rdln),
        integer("[RPMRANGE]", 1000, 8000, "7000", "7000", &s.rpmrange),
        integer("[MPHRANGE]", 10, 340, "120", "120", &s.mphrange),
        integer("[KPHORMPH]", 0, 1, "0", "0", &s.kphormph),
        integer("[SMOOTHFAC]", 0, 20, "12", "5", &s.smoothfac),
        integer("[AUTOVSAVE]", 0, 0, "0", "0", &s.autovsave),
        integer("[AUTOVTIME]", 1, 60, "5", "5", &s.autovtime),
        integer("[AUTOVSHOW]", 0, 1, "0", "1", &s.autovshow),
        integer("[KNOCKALERT]", 0, 1, "0", "1", &s.knockalert),
        integer("[SAVETRIP]", 0, 1, "0", "0", &s.savetrip),
        integer("[BFRVSSPPM]", 0, 65535, "0", "0", &s.bfrvssppm),
        integer("[BFRFLWCNST]", 0, 65535, "0", "0", &s.bfrflwcnst),
        real("[TOTALPW]", &s.totalpw),
        real("[TOTALVSS]", &s.totalvss),
        integer("[XPOSMALF]", -1, 1280, "-1", "-1", &s.xposmalf),
        integer("[YPOSMALF]", -1, 1024, "-1", "-1", &s.yposmalf),
        integer("[ACTVMALF]", -1, 1, "-1", "0", &s.actvmalf),
        integer("[XPOSFBNK]", -1, 1280, "-1", "-1", &s.xposfbnk),
        integer("[YPOSFBNK]", -1, 1024, "-1", "-1", &s.yposfbnk),
        integer("[ACTVFBNK]", -1, 1, "-1", "0", &s.actvfbnk),
        integer("[XPOSHWND]", -1, 1280, "-1", "-1", &s.xposhwnd),
        integer("[YPOSHWND]", -1, 1024, "-1", "-1", &s.yposhwnd),
        short_integer("[FLSHBANK]", 0, 7, "0", "0", &s.flshbank),
        short_integer("[FLSHVERIFY]", 0, 1, "1", "1", &s.flshverify),
        short_integer("[FLSHSETBANK]", 0, 1, "1", "1", &s.flshsetbank),
        short_integer("[FLSHACTION]", 0, 2, "1", "1", &s.flshaction),
        text("[FLSHBIN]", 1023, ROOT, nullptr, &s.flshbin),
        text("[FLSHBINFILE]", 1023, nullptr, nullptr, &s.flshbinfile),
        text("[FLSHBINPATH]", 1023, nullptr, nullptr, &s.flshbinpath),
        text("[READBIN]", 1023, ROOT, nullptr, &s.readbin),
        text("[READBINFILE]", 1023, nullptr, nullptr, &s.readbinfile),
        text("[READBINPATH]", 1023, nullptr, nullptr, &s.readbinpath),
        integer("[ANASHEADER]", 0, 1, "0", "0", &s.anasheader),
        integer("[ANA.CSV]", 0, 1, "0", "0", &s.ana_csv),
        integer("[ENTERPAUSE]", 0, 1, "0", "0", &s.enterpause),
        integer("[TRANSTYPE]", 0, 1, "0", "0", &s.transtype),
        integer("[UPDATERATE]", 0, 3, "0", "0", &s.updaterate),
    }};

    std::array<ConfigKey, KEY_COUNT> keys{};
    int k = 0;
    for (const ConfigKey& key : fixed)
        keys[k++] = key;

    std::array<char, 16> b{};
    for (int n = 0; n < USER_DEVICE_COUNT; ++n) {
        UserDeviceSettings& d = s.ud[n];
        keys[k++] = integer(family_key(b, "[UD", n, "ACTIVE]"), 0, 1, nullptr, "0", &d.active);
        keys[k++] = text(family_key(b, "[UD", n, "NAME]"), 49, "-Available Device Entry-",
                         "-Available Device Entry-", &d.name);
        keys[k++] = text(family_key(b, "[UD", n, "UNIT]"), 5, "NEW", "NEW", &d.unit);
        keys[k++] = integer(family_key(b, "[UD", n, "VOLTJ]"), 0, 5000, "0", "0", &d.volt_j);
        keys[k++] = integer(family_key(b, "[UD", n, "VOLTK]"), 0, 5000, "5000", "5000", &d.volt_k);
        keys[k++] = integer(family_key(b, "[UD", n, "UNITJ]"), -9999999, 99999999, "0", "0", &d.unit_j);
        keys[k++] = integer(family_key(b, "[UD", n, "UNITK]"), -9999999, 99999999, "1000000", "1000000",
                            &d.unit_k);
        keys[k++] = integer(family_key(b, "[UD", n, "WIDTH]"), 0, 10, "4", "4", &d.width);
        keys[k++] = integer(family_key(b, "[UD", n, "PRECI]"), 0, 10, "3", "4", &d.preci);
    }
    for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
        AdcChannelSettings& c = s.ad[n];
        keys[k++] = integer(family_key(b, "[AD", n, "TYPE]"), -1, 100, "-1", "-1", &c.type);
        keys[k++] = integer(family_key(b, "[AD", n, "INSTA]"), 0, 100, "0", "0", &c.insta);
        keys[k++] = integer(family_key(b, "[AD", n, "INDEX]"), 0, 100, "0", "0", &c.index);
        keys[k++] = text(family_key(b, "[AD", n, "NAME]"), 49, "None", "None", &c.name);
        keys[k++] = integer(family_key(b, "[AD", n, "FILTER]"), 0, 100, "100", "100", &c.filter);
        keys[k++] = integer(family_key(b, "[AD", n, "WBPREF]"), 0, 1, "0", "0", &c.wbpref);
        keys[k++] = integer(family_key(b, "[AD", n, "FPPREF]"), 0, 1, "0", "0", &c.fppref);
    }
    return keys;
}

constexpr std::array<ConfigKey, KEY_COUNT> KEYS = make_keys();
static_assert(KEYS.size() == 259, "a written configuration file holds 259 lines");
static_assert(KEYS.back().name() == "[AD7FPPREF]");
static_assert(KEYS[FIXED_KEYS].name() == "[UD0ACTIVE]");

void after_load()
{
    g_settings.frame_skip_code = frame_skip_code_for(g_settings.updaterate);
    if (g_settings.savetrip == 0) {
        g_settings.totalpw = 0.0;
        g_settings.totalvss = 0.0;
    }
    ui().request_repaint();
}

std::string& path_setting()
{
    static std::string path;
    return path;
}

bool no_config_file = false;

ConfigFile glanzo_file()
{
    if (path_setting().empty())
        path_setting() = program_directory() + "/" + CONFIG_FILE_NAME;
    return ConfigFile{KEYS, path_setting(), after_load};
}

}  // namespace

std::span<const ConfigKey> glanzo_config_keys() { return KEYS; }

void reset_settings()
{
    reset_config_keys(KEYS);
    g_settings.frame_skip_code = frame_skip_code_for(g_settings.updaterate);
}

const std::string& config_path()
{
    glanzo_file();
    return path_setting();
}

void set_config_path(const std::string& path)
{
    path_setting() = path;
    no_config_file = false;
}

void disable_config_file() { no_config_file = true; }

int load_config() { return no_config_file ? 0 : load_config_file(glanzo_file()); }

int save_config() { return no_config_file ? 0 : save_config_file(glanzo_file()); }

int write_config_lines(FILE* out) { return write_config_lines(KEYS, out); }

namespace {
// Settings start at their initial values, before anything reads them.
const bool settings_initialised = (reset_settings(), true);
}  // namespace
