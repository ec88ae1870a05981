// Scenario: built-in defaults and the INI file that overrides them.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rtl/SysUtils.h"
#include "sim/Simulator.h"

namespace sim {

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = text.find(separator, start);
        const std::size_t length = end == std::string::npos ? std::string::npos : end - start;
        parts.emplace_back(rtl::Trim(std::string_view(text).substr(start, length)));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

class IniFile {
public:
    explicit IniFile(std::wstring path) : FPath(std::move(path)) {}

    // The value in the ANSI code page, as the terminal's 8-bit texts are.
    std::optional<std::string> Get(const char* section, const std::string& key) const
    {
        const std::wstring s = rtl::AnsiToWide(section), k = rtl::AnsiToWide(key);
        wchar_t buffer[2048];
        const wchar_t kMissing[] = L"\x1F<missing>";
        GetPrivateProfileStringW(s.c_str(), k.c_str(), kMissing, buffer, 2048, FPath.c_str());
        if (std::wcscmp(buffer, kMissing) == 0) return std::nullopt;
        return std::string(rtl::Trim(rtl::WideToAnsi(buffer)));
    }
    std::optional<std::wstring> GetWide(const char* section, const char* key) const
    {
        wchar_t buffer[MAX_PATH * 2];
        const wchar_t kMissing[] = L"\x1F<missing>";
        GetPrivateProfileStringW(rtl::AnsiToWide(section).c_str(), rtl::AnsiToWide(key).c_str(), kMissing, buffer,
                                 MAX_PATH * 2, FPath.c_str());
        if (std::wcscmp(buffer, kMissing) == 0) return std::nullopt;
        return std::wstring(buffer);
    }
    void Number(const char* section, const char* key, double& value) const
    {
        if (auto text = Get(section, key); text && !text->empty()) value = std::strtod(text->c_str(), nullptr);
    }
    template <typename Int>
    void Integer(const char* section, const char* key, Int& value) const
    {
        if (auto text = Get(section, key); text && !text->empty())
            value = static_cast<Int>(std::strtoll(text->c_str(), nullptr, 0));
    }
    void Flag(const char* section, const char* key, bool& value) const
    {
        if (auto text = Get(section, key); text && !text->empty()) value = std::strtol(text->c_str(), nullptr, 0) != 0;
    }
    void Text(const char* section, const char* key, std::string& value) const
    {
        if (auto text = Get(section, key)) value = Unescape(*text);
    }

private:
    std::wstring FPath;
};

// "0:120, 500:3900" as ascending litres.
std::vector<std::pair<double, double>> ParseTable(const std::string& text)
{
    std::vector<std::pair<double, double>> table;
    for (const std::string& point : Split(text, ',')) {
        const auto colon = point.find(':');
        if (colon == std::string::npos) continue;
        table.emplace_back(std::strtod(point.substr(0, colon).c_str(), nullptr),
                           std::strtod(point.substr(colon + 1).c_str(), nullptr));
    }
    std::sort(table.begin(), table.end());
    return table;
}

const char* const kFaultKinds[kCommandKinds] = {"Tare", "PeriodCount", "InputFlags", "Version"};

}  // namespace

bool Occurrences::Hits(int n) const
{
    if (All) return true;
    return std::any_of(Ranges.begin(), Ranges.end(), [n](const auto& r) { return n >= r.first && n <= r.second; });
}

bool ParseOccurrences(const std::string& text, Occurrences& out)
{
    out = {};
    for (const std::string& item : Split(text, ',')) {
        if (item.empty()) continue;
        if (item == "*") {
            out.All = true;
            continue;
        }
        char* end = nullptr;
        const long first = std::strtol(item.c_str(), &end, 10);
        long last = first;
        if (*end == '-') {
            const char* rest = end + 1;
            last = std::strtol(rest, &end, 10);
            if (end == rest) last = 0x7FFFFFFF;  // "5-": from the fifth on
        }
        if (*end != '\0' || first < 1 || last < first) return false;
        out.Ranges.emplace_back(static_cast<int>(first), static_cast<int>(last));
    }
    return true;
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '0': out += '\0'; break;
        case 'x':
            if (i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
            } else {
                out += "\\x";
            }
            break;
        default: out += c; break;
        }
    }
    return out;
}

Scenario DefaultScenario()
{
    Scenario s;
    DeviceConfig terminal;
    terminal.Description = "Zarvonix QVM-A SIM";
    terminal.Serial = "SIM00001";
    s.Devices.push_back(terminal);
    for (SensorConfig& sensor : s.Sensors) {
        sensor.Present = true;
        sensor.Table = {{0, 120}, {500, 3900}};
        sensor.Noise = 2;
    }
    return s;
}

Scenario LoadScenario(const std::wstring& path)
{
    Scenario s = DefaultScenario();
    s.Source = path;
    const IniFile ini(path);

    int count = static_cast<int>(s.Devices.size());
    ini.Integer("Devices", "Count", count);
    count = std::clamp(count, 0, 16);
    s.Devices.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        DeviceConfig& d = s.Devices[static_cast<std::size_t>(i)];
        const std::string section = "Device" + std::to_string(i);
        if (d.Description.empty()) {  // devices beyond the built-in one
            d.Description = "Zarvonix QVM-A SIM";
            char serial[16];
            std::snprintf(serial, sizeof serial, "SIM%05d", i + 1);
            d.Serial = serial;
        }
        ini.Text(section.c_str(), "Description", d.Description);
        ini.Text(section.c_str(), "Serial", d.Serial);
        ini.Flag(section.c_str(), "Terminal", d.Terminal);
        ini.Flag(section.c_str(), "OpenFails", d.OpenFails);
        ini.Number(section.c_str(), "UnplugAfterMs", d.UnplugAfterMs);
        ini.Integer(section.c_str(), "UnplugAfterCommands", d.UnplugAfterCommands);
        ini.Integer(section.c_str(), "Type", d.Type);
        ini.Integer(section.c_str(), "Id", d.Id);
    }

    ini.Number("Link", "ReplyDelayMs", s.ReplyDelayMs);
    ini.Number("Link", "LateReplyMs", s.LateReplyMs);
    ini.Integer("Link", "StrayByte", s.StrayByte);
    ini.Integer("Link", "TruncateBytes", s.TruncateBytes);
    ini.Flag("Link", "AllowSecondOpen", s.AllowSecondOpen);
    if (auto calls = ini.Get("Link", "FailCalls")) {
        for (const std::string& name : Split(*calls, ','))
            if (!name.empty()) s.FailCalls.insert(name);
    }
    if (auto log = ini.GetWide("Link", "Log"); log && !log->empty()) {
        std::wstring logPath = *log;
        // A relative log path is taken from the scenario's folder.
        if (logPath.size() < 2 || (logPath[1] != L':' && logPath[0] != L'\\')) {
            const auto slash = path.find_last_of(L"\\/");
            if (slash != std::wstring::npos) logPath = path.substr(0, slash + 1) + logPath;
        }
        s.LogPath = logPath;
    }

    ini.Text("Terminal", "Version", s.VersionReply);
    ini.Text("Terminal", "ShortReply", s.ShortReply);

    ini.Number("Pump", "FlowLitresPerMinute", s.FlowLitresPerMinute);
    ini.Number("Pump", "PulsesPerLitre", s.PulsesPerLitre);
    ini.Integer("Pump", "CounterStart", s.CounterStart);

    ini.Number("Tank", "Litres", s.TankLitres);
    ini.Number("Tank", "Capacity", s.TankCapacity);
    ini.Number("Tank", "SettleMs", s.SettleMs);
    ini.Integer("Tank", "Seed", s.Seed);

    int sensors = 8;
    ini.Integer("Sensors", "Count", sensors);
    sensors = std::clamp(sensors, 0, 8);
    ini.Integer("Sensors", "MissingAdc", s.MissingAdc);
    std::vector<std::pair<double, double>> table = s.Sensors[0].Table;
    if (auto text = ini.Get("Sensors", "Table")) table = ParseTable(*text);
    double noise = s.Sensors[0].Noise;
    ini.Number("Sensors", "Noise", noise);
    for (int i = 0; i < 8; ++i) {
        SensorConfig& sensor = s.Sensors[static_cast<std::size_t>(i)];
        const std::string section = "Sensor" + std::to_string(i);
        sensor.Present = i < sensors;
        sensor.Table = table;
        sensor.Noise = noise;
        if (auto text = ini.Get(section.c_str(), "Table")) sensor.Table = ParseTable(*text);
        ini.Number(section.c_str(), "Noise", sensor.Noise);
    }

    for (int k = 0; k < kCommandKinds; ++k) {
        CommandFaults& f = s.Faults[static_cast<std::size_t>(k)];
        const std::string kind = kFaultKinds[k];
        const std::pair<const char*, Occurrences*> keys[] = {
            {".NoReply", &f.NoReply}, {".Late", &f.Late}, {".Stray", &f.Stray}, {".Truncate", &f.Truncate}};
        for (const auto& [suffix, target] : keys) {
            if (auto text = ini.Get("Faults", kind + suffix); text && !ParseOccurrences(*text, *target))
                s.Warnings.push_back("[Faults] " + kind + suffix + "=" + *text + " is not a list of occurrences");
        }
    }
    return s;
}

}  // namespace sim
