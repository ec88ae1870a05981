// Threads and calls handed to the main thread.
#include <functional>

#include <gtest/gtest.h>

#include "rtl/Classes.h"
#include "rtl/SyncObjs.h"
#include "tests/support/TimeScale.h"

namespace {

// Serves the main thread's messages (as any message loop does: the program's,
// a message box's) until `done` holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > testsupport::Scaled(timeoutMs)) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

class LambdaThread : public rtl::TThread {
public:
    explicit LambdaThread(std::function<void(LambdaThread&)> body, bool* destroyed = nullptr)
        : FBody(std::move(body)), FDestroyed(destroyed)
    {}
    ~LambdaThread() override
    {
        if (FDestroyed != nullptr) *FDestroyed = true;
    }
    using TThread::Terminated;

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(LambdaThread&)> FBody;
    bool* FDestroyed;
};

TEST(Synchronize, OnTheMainThreadRunsAtOnce)
{
    ASSERT_EQ(GetCurrentThreadId(), rtl::MainThreadID());
    bool ran = false;
    rtl::Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_THROW(rtl::Synchronize([] { throw rtl::EConvertError("x"); }), rtl::EConvertError);
}

TEST(Synchronize, AMessageLoopServesTheWorker)
{
    // The loop below never calls CheckSynchronize: only the hidden window's
    // procedure can run the call, as in a modal loop of the system.
    DWORD ranOn = 0;
    std::atomic<bool> returned{false};
    LambdaThread worker([&](LambdaThread&) {
        rtl::Synchronize([&] { ranOn = GetCurrentThreadId(); });
        returned = true;
    });
    worker.Start();
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    EXPECT_EQ(ranOn, rtl::MainThreadID());
    worker.WaitFor();
}

TEST(Synchronize, ExceptionComesBackToTheCallingThread)
{
    std::string message;
    DWORD caughtOn = 0;
    LambdaThread worker([&](LambdaThread&) {
        try {
            rtl::Synchronize([] { throw rtl::EConvertError("'x' is not a valid integer value"); });
        } catch (const rtl::EConvertError& e) {
            message = e.Message();
            caughtOn = GetCurrentThreadId();
        }
    });
    worker.Start();
    worker.WaitFor();
    EXPECT_EQ(message, "'x' is not a valid integer value");
    EXPECT_EQ(caughtOn, worker.ThreadID());
}

TEST(TThread, WaitForOnTheMainThreadKeepsServingCalls)
{
    int calls = 0;
    bool endHandlerRan = false;
    DWORD endHandlerOn = 0;
    LambdaThread worker([&](LambdaThread&) {
        for (int i = 0; i < 20; ++i) rtl::Synchronize([&] { ++calls; });
    });
    worker.SetOnTerminate([&](rtl::TThread&) {
        endHandlerRan = true;
        endHandlerOn = GetCurrentThreadId();
    });
    worker.Start();
    worker.WaitFor();  // would never return if it blocked the calls
    EXPECT_EQ(calls, 20);
    EXPECT_TRUE(endHandlerRan);
    EXPECT_EQ(endHandlerOn, rtl::MainThreadID());
}

TEST(TThread, CreatedOnlyByStartAndSeesTheWholeObject)
{
    struct Derived : rtl::TThread {
        Derived() { FReady = 42; }
        void Execute() override { FSeen = FReady; }
        int FReady = 0;
        int FSeen = -1;
    } thread;
    EXPECT_EQ(thread.ThreadID(), 0u);
    EXPECT_EQ(thread.Handle(), nullptr);
    thread.Start();
    EXPECT_NE(thread.ThreadID(), 0u);
    EXPECT_THROW(thread.Start(), rtl::EThread);
    thread.WaitFor();
    EXPECT_EQ(thread.FSeen, 42);
    EXPECT_TRUE(thread.Finished());
}

TEST(TThread, FreeOnEndRunsTheEndHandlerThenFreesItself)
{
    bool destroyed = false;
    bool destroyedBeforeHandler = true;
    auto* worker = new LambdaThread([](LambdaThread&) { Sleep(20); }, &destroyed);
    worker->SetFreeOnTerminate(true);
    worker->SetOnTerminate([&](rtl::TThread&) { destroyedBeforeHandler = destroyed; });
    worker->Start();
    ASSERT_TRUE(PumpUntil([&] { return destroyed; }));
    EXPECT_FALSE(destroyedBeforeHandler);
}

TEST(TThread, TerminateRequestAndFatalException)
{
    std::atomic<bool> running{false};
    LambdaThread polling([&](LambdaThread& self) {
        running = true;
        while (!self.Terminated()) Sleep(1);
        throw rtl::EAbort("stopped");
    });
    polling.Start();
    while (!running) Sleep(1);
    polling.Terminate();
    polling.WaitFor();
    ASSERT_TRUE(polling.FatalException());
    EXPECT_THROW(std::rethrow_exception(polling.FatalException()), rtl::EAbort);
}

TEST(TMutex, NamedMutexTimesOutAndReportsAnAbandonedOwner)
{
    rtl::TMutex mutex(L"RtlTestMutex");
    rtl::TMutex sameName(L"RtlTestMutex");  // opens the one made above
    rtl::TEvent taken(true, false);
    rtl::TEvent release(true, false);
    LambdaThread owner([&](LambdaThread&) {
        mutex.WaitFor(INFINITE);
        taken.SetEvent();
        if (release.WaitFor(5000) == rtl::TWaitResult::wrSignaled) mutex.Release();
        taken.ResetEvent();
        mutex.WaitFor(INFINITE);  // and end still holding it
    });
    owner.Start();
    ASSERT_EQ(taken.WaitFor(5000), rtl::TWaitResult::wrSignaled);
    EXPECT_EQ(sameName.WaitFor(50), rtl::TWaitResult::wrTimeout);
    release.SetEvent();
    owner.WaitFor();
    EXPECT_EQ(sameName.WaitFor(1000), rtl::TWaitResult::wrAbandoned);
    sameName.Release();
}

TEST(TMultiReadExclusiveWriteSynchronizer, ReadersShareAWriterIsAlone)
{
    rtl::TMultiReadExclusiveWriteSynchronizer lock;
    rtl::TEvent readerIn(true, false);
    rtl::TEvent writerIn(true, false);
    rtl::TEvent leave(true, false);
    LambdaThread reader([&](LambdaThread&) {
        rtl::TReadLockGuard guard(lock);
        readerIn.SetEvent();
        leave.WaitFor(10000);
    });
    LambdaThread writer([&](LambdaThread&) {
        rtl::TWriteLockGuard guard(lock);
        writerIn.SetEvent();
    });
    {
        rtl::TReadLockGuard guard(lock);
        reader.Start();
        // A second reader gets in while this one holds the lock.
        EXPECT_EQ(readerIn.WaitFor(5000), rtl::TWaitResult::wrSignaled);
    }
    writer.Start();
    EXPECT_EQ(writerIn.WaitFor(200), rtl::TWaitResult::wrTimeout);  // the other reader still holds it
    leave.SetEvent();
    EXPECT_EQ(writerIn.WaitFor(5000), rtl::TWaitResult::wrSignaled);
    reader.WaitFor();
    writer.WaitFor();
    // And a writer keeps readers out.
    rtl::TEvent readerAfterWriter(true, false);
    LambdaThread lateReader([&](LambdaThread&) {
        rtl::TReadLockGuard guard(lock);
        readerAfterWriter.SetEvent();
    });
    {
        rtl::TWriteLockGuard guard(lock);
        lateReader.Start();
        EXPECT_EQ(readerAfterWriter.WaitFor(200), rtl::TWaitResult::wrTimeout);
    }
    EXPECT_EQ(readerAfterWriter.WaitFor(5000), rtl::TWaitResult::wrSignaled);
    lateReader.WaitFor();
}

}  // namespace
