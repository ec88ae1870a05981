// The end of a catch block: the report of a handled exception.
#include <exception>

#include "crash/engine/EOptions.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/capture/RaiseState.h"
#include "crash/engine/framework/FrameworkHooks.h"
#include "crash/engine/framework/FrameworkInternal.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "rtl/ExceptHooks.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

// The runtime's end-of-catch point holds the thread's hook depth up while
// this runs, so that its own catches do not come back here. The report runs
// outside that: its handlers' faults must still become exceptions their
// catches take, and the raises they make must be recorded.
class THookDepthLowered {
public:
    explicit THookDepthLowered(rtl::TThreadExceptState* block) noexcept : FBlock(block)
    {
        if (FBlock != nullptr && FBlock->HookDepth > 0) {
            FSaved = FBlock->HookDepth;
            FBlock->HookDepth = 0;
        }
    }
    ~THookDepthLowered()
    {
        if (FBlock != nullptr && FSaved > 0) FBlock->HookDepth = FSaved;
    }
    THookDepthLowered(const THookDepthLowered&) = delete;
    THookDepthLowered& operator=(const THookDepthLowered&) = delete;

private:
    rtl::TThreadExceptState* FBlock;
    LONG FSaved = 0;
};

bool IsThreadNamingRequest(const rtl::TObject* ours) noexcept
{
    const auto* external = ours != nullptr ? dynamic_cast<const rtl::EExternal*>(ours) : nullptr;
    return external != nullptr && external->ExceptionCode() == kThreadNamingCode;
}

bool CatchesHandledExceptions() noexcept
{
    if (!IsVexlorLogInstalled() || !IsVexlorLogActive() || !IsVexlorLogActiveInThread(::GetCurrentThreadId()))
        return false;
    const TVexlorModuleOptions* options = LibraryModuleOptions();
    return options != nullptr && options->BehaviourOptions().Contains(boCatchHandledExceptions);
}

}  // namespace

void CatchHandledException(void* object, const std::type_info* type) noexcept
{
    if (!FrameworkHooksInstalled() || object == nullptr || type == nullptr) return;
    rtl::TThreadExceptState* block = rtl::CurrentExceptState();
    TThreadRaiseState* state = ThreadRaiseStateOf(block);
    // A report worker's catches, those of a thread waiting for its own
    // report (its handlers' calls) and those of the pipeline itself are no
    // application's handling.
    if (state == nullptr || state->IsReportWorker || state->WaitingForReport || state->InNotifyException ||
        state->InProcessException || state->InHandleRaisedException != 0 || state->InCatchHandledException)
        return;
    // A catch block left by a rethrow: the exception goes on. (A catch that
    // ends inside a destructor run by another exception's unwinding is
    // skipped too: that one is on its way.)
    if (std::uncaught_exceptions() > 0) return;
    void* adjusted = object;
    rtl::TObject* ours =
        typeid(rtl::TObject).__do_catch(type, &adjusted, 1) ? static_cast<rtl::TObject*>(adjusted) : nullptr;
    void* address = RaiseAddressOf(object, ours);
    // The one this thread reported last (as unhandled) is not reported again.
    // Types compare by their mangled names: nothing is demangled here.
    if (state->LastType != nullptr && *state->LastType == *type && state->LastAddress == address) return;
    if (IsThreadNamingRequest(ours)) return;
    if (!CatchesHandledExceptions()) return;
    const rtl::TThreadExceptState* raiseBlock = block;
    const bool language = raiseBlock == nullptr || raiseBlock->LastRaise.Object != object ||
                          raiseBlock->LastRaise.Kind != rtl::TRaiseKind::rkFault;
    state->InCatchHandledException = true;
    {
        const THookDepthLowered lowered(block);
        try {
            // No call stack, stack position or top given: the pipeline takes
            // the raw snapshot of this raise when it is still this thread's
            // (read under its lock), else this thread's own stack from the
            // raise's stack position.
            NotifyException(ours != nullptr ? static_cast<void*>(ours) : object, address, language, nullptr, true,
                            aeNone, LibraryModuleHandle(), rtUnknown, nullptr, nullptr, 0, 0,
                            ours != nullptr ? nullptr : type);
        } catch (...) {
        }
    }
    state->InCatchHandledException = false;
}

}  // namespace crash
