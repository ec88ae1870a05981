// Starts a program inside the current (virtual) desktop, waits for it and writes
// its exit code to a file: Wine's explorer does not hand the exit code back.
//
// usage: desktop-run.exe EXIT-CODE-FILE PROGRAM [ARGS...]
#include <windows.h>

#include <cstdio>
#include <string>

#include "rtl/Startup.h"

namespace {
// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring Quote(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
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
}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 3) {
        std::fprintf(stderr, "usage: desktop-run.exe EXIT-CODE-FILE PROGRAM [ARGS...]\n");
        return 2;
    }
    std::wstring commandLine;
    for (int i = 2; i < argc; ++i)
        commandLine += (i > 2 ? L" " : L"") + Quote(argv[i]);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD exitCode = 255;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
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
