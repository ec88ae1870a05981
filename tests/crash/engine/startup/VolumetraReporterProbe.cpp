// Volumetra.exe runs with the crash reporter in force: while its window is up
// the shared-options mapping named by its process id and module handle
// exists, and the program ends with exit code 0 after close. Also prints the
// time from the start to the visible main window (the start-up cost, with the
// crash reporter and, given a second program, for an inert copy).
//
// usage: VolumetraReporterProbe.exe PATH-TO-Volumetra.exe PATH-TO-ftd2xx.dll [PATH-TO-inert-copy RUNS]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "rtl/Startup.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TimeScale.h"
#include "vcl/ControlNames.h"

namespace {

int gFailures = 0;

void Expect(bool condition, const char* what)
{
    std::printf("%s: %s\n", condition ? "ok" : "FAILED", what);
    if (!condition) ++gFailures;
}

std::string MappingName(DWORD processId, HMODULE module)
{
    char name[17];
    std::snprintf(name, sizeof name, "%08lX%08lX", static_cast<unsigned long>(processId),
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(module)));
    return name;
}

bool MappingExists(const std::string& name)
{
    const HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (mapping == nullptr) return false;
    CloseHandle(mapping);
    return true;
}

struct TRun {
    bool Started = false;
    double WindowMs = -1;
    bool MappingWhileUp = false;
    bool MappingAfter = true;
    DWORD ExitCode = 1;
};

// Starts the program in a run folder beside the driver, waits for its main
// form, looks for the mapping, closes it.
TRun RunOnce(const std::wstring& program, const std::wstring& driver, const std::wstring& folder)
{
    TRun run;
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = folder + L"\\Volumetra.exe";
    CopyFileW(program.c_str(), exe.c_str(), FALSE);
    CopyFileW(driver.c_str(), (folder + L"\\ftd2xx.dll").c_str(), FALSE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    LARGE_INTEGER frequency, start, shown;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return run;
    run.Started = true;
    HWND form = nullptr;
    const DWORD deadline = GetTickCount() + testsupport::Scaled(20000);
    while (GetTickCount() < deadline) {
        form = vcl::FindFormWindow(process.dwProcessId, L"MainForm");
        if (form != nullptr && IsWindowVisible(form)) break;
        form = nullptr;
        Sleep(5);
    }
    QueryPerformanceCounter(&shown);
    if (form != nullptr) {
        run.WindowMs =
            1000.0 * static_cast<double>(shown.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        HMODULE modules[1] = {};
        DWORD needed = 0;
        if (EnumProcessModules(process.hProcess, modules, sizeof modules, &needed))
            run.MappingWhileUp = MappingExists(MappingName(process.dwProcessId, modules[0]));
        PostMessageW(form, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, testsupport::Scaled(15000)) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.hProcess, &run.ExitCode);
            run.MappingAfter = MappingExists(MappingName(process.dwProcessId, modules[0]));
        }
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

double Median(std::vector<double> values)
{
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 3 && argc != 5) return 2;
    const std::wstring dir = testsupport::ArtifactsDir();
    const TRun run = RunOnce(argv[1], argv[2], dir + L"\\reporter");
    Expect(run.Started, "the program starts");
    Expect(run.WindowMs >= 0, "its main window shows");
    Expect(run.MappingWhileUp, "the shared-options mapping of its process and module exists while it runs");
    Expect(run.ExitCode == 0, "it ends with exit code 0 after close");
    Expect(!run.MappingAfter, "the mapping is gone after it ended");
    if (argc == 5) {
        const int runs = std::max(1, _wtoi(argv[4]));
        std::vector<double> withReporter, inert;
        for (int i = 0; i < runs; ++i) {
            withReporter.push_back(RunOnce(argv[1], argv[2], dir + L"\\reporter").WindowMs);
            inert.push_back(RunOnce(argv[3], argv[2], dir + L"\\inert").WindowMs);
        }
        std::printf("start to visible main window, median of %d runs: %.1f ms with the crash reporter, %.1f ms inert\n",
                    runs, Median(withReporter), Median(inert));
    }
    return gFailures == 0 ? 0 : 1;
}
