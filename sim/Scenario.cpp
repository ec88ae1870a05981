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
    if (FAll) return true;
    return std::any_of(FRanges.begin(), FRanges.end(), [n](const auto& r) { return n >= r.first && n <= r.second; });
}

bool ParseOccurrences(const std::string& text, Occurrences& out)
{
    out = {};
    for (const std::string& item : Split(text, ',')) {
        if (item.empty()) continue;
        if (item == "*") {
            out.FAll = true;
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
        out.FRanges.emplace_back(static_cast<int>(first), static_cast<int>(last));
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
    terminal.FDescription = "Zarvonix QVM-A SIM";
    terminal.FSerial = "SIM00001";
    s.FDevices.push_back(terminal);
    for (SensorConfig& sensor : s.FSensors) {
        sensor.FPresent = true;
        sensor.FTable = {{0, 120}, {500, 3900}};
        sensor.FNoise = 2;
    }
    return s;
}

Scenario LoadScenario(const std::wstring& path)
{
    Scenario s = DefaultScenario();
    s.FSource = path;
    const IniFile ini(path);

    int count = static_cast<int>(s.FDevices.size());
    ini.Integer("Devices", "Count", count);
    count = std::clamp(count, 0, 16);
    s.FDevices.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        DeviceConfig& d = s.FDevices[static_cast<std::size_t>(i)];
        const std::string section = "Device" + std::to_string(i);
        if (d.FDescription.empty()) {  // devices beyond the built-in one
            d.FDescription = "Zarvonix QVM-A SIM";
            char serial[16];
            std::snprintf(serial, sizeof serial, "SIM%05d", i + 1);
            d.FSerial = serial;
        }
        ini.Text(section.c_str(), "Description", d.FDescription);
        ini.Text(section.c_str(), "Serial", d.FSerial);
        ini.Flag(section.c_str(), "Terminal", d.FTerminal);
        ini.Flag(section.c_str(), "OpenFails", d.FOpenFails);
        ini.Number(section.c_str(), "UnplugAfterMs", d.FUnplugAfterMs);
        ini.Integer(section.c_str(), "UnplugAfterCommands", d.FUnplugAfterCommands);
        ini.Integer(section.c_str(), "Type", d.FType);
        ini.Integer(section.c_str(), "Id", d.FId);
    }

    ini.Number("Link", "ReplyDelayMs", s.FReplyDelayMs);
    ini.Number("Link", "LateReplyMs", s.FLateReplyMs);
    ini.Integer("Link", "StrayByte", s.FStrayByte);
    ini.Integer("Link", "TruncateBytes", s.FTruncateBytes);
    ini.Flag("Link", "AllowSecondOpen", s.FAllowSecondOpen);
    if (auto calls = ini.Get("Link", "FailCalls")) {
        for (const std::string& name : Split(*calls, ','))
            if (!name.empty()) s.FFailCalls.insert(name);
    }
    if (auto log = ini.GetWide("Link", "Log"); log && !log->empty()) {
        std::wstring logPath = *log;
        // A relative log path is taken from the scenario's folder.
        if (logPath.size() < 2 || (logPath[1] != L':' && logPath[0] != L'\\')) {
            const auto slash = path.find_last_of(L"\\/");
            if (slash != std::wstring::npos) logPath = path.substr(0, slash + 1) + logPath;
        }
        s.FLogPath = logPath;
    }

    ini.Text("Terminal", "Version", s.FVersionReply);
    ini.Text("Terminal", "ShortReply", s.FShortReply);

    ini.Number("Pump", "FlowLitresPerMinute", s.FFlowLitresPerMinute);
    ini.Number("Pump", "PulsesPerLitre", s.FPulsesPerLitre);
    ini.Integer("Pump", "CounterStart", s.FCounterStart);

    ini.Number("Tank", "Litres", s.FTankLitres);
    ini.Number("Tank", "Capacity", s.FTankCapacity);
    ini.Number("Tank", "SettleMs", s.FSettleMs);
    ini.Integer("Tank", "Seed", s.FSeed);

    int sensors = 8;
    ini.Integer("Sensors", "Count", sensors);
    sensors = std::clamp(sensors, 0, 8);
    ini.Integer("Sensors", "MissingAdc", s.FMissingAdc);
    std::vector<std::pair<double, double>> table = s.FSensors[0].FTable;
    if (auto text = ini.Get("Sensors", "Table")) table = ParseTable(*text);
    double noise = s.FSensors[0].FNoise;
    ini.Number("Sensors", "Noise", noise);
    for (int i = 0; i < 8; ++i) {
        SensorConfig& sensor = s.FSensors[static_cast<std::size_t>(i)];
        const std::string section = "Sensor" + std::to_string(i);
        sensor.FPresent = i < sensors;
        sensor.FTable = table;
        sensor.FNoise = noise;
        if (auto text = ini.Get(section.c_str(), "Table")) sensor.FTable = ParseTable(*text);
        ini.Number(section.c_str(), "Noise", sensor.FNoise);
    }

    for (int k = 0; k < kCommandKinds; ++k) {
        CommandFaults& f = s.FFaults[static_cast<std::size_t>(k)];
        const std::string kind = kFaultKinds[k];
        const std::pair<const char*, Occurrences*> keys[] = {
            {".NoReply", &f.FNoReply}, {".Late", &f.FLate}, {".Stray", &f.FStray}, {".Truncate", &f.FTruncate}};
        for (const auto& [suffix, target] : keys) {
            if (auto text = ini.Get("Faults", kind + suffix); text && !ParseOccurrences(*text, *target))
                s.FWarnings.push_back("[Faults] " + kind + suffix + "=" + *text + " is not a list of occurrences");
        }
    }
    return s;
}

}  // namespace sim
