// The registry's list and snapshots, and the handle and thread tests, without
// the hooks.
#include <windows.h>

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "crash/engine/ExceptionLog.h"
#include "rtl/Handles.h"
#include "rtl/SyncObjs.h"

namespace {

using crash::TVexlorThreadInfo;
using crash::TVexlorThreadsList;

// A thread that waits to be released and then ends with a given code.
struct TParked {
    rtl::TEvent FRelease{true, false};
    DWORD FExitCode = 0;
    rtl::KernelHandle FHandle;
    DWORD FID = 0;

    void Start()
    {
        FHandle.Reset(::CreateThread(nullptr, 0, &Body, this, 0, &FID));
        ASSERT_TRUE(FHandle);
    }
    void End()
    {
        FRelease.SetEvent();
        ASSERT_EQ(::WaitForSingleObject(FHandle.Get(), 10000), WAIT_OBJECT_0);
    }
    static DWORD WINAPI Body(void* parameter)
    {
        auto* self = static_cast<TParked*>(parameter);
        self->FRelease.WaitFor(10000);
        return self->FExitCode;
    }
};

HANDLE Duplicate(HANDLE handle, DWORD access)
{
    HANDLE duplicate = nullptr;
    const HANDLE process = GetCurrentProcess();
    DuplicateHandle(process, handle, process, &duplicate, access, FALSE, access == 0 ? DUPLICATE_SAME_ACCESS : 0);
    return duplicate;
}

TEST(ThreadTests, UsableHandleAndRunningThread)
{
    TParked running;
    running.Start();
    TParked endedZero;
    endedZero.Start();
    endedZero.End();
    TParked ended259;  // ends with the code STILL_ACTIVE stands for
    ended259.FExitCode = STILL_ACTIVE;
    ended259.Start();
    ended259.End();
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(ended259.FHandle.Get(), &code));
    ASSERT_EQ(code, STILL_ACTIVE);
    rtl::KernelHandle noWait(Duplicate(running.FHandle.Get(), THREAD_QUERY_INFORMATION));
    rtl::KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Checked at once: the next handle the process makes may take the value.
    HANDLE closed = Duplicate(running.FHandle.Get(), 0);
    CloseHandle(closed);
    EXPECT_FALSE(crash::IsUsableHandle(closed));
    EXPECT_FALSE(crash::IsThreadRunning(closed));

    const struct {
        const char* FWhat;
        HANDLE FHandle;
        bool FUsable;
        bool FRunning;
    } cases[] = {
        {"running thread", running.FHandle.Get(), true, true},
        {"running thread, no SYNCHRONIZE: the exit code decides", noWait.Get(), true, true},
        {"ended with 0", endedZero.FHandle.Get(), true, false},
        {"ended with 259", ended259.FHandle.Get(), true, false},
        {"an event", event.Get(), true, false},
        {"null", nullptr, false, false},
        {"a value no handle has", reinterpret_cast<HANDLE>(0x00FFFFF0), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.FWhat);
        EXPECT_EQ(crash::IsUsableHandle(c.FHandle), c.FUsable);
        EXPECT_EQ(crash::IsThreadRunning(c.FHandle), c.FRunning);
    }
    running.End();
}

TEST(ThreadsList, LookupByAnyHandleOfTheThreadAndPurgeOfEndedThreads)
{
    TParked first;
    first.Start();
    TParked second;
    second.Start();
    TVexlorThreadsList list;
    for (TParked* parked : {&first, &second}) {
        TVexlorThreadInfo* item = list.NewItem(true);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->Priority, crash::kPriorityNotRead);
        item->ID = parked->FID;
        item->Handle = Duplicate(parked->FHandle.Get(), crash::kThreadItemAccess);
    }
    ASSERT_EQ(list.Count(), 2);
    // Another handle of the thread finds it; a closed value finds nothing.
    rtl::KernelHandle other(OpenThread(THREAD_QUERY_INFORMATION, FALSE, second.FID));
    EXPECT_EQ(list.FindByThreadHandle(other.Get()), 1);
    EXPECT_EQ(list.FindByThreadHandle(first.FHandle.Get()), 0);
    HANDLE closed = Duplicate(first.FHandle.Get(), 0);
    CloseHandle(closed);
    EXPECT_EQ(list.FindByThreadHandle(closed), -1);
    EXPECT_EQ(list.FindByThreadID(GetCurrentThreadId()), -1);

    // Its creator's handle closed, a running thread stays: the item has its own.
    first.FHandle.Reset(OpenThread(SYNCHRONIZE, FALSE, first.FID));
    list.PurgeList();
    EXPECT_EQ(list.Count(), 2);
    second.End();
    list.PurgeList();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetItem(0)->ID, first.FID);
    first.End();
}

TEST(ThreadsList, ASnapshotOwnsItsCopiesAndFreesNothingOfTheList)
{
    TParked parked;
    parked.Start();
    TVexlorThreadsList registry;
    const std::vector<std::uint8_t> stack = {1, 2, 3, 4, 5, 6, 7, 8};
    {
        rtl::TWriteLockGuard guard(registry);
        TVexlorThreadInfo* item = registry.NewItem(true);
        item->ID = parked.FID;
        item->Handle = Duplicate(parked.FHandle.Get(), crash::kThreadItemAccess);
        item->CallerID = 77;
        item->TopOfStack = 0x1234;
        item->CallerStackDump = new std::uint8_t[stack.size()];  // the list's own, freed with the item
        std::memcpy(item->CallerStackDump, stack.data(), stack.size());
        item->CallerStackSize = static_cast<std::uint32_t>(stack.size());
    }
    TVexlorThreadInfo* original = registry.GetItem(0);
    for (int round = 0; round < 3; ++round) {
        TVexlorThreadsList snapshot(&registry);
        EXPECT_TRUE(snapshot.IsSnapshot());
        ASSERT_EQ(snapshot.Count(), 1);
        const TVexlorThreadInfo* copy = snapshot.GetItem(0);
        EXPECT_NE(copy, original);
        EXPECT_EQ(copy->ID, parked.FID);
        EXPECT_EQ(copy->CallerID, 77u);
        EXPECT_EQ(copy->TopOfStack, 0x1234u);
        EXPECT_NE(copy->Handle, original->Handle);
        EXPECT_EQ(GetThreadId(copy->Handle), parked.FID);
        EXPECT_NE(copy->CallerStackDump, original->CallerStackDump);
        ASSERT_EQ(copy->CallerStackSize, stack.size());
        EXPECT_EQ(std::memcmp(copy->CallerStackDump, stack.data(), stack.size()), 0);
    }
    // The snapshots are gone; the registry's handle and stack copy are not.
    EXPECT_EQ(GetThreadId(original->Handle), parked.FID);
    EXPECT_TRUE(crash::IsThreadRunning(original->Handle));
    ASSERT_EQ(original->CallerStackSize, stack.size());
    EXPECT_EQ(std::memcmp(original->CallerStackDump, stack.data(), stack.size()), 0);
    parked.End();
}

}  // namespace
