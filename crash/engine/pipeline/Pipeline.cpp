// The pipeline's entry: its state, NotifyException, the report worker and the
// raising thread's wait, which serves the call slot.
#include "crash/engine/pipeline/Pipeline.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "crash/engine/EDebugData.h"
#include "crash/engine/capture/Capture.h"
#include "crash/engine/capture/RaiseState.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/pipeline/PipelineInternal.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/engine/threads/ThreadRegistry.h"
#include "rtl/Classes.h"

namespace crash {
namespace {

std::unique_ptr<TPipelineState> GState;
// The raise state of the thread whose report runs.
TThreadRaiseState* gRaisingThreadState = nullptr;

constexpr char kSafeCallPrefix[] = "[SafeCall Exception]: ";

// The options of this module's record, null without data.
const TVexlorModuleOptions* OwnModuleOptions()
{
    const TVexlorModuleInfo* module = ModuleInfoByHandle(LibraryModuleHandle());
    return module != nullptr ? module->ExtraInformation.Options.get() : nullptr;
}

bool IsStackOverflowObject(const void* object) noexcept
{
    const rtl::TObject* valid = rtl::AsValidTObject(object);
    return valid != nullptr && dynamic_cast<const rtl::EStackOverflow*>(valid) != nullptr;
}

bool IsAbortObject(const void* object) noexcept
{
    const rtl::TObject* valid = rtl::AsValidTObject(object);
    return valid != nullptr && dynamic_cast<const rtl::EAbort*>(valid) != nullptr;
}

// The class name and text of the window with the keyboard focus.
constexpr UINT kFocusedTextTimeoutMs = 500;

void ReadFocusedControl(TExceptNotifyParams& params)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(0, &info)) return;
    const HWND focus = UserWindowOrNone(info.hwndFocus);
    if (focus == nullptr) return;
    char name[256] = {};
    ::GetClassNameA(focus, name, sizeof name);
    params.ActiveControlClass = name;
    std::string upper = params.ActiveControlClass;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const LONG style = ::GetWindowLongA(focus, GWL_STYLE);
    const bool edit = upper.find("EDIT") != std::string::npos;
    const bool multiLine = (edit || upper.find("MEMO") != std::string::npos) && (style & ES_MULTILINE) != 0;
    if (::IsWindowUnicode(focus) || multiLine) return;
    char text[256] = {};
    if (::GetWindowThreadProcessId(focus, nullptr) == ::GetCurrentThreadId()) {
        ::GetWindowTextA(focus, text, sizeof text);
    } else {
        // The window's thread may be the one that is stopped or waiting for
        // this report: a plain WM_GETTEXT would wait for it forever.
        DWORD_PTR copied = 0;
        if (::SendMessageTimeoutA(focus, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                                  SMTO_ABORTIFHUNG | SMTO_BLOCK, kFocusedTextTimeoutMs, &copied) == 0)
            text[0] = '\0';
        text[sizeof text - 1] = '\0';
    }
    params.ActiveControlText = text;
    if (edit && (style & ES_PASSWORD) != 0)
        for (char& c : params.ActiveControlText) c = '*';
}

}  // namespace

// ---- State ----

TPipelineState* PipelineStateOrNull() noexcept
{
    return GState.get();
}

TPipelineState& PipelineState() noexcept
{
    return *GState;
}

void SetReportText(std::string text)
{
    TPipelineState& state = PipelineState();
    state.ReportText = std::move(text);
    state.LogTextStore = state.ReportText;
    state.Record.LogText = state.LogTextStore.data();
    state.Record.LogTextLength = static_cast<std::uint32_t>(state.LogTextStore.size());
}

namespace pipeline {

TThreadRaiseState* RaisingThreadState() noexcept
{
    return gRaisingThreadState;
}

}  // namespace pipeline

void StartExceptionPipeline()
{
    if (GState) return;
    auto state = std::make_unique<TPipelineState>();
    state->Options = TVexlorModuleOptions::Create(std::string());
    CreateModuleLists();
    InitStackSnapshot();
    // In force only in a module that carries its data block.
    state->Installed = IsVexlorLogModule(LibraryModuleHandle());
    InsideReportProcessing.Set([]() -> bool {
        const TThreadRaiseState* raise = ThreadRaiseState();
        return raise != nullptr && (raise->IsReportWorker || raise->InProcessException);
    });
    // An exception leaving a thread object's Execute is reported where the
    // thread catches it, after unwinding; the rethrow that follows is the
    // same exception and is not reported again.
    ThreadExceptionReport.Set([](rtl::TObject* object, void* address, HMODULE module) -> bool {
        if (!TakeThreadExceptionReport(object)) return true;
        return NotifyException(object, address, true, nullptr, false, aeNone, module, rtUnknown, nullptr, nullptr, 0,
                               0);
    });
    PasswordRequestCall.Set([](TPasswordRequestEvent request, unsigned char* password, std::int32_t maxLength) {
        CallInMainThread([=] { request(password, maxLength); });
    });
    GState = std::move(state);
    InstallCaptureHooks();
}

void StopExceptionPipeline() noexcept
{
    if (!GState) return;
    GState->Installed.store(false);
    RemoveCaptureHooks();
    PasswordRequestCall.Set(nullptr);
    {
        // A report in progress ends first.
        rtl::TCriticalSectionLock hold(GState->MainReportLock);
    }
    SetCurrentExceptionRecord(nullptr);
    // Retired, not freed: a thread that read the state before this stop may
    // still be waiting for its report lock; it finds the state no longer
    // installed and leaves. Only the state of the stop before is freed.
    static std::unique_ptr<TPipelineState> retired;
    retired = std::move(GState);
}

bool IsExceptionPipelineStarted() noexcept
{
    return GState != nullptr;
}

bool IsReportWorkerThread() noexcept
{
    const TThreadRaiseState* state = ThreadRaiseState();
    return state != nullptr && state->IsReportWorker;
}

// ---- The report worker ----

class TExceptionThread : public rtl::TThread {
public:
    TExceptionThread(void* obj, void* addr, bool nativeException, TExceptNotifyParams& params, TRaiserType raiserType,
                     HMODULE moduleHandle, TAsynchronousException asynchronousException,
                     const std::string& foreignClassName)
        : FObj(obj),
          FAddr(addr),
          FNativeException(nativeException),
          FParams(params),
          FRaiserType(raiserType),
          FModuleHandle(moduleHandle),
          FAsynchronousException(asynchronousException),
          FForeignClassName(foreignClassName)
    {
        // What the caller left empty, from the raising thread (this one).
        if (FParams.TopOfStack == 0) FParams.TopOfStack = static_cast<std::uint32_t>(rtl::CurrentStackTop());
        TThreadRaiseState* raise = ThreadRaiseState();
        if (raise != nullptr) {
            if (FParams.StackPoint == 0) FParams.StackPoint = raise->StackPointerAtRaise;
            if (FParams.Context == nullptr && raise->Context.ContextFlags != 0) FParams.Context = &raise->Context;
            if (FParams.ExceptionRecord == nullptr && raise->ExceptionRecord.ExceptionCode != 0)
                FParams.ExceptionRecord = &raise->ExceptionRecord;
        }
        SetPriority(THREAD_PRIORITY_HIGHEST);
        Start();
    }
    ~TExceptionThread() override { WaitFor(); }

    bool Executing() const noexcept { return FExecuting.load(std::memory_order_acquire); }
    bool Result() const noexcept { return FResult; }

protected:
    void Execute() override
    {
        // Marked before anything can raise here: this thread's raises record
        // nothing and enter no pipeline.
        if (TThreadRaiseState* raise = ThreadRaiseState()) raise->IsReportWorker = true;
        try {
            FResult = pipeline::ProcessException(FObj, FAddr, FNativeException, FAsynchronousException, FModuleHandle,
                                                 FRaiserType, FParams, FForeignClassName);
        } catch (...) {}
        FExecuting.store(false, std::memory_order_release);
    }

private:
    std::atomic<bool> FExecuting{true};
    bool FResult = false;
    void* FObj;
    void* FAddr;
    bool FNativeException;
    TExceptNotifyParams FParams;
    TRaiserType FRaiserType;
    HMODULE FModuleHandle;
    TAsynchronousException FAsynchronousException;
    std::string FForeignClassName;
};

// At most 11 messages; input is refused with a beep, WM_QUIT dropped.
void PumpWaitMessages(bool& pumpAllowed) noexcept
{
    try {
        MSG message;
        for (int i = 0; i < 11 && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
            const UINT id = message.message;
            if (id == WM_QUIT) continue;
            if ((id >= 0xA1 && id <= 0xA9) || (id >= 0x100 && id <= 0x102) || (id >= 0x104 && id <= 0x106) ||
                (id >= 0x201 && id <= 0x209)) {
                ::MessageBeep(0);
                continue;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    } catch (...) {
        pumpAllowed = false;
    }
}

void ClearRaiseState() noexcept
{
    TLastRaisedException& last = LastRaisedException();
    last.CurrentObject = nullptr;
    last.CurrentAddress = 0;
    last.IsLanguageRaise = false;
    if (TThreadRaiseState* raise = ThreadRaiseState()) {
        raise->StackPointerAtRaise = 0;
        raise->Context.ContextFlags = 0;
        std::memset(&raise->ExceptionRecord, 0, sizeof raise->ExceptionRecord);
    }
    SetCurrentExceptionRecord(nullptr);
}

namespace {

// The raising thread's wait: the call slot is served with the hook depth at
// 0, so that a fault in a handler becomes an exception there instead of
// ending the process.
bool WaitForReport(TExceptionThread& worker, bool pumpAllowed)
{
    TThreadRaiseState* raise = ThreadRaiseState();
    rtl::TThreadExceptState* block = rtl::CurrentExceptState();
    const bool mainThread = ::GetCurrentThreadId() == rtl::MainThreadID();
    if (raise != nullptr) raise->WaitingForReport = true;
    try {
        while (worker.Executing()) {
            if (mainThread && pumpAllowed && PipelineState().CrashDialogUp.load()) PumpWaitMessages(pumpAllowed);
            const LONG depth = block != nullptr ? block->HookDepth : 0;
            if (block != nullptr) block->HookDepth = 0;
            ServeMainThreadCall();
            if (block != nullptr) block->HookDepth = depth;
            ::Sleep(10);
        }
    } catch (...) {
        ::TerminateThread(worker.Handle(), 1);
    }
    ::WaitForSingleObject(worker.Handle(), INFINITE);
    if (raise != nullptr) raise->WaitingForReport = false;
    return worker.Result();
}

}  // namespace

// ---- The entry ----

bool NotifyException(void* obj, void* addr, bool nativeException, TVexlorStackList* callStack, bool handled,
                     TAsynchronousException asynchronousException, HMODULE moduleHandle, TRaiserType raiserType,
                     EXCEPTION_RECORD* exceptionRecord, CONTEXT* context, std::uint32_t stackPoint,
                     std::uint32_t topOfStack, const std::type_info* foreignType)
{
    bool result = true;
    TPipelineState* state = PipelineStateOrNull();
    if (state == nullptr || !state->Installed.load()) return result;
    TThreadRaiseState* raise = ThreadRaiseState();
    // A report worker enters no pipeline: its raising thread holds the lock.
    if (raise != nullptr && raise->IsReportWorker) return result;
    if (foreignType == nullptr && IsAbortObject(obj)) return result;
    // A stand-in for an object of no class of ours.
    std::unique_ptr<rtl::Exception> standIn;
    std::string foreignClass;
    if (foreignType != nullptr) {
        foreignClass = rtl::ExceptionClassName(foreignType);
        standIn = std::make_unique<rtl::Exception>(rtl::ExceptionMessage(obj, foreignType));
        obj = standIn.get();
    }
    const TVexlorModuleOptions* own = OwnModuleOptions();
    bool pumpAllowed = !IsStackOverflowObject(obj);
    if (own != nullptr && own->BehaviourOptions().Contains(boPauseBorlandThreads) &&
        !own->BehaviourOptions().Contains(boDoNotPauseMainThread))
        pumpAllowed = false;
    rtl::TCriticalSectionLock hold(state->MainReportLock);
    // The pipeline may have stopped while this thread waited for the lock.
    if (!state->Installed.load()) return result;
    if (raise != nullptr && raise->InNotifyException) return false;
    struct TGuard {
        TThreadRaiseState* FState;
        ~TGuard()
        {
            if (FState != nullptr) FState->InNotifyException = false;
        }
    } guard{raise};
    if (raise != nullptr) raise->InNotifyException = true;
    // Reported inside the safecall method already.
    if (own != nullptr && !own->BehaviourOptions().Contains(boHandleSafeCallExceptions)) {
        const rtl::TObject* valid = rtl::AsValidTObject(obj);
        const auto* exception = valid != nullptr ? dynamic_cast<const rtl::Exception*>(valid) : nullptr;
        if (exception != nullptr && exception->Message().rfind(kSafeCallPrefix, 0) == 0) return false;
    }
    if (own == nullptr || !own->Active()) return true;

    TExceptNotifyParams params;
    params.Handled = handled;
    params.Context = context;
    params.ExceptionRecord = exceptionRecord;
    params.CallStack = callStack;
    if (topOfStack != 0)
        params.TopOfStack = topOfStack;
    else if (raise != nullptr && raise->OwnStackTop != 0)
        params.TopOfStack = raise->OwnStackTop;
    else
        params.TopOfStack = static_cast<std::uint32_t>(rtl::CurrentStackTop());
    if (stackPoint != 0)
        params.StackPoint = stackPoint;
    else if (raise != nullptr)
        params.StackPoint = raise->Context.ContextFlags != 0 ? raise->Context.Esp : raise->StackPointerAtRaise;
    params.ThreadID =
        raise != nullptr && raise->ReportedThreadID != 0 ? raise->ReportedThreadID : ::GetCurrentThreadId();
    try {
        ReadFocusedControl(params);
    } catch (...) {}
    if (!handled && raise != nullptr) {
        const std::string name = foreignClass.empty() ? rtl::SafeClassName(obj) : foreignClass;
        const std::size_t length = std::min(name.size(), kMaxClassNameLength);
        std::memcpy(raise->LastClassName, name.data(), length);
        raise->LastClassName[length] = '\0';
        raise->LastAddress = addr;
        const rtl::TObject* valid = foreignType == nullptr ? rtl::AsValidTObject(obj) : nullptr;
        raise->LastType = foreignType != nullptr ? foreignType : valid != nullptr ? &typeid(*valid) : nullptr;
    }
    gRaisingThreadState = raise;
    if (IsLibraryModule(LibraryModuleHandle()) && addr == nullptr) {
        state->RaisingThreadMode = true;
        try {
            result = pipeline::ProcessException(obj, addr, nativeException, asynchronousException, moduleHandle,
                                                raiserType, params, foreignClass);
        } catch (...) {}
    } else {
        state->RaisingThreadMode = false;
        try {
            TExceptionThread worker(obj, addr, nativeException, params, raiserType, moduleHandle, asynchronousException,
                                    foreignClass);
            result = WaitForReport(worker, pumpAllowed);
        } catch (...) {}
    }
    gRaisingThreadState = nullptr;
    ClearRaiseState();
    if (asynchronousException == aeSafeCall) {
        if (auto* exception = dynamic_cast<rtl::Exception*>(const_cast<rtl::TObject*>(rtl::AsValidTObject(obj)))) {
            if (exception->Message().find(kSafeCallPrefix) == std::string::npos)
                exception->SetMessage(kSafeCallPrefix + exception->Message());
        }
    }
    return result;
}

}  // namespace crash
