// Components, threads of the runtime and calls handed to the main thread.
#pragma once
#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Handles.h"
#include "rtl/SysUtils.h"

namespace rtl {

// ---- Components -------------------------------------------------------------

// An event handler as a component stores it: the code to call and the object
// it is called for.
struct TMethod {
    void* Code = nullptr;
    void* Data = nullptr;
};

// A named object that may own others. An owner frees the components it owns
// when it is freed, the last added first (a part made after the one it
// depends on goes before it); a component freed on its own leaves its
// owner's list.
class TComponent : public TObject {
public:
    // With an owner, the owner owns the new component: create it with new
    // and let the owner free it.
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const noexcept { return FOwner; }
    const std::string& Name() const { return FName; }
    void SetName(std::string name) { FName = std::move(name); }

    // The owned components, in the order they were added.
    const std::vector<TComponent*>& Components() const noexcept { return FComponents; }
    // An owned component by its name (compared exactly); null when there is none.
    TComponent* FindComponent(const std::string& name) const;
    // Takes over a component that has no owner yet; returns it.
    TComponent* InsertComponent(std::unique_ptr<TComponent> component);
    // Frees the owned components, the last added first. An owner whose own
    // parts are used by its components calls it in its destructor, before
    // those parts are gone.
    void DestroyComponents() noexcept;

    // Called once the component's properties are all set (by whoever reads
    // them, e.g. a form description).
    virtual void Loaded() {}

    // The stored handler of the event named `name`, for code that redirects a
    // component's events by name; null when there is no such event. A class
    // names the events it lets be redirected by overriding it: none by default.
    virtual TMethod* EventProperty(std::string_view /*name*/) noexcept { return nullptr; }

private:
    TComponent* FOwner = nullptr;  // weak
    std::string FName;
    std::vector<TComponent*> FComponents;
};

// ---- The main thread -----------------------------------------------------------

// The thread that ran the program's start-up list (the one that runs the
// message loop); 0 before it ran.
DWORD MainThreadID();

// ---- Thread start ---------------------------------------------------------

using TThreadFunc = int (*)(void* parameter);

// What BeginThread hands to ThreadStartRoutine: the function and its
// parameter. Until the thread runs, a hook on CreateThread may replace the
// function (to wrap it); the routine frees the record.
struct TThreadStartRecord {
    TThreadFunc FFunction;
    void* FParameter;
};

// The runtime's one thread-start routine: every thread of BeginThread and
// TThread starts here (CreateThread's start address, with a TThreadStartRecord
// as parameter), calls the record's function and ends with ExitThread and the
// function's result. The thread's top of stack is in its CurrentExceptState().
// An exception escaping the function finds no handler: the runtime's
// exception procedure reports it and the thread ends with code 1.
DWORD WINAPI ThreadStartRoutine(void* startRecord);

// Starts `function(parameter)` on a new thread through ThreadStartRoutine
// (CreateThread, through the import table, so that a hook there sees every
// thread). The arguments are CreateThread's. Null with the last error set when
// the system refuses a thread (or no record could be allocated).
HANDLE BeginThread(SECURITY_ATTRIBUTES* security, unsigned stackSize, TThreadFunc function, void* parameter,
                   DWORD creationFlags, DWORD& threadId) noexcept;

// A failure of the thread machinery itself.
class EThread : public Exception {
public:
    RTL_CLASS(EThread)
    using Exception::Exception;
};

using TThreadMethod = std::function<void()>;

// Runs `method` on the main thread and returns when it has run. On the main
// thread it runs at once. From another thread the call is queued and a hidden
// window of the main thread (made by the program's start-up list) is told, so
// that every message loop there (the program's, a message box's, a window
// drag's) runs it; WaitFor on the main thread serves it too. An exception
// raised by the call is caught on the main thread and raised again here, in
// the calling thread. EThread when the start-up list has not run.
void Synchronize(const TThreadMethod& method);

// Runs the calls queued for the main thread; answers whether any ran. Only the
// main thread runs them: elsewhere it does nothing and answers false. Never
// raises (each call's exception goes back to its caller).
bool CheckSynchronize() noexcept;

class TThread;

// Hook points for the crash reporter; empty until it sets them.
// ThreadExecuteHook: TThread calls it instead of Execute, with a routine that
// runs Execute; an exception leaving it is stored as FatalException as usual.
using TThreadExecute = void (*)(TThread& thread);
using TThreadExecuteHook = void (*)(TThread& thread, TThreadExecute execute);
extern std::atomic<TThreadExecuteHook> ThreadExecuteHook;
// SynchronizeCatchHook: on the main thread, in the catch that takes an
// exception of a synchronised call. SynchronizeReraiseHook: in the calling
// thread, right before that exception is raised again there.
using TSynchronizeHook = void (*)(const std::exception_ptr& error) noexcept;
extern std::atomic<TSynchronizeHook> SynchronizeCatchHook;
extern std::atomic<TSynchronizeHook> SynchronizeReraiseHook;
// The start of the function whose catch takes a synchronised call's
// exception (compare THandlerInfo::FunctionStart of the handler walk).
const void* SynchronizeCatchRoutine() noexcept;

// The class library's application object calls these first with every
// exception it handles (HandleExceptionHook) or shows (ShowExceptionHook), on
// the main thread; false means the hook has dealt with it and the
// application does nothing more. Empty until the crash reporter sets them.
using TApplicationExceptionHook = bool (*)(std::exception_ptr error);
extern std::atomic<TApplicationExceptionHook> HandleExceptionHook;
extern std::atomic<TApplicationExceptionHook> ShowExceptionHook;
// Marks the calling thread while the application object's HandleException
// runs OnException or ShowException for an exception that HandleExceptionHook
// has seen already: the show hook then knows not to take it a second time.
class THandleExceptionScope {
public:
    THandleExceptionScope() noexcept;
    ~THandleExceptionScope();
    THandleExceptionScope(const THandleExceptionScope&) = delete;
    THandleExceptionScope& operator=(const THandleExceptionScope&) = delete;
};
// Whether the calling thread is inside such a scope. Any thread.
bool IsInsideHandleException() noexcept;

// A thread of the system's own design: derive, override Execute.
//
// The object is always created suspended: the Win32 thread is made by Start,
// after the object is fully constructed, so Execute never sees a half-built
// object. Terminate only sets the request flag that Execute polls.
// The thread runs through BeginThread (ThreadProc is its function).
// When Execute returns (or raises: the exception is kept as FatalException),
// the end handler runs on the main thread, and then, with FreeOnTerminate set,
// the thread deletes its object: after Start the starter must not touch a
// free-on-end thread again except from its end handler.
class TThread : public TObject {
public:
    using TNotifyEvent = std::function<void(TThread& sender)>;

    TThread();
    // A thread that still runs is asked to end and waited for (serving the
    // main-thread calls when this is the main thread). That wait comes after
    // the derived class's members are gone: a derived class whose Execute uses
    // them ends the thread (Terminate, WaitFor) in its own destructor.
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Creates the Win32 thread (CreateThread) and lets it run. EThread when it
    // was started before or the system refuses a thread.
    void Start();

    void Terminate() noexcept { FTerminated = true; }
    bool Terminated() const noexcept { return FTerminated; }
    bool Finished() const noexcept { return FFinished; }

    // Waits until the thread has ended. On the main thread the calls the
    // thread hands over keep running meanwhile, so the two never wait on each
    // other. EThread for a thread that is not started, and for a free-on-end
    // thread (it may be gone before the wait could begin).
    void WaitFor();

    bool FreeOnTerminate() const noexcept { return FFreeOnTerminate; }
    void SetFreeOnTerminate(bool value) noexcept { FFreeOnTerminate = value; }
    void SetOnTerminate(TNotifyEvent handler) { FOnTerminate = std::move(handler); }
    // A THREAD_PRIORITY_* value; kept until Start when not yet started.
    void SetPriority(int priority) noexcept;

    HANDLE Handle() const noexcept { return FHandle.Get(); }
    DWORD ThreadID() const noexcept { return FThreadID; }
    const std::exception_ptr& FatalException() const noexcept { return FFatalException; }

    // The thread function every TThread runs under ThreadStartRoutine (its
    // parameter is the TThread), for hooks that tell a thread object's start.
    static TThreadFunc ThreadProcAddress() noexcept { return &ThreadProc; }

protected:
    virtual void Execute() = 0;

private:
    static int ThreadProc(void* parameter) noexcept;
    static void CallExecute(TThread& thread);

    KernelHandle FHandle;
    DWORD FThreadID = 0;
    int FPriority = THREAD_PRIORITY_NORMAL;
    bool FStarted = false;
    bool FFreeOnTerminate = false;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    TNotifyEvent FOnTerminate;
    std::exception_ptr FFatalException;
};

}  // namespace rtl
