// Runs the crashing child of the raise-path tests.
#include <cstdio>
#include <vector>

#include "ExceptTestSupport.h"
#include "rtl/Libraries.h"

namespace excepttest {

ChildRun RunChild(const std::string& mode)
{
    ChildRun run;
    std::wstring child = rtl::ModuleFileName();
    child = child.substr(0, child.find_last_of(L'\\') + 1) + L"RaiseChild.exe";
    wchar_t scratch[MAX_PATH] = L".";
    GetEnvironmentVariableW(L"VOLUMETRA_TEST_OUT", scratch, MAX_PATH);
    const std::wstring wideMode(mode.begin(), mode.end());
    const std::wstring output = std::wstring(scratch) + L"\\child-" + wideMode + L".txt";
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
    run.FFinished = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    if (!run.FFinished) TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &run.FExitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    HANDLE file = CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD read = 0;
        if (ReadFile(file, buffer, sizeof buffer, &read, nullptr)) run.FOutput.assign(buffer, read);
        CloseHandle(file);
    }
    return run;
}

}  // namespace excepttest
