// Helpers for window tests run by tests/gui/run-in-desktop.sh.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

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
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    for (DWORD waited = 0; waited < Scaled(timeoutMs); waited += 50) {
        if (GetFileAttributesW(shot.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
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

// Prints a check's outcome; the test's exit code counts the failures.
inline bool Check(bool ok, const char* what, int& failures)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    std::fflush(stdout);
    if (!ok)
        ++failures;
    return ok;
}

}  // namespace testsupport
