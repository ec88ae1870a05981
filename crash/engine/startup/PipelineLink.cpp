// The start-up's calls into the pipeline, the thread registry's report and
// the last-resort filter.
#include <windows.h>

#include <atomic>
#include <exception>

#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/capture/Capture.h"
#include "crash/engine/framework/FrameworkHooks.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/engine/startup/LibraryStartup.h"
#include "crash/engine/startup/LibraryStartupLinks.h"
#include "rtl/CheckedMemory.h"
#include "rtl/ExceptHooks.h"

namespace crash {

namespace {

std::atomic<rtl::TUnhandledFilterProc> gPreviousFilter{nullptr};
std::atomic<bool> gLastResortRunning{false};

LONG LastResortStep(EXCEPTION_POINTERS* pointers) noexcept
{
    return LastResortExceptionFilter(pointers);
}

// The object the runtime makes of the system's record (a copy); null when it
// makes none of our classes.
void* RecordObject(const EXCEPTION_RECORD& record, const CONTEXT& context, std::exception_ptr& keep)
{
    keep = rtl::MapSystemException(record, context);
    void* object = rtl::ExceptionPtrObject(keep);
    return rtl::AsValidTObject(object) != nullptr ? object : nullptr;
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

void InstallFrameworkHooks() noexcept
{
    crash::InstallFrameworkHooks();
}

void RemoveFrameworkHooks() noexcept
{
    crash::RemoveFrameworkHooks();
}

bool ReportThreadException(rtl::TObject* object, void* address, HMODULE module)
{
    if (!TakeThreadExceptionReport(object)) return true;
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

LONG LastResortExceptionFilter(EXCEPTION_POINTERS* pointers) noexcept
{
    // The pipeline's filter first: it reports what reaches the top.
    const rtl::TUnhandledFilterProc previous = gPreviousFilter.load();
    const LONG answer = previous != nullptr ? previous(pointers) : EXCEPTION_CONTINUE_SEARCH;
    if (!IsVexlorLogInstalled() || !IsVexlorLogActive()) return answer;
    // The filter's argument comes from whoever raised: only checked copies
    // of it are read.
    EXCEPTION_POINTERS copied{};
    EXCEPTION_RECORD record{};
    if (!rtl::ReadValue(pointers, copied) || !rtl::ReadValue(copied.ExceptionRecord, record)) return answer;
    record.ExceptionRecord = nullptr;
    // An unreadable context stays empty: the object is made of the record.
    CONTEXT context{};
    rtl::ReadValue(copied.ContextRecord, context);
    gLastResortRunning.store(true);
    // The fault the pipeline's filter has just reported, known by its
    // record, is not reported again.
    if (!IsFilterReportedRecord(copied.ExceptionRecord)) {
        try {
            std::exception_ptr keep;
            if (void* object = RecordObject(record, context, keep))
                StandardVexlorNotify(object, record.ExceptionAddress);
        } catch (...) {
            // No memory for the object or its report: the process ends all the same.
        }
    }
    ::TerminateProcess(::GetCurrentProcess(), record.ExceptionCode);
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
