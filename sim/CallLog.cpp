// The call log: one text line per call the simulator receives.
#include <cstdio>

#include "sim/Simulator.h"

namespace sim {

namespace {

std::wstring gScenarioLogPath;
std::wstring gOpenPath;
HANDLE gFile = INVALID_HANDLE_VALUE;

std::wstring CurrentLogPath()
{
    wchar_t buffer[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(L"VOLUMETRA_SIM_LOG", buffer, MAX_PATH * 2);
    if (length > 0 && length < MAX_PATH * 2) return std::wstring(buffer, length);
    return gScenarioLogPath;
}

}  // namespace

void SetScenarioLogPath(const std::wstring& path)
{
    gScenarioLogPath = path;
}

void LogLine(const std::string& line)
{
    // The path is looked up at every call, so that a test can point each of
    // its cases at a log of its own.
    const std::wstring path = CurrentLogPath();
    if (path != gOpenPath) {
        if (gFile != INVALID_HANDLE_VALUE) CloseHandle(gFile);
        gFile = INVALID_HANDLE_VALUE;
        gOpenPath = path;
        if (!path.empty())
            gFile = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (gFile == INVALID_HANDLE_VALUE) return;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%10.3f ", NowMs());
    const std::string text = stamp + line + "\r\n";
    DWORD written = 0;
    WriteFile(gFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string Quoted(const char* bytes, std::size_t count)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + "\"";
}

}  // namespace sim
