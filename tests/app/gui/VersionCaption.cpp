// Window test: the caption carries the version read from the version resource.
//
// Copies Volumetra.exe, rewrites the copy's version resource to 7.8.9, starts
// it and reads the caption of its main window from this process.
//
// usage: VersionCaption.exe PATH-TO-Volumetra.exe
#include <windows.h>

#include <cstdio>
#include <string>

#include "rtl/Startup.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/VersionResource.h"

namespace {

using testsupport::PatchVersion;

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    using testsupport::Check;
    using testsupport::CheckEqual;
    using testsupport::ErrorText;
    if (argc != 2) {
        std::printf("usage: VersionCaption.exe PATH-TO-Volumetra.exe\n");
        return 2;
    }
    int failures = 0;
    CheckEqual(GetACP(), 1251u, "the ANSI code page is 1251 (host locale ru_RU.UTF-8)", failures);

    const std::wstring copy = testsupport::ArtifactsDir() + L"\\Volumetra.exe";
    const bool copied = CopyFileW(argv[1], copy.c_str(), FALSE) != FALSE;
    if (!Check(copied, "copy of Volumetra.exe made", ErrorText(GetLastError()), failures)) return 1;
    const bool patched = PatchVersion(copy, 7, 8, 9);
    if (!Check(patched, "version resource patched to 7.8.9", "the resource update failed: " + ErrorText(GetLastError()),
               failures))
        return 1;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + copy + L"\"";
    const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &process) != FALSE;
    if (!Check(started, "Volumetra.exe started", ErrorText(GetLastError()), failures)) return 1;

    HWND window = nullptr;
    for (DWORD waited = 0; waited < testsupport::Scaled(10000) && !window; waited += 50) {
        Sleep(50);
        window = testsupport::FindProcessWindow(process.dwProcessId);
    }
    if (Check(window != nullptr, "main window found", "no visible top-level window of the program after 10 s",
              failures)) {
        wchar_t caption[256] = L"";
        GetWindowTextW(window, caption, 256);
        CheckEqual(std::wstring(caption), L"Zarvonix Волюметра 7.8.9", "the caption carries the patched version",
                   failures);
        RECT client{};
        GetClientRect(window, &client);
        std::printf("client area: %ld x %ld\n", client.right, client.bottom);
        Sleep(300);
        testsupport::CheckScreenshot(L"main-window", failures);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    const DWORD waited = WaitForSingleObject(process.hProcess, testsupport::Scaled(10000));
    if (!Check(waited == WAIT_OBJECT_0, "program ended after close",
               waited == WAIT_TIMEOUT ? "still running after 10 s" : ErrorText(GetLastError()), failures))
        TerminateProcess(process.hProcess, 1);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CheckEqual(exitCode, 0u, "exit code 0", failures);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return failures == 0 ? 0 : 1;
}
