// Thread start through the runtime's one routine, and the thread hook points.
#include <windows.h>

#include <unwind.h>

#include <gtest/gtest.h>

#include "ExceptTestSupport.h"
#include "rtl/Classes.h"

namespace {

using excepttest::ScopedHook;

struct StartSeen {
    std::uintptr_t TopOfStack = 0;
    std::uintptr_t StackBase = 0;
    bool UnderStartRoutine = false;
    int Parameter = 0;
};

int RecordStart(void* parameter)
{
    auto* seen = static_cast<StartSeen*>(parameter);
    seen->Parameter = 42;
    seen->TopOfStack = rtl::CurrentExceptState()->TopOfStack;
    NT_TIB* block;
    asm("movl %%fs:0x18, %0" : "=r"(block));
    seen->StackBase = reinterpret_cast<std::uintptr_t>(block->StackBase);
    _Unwind_Backtrace(
        [](_Unwind_Context* context, void* p) {
            void* ip = reinterpret_cast<void*>(_Unwind_GetIP(context));
            if (_Unwind_FindEnclosingFunction(ip) == reinterpret_cast<void*>(&rtl::ThreadStartRoutine))
                static_cast<StartSeen*>(p)->UnderStartRoutine = true;
            return _URC_NO_REASON;
        },
        seen);
    return 7;
}

TEST(BeginThread, StartsThroughTheStartRoutineWithItsStackTopKnown)
{
    StartSeen seen;
    DWORD id = 0;
    HANDLE thread = rtl::BeginThread(nullptr, 0, RecordStart, &seen, 0, id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(seen.Parameter, 42);
    EXPECT_TRUE(seen.UnderStartRoutine);
    EXPECT_NE(seen.StackBase, 0u);
    EXPECT_EQ(seen.TopOfStack, seen.StackBase);
}

TEST(TThread, ExecuteRunsThroughTheHookAndItsExceptionIsKept)
{
    static rtl::TThread* hooked;
    hooked = nullptr;
    ScopedHook<rtl::TThreadExecuteHook> hook(rtl::ThreadExecuteHook,
                                             [](rtl::TThread& thread, rtl::TThreadExecute execute) {
                                                 hooked = &thread;
                                                 execute(thread);
                                             });
    struct Failing : rtl::TThread {
        void Execute() override { throw rtl::EConvertError("from Execute"); }
    } thread;
    bool endHandlerRan = false;
    thread.SetOnTerminate([&](rtl::TThread&) { endHandlerRan = true; });
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(hooked, &thread);
    EXPECT_TRUE(endHandlerRan);
    ASSERT_TRUE(thread.FatalException());
    EXPECT_THROW(std::rethrow_exception(thread.FatalException()), rtl::EConvertError);
}

TEST(Synchronize, HookPointsAtTheCatchAndAtTheReraise)
{
    static DWORD caughtOn;
    static DWORD reraisedOn;
    static const void* caughtObject;
    static const void* reraisedObject;
    caughtOn = reraisedOn = 0;
    ScopedHook<rtl::TSynchronizeHook> catchHook(rtl::SynchronizeCatchHook, [](const std::exception_ptr& e) noexcept {
        caughtOn = GetCurrentThreadId();
        caughtObject = *reinterpret_cast<void* const*>(&e);
    });
    ScopedHook<rtl::TSynchronizeHook> reraiseHook(rtl::SynchronizeReraiseHook,
                                                  [](const std::exception_ptr& e) noexcept {
                                                      reraisedOn = GetCurrentThreadId();
                                                      reraisedObject = *reinterpret_cast<void* const*>(&e);
                                                  });
    excepttest::RaiseRecorder mainThreadRaises(true);
    struct Caller : rtl::TThread {
        void Execute() override
        {
            try {
                rtl::Synchronize([] { throw rtl::EConvertError("in the main thread"); });
            } catch (const rtl::EConvertError&) {
                FCaught = true;
            }
        }
        bool FCaught = false;
    } caller;
    caller.Start();
    caller.WaitFor();
    EXPECT_TRUE(caller.FCaught);
    EXPECT_EQ(caughtOn, rtl::MainThreadID());
    EXPECT_EQ(reraisedOn, caller.ThreadID());
    EXPECT_EQ(caughtObject, reraisedObject);
    // The raise in the main thread: the handler that takes it is the one of
    // the synchronised call.
    ASSERT_GE(mainThreadRaises->HandlerCount, 1);
    const rtl::THandlerInfo& taker = mainThreadRaises->Handlers[mainThreadRaises->HandlerCount - 1];
    EXPECT_TRUE(taker.Matches);
    EXPECT_EQ(reinterpret_cast<const void*>(taker.FunctionStart), rtl::SynchronizeCatchRoutine());
}

TEST(Synchronize, AWorkerIsServedBeforeTheMainThreadMadeAnyThread)
{
    const excepttest::ChildRun run = excepttest::RunChild("synchronize-first");
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Output, "synchronized\nworker ended\nmain returned\n");
}

}  // namespace
