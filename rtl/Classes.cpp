// Components, threads of the runtime and calls handed to the main thread.
#include "rtl/Classes.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <new>

#include "rtl/ExceptHooks.h"
#include "rtl/StartupInternal.h"
#include "rtl/SyncObjs.h"

namespace rtl {

std::atomic<TThreadExecuteHook> ThreadExecuteHook{nullptr};
std::atomic<TSynchronizeHook> SynchronizeCatchHook{nullptr};
std::atomic<TSynchronizeHook> SynchronizeReraiseHook{nullptr};
std::atomic<TApplicationExceptionHook> HandleExceptionHook{nullptr};
std::atomic<TApplicationExceptionHook> ShowExceptionHook{nullptr};

THandleExceptionScope::THandleExceptionScope() noexcept
{
    if (TThreadExceptState* state = CurrentExceptState()) ++state->HandleExceptionDepth;
}

THandleExceptionScope::~THandleExceptionScope()
{
    if (TThreadExceptState* state = CurrentExceptState()) --state->HandleExceptionDepth;
}

bool IsInsideHandleException() noexcept
{
    const TThreadExceptState* state = CurrentExceptState();
    return state != nullptr && state->HandleExceptionDepth > 0;
}

// ---- TComponent -----------------------------------------------------------------

TComponent::TComponent(TComponent* owner) : FOwner(owner)
{
    if (owner != nullptr) owner->FComponents.push_back(this);
}

TComponent::~TComponent()
{
    DestroyComponents();
    if (FOwner != nullptr) {
        std::vector<TComponent*>& siblings = FOwner->FComponents;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

TComponent* TComponent::FindComponent(const std::string& name) const
{
    for (TComponent* component : FComponents)
        if (component->FName == name) return component;
    return nullptr;
}

TComponent* TComponent::InsertComponent(std::unique_ptr<TComponent> component)
{
    if (component == nullptr || component->FOwner != nullptr)
        throw Exception("InsertComponent takes a component that has no owner yet");
    FComponents.push_back(component.get());
    component->FOwner = this;
    return component.release();
}

void TComponent::DestroyComponents() noexcept
{
    while (!FComponents.empty()) {
        TComponent* last = FComponents.back();
        FComponents.pop_back();
        last->FOwner = nullptr;
        delete last;
    }
}

namespace {

DWORD gMainThreadID = 0;

constexpr UINT kSyncMessage = WM_APP + 0x3A1;
constexpr wchar_t kSyncWindowClass[] = L"rtlSynchronizeWindow";

struct SyncRequest {
    const TThreadMethod* Method;
    std::exception_ptr Error;
    HANDLE Done;
};

// The queue of calls waiting for the main thread, and the event that wakes a
// main thread waiting in TThread::WaitFor.
struct SyncQueue {
    TCriticalSection Lock;
    std::deque<SyncRequest*> Requests;
    TEvent Pending{false, false};
    std::atomic<HWND> Window{nullptr};
};

// Made by the start-up step, never freed: a thread that outlives the
// program's shut-down may still queue a call or wait here.
std::atomic<SyncQueue*> gQueue{nullptr};

SyncQueue* Queue() noexcept
{
    return gQueue.load(std::memory_order_acquire);
}

LRESULT CALLBACK SyncWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kSyncMessage) {
        CheckSynchronize();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The one catch of a synchronised call's exception, in a function of its own
// so that a handler walk can tell it by its start.
__attribute__((noinline)) void RunSynchronizedCall(SyncRequest& request) noexcept
{
    try {
        (*request.Method)();
    } catch (...) {
        request.Error = std::current_exception();
        if (const TSynchronizeHook hook = SynchronizeCatchHook.load(std::memory_order_acquire)) hook(request.Error);
    }
}

}  // namespace

namespace detail {

void InitMainThread() noexcept
{
    gMainThreadID = ::GetCurrentThreadId();
}

// The hidden window lives on the main thread until shut-down. A message-only
// window needs no desktop, so it exists in windowless runs too.
void InitSynchronize()
{
    if (Queue() != nullptr) return;
    SyncQueue* queue = new SyncQueue;
    gQueue.store(queue, std::memory_order_release);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = SyncWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kSyncWindowClass;
    ::RegisterClassExW(&windowClass);
    const HWND window = ::CreateWindowExW(0, kSyncWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          windowClass.hInstance, nullptr);
    if (window == nullptr) RaiseLastOSError();
    queue->Window = window;
}

void DoneSynchronize() noexcept
{
    SyncQueue* queue = Queue();
    if (queue == nullptr) return;
    if (const HWND window = queue->Window.exchange(nullptr)) ::DestroyWindow(window);
}

}  // namespace detail

DWORD WINAPI ThreadStartRoutine(void* startRecord)
{
    auto* record = static_cast<TThreadStartRecord*>(startRecord);
    const TThreadStartRecord start = *record;
    delete record;
    const int result = start.FFunction(start.FParameter);
    ::ExitThread(static_cast<DWORD>(result));
}

HANDLE BeginThread(SECURITY_ATTRIBUTES* security, unsigned stackSize, TThreadFunc function, void* parameter,
                   DWORD creationFlags, DWORD& threadId) noexcept
{
    auto* record = new (std::nothrow) TThreadStartRecord{function, parameter};
    if (record == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    threadId = 0;
    HANDLE handle = ::CreateThread(security, stackSize, ThreadStartRoutine, record, creationFlags, &threadId);
    if (handle == nullptr) {
        const DWORD error = ::GetLastError();
        delete record;
        ::SetLastError(error);
    }
    return handle;
}

const void* SynchronizeCatchRoutine() noexcept
{
    return reinterpret_cast<const void*>(&RunSynchronizedCall);
}

DWORD MainThreadID()
{
    return gMainThreadID;
}

void Synchronize(const TThreadMethod& method)
{
    if (::GetCurrentThreadId() == gMainThreadID) {
        method();
        return;
    }
    SyncQueue* queue = Queue();
    if (queue == nullptr) throw EThread("Synchronize needs the main-thread calls of the program's start-up");
    KernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) RaiseLastOSError();
    SyncRequest request{&method, nullptr, done.Get()};
    {
        TCriticalSectionLock lock(queue->Lock);
        queue->Requests.push_back(&request);
    }
    queue->Pending.SetEvent();
    if (const HWND window = queue->Window.load()) ::PostMessageW(window, kSyncMessage, 0, 0);
    ::WaitForSingleObject(done.Get(), INFINITE);
    if (request.Error) {
        if (const TSynchronizeHook hook = SynchronizeReraiseHook.load(std::memory_order_acquire)) hook(request.Error);
        std::rethrow_exception(request.Error);
    }
}

bool CheckSynchronize() noexcept
{
    SyncQueue* queue = Queue();
    if (::GetCurrentThreadId() != gMainThreadID || queue == nullptr) return false;
    bool ran = false;
    for (;;) {
        SyncRequest* request = nullptr;
        {
            TCriticalSectionLock lock(queue->Lock);
            if (queue->Requests.empty()) break;
            request = queue->Requests.front();
            queue->Requests.pop_front();
        }
        // Taken off the queue before it runs: a call that opens a message box
        // serves the calls behind it from the box's own message loop.
        RunSynchronizedCall(*request);
        ::SetEvent(request->Done);
        ran = true;
    }
    return ran;
}

TThread::TThread() = default;

TThread::~TThread()
{
    if (FStarted && ::GetCurrentThreadId() != FThreadID) {
        Terminate();
        try {
            WaitFor();
        } catch (...) {}
    }
}

void TThread::Start()
{
    if (FStarted) throw EThread("Cannot call Start on a running or suspended thread");
    DWORD id = 0;
    HANDLE handle = BeginThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, id);
    if (handle == nullptr) {
        const DWORD error = ::GetLastError();
        throw EThread("Thread creation error: " + WideToAnsi(SysErrorMessage(error)));
    }
    FHandle.Reset(handle);
    FThreadID = id;
    FStarted = true;
    ::SetThreadPriority(handle, FPriority);
    // From here on a free-on-end thread may end and delete itself at any time.
    ::ResumeThread(handle);
}

void TThread::SetPriority(int priority) noexcept
{
    FPriority = priority;
    if (FStarted && !FFinished) ::SetThreadPriority(FHandle.Get(), priority);
}

void TThread::WaitFor()
{
    if (!FStarted) throw EThread("Thread is not started");
    if (FFreeOnTerminate) throw EThread("Cannot wait for a thread that frees itself");
    if (::GetCurrentThreadId() == FThreadID) throw EThread("A thread cannot wait for itself");
    SyncQueue* queue = Queue();
    if (::GetCurrentThreadId() != gMainThreadID || queue == nullptr) {
        ::WaitForSingleObject(FHandle.Get(), INFINITE);
        return;
    }
    const HANDLE handles[2] = {FHandle.Get(), queue->Pending.Handle()};
    while (::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) CheckSynchronize();
    // The end handler may have been queued just before the thread ended.
    CheckSynchronize();
}

void TThread::CallExecute(TThread& thread)
{
    thread.Execute();
}

int TThread::ThreadProc(void* parameter) noexcept
{
    auto* thread = static_cast<TThread*>(parameter);
    try {
        if (!thread->Terminated()) {
            if (const TThreadExecuteHook hook = ThreadExecuteHook.load(std::memory_order_acquire))
                hook(*thread, CallExecute);
            else
                thread->Execute();
        }
    } catch (...) {
        thread->FFatalException = std::current_exception();
    }
    const bool freeThread = thread->FFreeOnTerminate;
    if (thread->FOnTerminate) {
        try {
            Synchronize([thread] { thread->FOnTerminate(*thread); });
        } catch (...) {
            if (!thread->FFatalException) thread->FFatalException = std::current_exception();
        }
    }
    thread->FFinished = true;
    if (freeThread) delete thread;
    return 0;
}

}  // namespace rtl
