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
    if (argc != 2) {
        std::printf("usage: VersionCaption.exe PATH-TO-Volumetra.exe\n");
        return 2;
    }
    int failures = 0;
    Check(GetACP() == 1251, "the ANSI code page is 1251 (host locale ru_RU.UTF-8)", failures);

    const std::wstring copy = testsupport::ArtifactsDir() + L"\\Volumetra.exe";
    if (!Check(CopyFileW(argv[1], copy.c_str(), FALSE) != FALSE, "copy of Volumetra.exe made", failures))
        return 1;
    if (!Check(PatchVersion(copy, 7, 8, 9), "version resource patched to 7.8.9", failures))
        return 1;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + copy + L"\"";
    if (!Check(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process) != FALSE,
               "Volumetra.exe started", failures))
        return 1;

    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
        Sleep(50);
        window = testsupport::FindProcessWindow(process.dwProcessId);
    }
    if (Check(window != nullptr, "main window found", failures)) {
        wchar_t caption[256] = L"";
        GetWindowTextW(window, caption, 256);
        std::printf("caption: %ls\n", caption);
        Check(std::wstring(caption) == L"Zarvonix Волюметра 7.8.9", "caption is \"Zarvonix Волюметра 7.8.9\"",
              failures);
        RECT client{};
        GetClientRect(window, &client);
        std::printf("client area: %ld x %ld\n", client.right, client.bottom);
        Sleep(300);
        Check(testsupport::RequestScreenshot(L"main-window"), "screenshot taken", failures);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (!Check(WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0, "program ended after close",
               failures))
        TerminateProcess(process.hProcess, 1);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    Check(exitCode == 0, "exit code 0", failures);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return failures == 0 ? 0 : 1;
}
