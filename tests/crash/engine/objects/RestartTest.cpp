// The restart of the program, in a child that restarts itself.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "rtl/Handles.h"
#include "tests/support/ChildRun.h"

namespace {

// The processes whose parent is `parent`.
int ChildrenOf(DWORD parent)
{
    rtl::FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ParentProcessID == parent) ++count;
    return count;
}

std::string ReadFileText(const std::wstring& name)
{
    rtl::FileHandle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    if (!file) return {};
    char buffer[4096];
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) return {};
    return std::string(buffer, read);
}

TEST(RestartApplication, StartsTheSameCommandLineInTheStartFolderAndEnds)
{
    const std::wstring restarted =
        testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT") + L"\\ObjectsChild-restart.txt.restarted";
    DeleteFileW(restarted.c_str());
    const testsupport::ChildRun run = testsupport::RunChild(L"ObjectsChild.exe", "restart");
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 1u);
    // The first run wrote its command line and start folder (then moved to
    // the Windows folder); the new process writes its command line, current
    // folder and parent once it runs.
    const auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
    std::string second;
    for (int waited = 0; lines(second = ReadFileText(restarted)) < 3 && waited < 30000; waited += 50) Sleep(50);
    ASSERT_EQ(lines(run.Output), 2) << run.Output;
    EXPECT_EQ(second, run.Output + std::to_string(run.ProcessId) + "\n");
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_EQ(run.Output.find(windows), std::string::npos) << run.Output;
}

TEST(RestartApplication, WithoutRestartOnlyEnds)
{
    const testsupport::ChildRun run = testsupport::RunChild(L"ObjectsChild.exe", "halt");
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 1u);
    EXPECT_EQ(run.Output, "halting\n");
    // A process it started would exist by now: CreateProcess had returned.
    EXPECT_EQ(ChildrenOf(run.ProcessId), 0);
}

}  // namespace
