// Helpers for window tests run by tests/gui/run-in-desktop.sh.
#pragma once
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <type_traits>

#include "tests/support/TestFolders.h"
#include "tests/support/TimeScale.h"

namespace testsupport {

// The folder for screenshots and files of this test (VOLUMETRA_ARTIFACTS), or
// the current folder when the test runs outside the driver.
inline std::wstring ArtifactsDir()
{
    return EnvironmentFolder(L"VOLUMETRA_ARTIFACTS");
}

// Asks the driver for a screenshot of the whole desktop, saved as NAME.png in
// the artifacts folder; true once the file exists.
inline bool RequestScreenshot(const std::wstring& name, DWORD timeoutMs = 10000)
{
    const std::wstring dir = ArtifactsDir();
    const std::wstring shot = dir + L"\\" + name + L".png";
    DeleteFileW(shot.c_str());
    const std::wstring request = dir + L"\\" + name + L".shot-request";
    HANDLE file = CreateFileW(request.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    for (DWORD waited = 0; waited < Scaled(timeoutMs); waited += 50) {
        if (GetFileAttributesW(shot.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(50);
    }
    return false;
}

// The first visible top-level window of a process that `accept` takes, or null.
template <class Accept>
HWND FindTopWindow(DWORD processId, Accept accept)
{
    struct Search {
        DWORD ProcessId;
        Accept* Take;
        HWND Found;
    } search{processId, &accept, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) WINAPI -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->ProcessId && IsWindowVisible(window) && (*s->Take)(window)) {
                s->Found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// The process's main window: visible, top-level and owned by nobody.
inline HWND FindProcessWindow(DWORD processId)
{
    return FindTopWindow(processId, [](HWND window) { return !GetWindow(window, GW_OWNER); });
}

// A message box (dialog class "#32770") of the process.
inline HWND FindMessageBox(DWORD processId)
{
    return FindTopWindow(processId, [](HWND window) {
        wchar_t className[32] = {};
        GetClassNameW(window, className, 32);
        return std::wstring(className) == L"#32770";
    });
}

// ---- Checks ------------------------------------------------------------------
// A window test counts its failed checks in its exit code and reports every
// check as one line; a failed one adds what was expected and what was found,
// so that a failure under load can be read from the log alone.

// For the report: printf's %ls cannot print Cyrillic in the C locale.
inline std::string Utf8(const std::wstring& text)
{
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

inline std::string Formatted(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
inline std::string Formatted(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// How the report shows a value.
inline std::string Shown(const std::wstring& text)
{
    return "\"" + Utf8(text) + "\"";
}
inline std::string Shown(const wchar_t* text)
{
    return text ? Shown(std::wstring(text)) : "null";
}
inline std::string Shown(const std::string& bytes)  // 8-bit text, shown as it is
{
    return "\"" + bytes + "\"";
}
inline std::string Shown(const char* text)
{
    return text ? Shown(std::string(text)) : "null";
}
inline std::string Shown(bool value)
{
    return value ? "true" : "false";
}
inline std::string Shown(HWND window)
{
    return window ? Formatted("window %p", static_cast<void*>(window)) : "no window";
}
template <class T>
requires std::is_arithmetic_v<T>
inline std::string Shown(T value)
{
    if constexpr (std::is_floating_point_v<T>)
        return Formatted("%g", static_cast<double>(value));
    else if constexpr (std::is_signed_v<T>)
        return std::to_string(static_cast<long long>(value));
    else
        return std::to_string(static_cast<unsigned long long>(value));
}

// The system's error code as the report shows it.
inline std::string ErrorText(DWORD code)
{
    return Formatted("error %lu", code);
}

// A check whose `what` states the expectation; `found` tells what there was
// instead, printed when the check fails.
inline bool Check(bool ok, const std::string& what, const std::string& found, int& failures)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok) std::printf("  found: %s\n", found.c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
    return ok;
}

// A check that a value is the one expected; both are printed when it is not.
template <class Found, class Expected>
bool CheckEqual(const Found& found, const Expected& expected, const std::string& what, int& failures)
{
    const bool ok = found == expected;
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok) std::printf("  expected: %s\n  found:    %s\n", Shown(expected).c_str(), Shown(found).c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
    return ok;
}

// Asks for a screenshot NAME.png and checks that it came.
inline bool CheckScreenshot(const std::wstring& name, int& failures)
{
    return Check(RequestScreenshot(name), "screenshot " + Utf8(name) + ".png",
                 "no " + Utf8(name) + ".png in the artifacts folder after 10 s", failures);
}

}  // namespace testsupport
