// Walks of real stacks, checked against the C++ runtime's unwinder at the same
// point: through a virtual call, a std::function, a window procedure reached
// through SendMessage and an EnumSystemCodePagesA callback; a thread blocked
// in WaitForSingleObject, walked while suspended; the raise snapshot after
// the catch; the terminate path in a child.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "crash/engine/EDebugData.h"
#include "crash/engine/ExceptionLog.h"
#include "tests/crash/engine/stack/StackOracle.h"
#include "tests/rtl/ExceptTestSupport.h"
#include "tests/support/ChildRun.h"
#include "tests/support/ModuleRecords.h"
#include "tests/support/TimeScale.h"

namespace crash {
namespace {

using stacktest::Describe;
using stacktest::Frame;
using stacktest::FunctionOf;
using stacktest::MissingFrames;
using stacktest::OwnFrames;

struct Probe {
    std::vector<Frame> Frames;
    std::unique_ptr<TVexlorStackList> Stack;
};

// The unwinder's frames and the walk, from the same frame.
__attribute__((noinline)) void Capture(Probe& probe)
{
    probe.Frames = OwnFrames();
    probe.Stack = GetCurrentCallStack();
    asm volatile("" ::: "memory");
}

void ExpectFrames(const Probe& probe)
{
    ASSERT_NE(probe.Stack, nullptr);
    ASSERT_GE(probe.Frames.size(), 3u);
    EXPECT_EQ(MissingFrames(*probe.Stack, probe.Frames), "") << Describe(*probe.Stack);
}

// ---- Through a virtual call and a std::function ---------------------------------

struct Runner {
    virtual ~Runner() = default;
    virtual int Run(Probe& probe, int n) = 0;
};
struct CapturingRunner : Runner {
    __attribute__((noinline)) int Run(Probe& probe, int n) override
    {
        Capture(probe);
        return n + 1;
    }
};

struct OtherRunner : Runner {
    __attribute__((noinline)) int Run(Probe&, int n) override { return n - 1; }
};

// A runner of either class, so that the compiler cannot call the method directly.
__attribute__((noinline)) std::unique_ptr<Runner> MakeRunner(bool capturing)
{
    if (capturing) return std::make_unique<CapturingRunner>();
    return std::make_unique<OtherRunner>();
}

__attribute__((noinline)) int CallVirtual(Runner& runner, Probe& probe, int a, int b)
{
    // Arguments stored between the method's load and the call.
    return runner.Run(probe, a * b + 3) + 1;
}

__attribute__((noinline)) int CallFunction(const std::function<int(int)>& function, int n)
{
    return function(n) + 1;
}

TEST(RealStack, ThroughAVirtualCall)
{
    Probe probe;
    volatile bool capturing = true;
    std::unique_ptr<Runner> runner = MakeRunner(capturing);
    EXPECT_EQ(CallVirtual(*runner, probe, 2, 5), 15);
    ExpectFrames(probe);
    EXPECT_EQ(probe.Stack->GetItem(0)->ThreadID, ::GetCurrentThreadId());
    EXPECT_TRUE(probe.Stack->GetItem(0)->RunningThread);
}

TEST(RealStack, ThroughAStdFunction)
{
    Probe probe;
    int seen = 0;
    const std::function<int(int)> function = [&](int n) {
        Capture(probe);
        seen = n;
        return n * 2;
    };
    EXPECT_EQ(CallFunction(function, 4), 9);
    EXPECT_EQ(seen, 4);
    ExpectFrames(probe);
}

// ---- Through system callbacks ---------------------------------------------------------

// The unwinder stops at the system's frames: the frames above them are taken
// before the call into the system, and the walk must hold both parts.
struct CallbackProbe {
    Probe Inner;
    std::vector<Frame> Outer;
    const void* Caller = nullptr;  // the function that called into the system
};
CallbackProbe* gCallbackProbe = nullptr;

void ExpectBothSides(const CallbackProbe& probe)
{
    ASSERT_NE(probe.Inner.Stack, nullptr);
    std::vector<Frame> frames = probe.Inner.Frames;
    bool through = false;
    for (const Frame& frame : frames) through = through || frame.Function == probe.Caller;
    if (!through) frames.insert(frames.end(), probe.Outer.begin(), probe.Outer.end());
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(MissingFrames(*probe.Inner.Stack, frames), "") << Describe(*probe.Inner.Stack);
}

LRESULT CALLBACK CapturingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 7 && gCallbackProbe) {
        Capture(gCallbackProbe->Inner);
        return 42;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

__attribute__((noinline)) LRESULT SendAndRecord(HWND window, CallbackProbe& probe)
{
    probe.Outer = OwnFrames();
    probe.Caller = FunctionOf(reinterpret_cast<std::uintptr_t>(&SendAndRecord) + 1);
    const LRESULT result = ::SendMessageA(window, WM_USER + 7, 0, 0);
    asm volatile("" ::: "memory");
    return result;
}

TEST(RealStack, ThroughAWindowProcedure)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CapturingWindowProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "StackWalkTestWindow";
    ASSERT_NE(::RegisterClassA(&windowClass), 0);
    HWND window = ::CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    CallbackProbe probe;
    gCallbackProbe = &probe;
    EXPECT_EQ(SendAndRecord(window, probe), 42);
    gCallbackProbe = nullptr;
    ::DestroyWindow(window);
    ::UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
    ExpectBothSides(probe);
}

BOOL CALLBACK CapturingCodePageProc(LPSTR)
{
    if (gCallbackProbe && !gCallbackProbe->Inner.Stack) Capture(gCallbackProbe->Inner);
    return FALSE;
}

__attribute__((noinline)) BOOL EnumAndRecord(CallbackProbe& probe)
{
    probe.Outer = OwnFrames();
    probe.Caller = FunctionOf(reinterpret_cast<std::uintptr_t>(&EnumAndRecord) + 1);
    const BOOL result = ::EnumSystemCodePagesA(CapturingCodePageProc, CP_INSTALLED);
    asm volatile("" ::: "memory");
    return result;
}

TEST(RealStack, ThroughAnEnumSystemCodePagesCallback)
{
    CallbackProbe probe;
    gCallbackProbe = &probe;
    EnumAndRecord(probe);
    gCallbackProbe = nullptr;
    ExpectBothSides(probe);
}

// ---- Another thread, held --------------------------------------------------------------

struct Blocked {
    std::vector<Frame> Frames;
    HANDLE Ready;
    HANDLE Release;
};

__attribute__((noinline)) void BlockedWait(Blocked& blocked)
{
    blocked.Frames = OwnFrames();
    ::SetEvent(blocked.Ready);
    ::WaitForSingleObject(blocked.Release, INFINITE);
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) void BlockedMiddle(Blocked& blocked)
{
    BlockedWait(blocked);
    asm volatile("" ::: "memory");
}

DWORD WINAPI BlockedThread(void* parameter)
{
    BlockedMiddle(*static_cast<Blocked*>(parameter));
    return 0;
}

TEST(RealStack, ABlockedThreadFromItsContextToItsRegisteredTop)
{
    ASSERT_TRUE(InstallThreadHooks());
    Blocked blocked;
    blocked.Ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    blocked.Release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, BlockedThread, &blocked, 0, &id);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(::WaitForSingleObject(blocked.Ready, testsupport::Scaled(10000)), WAIT_OBJECT_0);
    ::Sleep(50);  // into the wait
    std::uint32_t top = 0;
    {
        TVexlorThreadsList& registry = *ThreadsList();
        registry.BeginRead();
        const int index = registry.FindByThreadID(id);
        if (index >= 0) top = registry.GetItem(index)->TopOfStack;
        registry.EndRead();
    }
    ASSERT_NE(top, 0u);
    ASSERT_NE(::SuspendThread(thread), static_cast<DWORD>(-1));
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    ASSERT_TRUE(::GetThreadContext(thread, &context));
    std::unique_ptr<TVexlorStackList> stack =
        GetCallStackByAddresses(0, context.Esp, top - 1, id, true, true, -1, -1, kAllDebugDetails);
    ::ResumeThread(thread);
    ::SetEvent(blocked.Release);
    EXPECT_EQ(::WaitForSingleObject(thread, testsupport::Scaled(10000)), WAIT_OBJECT_0);
    ::CloseHandle(thread);
    ::CloseHandle(blocked.Ready);
    ::CloseHandle(blocked.Release);
    RemoveThreadHooks();
    ASSERT_NE(stack, nullptr);
    ASSERT_GE(blocked.Frames.size(), 3u);
    EXPECT_EQ(MissingFrames(*stack, blocked.Frames), "") << Describe(*stack);
    EXPECT_EQ(stack->GetItem(0)->ThreadID, id);
}

// ---- The raise snapshot ------------------------------------------------------------------

std::vector<Frame> gThrowerFrames;

__attribute__((noinline)) void Thrower(int n)
{
    gThrowerFrames = OwnFrames();
    if (n > 0) throw std::runtime_error("walked after the catch");
}
__attribute__((noinline)) void ThrowMiddle(int n)
{
    Thrower(n + 1);
    asm volatile("" ::: "memory");
}
__attribute__((noinline)) void ThrowOuter(int n)
{
    ThrowMiddle(n * 2);
    asm volatile("" ::: "memory");
}

std::uintptr_t gRaiseAddress = 0;

TEST(RealStack, TheRaiseSnapshotAfterTheCatch)
{
    InitStackSnapshot();
    {
        const excepttest::ScopedHook<rtl::TRaiseHook> hook(rtl::RaiseHook, [](const rtl::TRaiseInfo& raise) noexcept {
            gRaiseAddress = reinterpret_cast<std::uintptr_t>(raise.Address);
            SnapshotThreadStack(gRaiseAddress, true);
        });
        try {
            ThrowOuter(3);
        } catch (const std::runtime_error&) {}
    }
    std::unique_ptr<TVexlorStackList> stack = GetLastExceptionCallStack();
    ASSERT_NE(stack, nullptr);
    ASSERT_GT(stack->Count(), 3);
    // The first item is the raise's call, 5 bytes before its return address.
    EXPECT_EQ(stack->GetItem(0)->Addr, gRaiseAddress - 5);
    EXPECT_TRUE(stack->GetItem(0)->ErrorLine);
    EXPECT_EQ(stack->GetItem(0)->ThreadID, ::GetCurrentThreadId());
    EXPECT_EQ(FunctionOf(stack->GetItem(0)->Addr), reinterpret_cast<const void*>(&Thrower));
    EXPECT_EQ(stack->GetItem(0)->ProcedureName.View(), "Thrower");
    std::vector<Frame> gone(gThrowerFrames.begin() + 1, gThrowerFrames.end());  // Thrower is the first item
    ASSERT_GE(gone.size(), 3u);
    EXPECT_EQ(MissingFrames(*stack, gone), "") << Describe(*stack);
    FreeStackSnapshot();
    EXPECT_EQ(GetLastExceptionCallStack(), nullptr);
}

TEST(RealStack, NoSnapshotNoList)
{
    InitStackSnapshot();
    EXPECT_EQ(GetLastExceptionCallStack(), nullptr);
    FreeStackSnapshot();
    SnapshotThreadStack(0x401000, true);  // without a buffer: nothing
    EXPECT_EQ(GetLastExceptionCallStack(), nullptr);
}

// A stack pointer outside the thread's stack gives way to the snapshot
// routine's own frame: the copy then runs from there to the top.
TEST(RealStack, ASnapshotFromAStackPointerOutsideTheStack)
{
    InitStackSnapshot();
    rtl::TThreadExceptState* state = rtl::CurrentExceptState();
    ASSERT_NE(state, nullptr);
    const rtl::TRaiseInfo saved = state->LastRaise;
    state->LastRaise.Registers.Esp = 0x1000;
    Probe probe;
    probe.Frames = OwnFrames();
    SnapshotThreadStack(0, true);  // no address: no first item, and nothing subtracted
    state->LastRaise = saved;
    std::unique_ptr<TVexlorStackList> stack = GetLastExceptionCallStack();
    ASSERT_NE(stack, nullptr);
    ASSERT_GT(stack->Count(), 0);
    EXPECT_FALSE(stack->GetItem(0)->ErrorLine);
    EXPECT_EQ(MissingFrames(*stack, probe.Frames), "") << Describe(*stack);
    FreeStackSnapshot();
}

// ---- Levels of the caller's stack --------------------------------------------------------

__attribute__((noinline)) std::unique_ptr<TVexlorStackList> LevelsFrom(int first, int count)
{
    auto list = GetCallStackByLevels(first, count);
    asm volatile("" ::: "memory");
    return list;
}

__attribute__((noinline)) void BothLevels(std::unique_ptr<TVexlorStackList>& all,
                                          std::unique_ptr<TVexlorStackList>& some)
{
    all = LevelsFrom(0, 100);
    some = LevelsFrom(1, 2);
    asm volatile("" ::: "memory");
}

TEST(RealStack, ByLevels)
{
    // The options of this program's data block show libraries too: every
    // item has a procedure at least, or was hidden by the pruning.
    std::unique_ptr<TVexlorStackList> all, some;
    BothLevels(all, some);
    ASSERT_NE(all, nullptr);
    ASSERT_GE(all->Count(), 4);
    for (int i = 0; i < all->Count(); ++i) EXPECT_NE(all->GetItem(i)->DebugDetail, ddModule) << i;
    EXPECT_EQ(all->GetItem(0)->ProcedureName.View(), "LevelsFrom");
    EXPECT_EQ(all->GetItem(1)->ProcedureName.View(), "BothLevels");
    ASSERT_NE(some, nullptr);
    ASSERT_EQ(some->Count(), 2);
    EXPECT_EQ(some->GetItem(0)->ProcedureName.View(), "BothLevels");  // its other call
    EXPECT_EQ(some->GetItem(1)->Addr, all->GetItem(2)->Addr);
}

// ---- One address -------------------------------------------------------------------------

constexpr std::uint32_t kMarkerLine = __LINE__ + 2;
__attribute__((noinline)) int LineMarker(int n)
{
    return n * 3 + 1;
}

TEST(AddressInfo, SourceExportOrModule)
{
    TVexlorDebugInfo item;
    const auto marker = reinterpret_cast<std::uintptr_t>(&LineMarker);
    ShowVexlorLogUnits = true;
    GetDebugInfoByAddr(marker, 5, item, true, false);
    ShowVexlorLogUnits = false;
    EXPECT_EQ(item.DebugDetail, ddSourceCode);
    EXPECT_EQ(item.UnitName.View(), "RealStackTest.cpp");
    EXPECT_EQ(item.ClassName.View(), "crash::(anonymous namespace)");
    EXPECT_EQ(item.ProcedureName.View(), "LineMarker");
    EXPECT_EQ(item.Line, kMarkerLine);
    EXPECT_EQ(item.Addr, marker);
    EXPECT_EQ(item.ThreadID, 5u);
    EXPECT_TRUE(item.ErrorLine);
    EXPECT_FALSE(item.RunningThread);
    ASSERT_NE(item.ModuleInfo, nullptr);
    EXPECT_EQ(item.ModuleInfo->Handle, reinterpret_cast<std::uintptr_t>(::GetModuleHandleA(nullptr)));

    // A system library: its export's name.
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const auto exported = reinterpret_cast<std::uintptr_t>(::GetProcAddress(ntdll, "RtlGetVersion"));
    GetDebugInfoByAddr(exported + 1, 0, item, false, true);
    EXPECT_EQ(item.DebugDetail, ddProcedure);
    EXPECT_EQ(item.ProcedureName.View(), "RtlGetVersion");
    EXPECT_EQ(item.Addr, exported + 1);

    // Memory of no module.
    void* page = ::VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_EXECUTE_READWRITE);
    GetDebugInfoByAddr(reinterpret_cast<std::uintptr_t>(page), 0, item, false, true);
    EXPECT_EQ(item.DebugDetail, ddNone);
    EXPECT_EQ(item.ModuleInfo, nullptr);
    EXPECT_EQ(item.Addr, reinterpret_cast<std::uintptr_t>(page));

    // Module only: a record of its own with the handle and the name.
    std::unique_ptr<TVexlorModuleInfo> module;
    GetModuleOnlyInfoByAddr(exported, 3, item, true, true, module);
    EXPECT_EQ(item.DebugDetail, ddModule);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(item.ModuleInfo, module.get());
    EXPECT_EQ(module->Handle, reinterpret_cast<std::uintptr_t>(ntdll));
    EXPECT_NE(module->Name.find("ntdll.dll"), std::string::npos) << module->Name;
    EXPECT_TRUE(item.ProcedureName.Empty());
    GetModuleOnlyInfoByAddr(reinterpret_cast<std::uintptr_t>(page), 3, item, true, true, module);
    EXPECT_EQ(item.DebugDetail, ddModule);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(item.ModuleInfo, nullptr);
    ::VirtualFree(page, 0, MEM_RELEASE);
}

// A walk resolved to modules only owns the records its items point to.
TEST(AddressInfo, ModuleOnlyWalk)
{
    Probe probe;
    probe.Frames = OwnFrames();
    const auto start = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    TVexlorStackList list;
    ScanStackForReturnAddresses(list, 0, start, rtl::CurrentStackTop() - 1, 0, true, true, -1, -1, kAllDebugDetails,
                                false);
    ASSERT_GT(list.Count(), 2);
    const HMODULE self = ::GetModuleHandleA(nullptr);
    int own = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const TVexlorDebugInfo& item = *list.GetItem(i);
        EXPECT_EQ(item.DebugDetail, ddModule);
        if (item.ModuleInfo && item.ModuleInfo->Handle == reinterpret_cast<std::uintptr_t>(self)) {
            ++own;
            EXPECT_NE(item.ModuleInfo, ModuleInfoByHandle(self));  // not the list's record
            EXPECT_FALSE(item.ModuleInfo->Name.empty());
        }
    }
    EXPECT_GT(own, 2);
    while (list.Count() > 0) list.Delete(0);
}

// ---- The terminate path ------------------------------------------------------------------

TEST(RealStack, TheExceptionProcedureFindsTheThrowerAndItsCallers)
{
    for (const char* mode : {"terminate", "noexcept"}) {
        SCOPED_TRACE(mode);
        const testsupport::ChildRun run = testsupport::RunChild(L"StackChild.exe", mode);
        EXPECT_TRUE(run.Finished);
        EXPECT_EQ(run.ExitCode, 1u);
        EXPECT_EQ(run.Output, "in a hook\nthrower found\ncallers found\n");
    }
}

}  // namespace
}  // namespace crash
