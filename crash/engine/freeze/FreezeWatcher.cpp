// The hang watcher's thread, its start and its stop.
#include "crash/engine/freeze/FreezeWatcher.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/capture/RaiseState.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/engine/stack/StackInternal.h"
#include "crash/engine/startup/LibraryStartup.h"
#include "crash/engine/threads/ThreadRegistry.h"
#include "rtl/CheckedMemory.h"
#include "rtl/Classes.h"
#include "rtl/SyncObjs.h"

namespace crash {

namespace {

constexpr DWORD kPingTimeoutMs = 50;
constexpr DWORD kPollMs = 50;
// After an answer the next ping comes this many polls later.
constexpr int kPollsAfterAnswer = 6;

}  // namespace

// Named like this so that the thread registry leaves it out of its list.
class TFreezeThread : public rtl::TThread {
public:
    // The stack buffer is made here, on the starting thread: the watcher
    // allocates nothing while the main thread is suspended.
    TFreezeThread() : FStack(new std::uint8_t[kMaxStackScan]) { SetPriority(THREAD_PRIORITY_NORMAL); }
    ~TFreezeThread() override
    {
        Terminate();
        if (Handle() != nullptr && ThreadID() != ::GetCurrentThreadId()) WaitFor();
    }

protected:
    void Execute() override
    {
        while (!Terminated()) {
            TPipelineState* held = WatchUntilFrozen();
            if (held == nullptr) continue;
            try {
                ReportFreeze();
            } catch (...) {}
            held->MainReportLock.Leave();
        }
    }

private:
    void Poll(int times)
    {
        for (int i = 0; i < times && !Terminated(); ++i) ::Sleep(kPollMs);
    }

    // Pings until the main window has not answered for FreezeTimeout
    // seconds; then answers the pipeline's state with its main report lock
    // taken by this thread. Null once terminated.
    TPipelineState* WatchUntilFrozen()
    {
        // When the first unanswered ping was sent; 0 while the window answers.
        ULONGLONG unansweredSince = 0;
        while (!Terminated()) {
            const TVexlorModuleOptions* options = LibraryModuleOptions();
            const HWND window = FindProcessMainWindow(::GetCurrentProcessId());
            if (options == nullptr || window == nullptr) {
                unansweredSince = 0;
                Poll(1);
                continue;
            }
            // A timeout of 0 or less would report at the first missed ping.
            const ULONGLONG limit = static_cast<ULONGLONG>(std::max<std::int32_t>(options->FreezeTimeout(), 1)) * 1000;
            const ULONGLONG sent = ::GetTickCount64();
            DWORD_PTR answer = 0;
            if (::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, kPingTimeoutMs, &answer) != 0) {
                unansweredSince = 0;
                Poll(kPollsAfterAnswer);
                continue;
            }
            if (unansweredSince == 0) unansweredSince = sent;
            TPipelineState* state = PipelineStateOrNull();
            if (state == nullptr || !state->Installed.load()) {
                unansweredSince = 0;
                Poll(1);
                continue;
            }
            // A report in progress holds the lock, and its raising thread
            // does not pump until a dialog is up: no hang. Were the watcher
            // to wait for the lock instead, with the holder suspended, both
            // would wait for ever.
            if (!state->MainReportLock.TryEnter()) {
                unansweredSince = 0;
                Poll(1);
                continue;
            }
            if (::GetTickCount64() - unansweredSince >= limit && !Terminated()) return state;
            state->MainReportLock.Leave();
        }
        return nullptr;
    }

    // The hang report, with the main report lock held by this thread; the
    // pipeline's own enter of that lock is a second enter of a re-entrant
    // lock by its holder.
    void ReportFreeze()
    {
        const HANDLE mainThread = MainThreadHandle();
        const std::uintptr_t stackTop = MainThreadStackTop();
        const TVexlorModuleOptions* options = LibraryModuleOptions();
        if (mainThread == nullptr || stackTop == 0 || options == nullptr) return;
        TThreadRaiseState* raise = ThreadRaiseState();
        EFrozenApplication error(options->GetCustomizedExpandedTexts(mtException_AntiFreeze));
        auto stack = std::make_unique<TVexlorStackList>();

        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
        bool read = false;
        std::uint32_t size = 0;
        TVexlorThreadsList* registry = ThreadsList();
        // No suspended thread may hold the registry's lock: it is taken first.
        if (registry != nullptr) registry->BeginWrite();
        if (::SuspendThread(mainThread) != static_cast<DWORD>(-1)) {
            read = ::GetThreadContext(mainThread, &context) && context.Eip != 0 && context.Esp != 0;
            if (read && context.Esp < stackTop) {
                size = static_cast<std::uint32_t>(std::min<std::uintptr_t>(stackTop - context.Esp, kMaxStackScan));
                if (!rtl::ReadMemory(reinterpret_cast<const void*>(context.Esp), FStack.get(), size)) size = 0;
            }
            // The hooked ResumeThread passes a thread of a report through.
            if (raise != nullptr) raise->InProcessException = true;
            ::ResumeThread(mainThread);
        }
        if (registry != nullptr) registry->EndWrite();
        struct TClear {
            TThreadRaiseState* FRaise;
            ~TClear()
            {
                if (FRaise == nullptr) return;
                FRaise->InProcessException = false;
                FRaise->ReportedThreadID = 0;
            }
        } clear{raise};
        if (!read) return;

        const DWORD mainID = rtl::MainThreadID();
        if (size != 0) {
            const auto start = reinterpret_cast<std::uintptr_t>(FStack.get());
            try {
                stack::ScanStackRange(*stack, context.Eip, {start, start + size - 1, context.Esp}, mainID, false, true,
                                      -1, -1, kAllDebugDetails, true);
            } catch (...) {}
        } else {
            TVexlorDebugInfo first;
            GetDebugInfoByAddr(context.Eip, mainID, first, true, false);
            stack->Items(stack->AddFrom(first))->ThreadID = mainID;
        }
        if (raise != nullptr) raise->ReportedThreadID = mainID;
        NotifyException(&error, reinterpret_cast<void*>(static_cast<std::uintptr_t>(context.Eip)), false, stack.get(),
                        false, aeNone, LibraryModuleHandle(), rtLocal, nullptr, &context, context.Esp,
                        static_cast<std::uint32_t>(stackTop));
    }

    std::unique_ptr<std::uint8_t[]> FStack;
};

namespace {

// Made once and never freed: start and stop may run during the program's
// last steps.
rtl::TCriticalSection& WatcherLock()
{
    static auto* lock = new rtl::TCriticalSection;
    return *lock;
}
TFreezeThread* gWatcher = nullptr;
// Watchers asked to end on their own thread, freed from another one.
std::vector<TFreezeThread*>* gRetired = nullptr;
std::atomic<std::uint32_t> gStarts{0};

// Takes out the retired watchers that are not the calling thread; the caller
// frees them without the lock (a retired watcher may still be reporting and
// call Start or Stop from a handler).
std::vector<TFreezeThread*> TakeRetired()
{
    std::vector<TFreezeThread*> taken;
    if (gRetired == nullptr) return taken;
    const DWORD self = ::GetCurrentThreadId();
    for (auto it = gRetired->begin(); it != gRetired->end();) {
        if ((*it)->ThreadID() == self) {
            ++it;
        } else {
            taken.push_back(*it);
            it = gRetired->erase(it);
        }
    }
    return taken;
}

void FreeWatchers(const std::vector<TFreezeThread*>& watchers)
{
    for (TFreezeThread* watcher : watchers) {
        watcher->Terminate();
        // A library's shut-down may hold the loader's lock, which the
        // thread's own end would wait for.
        if (IsLibraryModule(LibraryModuleHandle()) && !watcher->Finished())
            ::TerminateThread(watcher->Handle(), 1);
        delete watcher;
    }
}

}  // namespace

void StartFreezeWatcher()
{
    if (IntoIDE) return;
    const TVexlorModuleOptions* options = LibraryModuleOptions();
    if (options == nullptr || !options->FreezeActivate()) return;
    if (ForwardToHost.load() && options->BehaviourOptions().Contains(boUseMainModuleOptions)) return;
    std::vector<TFreezeThread*> retired;
    {
        rtl::TCriticalSectionLock hold(WatcherLock());
        retired = TakeRetired();
    }
    FreeWatchers(retired);
    rtl::TCriticalSectionLock hold(WatcherLock());
    if (gWatcher != nullptr) return;
    auto watcher = std::make_unique<TFreezeThread>();
    watcher->Start();
    gWatcher = watcher.release();
    gStarts.fetch_add(1);
}

void StopFreezeWatcher()
{
    if (IntoIDE) return;
    std::vector<TFreezeThread*> toFree;
    {
        rtl::TCriticalSectionLock hold(WatcherLock());
        if (gWatcher != nullptr) {
            gWatcher->Terminate();
            if (gRetired == nullptr) gRetired = new std::vector<TFreezeThread*>;
            gRetired->push_back(gWatcher);
            gWatcher = nullptr;
        }
        toFree = TakeRetired();
    }
    FreeWatchers(toFree);
}

DWORD FreezeWatcherThreadID() noexcept
{
    rtl::TCriticalSectionLock hold(WatcherLock());
    return gWatcher != nullptr ? gWatcher->ThreadID() : 0;
}

HANDLE FreezeWatcherHandle() noexcept
{
    rtl::TCriticalSectionLock hold(WatcherLock());
    return gWatcher != nullptr ? gWatcher->Handle() : nullptr;
}

std::uint32_t FreezeWatcherStartCount() noexcept
{
    return gStarts.load();
}

}  // namespace crash
