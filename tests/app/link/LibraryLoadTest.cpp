// Loading the driver library, in child programs copied into folders of their
// own: beside the program first, then the system's search, and an incomplete
// library refused with nothing left loaded.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <fstream>
#include <string>

#include "tests/sim/SimTestSupport.h"

namespace {

std::wstring WindowsPath(const char* hostPath)
{
    std::wstring path = L"Z:" + rtl::AnsiToWide(hostPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

struct ProbeResult {
    DWORD ExitCode = 0xDEAD;
    std::wstring LoadedFrom;
};

ProbeResult RunProbe(const std::wstring& folder)
{
    ProbeResult result;
    const std::wstring exe = folder + L"\\LinkLoadProbe.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        ADD_FAILURE() << "CreateProcessW: " << GetLastError();
        return result;
    }
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &result.ExitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::wifstream report((folder + L"\\probe.txt").c_str());
    std::getline(report, result.LoadedFrom);
    return result;
}

TEST(LoadDeviceLibrary, FindsTheLibraryBesideTheProgramThenOnTheSearchPath)
{
    enum Place { kNowhere, kBeside, kOnPath };
    static constexpr struct {
        const wchar_t* name;
        Place place;
        bool complete;
        DWORD exitCode;  // of LinkLoadProbe
    } kCases[] = {
        {L"none", kNowhere, true, 0},
        {L"incomplete-beside", kBeside, false, 0},
        {L"incomplete-on-path", kOnPath, false, 0},
        {L"beside", kBeside, true, 1},
        {L"on-path", kOnPath, true, 1},
    };
    const std::wstring probe = WindowsPath(LINK_PROBE_EXE);
    for (const auto& c : kCases) {
        SCOPED_TRACE(rtl::WideToAnsi(c.name));
        const std::wstring folder =
            simtest::ScratchDir() + L"\\load-" + c.name + L"-" + std::to_wstring(GetCurrentProcessId());
        const std::wstring libraryFolder = c.place == kOnPath ? folder + L"\\lib" : folder;
        CreateDirectoryW(folder.c_str(), nullptr);
        CreateDirectoryW(libraryFolder.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(probe.c_str(), (folder + L"\\LinkLoadProbe.exe").c_str(), FALSE)) << GetLastError();
        const std::wstring library = libraryFolder + L"\\ftd2xx.dll";
        if (c.place != kNowhere) {
            ASSERT_TRUE(CopyFileW(WindowsPath(c.complete ? SIMULATOR_DLL : INCOMPLETE_DRIVER_DLL).c_str(),
                                  library.c_str(), FALSE))
                << GetLastError();
        }
        DeleteFileW((folder + L"\\probe.txt").c_str());

        wchar_t oldPath[8192] = {};
        GetEnvironmentVariableW(L"PATH", oldPath, 8192);
        if (c.place == kOnPath) SetEnvironmentVariableW(L"PATH", (libraryFolder + L";" + oldPath).c_str());
        const ProbeResult result = RunProbe(folder);
        SetEnvironmentVariableW(L"PATH", oldPath);

        EXPECT_EQ(result.ExitCode, c.exitCode);
        if (c.exitCode == 1) {
            EXPECT_EQ(Lower(result.LoadedFrom), Lower(library));
        }
    }
}

}  // namespace
