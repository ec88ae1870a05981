// The thread hooks on this test program's own imports: every way of starting
// a thread is registered while it runs, the crash reporter's own thread
// classes are not, exceptions escaping Execute reach the report hook, and
// snapshots stay whole while threads come and go. Oracle: Tool Help's thread
// list of the process.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "crash/engine/EHook.h"
#include "crash/engine/ExceptionLog.h"
#include "rtl/ExceptHooks.h"
#include "rtl/Handles.h"
#include "rtl/SyncObjs.h"
#include "tests/support/TimeScale.h"

namespace {

using crash::TVexlorThreadInfo;
using crash::TVexlorThreadKind;
using crash::TVexlorThreadsList;

constexpr std::uint32_t kMarker[4] = {0x5EED0001, 0xC0FFEE42, 0x0BADF00D, 0x13572468};

// Resumes the thread with a marker on this frame, which lies inside the part
// of the stack the hook copies.
__attribute__((noinline)) DWORD ResumeWithMarker(HANDLE thread)
{
    volatile std::uint32_t marker[4];
    for (int i = 0; i < 4; ++i) marker[i] = kMarker[i];
    const DWORD result = ::ResumeThread(thread);
    asm volatile("" : : "r"(marker) : "memory");
    return result;
}

bool HoldsMarker(const std::vector<std::uint8_t>& stack)
{
    const auto* marker = reinterpret_cast<const std::uint8_t*>(kMarker);
    return std::search(stack.begin(), stack.end(), marker, marker + sizeof kMarker) != stack.end();
}

// The process's threads as Tool Help lists them.
std::set<DWORD> ToolHelpThreads()
{
    std::set<DWORD> ids;
    rtl::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Thread32First(snapshot.Get(), &entry); more;
         more = Thread32Next(snapshot.Get(), &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    return ids;
}

// The registry's item of a thread and its stack copy, read under the lock.
struct TRegistered {
    TVexlorThreadInfo FItem;
    std::vector<std::uint8_t> FStack;
};

std::optional<TRegistered> Registered(DWORD threadId)
{
    TVexlorThreadsList* list = crash::ThreadsList();
    rtl::TReadLockGuard guard(*list);
    const int index = list->FindByThreadID(threadId);
    if (index < 0) return std::nullopt;
    TRegistered found;
    std::memcpy(&found.FItem, list->GetItem(index), sizeof found.FItem);
    const auto* stack = found.FItem.CallerStackDump;
    if (stack != nullptr) found.FStack.assign(stack, stack + found.FItem.CallerStackSize);
    return found;
}

int RegistryCount()
{
    TVexlorThreadsList* list = crash::ThreadsList();
    rtl::TReadLockGuard guard(*list);
    return list->Count();
}

// Whether the registry comes down to `count` items within a bound.
bool RegistryCountReaches(int count)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < testsupport::Scaled(5000); Sleep(10))
        if (RegistryCount() == count) return true;
    return RegistryCount() == count;
}

// A thread body that records where its stack ends and waits to be released.
struct TParking {
    rtl::TEvent FStarted{true, false};
    rtl::TEvent FRelease{true, false};
    std::atomic<std::uintptr_t> FStackTop{0};
    std::atomic<std::uintptr_t> FAllocationBase{0};

    void Run()
    {
        FStackTop = rtl::CurrentStackTop();
        MEMORY_BASIC_INFORMATION region = {};
        VirtualQuery(&region, &region, sizeof region);
        FAllocationBase = reinterpret_cast<std::uintptr_t>(region.AllocationBase);
        FStarted.SetEvent();
        FRelease.WaitFor(20000);
    }
};

int BeginThreadBody(void* parameter)
{
    static_cast<TParking*>(parameter)->Run();
    return 0;
}

DWORD WINAPI CreateThreadBody(void* parameter)
{
    static_cast<TParking*>(parameter)->Run();
    return 0;
}

class TParkedThread : public rtl::TThread {
public:
    explicit TParkedThread(TParking& parking) : FParking(parking) {}

protected:
    void Execute() override { FParking.Run(); }

private:
    TParking& FParking;
};

// One of the crash reporter's own thread classes, told by its name.
class TFreezeThread : public rtl::TThread {
public:
    explicit TFreezeThread(TParking* parking = nullptr, void (*raise)() = nullptr) : FParking(parking), FRaise(raise) {}

protected:
    void Execute() override
    {
        if (FParking != nullptr) FParking->Run();
        if (FRaise != nullptr) FRaise();
    }

private:
    TParking* FParking;
    void (*FRaise)();
};

// What the report hook was handed.
struct TReported {
    int FCount = 0;
    rtl::TObject* FObject = nullptr;
    void* FAddress = nullptr;
    HMODULE FModule = nullptr;
    DWORD FThread = 0;
};
TReported gReported;

bool RecordReport(rtl::TObject* object, void* address, HMODULE module)
{
    ++gReported.FCount;
    gReported.FObject = object;
    gReported.FAddress = address;
    gReported.FModule = module;
    gReported.FThread = GetCurrentThreadId();
    return true;
}

class ThreadHooks : public ::testing::Test {
protected:
    void SetUp() override
    {
        gReported = {};
        ASSERT_TRUE(crash::InstallThreadHooks());
        crash::ThreadExceptionReport.Set(&RecordReport);
    }
    void TearDown() override
    {
        crash::ThreadExceptionReport.Set(nullptr);
        crash::RemoveThreadHooks();
        crash::EHookDone();
    }
};

TEST_F(ThreadHooks, InstallRegistersTheMainThreadAndRemoveLetsThreadsGoUnseen)
{
    EXPECT_TRUE(crash::ThreadHooksInstalled());
    EXPECT_TRUE(crash::InstallThreadHooks());  // a second call changes nothing
    ASSERT_EQ(RegistryCount(), 1);
    const auto main = Registered(GetCurrentThreadId());
    ASSERT_TRUE(main);
    EXPECT_EQ(crash::ThreadKindOf(main->FItem), TVexlorThreadKind::tkMain);
    EXPECT_EQ(main->FItem.TopOfStack, rtl::CurrentStackTop());
    EXPECT_EQ(GetThreadId(main->FItem.Handle), GetCurrentThreadId());
    EXPECT_TRUE(crash::IsThreadRunning(main->FItem.Handle));
    EXPECT_EQ(rtl::ThreadExecuteHook.load(), &crash::ThreadExecuteWrapper);
    // Started in a wrapper while the hooks are in, resumed once they are out:
    // it runs its routine without an item.
    TParking before;
    DWORD beforeId = 0;
    rtl::KernelHandle wrapped(CreateThread(nullptr, 0, CreateThreadBody, &before, CREATE_SUSPENDED, &beforeId));
    ASSERT_TRUE(Registered(beforeId));

    crash::RemoveThreadHooks();
    EXPECT_FALSE(Registered(beforeId));
    ResumeThread(wrapped.Get());
    EXPECT_EQ(before.FStarted.WaitFor(10000), rtl::TWaitResult::wrSignaled);
    before.FRelease.SetEvent();
    EXPECT_EQ(WaitForSingleObject(wrapped.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(crash::ThreadHooksInstalled());
    EXPECT_EQ(RegistryCount(), 0);
    EXPECT_EQ(rtl::ThreadExecuteHook.load(), nullptr);
    TParking parking;
    DWORD id = 0;
    rtl::KernelHandle thread(CreateThread(nullptr, 0, CreateThreadBody, &parking, 0, &id));
    ASSERT_EQ(parking.FStarted.WaitFor(10000), rtl::TWaitResult::wrSignaled);
    EXPECT_FALSE(Registered(id));
    parking.FRelease.SetEvent();
    WaitForSingleObject(thread.Get(), 10000);
}

// How a thread is started, and what its item then says of it.
enum class TFunctionField { ffBeginThread, ffThreadObject, ffCreateThread };

struct TStartedThread {
    rtl::KernelHandle FHandle;  // null when the starter closed it at once
    DWORD FID = 0;
    std::unique_ptr<TParkedThread> FObject;
    rtl::KernelHandle FWaitHandle;  // the test's own, to wait for the end
};

struct TStartWay {
    const char* FName;
    void (*FStart)(TParking& parking, TStartedThread& started);
    TVexlorThreadKind FKind;
    TFunctionField FField;
    bool FSuspended;      // the caller asked for it suspended
    SIZE_T FReservation;  // the stack reservation asked for, 0 for none
};

constexpr SIZE_T kReservation = 4 << 20;

const TStartWay kStartWays[] = {
    {"BeginThread",
     [](TParking& parking, TStartedThread& started) {
         started.FHandle.Reset(rtl::BeginThread(nullptr, 0, BeginThreadBody, &parking, 0, started.FID));
     },
     TVexlorThreadKind::tkSystem, TFunctionField::ffBeginThread, false, 0},
    {"TThread",
     [](TParking& parking, TStartedThread& started) {
         started.FObject = std::make_unique<TParkedThread>(parking);
         started.FObject->Start();
         started.FID = started.FObject->ThreadID();
     },
     TVexlorThreadKind::tkRuntime, TFunctionField::ffThreadObject, false, 0},
    {"CreateThread",
     [](TParking& parking, TStartedThread& started) {
         started.FHandle.Reset(CreateThread(nullptr, 0, CreateThreadBody, &parking, 0, &started.FID));
     },
     TVexlorThreadKind::tkSystem, TFunctionField::ffCreateThread, false, 0},
    {"CreateThread, created suspended",
     [](TParking& parking, TStartedThread& started) {
         started.FHandle.Reset(CreateThread(nullptr, 0, CreateThreadBody, &parking, CREATE_SUSPENDED, &started.FID));
     },
     TVexlorThreadKind::tkSystem, TFunctionField::ffCreateThread, true, 0},
    {"CreateThread, stack reservation",
     [](TParking& parking, TStartedThread& started) {
         started.FHandle.Reset(CreateThread(nullptr, kReservation, CreateThreadBody, &parking,
                                            STACK_SIZE_PARAM_IS_A_RESERVATION, &started.FID));
     },
     TVexlorThreadKind::tkSystem, TFunctionField::ffCreateThread, false, kReservation},
    {"CreateThread, handle closed at once",
     [](TParking& parking, TStartedThread& started) {
         CloseHandle(CreateThread(nullptr, 0, CreateThreadBody, &parking, 0, &started.FID));
     },
     TVexlorThreadKind::tkSystem, TFunctionField::ffCreateThread, false, 0},
};

TEST_F(ThreadHooks, EveryWayOfStartingAThreadIsListedWhileItRuns)
{
    for (const TStartWay& way : kStartWays) {
        SCOPED_TRACE(way.FName);
        TParking parking;
        TStartedThread started;
        way.FStart(parking, started);
        ASSERT_NE(started.FID, 0u);
        started.FWaitHandle.Reset(OpenThread(SYNCHRONIZE, FALSE, started.FID));
        ASSERT_TRUE(started.FWaitHandle);

        if (way.FSuspended) {
            EXPECT_EQ(parking.FStarted.WaitFor(300), rtl::TWaitResult::wrTimeout) << "it did not stay suspended";
            const auto before = Registered(started.FID);
            ASSERT_TRUE(before);
            EXPECT_EQ(before->FItem.CallerID, 0u);
            EXPECT_EQ(before->FItem.CallerStackDump, nullptr);
            EXPECT_EQ(ResumeWithMarker(started.FHandle.Get()), 1u);
        }
        ASSERT_EQ(parking.FStarted.WaitFor(10000), rtl::TWaitResult::wrSignaled) << "it never started";
        // Items whose threads ended go at every creation; this one stays.
        crash::ThreadsList()->PurgeList();

        const auto registered = Registered(started.FID);
        ASSERT_TRUE(registered);
        const TVexlorThreadInfo& item = registered->FItem;
        EXPECT_EQ(item.ID, started.FID);
        EXPECT_EQ(GetThreadId(item.Handle), started.FID);
        EXPECT_EQ(crash::ThreadKindOf(item), way.FKind);
        EXPECT_EQ(item.TopOfStack, parking.FStackTop.load());
        EXPECT_EQ(item.CallerID, GetCurrentThreadId());
        EXPECT_GT(item.CallerStackSize, 0u);
        EXPECT_EQ(item.CallerStackSize, registered->FStack.size());
        if (way.FSuspended) {
            EXPECT_TRUE(HoldsMarker(registered->FStack));
        }
        switch (way.FField) {
        case TFunctionField::ffBeginThread:
            EXPECT_EQ(item.BeginThreadFunction, &BeginThreadBody);
            EXPECT_EQ(item.Parameter, &parking);
            break;
        case TFunctionField::ffThreadObject:
            EXPECT_EQ(item.Thread, started.FObject.get());
            EXPECT_EQ(item.BeginThreadFunction, rtl::TThread::ThreadProcAddress());
            EXPECT_EQ(item.Parameter, started.FObject.get());
            EXPECT_NE(item.ExecuteMethod, nullptr);
            break;
        case TFunctionField::ffCreateThread:
            EXPECT_EQ(item.CreateThreadFunction, &CreateThreadBody);
            EXPECT_EQ(item.Parameter, &parking);
            EXPECT_EQ(item.Thread, nullptr);
            break;
        }
        if (way.FReservation != 0) {
            EXPECT_EQ(parking.FStackTop - parking.FAllocationBase, way.FReservation);
        }
        EXPECT_EQ(ToolHelpThreads().count(started.FID), 1u);

        parking.FRelease.SetEvent();
        if (started.FObject) started.FObject->WaitFor();
        ASSERT_EQ(WaitForSingleObject(started.FWaitHandle.Get(), 10000), WAIT_OBJECT_0);
        EXPECT_FALSE(Registered(started.FID)) << "its end left the item behind";
    }
    // Every thread the registry still lists is one the system lists.
    const std::set<DWORD> live = ToolHelpThreads();
    TVexlorThreadsList snapshot(crash::ThreadsList());
    for (int index = 0; index < snapshot.Count(); ++index)
        EXPECT_EQ(live.count(snapshot.GetItem(index)->ID), 1u) << snapshot.GetItem(index)->ID;
}

TEST_F(ThreadHooks, TheCrashReportersOwnThreadClassIsNeverListed)
{
    TParking parking;
    TFreezeThread freeze(&parking);
    freeze.Start();
    ASSERT_EQ(parking.FStarted.WaitFor(10000), rtl::TWaitResult::wrSignaled);
    EXPECT_EQ(ToolHelpThreads().count(freeze.ThreadID()), 1u);
    EXPECT_FALSE(Registered(freeze.ThreadID()));
    {
        TVexlorThreadsList* list = crash::ThreadsList();
        rtl::TReadLockGuard guard(*list);
        EXPECT_EQ(list->FindByThreadObject(&freeze), -1);
    }
    parking.FRelease.SetEvent();
    freeze.WaitFor();
}

TEST_F(ThreadHooks, AnExceptionEscapingExecuteIsReportedOnceAndKept)
{
    class TRaisingThread : public rtl::TThread {
    public:
        explicit TRaisingThread(void (*raise)()) : FRaise(raise) {}

    protected:
        void Execute() override { FRaise(); }

    private:
        void (*FRaise)();
    };
    const struct {
        const char* FWhat;
        void (*FRaise)();
        bool FOwnClass;
        int FReports;
    } cases[] = {
        {"our exception class", [] { throw rtl::EConvertError("from Execute"); }, false, 1},
        {"a thread-naming request",
         [] {
             EXCEPTION_RECORD record = {};
             record.ExceptionCode = 0x406D1388;
             throw rtl::EExternalException("thread name", record);
         },
         false, 0},
        {"not of our class tree", [] { throw std::runtime_error("from Execute"); }, false, 0},
        {"the crash reporter's own thread", [] { throw rtl::EConvertError("from Execute"); }, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.FWhat);
        gReported = {};
        std::unique_ptr<rtl::TThread> thread;
        if (c.FOwnClass)
            thread = std::make_unique<TFreezeThread>(nullptr, c.FRaise);
        else
            thread = std::make_unique<TRaisingThread>(c.FRaise);
        thread->Start();
        thread->WaitFor();
        EXPECT_EQ(gReported.FCount, c.FReports);
        ASSERT_TRUE(thread->FatalException());
        if (c.FReports == 0) continue;
        void* kept = *reinterpret_cast<void* const*>(&thread->FatalException());
        EXPECT_EQ(dynamic_cast<void*>(gReported.FObject), kept);
        EXPECT_NE(gReported.FAddress, nullptr);
        EXPECT_EQ(gReported.FModule, GetModuleHandleW(nullptr));
        EXPECT_EQ(gReported.FThread, thread->ThreadID());
        EXPECT_THROW(std::rethrow_exception(thread->FatalException()), rtl::EConvertError);
    }
}

DWORD WINAPI QuickBody(void*)
{
    return 0;
}

// Starts and ends threads of every kind in a loop until told to stop.
class TSpawnerThread : public rtl::TThread {
public:
    explicit TSpawnerThread(const std::atomic<bool>& stop) : FStop(stop) {}
    int FStarted = 0;

protected:
    void Execute() override
    {
        class TQuick : public rtl::TThread {
            void Execute() override {}
        };
        for (int round = 0; !FStop; ++round) {
            switch (round % 3) {
            case 0: {
                DWORD id = 0;
                rtl::KernelHandle thread(rtl::BeginThread(
                    nullptr, 0, [](void*) { return 0; }, nullptr, 0, id));
                WaitForSingleObject(thread.Get(), 10000);
                break;
            }
            case 1: {
                rtl::KernelHandle thread(CreateThread(nullptr, 0, QuickBody, nullptr, 0, nullptr));
                WaitForSingleObject(thread.Get(), 10000);
                break;
            }
            default: {
                TQuick quick;
                quick.Start();
                quick.WaitFor();
                break;
            }
            }
            ++FStarted;
        }
    }

private:
    const std::atomic<bool>& FStop;
};

TEST_F(ThreadHooks, SnapshotsStayWholeWhileThreadsStartAndEnd)
{
    TParking parking;
    DWORD keptId = 0;
    rtl::KernelHandle kept(CreateThread(nullptr, 0, CreateThreadBody, &parking, CREATE_SUSPENDED, &keptId));
    ResumeWithMarker(kept.Get());
    ASSERT_EQ(parking.FStarted.WaitFor(10000), rtl::TWaitResult::wrSignaled);

    std::atomic<bool> stop{false};
    std::vector<std::unique_ptr<TSpawnerThread>> spawners;
    for (int i = 0; i < 8; ++i) {
        spawners.push_back(std::make_unique<TSpawnerThread>(stop));
        spawners.back()->Start();
    }
    // At least 3 s and 3 snapshots: the eight writers keep the lock busy, and
    // under emulation a snapshot waits more than a second for its turn.
    int snapshots = 0;
    for (const DWORD start = GetTickCount();
         GetTickCount() - start < 3000 || (snapshots < 3 && GetTickCount() - start < testsupport::Scaled(60000));
         ++snapshots) {
        TVexlorThreadsList snapshot(crash::ThreadsList());
        ASSERT_TRUE(snapshot.IsSnapshot());
        std::set<DWORD> ids;
        bool sawMain = false;
        bool sawKept = false;
        for (int index = 0; index < snapshot.Count(); ++index) {
            const TVexlorThreadInfo& item = *snapshot.GetItem(index);
            EXPECT_TRUE(ids.insert(item.ID).second) << "listed twice: " << item.ID;
            EXPECT_EQ(GetThreadId(item.Handle), item.ID);
            EXPECT_EQ(item.CallerStackDump == nullptr, item.CallerStackSize == 0);
            sawMain = sawMain || item.ID == GetCurrentThreadId();
            if (item.ID == keptId) {
                sawKept = true;
                EXPECT_TRUE(HoldsMarker({item.CallerStackDump, item.CallerStackDump + item.CallerStackSize}));
            }
        }
        ASSERT_TRUE(sawMain);
        ASSERT_TRUE(sawKept);
    }
    stop = true;
    int started = 0;
    for (auto& spawner : spawners) {
        spawner->WaitFor();
        started += spawner->FStarted;
    }
    EXPECT_GT(started, 8);
    EXPECT_GE(snapshots, 3);

    // Nothing the snapshots freed was the registry's: the kept thread's
    // handle and stack copy are still whole, and all the others are gone.
    const auto registered = Registered(keptId);
    ASSERT_TRUE(registered);
    EXPECT_EQ(GetThreadId(registered->FItem.Handle), keptId);
    EXPECT_TRUE(HoldsMarker(registered->FStack));
    // A thread object's wait ends with its Execute, a moment before the
    // thread itself ends and leaves the registry.
    EXPECT_TRUE(RegistryCountReaches(2));
    parking.FRelease.SetEvent();
    WaitForSingleObject(kept.Get(), 10000);
    EXPECT_TRUE(RegistryCountReaches(1));
}

// A thread the registry never saw (started past the import table), which
// leaves its item through the host-side exit when told.
struct TForeignThread {
    rtl::TEvent FStarted{true, false};
    rtl::TEvent FExit{true, false};
    rtl::TEvent FLeft{true, false};
    rtl::KernelHandle FHandle;
    DWORD FID = 0;

    void Start()
    {
        const auto create = reinterpret_cast<decltype(&::CreateThread)>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateThread")));
        FHandle.Reset(create(nullptr, 0, &Body, this, 0, &FID));
    }
    static DWORD WINAPI Body(void* parameter)
    {
        auto* self = static_cast<TForeignThread*>(parameter);
        self->FStarted.SetEvent();
        self->FExit.WaitFor(20000);
        VexlorLog_CallExitThread();
        self->FLeft.SetEvent();
        return 0;
    }
};

TEST_F(ThreadHooks, HostSideTakesOtherModulesItemsAsCopiesOfItsOwn)
{
    TForeignThread foreign;
    foreign.Start();
    ASSERT_EQ(foreign.FStarted.WaitFor(10000), rtl::TWaitResult::wrSignaled);
    ASSERT_FALSE(Registered(foreign.FID));

    TVexlorThreadInfo theirs = {};
    theirs.ID = foreign.FID;
    theirs.Handle = foreign.FHandle.Get();
    theirs.Priority = crash::kPriorityNotRead;
    theirs.CreateThreadFunction = &TForeignThread::Body;
    theirs.Parameter = &foreign;
    VexlorLog_CallCreateThread(&theirs);
    auto ours = Registered(foreign.FID);
    ASSERT_TRUE(ours);
    EXPECT_NE(ours->FItem.Handle, theirs.Handle);
    EXPECT_EQ(GetThreadId(ours->FItem.Handle), foreign.FID);
    EXPECT_EQ(ours->FItem.CreateThreadFunction, &TForeignThread::Body);
    EXPECT_FALSE(ours->FItem.IsACopy);
    const HANDLE ownHandle = ours->FItem.Handle;

    // Their resume: the fields come over, the handle stays ours, the stack is
    // copied, so that their freeing it leaves ours whole.
    std::vector<std::uint8_t> theirStack(64, 0);
    std::memcpy(theirStack.data() + 8, kMarker, sizeof kMarker);
    TVexlorThreadInfo resumed = theirs;
    resumed.CallerID = 4242;
    resumed.TopOfStack = 0x00130000;
    resumed.CallerStackDump = theirStack.data();
    resumed.CallerStackSize = static_cast<std::uint32_t>(theirStack.size());
    rtl::KernelHandle anotherHandle(OpenThread(THREAD_QUERY_INFORMATION, FALSE, foreign.FID));
    VexlorLog_CallResumeThread(anotherHandle.Get(), &resumed);
    std::fill(theirStack.begin(), theirStack.end(), 0xCC);
    ours = Registered(foreign.FID);
    ASSERT_TRUE(ours);
    EXPECT_TRUE(ours->FItem.IsACopy);
    EXPECT_EQ(ours->FItem.CallerID, 4242u);
    EXPECT_EQ(ours->FItem.TopOfStack, 0x00130000u);
    EXPECT_EQ(ours->FItem.Handle, ownHandle);
    EXPECT_NE(ours->FItem.CallerStackDump, theirStack.data());
    EXPECT_TRUE(HoldsMarker(ours->FStack));

    foreign.FExit.SetEvent();
    ASSERT_EQ(foreign.FLeft.WaitFor(10000), rtl::TWaitResult::wrSignaled);
    EXPECT_FALSE(Registered(foreign.FID));

    // With the hooks out the host side takes nothing.
    crash::RemoveThreadHooks();
    VexlorLog_CallCreateThread(&theirs);
    EXPECT_EQ(RegistryCount(), 0);
    WaitForSingleObject(foreign.FHandle.Get(), 10000);
}

}  // namespace
