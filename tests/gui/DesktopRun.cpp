// Starts a program inside the current (virtual) desktop, waits for it and writes
// its exit code to a file: Wine's explorer does not hand the exit code back.
// With --ready, it also writes READY-FILE once the program's main window is up
// and has handled its first messages, for a caller that waits to take a
// screenshot (a fixed wait shows an empty desktop on a slow machine).
//
// usage: desktop-run.exe [--ready READY-FILE] EXIT-CODE-FILE PROGRAM [ARGS...]
#include <windows.h>

#include <cstdio>
#include <string>

#include "rtl/Startup.h"
#include "tests/support/GuiTestSupport.h"

namespace {
// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring Quote(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// Waits while the process runs until it shows its main window (not a message
// box), then writes the window's caption to the file (UTF-8).
void ReportMainWindow(HANDLE process, DWORD processId, const wchar_t* readyFile)
{
    HWND window = nullptr;
    while (WaitForSingleObject(process, 100) == WAIT_TIMEOUT) {
        window = testsupport::FindTopWindow(processId, [](HWND w) {
            wchar_t className[32] = {};
            GetClassNameW(w, className, 32);
            return !GetWindow(w, GW_OWNER) && std::wstring(className) != L"#32770";
        });
        if (window) break;
    }
    if (!window) return;
    // The window's thread has handled what was queued before, and painted
    // the window and its controls, when these return.
    DWORD_PTR unused = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 30000, &unused);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    char utf8[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, caption, -1, utf8, sizeof utf8, nullptr, nullptr);
    if (FILE* file = _wfopen(readyFile, L"w")) {
        std::fprintf(file, "%s\n", utf8);
        std::fclose(file);
    }
}
}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    const wchar_t* readyFile = nullptr;
    if (argc > 2 && std::wstring(argv[1]) == L"--ready") {
        readyFile = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: desktop-run.exe [--ready READY-FILE] EXIT-CODE-FILE PROGRAM [ARGS...]\n");
        return 2;
    }
    std::wstring commandLine;
    for (int i = 2; i < argc; ++i) commandLine += (i > 2 ? L" " : L"") + Quote(argv[i]);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD exitCode = 255;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        if (readyFile) ReportMainWindow(process.hProcess, process.dwProcessId, readyFile);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        std::fprintf(stderr, "desktop-run: cannot start the program (error %lu)\n", GetLastError());
    }
    if (FILE* file = _wfopen(argv[1], L"w")) {
        std::fprintf(file, "%lu\n", exitCode);
        std::fclose(file);
    }
    return static_cast<int>(exitCode);
}
