// The start-up's calls into the pipeline, the thread registry's report and
// the last-resort filter.
#include <windows.h>

#include <atomic>
#include <exception>

#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/capture/Capture.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/engine/startup/LibraryStartup.h"
#include "crash/engine/startup/LibraryStartupLinks.h"
#include "rtl/ExceptHooks.h"

namespace crash {

namespace {

std::atomic<rtl::TUnhandledFilterProc> gPreviousFilter{nullptr};
std::atomic<bool> gLastResortRunning{false};

LONG LastResortStep(EXCEPTION_POINTERS* Pointers) noexcept
{
    return LastResortExceptionFilter(Pointers);
}

// The message of the object the runtime makes of the record; empty when it
// makes none.
std::string RecordMessage(const EXCEPTION_POINTERS& pointers, void*& object, std::exception_ptr& keep)
{
    object = nullptr;
    if (pointers.ExceptionRecord == nullptr || pointers.ContextRecord == nullptr) return {};
    keep = rtl::MapSystemException(*pointers.ExceptionRecord, *pointers.ContextRecord);
    object = rtl::ExceptionPtrObject(keep);
    const auto* exception = dynamic_cast<const rtl::Exception*>(rtl::AsValidTObject(object));
    return exception != nullptr ? exception->Message() : std::string();
}

}  // namespace

namespace detail {

void StartPipeline()
{
    StartExceptionPipeline();
    // The pipeline keeps its own copy of the switches.
    SetVexlorLogInstalled(IsVexlorLogInstalled());
    SetVexlorLogState(IsVexlorLogActive());
}

void StopPipeline() noexcept
{
    StopExceptionPipeline();
}

void CloseGate() noexcept
{
    TPipelineState* state = PipelineStateOrNull();
    if (state != nullptr) state->MainReportLock.Enter();
    SetVexlorLogInstalled(false);
    SetVexlorLogState(false);
    if (state != nullptr) state->MainReportLock.Leave();
}

void InstallFrameworkHooks() noexcept {}

bool ReportThreadException(rtl::TObject* object, void* address, HMODULE module)
{
    return ExceptionManager(object, address, rtUnknown, module);
}

void InstallLastResortFilter() noexcept
{
    gPreviousFilter.store(rtl::UnhandledFilterProc.load());
    rtl::UnhandledFilterProc.store(&LastResortStep);
}

void RemoveLastResortFilter() noexcept
{
    rtl::TUnhandledFilterProc ours = &LastResortStep;
    rtl::UnhandledFilterProc.compare_exchange_strong(ours, gPreviousFilter.load());
    gPreviousFilter.store(nullptr);
}

}  // namespace detail

LONG LastResortExceptionFilter(EXCEPTION_POINTERS* Pointers) noexcept
{
    // The pipeline's filter first: it reports what reaches the top.
    const rtl::TUnhandledFilterProc previous = gPreviousFilter.load();
    const LONG answer = previous != nullptr ? previous(Pointers) : EXCEPTION_CONTINUE_SEARCH;
    if (!IsVexlorLogInstalled() || !IsVexlorLogActive() || Pointers == nullptr || Pointers->ExceptionRecord == nullptr)
        return answer;
    gLastResortRunning.store(true);
    const DWORD code = Pointers->ExceptionRecord->ExceptionCode;
    try {
        void* object = nullptr;
        std::exception_ptr keep;
        const std::string message = RecordMessage(*Pointers, object, keep);
        const TPipelineState* state = PipelineStateOrNull();
        // What the pipeline's filter has just reported is not reported again.
        const bool reported = state != nullptr && state->LastExceptionMessage == message;
        if (!reported && object != nullptr) StandardVexlorNotify(object, Pointers->ExceptionRecord->ExceptionAddress);
    } catch (...) {
        // No memory for the object or its report: the process ends all the same.
    }
    ::TerminateProcess(::GetCurrentProcess(), code);
    return answer;
}

}  // namespace crash

namespace crash {

std::vector<TImportPatch>& PipelineImportPatches() noexcept
{
    // The pipeline's replacements, in the order they are patched; one still
    // null is skipped. The top-level filter is the runtime's point
    // (rtl::UnhandledFilterProc): the system calls the filter from inside,
    // so an import patch of it would never run.
    static std::vector<TImportPatch> patches = {
        {"RaiseException", reinterpret_cast<void*>(&HookedRaise), nullptr},
        {"RtlUnwind", reinterpret_cast<void*>(&VexlorHookedRtlUnwind), nullptr},
        {"WriteFile", reinterpret_cast<void*>(&HookedWriteFile), nullptr},
        {"UnhandledExceptionFilter", nullptr, nullptr},
    };
    return patches;
}

}  // namespace crash
