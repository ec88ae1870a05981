// The process list: children with a version block and extra threads, found by
// each way of walking the processes; Tool Help's thread list as the oracle.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <string>

#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/modules/ModulesInternal.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/Handles.h"
#include "tests/crash/engine/modules/ModuleFixtures.h"

namespace crash {
namespace {

// A running ProcessChild.exe with some extra threads, stopped with the object.
class TChild {
public:
    explicit TChild(int threads)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        FReady.Reset(CreateEventW(&inherit, TRUE, FALSE, nullptr));
        FStop.Reset(CreateEventW(&inherit, TRUE, FALSE, nullptr));
        const std::string program = testsupport::BesideProgram("ProcessChild.exe");
        std::string command = "\"" + program + "\" " + std::to_string(threads) + " " +
                              std::to_string(reinterpret_cast<std::uintptr_t>(FReady.Get())) + " " +
                              std::to_string(reinterpret_cast<std::uintptr_t>(FStop.Get())) + " " +
                              std::to_string(GetCurrentProcessId());
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &process))
            return;
        FProcess.Reset(process.hProcess);
        CloseHandle(process.hThread);
        FId = process.dwProcessId;
        FStarted = WaitForSingleObject(FReady.Get(), 30000) == WAIT_OBJECT_0;
    }
    ~TChild() { Stop(); }
    // The child's exit code (0: it found this process as its parent).
    DWORD Stop()
    {
        if (!FProcess) return FExitCode;
        SetEvent(FStop.Get());
        if (WaitForSingleObject(FProcess.Get(), 30000) != WAIT_OBJECT_0) TerminateProcess(FProcess.Get(), 99);
        GetExitCodeProcess(FProcess.Get(), &FExitCode);
        FProcess.Reset();
        return FExitCode;
    }
    bool Started() const { return FStarted; }
    DWORD Id() const { return FId; }

private:
    rtl::KernelHandle FReady;
    rtl::KernelHandle FStop;
    rtl::KernelHandle FProcess;
    DWORD FId = 0;
    DWORD FExitCode = 99;
    bool FStarted = false;
};

const TVexlorProcessInfo* Find(const TVexlorProcessesList& list, DWORD id)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetItem(i)->ProcessID == id) return list.GetItem(i);
    return nullptr;
}

std::uint32_t ToolHelpThreads(DWORD id)
{
    const rtl::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    std::uint32_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
        if (entry.th32OwnerProcessID == id) ++count;
    return count;
}

TEST(ProcessList, ChildrenFoundByEveryWalk)
{
    TChild plain(0);
    TChild busy(3);
    ASSERT_TRUE(plain.Started());
    ASSERT_TRUE(busy.Started());
    const std::string program = testsupport::BesideProgram("ProcessChild.exe");

    static constexpr struct {
        modules::TProcessListMethod method;
        const char* what;
    } kMethods[] = {
        // The snapshot's base priority is no class under Wine: the children,
        // which can be opened, get theirs and their memory from themselves.
        {modules::TProcessListMethod::plmBySystem, "snapshot method (Vista and later)"},
        {modules::TProcessListMethod::plmOpenProcess, "process walk, each opened"},
        {modules::TProcessListMethod::plmEnumProcesses, "process identifiers, each opened"},
    };
    for (const auto& m : kMethods) {
        SCOPED_TRACE(m.what);
        TVexlorProcessesList list;
        modules::FillProcessesList(list, m.method);
        for (int i = 1; i < list.Count(); ++i) EXPECT_LT(list.GetItem(i - 1)->ProcessID, list.GetItem(i)->ProcessID);
        ASSERT_NE(Find(list, GetCurrentProcessId()), nullptr);

        const TVexlorProcessInfo* first = Find(list, plain.Id());
        const TVexlorProcessInfo* second = Find(list, busy.Id());
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        for (const TVexlorProcessInfo* child : {first, second}) {
            EXPECT_EQ(lstrcmpiA(child->Name.c_str(), program.c_str()), 0) << child->Name;
            EXPECT_EQ(child->Description, "Process list child");
            EXPECT_EQ(child->Version, "2.5.0.7");
            EXPECT_EQ(child->Threads, ToolHelpThreads(child->ProcessID));
            EXPECT_EQ(child->Priority, static_cast<std::uint32_t>(NORMAL_PRIORITY_CLASS));
            EXPECT_GT(child->Memory, 0u);
        }
        EXPECT_EQ(second->Threads, first->Threads + 3);
    }
    EXPECT_EQ(plain.Stop(), 0u) << "3: not this process as the parent, 4: not its own version";
    EXPECT_EQ(busy.Stop(), 0u);
}

TEST(ProcessList, GlobalListRefreshed)
{
    CreateModuleLists();
    RefreshProcessesList();
    ASSERT_NE(ProcessesList(), nullptr);
    const TVexlorProcessInfo* self = Find(*ProcessesList(), GetCurrentProcessId());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(lstrcmpiA(self->Name.c_str(), rtl::ModuleFileNameAnsi().c_str()), 0) << self->Name;
    FreeModuleLists();
    EXPECT_EQ(ProcessesList(), nullptr);
    RefreshProcessesList();  // no list: nothing happens
}

// Wine gives every process base priority 2, so the mapping is a table.
TEST(ProcessList, PriorityClassOfABasePriority)
{
    static constexpr struct {
        LONG base;
        std::uint32_t priority;
    } kCases[] = {
        {0, 0},       {1, 64},      {5, 64},   {6, 0x4000}, {7, 0x4000}, {8, 32},   {9, 32},
        {10, 0x8000}, {12, 0x8000}, {13, 128}, {23, 128},   {24, 256},   {31, 256}, {-1, 64},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.base);
        EXPECT_EQ(modules::PriorityOfBasePriority(c.base), c.priority);
    }
}

TEST(ProcessList, FailedSnapshotIsNoHandle)
{
    // Tool Help fails with INVALID_HANDLE_VALUE, which the snapshot owner
    // takes for none.
    const rtl::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0xFFFFFFF0));
    EXPECT_FALSE(snapshot);
}

}  // namespace
}  // namespace crash
