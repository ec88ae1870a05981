// Test helpers for the terminal simulator: a scenario per test case and the
// simulator's call log, parsed.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "rtl/SysUtils.h"
#include "tests/support/TestFolders.h"

namespace simtest {

// The test program's scratch folder (VOLUMETRA_TEST_OUT), else the current one.
inline std::wstring ScratchDir()
{
    return testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT");
}

// One call the simulator received: "FT_SetBaudRate handle=0x1001 baud=460800 -> 0".
struct LoggedCall {
    std::string Name;
    std::map<std::string, std::string> Args;  // before and after the arrow
    unsigned Status = ~0u;
    double AtMs = 0;

    std::string Arg(const std::string& key) const
    {
        const auto it = Args.find(key);
        return it == Args.end() ? std::string("<none>") : it->second;
    }
    long long Number(const std::string& key) const { return std::strtoll(Arg(key).c_str(), nullptr, 0); }
};

inline std::string UnquoteLogValue(const std::string& quoted)
{
    std::string out;
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] != '\\') {
            out += quoted[i];
        } else if (quoted[i + 1] == 'x' && i + 3 < quoted.size()) {
            out += static_cast<char>(std::strtol(quoted.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            out += quoted[++i];
        }
    }
    return out;
}

inline bool ParseLogLine(const std::string& line, LoggedCall& call)
{
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < line.size() && line[pos] == ' ') ++pos;
    };
    auto word = [&] {
        skipBlanks();
        const std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ') ++pos;
        return line.substr(start, pos - start);
    };
    call = {};
    call.AtMs = std::strtod(word().c_str(), nullptr);
    call.Name = word();
    if (call.Name.rfind("FT_", 0) != 0) return false;
    while (true) {
        skipBlanks();
        if (pos >= line.size()) break;
        if (line.compare(pos, 2, "->") == 0) {
            pos += 2;
            call.Status = static_cast<unsigned>(std::strtoul(word().c_str(), nullptr, 0));
            continue;
        }
        const std::size_t equals = line.find('=', pos);
        if (equals == std::string::npos) break;
        const std::string key = line.substr(pos, equals - pos);
        pos = equals + 1;
        std::string value;
        if (pos < line.size() && line[pos] == '"') {
            const std::size_t start = pos++;
            while (pos < line.size() && line[pos] != '"') {
                if (line[pos] == '\\') ++pos;
                ++pos;
            }
            ++pos;
            value = UnquoteLogValue(line.substr(start, pos - start));
        } else {
            value = word();
        }
        call.Args[key] = value;
    }
    return true;
}

// Each Use() writes a scenario file of its own and points the simulator at
// it and at a fresh call log, named after the running test.
class SimBench {
public:
    SimBench() = default;

    void Use(const std::string& ini)
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        name += "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++FCount);
        FScenarioPath = ScratchDir() + L"\\" + rtl::AnsiToWide(name) + L".ini";
        FLogPath = ScratchDir() + L"\\" + rtl::AnsiToWide(name) + L".log";
        {
            std::ofstream file(FScenarioPath.c_str(), std::ios::binary | std::ios::trunc);
            file << ini;
        }
        DeleteFileW(FLogPath.c_str());
        SetEnvironmentVariableW(L"VOLUMETRA_SIM_SCENARIO", FScenarioPath.c_str());
        SetEnvironmentVariableW(L"VOLUMETRA_SIM_LOG", FLogPath.c_str());
    }

    // The calls logged since Use(), in order.
    std::vector<LoggedCall> Calls() const
    {
        std::vector<LoggedCall> calls;
        std::ifstream file(FLogPath.c_str(), std::ios::binary);
        std::string line;
        while (std::getline(file, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            LoggedCall call;
            if (ParseLogLine(line, call)) calls.push_back(call);
        }
        return calls;
    }
    std::vector<LoggedCall> Calls(const std::string& name) const
    {
        std::vector<LoggedCall> matching;
        for (const LoggedCall& call : Calls())
            if (call.Name == name) matching.push_back(call);
        return matching;
    }
    // The whole log, for failure messages.
    std::string LogText() const
    {
        std::ifstream file(FLogPath.c_str(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    const std::wstring& ScenarioPath() const { return FScenarioPath; }

private:
    std::wstring FScenarioPath;
    std::wstring FLogPath;
    int FCount = 0;
};

}  // namespace simtest
