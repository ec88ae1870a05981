// The hooks that feed the thread registry: import patches of CreateThread,
// ResumeThread and ExitThread, the wrappers registered threads start in, and
// the host side of other modules' copies.
#include "crash/engine/threads/ThreadRegistry.h"

#include <atomic>
#include <new>
#include <string_view>

#include "crash/engine/EHook.h"
#include "crash/engine/threads/ThreadsInternal.h"
#include "rtl/ExceptHooks.h"
#include "rtl/Libraries.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace crash {
namespace {

using namespace threads_detail;

struct TKernelThreadEntries {
    decltype(&::CreateThread) CreateThread = nullptr;
    decltype(&::ResumeThread) ResumeThread = nullptr;
    decltype(&::ExitThread) ExitThread = nullptr;

    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(CreateThread, "CreateThread");
        bind.Required(ResumeThread, "ResumeThread");
        bind.Required(ExitThread, "ExitThread");
    }
};

// The routines themselves, which the patched import entries no longer reach.
const TKernelThreadEntries& Kernel()
{
    static const TKernelThreadEntries entries = [] {
        TKernelThreadEntries table;
        rtl::BindEntryTable(::GetModuleHandleW(L"kernel32.dll"), table);
        return table;
    }();
    return entries;
}

// Made once and never freed: a thread may be inside a hook while the hooks are
// taken out, and must still find a list there.
std::atomic<TVexlorThreadsList*> gThreads{nullptr};
// The gate: opened and closed under the registry's write lock, and checked
// again under it by every change, so that nothing is added once it is closed.
std::atomic<bool> gInstalled{false};

constexpr std::string_view kOwnThreadClasses[] = {"TExceptionThread", "TFreezeThread", "TSendDialogThread",
                                                  "TSendThread"};

// Windows' thread-naming request, raised with this code and caught at once
// by whoever raised it, carries nothing to report.
constexpr DWORD kThreadNamingCode = 0x406D1388;

// Start record of a thread given to CreateThread directly; freed by
// CreateThreadWrapper.
struct TCreateThreadStart {
    LPTHREAD_START_ROUTINE FFunction;
    void* FParameter;
};

TVexlorThreadsList* InstalledList() noexcept
{
    return gInstalled.load(std::memory_order_acquire) ? gThreads.load(std::memory_order_acquire) : nullptr;
}

// Runs `change` on the registry under its write lock while the gate is open.
template <class TChange>
void ChangeRegistry(TChange&& change) noexcept
{
    TVexlorThreadsList* list = InstalledList();
    if (list == nullptr) return;
    rtl::TWriteLockGuard guard(*list);
    if (gInstalled.load(std::memory_order_relaxed)) change(*list);
}

bool IsOwnThreadClass(const rtl::TThread* thread) noexcept
{
    const void* object = dynamic_cast<const void*>(thread);
    try {
        for (const std::string_view name : kOwnThreadClasses)
            if (rtl::IsObjectOfClassName(object, name)) return true;
    } catch (const std::bad_alloc&) {
        // No memory for the names: the thread is registered, which costs a
        // report nothing but a line.
    }
    return false;
}

std::uintptr_t CurrentStackPosition() noexcept
{
    std::uintptr_t position;
    asm volatile("movl %%esp, %0" : "=r"(position));
    return position;
}

void SetStartedThreadStackTop() noexcept
{
    ChangeRegistry([](TVexlorThreadsList& list) {
        const int index = list.FindByThreadID(::GetCurrentThreadId());
        if (index >= 0) list.GetItem(index)->TopOfStack = static_cast<std::uint32_t>(rtl::CurrentStackTop());
    });
}

bool IsThreadNamingRequest(const rtl::TObject& object) noexcept
{
    const auto* external = dynamic_cast<const rtl::EExternal*>(&object);
    return external != nullptr && external->ExceptionCode() == kThreadNamingCode;
}

// The address the calling thread raised the object at, when its raise state
// still holds that raise.
void* RaiseAddressOf(const rtl::TObject& object) noexcept
{
    const rtl::TThreadExceptState* state = rtl::CurrentExceptState();
    if (state == nullptr || state->LastRaise.Object != dynamic_cast<const void*>(&object)) return nullptr;
    return state->LastRaise.Address;
}

}  // namespace

TVexlorThreadsList* ThreadsList() noexcept
{
    return gThreads.load(std::memory_order_acquire);
}

bool ThreadHooksInstalled() noexcept
{
    return InstalledList() != nullptr;
}

HANDLE WINAPI HookedCreateThread(SECURITY_ATTRIBUTES* attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE startAddress,
                                 void* parameter, DWORD flags, DWORD* threadId) noexcept
{
    const auto realCreateThread = Kernel().CreateThread;
    TVexlorThreadsList* list = InstalledList();
    if (list == nullptr) return realCreateThread(attributes, stackSize, startAddress, parameter, flags, threadId);
    list->PurgeList();
    TVexlorThreadInfo* item = list->NewItem(false);
    if (item == nullptr) return realCreateThread(attributes, stackSize, startAddress, parameter, flags, threadId);
    item->Parameter = parameter;
    DWORD localId = 0;
    if (threadId == nullptr) threadId = &localId;

    // A wrapped start gets a record of its own that holds the routine and its
    // parameter, so that the wrapper runs the routine whether the thread was
    // registered or not. Without memory for the record the start stays as it
    // is: the thread is listed without its stack top and leaves the list at
    // the first purge after its end.
    LPTHREAD_START_ROUTINE start = startAddress;
    void* startParameter = parameter;
    rtl::TThreadStartRecord* beginRecord = nullptr;
    rtl::TThreadStartRecord beginOriginal{};
    rtl::TThreadStartRecord* beginWrapped = nullptr;
    TCreateThreadStart* createWrapped = nullptr;
    bool ownThread = false;
    if (startAddress == &rtl::ThreadStartRoutine && parameter != nullptr) {
        beginRecord = static_cast<rtl::TThreadStartRecord*>(parameter);
        beginOriginal = *beginRecord;
        item->BeginThreadFunction = beginOriginal.FFunction;
        item->Parameter = beginOriginal.FParameter;
        if (beginOriginal.FFunction == rtl::TThread::ThreadProcAddress()) {
            // A thread object: TThread::Start runs once the object is whole,
            // so its final class is known here. Its start is not wrapped:
            // ThreadExecuteWrapper sees it run.
            item->Thread = static_cast<rtl::TThread*>(beginOriginal.FParameter);
            ownThread = IsOwnThreadClass(item->Thread);
        } else if ((beginWrapped = new (std::nothrow) rtl::TThreadStartRecord(beginOriginal)) != nullptr) {
            beginRecord->FFunction = &BeginThreadWrapper;
            beginRecord->FParameter = beginWrapped;
        }
    } else {
        item->CreateThreadFunction = startAddress;
        if ((createWrapped = new (std::nothrow) TCreateThreadStart{startAddress, parameter}) != nullptr) {
            start = &CreateThreadWrapper;
            startParameter = createWrapped;
        }
    }

    // Created suspended, so that it is registered before it runs, but with
    // the caller's other flags (a stack reservation among them).
    const HANDLE handle =
        realCreateThread(attributes, stackSize, start, startParameter, flags | CREATE_SUSPENDED, threadId);
    const DWORD error = ::GetLastError();
    if (handle == nullptr) {
        if (beginWrapped != nullptr) *beginRecord = beginOriginal;  // BeginThread frees its record itself
        delete beginWrapped;
        delete createWrapped;
        FreeItem(item);
        ::SetLastError(error);
        return nullptr;
    }
    if (!ownThread) {
        item->ID = *threadId;
        item->Handle = DuplicateThreadHandle(handle, kThreadItemAccess);
    }
    if (!ownThread && item->Handle != nullptr) {
        ChangeRegistry([&item](TVexlorThreadsList& registry) {
            if (registry.Add(item)) item = nullptr;
        });
    }
    FreeItem(item);  // unless the registry took it
    if ((flags & CREATE_SUSPENDED) == 0) HookedResumeThread(handle);
    ::SetLastError(error);
    return handle;
}

DWORD WINAPI HookedResumeThread(HANDLE thread) noexcept
{
    if (!InsideReportProcessing()) {
        ChangeRegistry([thread](TVexlorThreadsList& list) {
            const int index = list.FindByThreadHandle(thread);
            if (index < 0) return;
            TVexlorThreadInfo& item = *list.GetItem(index);
            item.CallerID = ::GetCurrentThreadId();
            const std::uintptr_t position = CurrentStackPosition();
            TakeCallerStack(item, reinterpret_cast<const void*>(position),
                            static_cast<std::uint32_t>(rtl::CurrentStackTop() - position));
        });
    }
    return Kernel().ResumeThread(thread);
}

void WINAPI HookedExitThread(DWORD exitCode) noexcept
{
    if (TVexlorThreadsList* list = InstalledList()) list->RemoveCurrentThread();
    Kernel().ExitThread(exitCode);
    __builtin_unreachable();
}

void ThreadExecuteWrapper(rtl::TThread& thread, rtl::TThreadExecute execute)
{
    DWORD itemThread = 0;
    ChangeRegistry([&](TVexlorThreadsList& list) {
        const int index = list.FindByThreadObject(&thread);
        if (index < 0) return;
        TVexlorThreadInfo& item = *list.GetItem(index);
        item.TopOfStack = static_cast<std::uint32_t>(rtl::CurrentStackTop());
        item.ExecuteMethod = execute;
        itemThread = item.ID;
    });
    try {
        execute(thread);
    } catch (rtl::TObject& object) {
        // The report runs outside the registry's lock: it takes a snapshot.
        if (itemThread == ::GetCurrentThreadId() && !IsThreadNamingRequest(object))
            ThreadExceptionReport(&object, RaiseAddressOf(object), reinterpret_cast<HMODULE>(&__ImageBase));
        throw;
    }
}

int BeginThreadWrapper(void* startRecord)
{
    auto* record = static_cast<rtl::TThreadStartRecord*>(startRecord);
    const rtl::TThreadStartRecord start = *record;
    delete record;
    SetStartedThreadStackTop();
    return start.FFunction(start.FParameter);
}

DWORD WINAPI CreateThreadWrapper(void* startRecord)
{
    auto* record = static_cast<TCreateThreadStart*>(startRecord);
    const TCreateThreadStart start = *record;
    delete record;
    SetStartedThreadStackTop();
    ::ExitThread(start.FFunction(start.FParameter));
}

bool InstallThreadHooks(const std::vector<std::string>& moduleNames)
{
    const TKernelThreadEntries& kernel = Kernel();
    if (kernel.CreateThread == nullptr) return false;
    TVexlorThreadsList* list = gThreads.load(std::memory_order_acquire);
    if (list == nullptr) {
        list = new TVexlorThreadsList;
        gThreads.store(list, std::memory_order_release);
    }
    if (gInstalled.load(std::memory_order_acquire)) return true;
    {
        rtl::TWriteLockGuard guard(*list);
        list->Clear();
        if (TVexlorThreadInfo* main = list->NewItem(true)) {
            main->ID = ::GetCurrentThreadId();
            main->Handle = DuplicateThreadHandle(::GetCurrentThread(), kThreadItemAccess);
            main->TopOfStack = static_cast<std::uint32_t>(rtl::CurrentStackTop());
        }
        gInstalled.store(true, std::memory_order_release);
    }
    rtl::TThreadExecuteHook noHook = nullptr;
    rtl::ThreadExecuteHook.compare_exchange_strong(noHook, &ThreadExecuteWrapper);

    const std::vector<std::string> modules =
        moduleNames.empty() ? std::vector<std::string>{rtl::ModuleFileNameAnsi()} : moduleNames;
    const struct {
        const char* FName;
        void* FReplacement;
    } patches[] = {
        {"CreateThread", reinterpret_cast<void*>(&HookedCreateThread)},
        {"ResumeThread", reinterpret_cast<void*>(&HookedResumeThread)},
        {"ExitThread", reinterpret_cast<void*>(&HookedExitThread)},
    };
    bool patchedAll = true;
    for (const auto& patch : patches) {
        void* replaced = nullptr;
        if (!TryHookDllProcedureEx(modules, "kernel32.dll", patch.FName, patch.FReplacement, replaced, true))
            patchedAll = false;
    }
    return patchedAll;
}

void RemoveThreadHooks() noexcept
{
    TVexlorThreadsList* list = gThreads.load(std::memory_order_acquire);
    if (list == nullptr) return;
    {
        rtl::TWriteLockGuard guard(*list);
        gInstalled.store(false, std::memory_order_release);
        list->Clear();
    }
    UnhookDllProcedure(reinterpret_cast<void*>(&HookedCreateThread));
    UnhookDllProcedure(reinterpret_cast<void*>(&HookedResumeThread));
    UnhookDllProcedure(reinterpret_cast<void*>(&HookedExitThread));
    rtl::TThreadExecuteHook ours = &ThreadExecuteWrapper;
    rtl::ThreadExecuteHook.compare_exchange_strong(ours, nullptr);
}

}  // namespace crash

using crash::TVexlorThreadInfo;
using crash::TVexlorThreadsList;

void WINAPI VexlorLog_CallCreateThread(const TVexlorThreadInfo* item) noexcept
{
    TVexlorThreadsList* list = crash::InstalledList();
    if (list == nullptr || item == nullptr) return;
    list->PurgeList();
    TVexlorThreadInfo* copy = crash::threads_detail::CopyItem(*item);
    if (copy == nullptr) return;
    crash::ChangeRegistry([&copy](TVexlorThreadsList& registry) {
        if (registry.Add(copy)) copy = nullptr;
    });
    crash::threads_detail::FreeItem(copy);
}

void WINAPI VexlorLog_CallResumeThread(HANDLE thread, const TVexlorThreadInfo* item) noexcept
{
    if (item == nullptr || crash::InsideReportProcessing()) return;
    crash::ChangeRegistry([thread, item](TVexlorThreadsList& registry) {
        const int index = registry.FindByThreadHandle(thread);
        if (index < 0) return;
        TVexlorThreadInfo& own = *registry.GetItem(index);
        crash::threads_detail::AssignItem(own, *item);
        own.IsACopy = true;
    });
}

void WINAPI VexlorLog_CallExitThread() noexcept
{
    if (TVexlorThreadsList* list = crash::InstalledList()) list->RemoveCurrentThread();
}
