// Runs a child program of a test: a program beside the test program that is
// given a mode and a result file, and writes what it saw into that file.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/TestFolders.h"
#include "tests/support/TimeScale.h"
#include "rtl/Libraries.h"

namespace testsupport {

struct ChildRun {
    DWORD ExitCode = 0;
    std::string Output;  // what the child wrote to its result file
    bool Finished = false;
    DWORD ProcessId = 0;  // the child's, for tests that look for what it started
};

// Runs `program` (a file name beside the test program) as "program MODE
// RESULT-FILE", the result file in the test's scratch folder, and waits up to
// 60 s (stretched by the time scale); a child still running then is ended
// with exit code 99.
inline ChildRun RunChild(const std::wstring& program, const std::string& mode)
{
    ChildRun run;
    std::wstring child = rtl::ModuleFileName();
    child = child.substr(0, child.find_last_of(L'\\') + 1) + program;
    const std::wstring wideMode(mode.begin(), mode.end());
    const std::wstring output = EnvironmentFolder(L"VOLUMETRA_TEST_OUT") + L"\\" +
                                program.substr(0, program.rfind(L'.')) + L"-" + wideMode + L".txt";
    DeleteFileW(output.c_str());
    std::wstring command = L"\"" + child + L"\" " + wideMode + L" \"" + output + L"\"";
    std::vector<wchar_t> commandLine(command.begin(), command.end());
    commandLine.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(child.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return run;
    run.ProcessId = process.dwProcessId;
    run.Finished = WaitForSingleObject(process.hProcess, Scaled(60000)) == WAIT_OBJECT_0;
    if (!run.Finished) TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &run.ExitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    HANDLE file = CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        // All of it: a child that reports many times writes more than a buffer.
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) run.Output.append(buffer, read);
        CloseHandle(file);
    }
    return run;
}

}  // namespace testsupport
