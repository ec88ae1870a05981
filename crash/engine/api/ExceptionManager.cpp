// The interface's entries into the pipeline: the exception manager, the
// standard notifications and the HTML report of a foreign exception.
#include <windows.h>

#include <memory>

#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/pipeline/Pipeline.h"

namespace crash {

namespace {

using TExceptionManagerEntry = bool(__stdcall*)(void* Obj, void* Addr, std::uint32_t RaiserType, HMODULE Module);
using TLastNativeExceptionEntry = bool(__stdcall*)();

// The main report lock while the pipeline runs; nothing without it.
class TReportLockScope {
public:
    TReportLockScope() noexcept : FState(PipelineStateOrNull())
    {
        if (FState != nullptr) FState->MainReportLock.Enter();
    }
    ~TReportLockScope()
    {
        if (FState != nullptr) FState->MainReportLock.Leave();
    }
    TReportLockScope(const TReportLockScope&) = delete;
    TReportLockScope& operator=(const TReportLockScope&) = delete;

private:
    TPipelineState* FState;
};

bool IsLastNativeException(void* Addr, void* Obj)
{
    if (const HMODULE module = ModuleHandleByAddr(Addr)) {
        if (const auto entry = reinterpret_cast<TLastNativeExceptionEntry>(
                reinterpret_cast<void*>(::GetProcAddress(module, "VexlorLog_LastNativeException"))))
            return entry();
    }
    return IsLanguageException(Obj);
}

}  // namespace

bool ExceptionManager(void* Obj, void* Addr, TRaiserType RaiserType, HMODULE ModuleHandle)
{
    TReportLockScope lock;
    if (ForwardToHost.load() && MainInstance() != nullptr) {
        if (const auto host = reinterpret_cast<TExceptionManagerEntry>(
                reinterpret_cast<void*>(::GetProcAddress(MainInstance(), "ExceptionManager"))))
            return host(Obj, Addr, RaiserType, LibraryModuleHandle());
    }
    if (!IsVexlorLogInstalled() || !IsVexlorLogActive() || !IsVexlorLogActiveInThread(::GetCurrentThreadId()))
        return true;
    const TLastRaisedException& last = LastRaisedException();
    if (!IsReportableObject(Obj) && !IsReportableObject(last.Object)) return true;
    if (!rtl::IsValidObject(Obj)) {
        Obj = last.Object;
        Addr = reinterpret_cast<void*>(last.Address);
    }
    const bool native = IsLastNativeException(Addr, Obj);
    return NotifyException(Obj, Addr, native, nullptr, false, aeNone, ModuleHandle, RaiserType, nullptr, nullptr, 0, 0);
}

bool StandardVexlorNotify(void* Obj, void* Addr)
{
    if (!IsVexlorLogInstalled()) return false;
    NotifyException(Obj, Addr, IsLanguageException(Obj), nullptr, false, aeNone, LibraryModuleHandle(), rtUnknown,
                    nullptr, nullptr, 0, 0);
    return true;
}

bool ShowLastExceptionData()
{
    return StandardVexlorNotify(GetLastExceptionObject(), GetLastExceptionAddress());
}

bool StandardVexlorError(const std::string& Text)
{
    EVexlorLogGeneralError error(Text);
    return StandardVexlorNotify(&error, nullptr);
}

bool GetVexlorLogHTML(const std::string& ExceptionClass, const std::string& ExceptionMessage,
                      const std::string& CallStackText, std::string& HTML)
{
    if (!IsVexlorLogInstalled()) return false;
    std::unique_ptr<TVexlorStackList> stack = ParseCallStackText(CallStackText);
    void* const address =
        stack->Count() > 0 ? reinterpret_cast<void*>(static_cast<std::uintptr_t>(stack->Items(0)->Addr)) : nullptr;
    TActiveXException error(ExceptionClass, ExceptionMessage);

    // The CPU sections are left out of this report only: the options come
    // back as they were, whatever the report does.
    TVexlorModuleOptions* const options = LibraryModuleOptions();
    const TLogOptions saved = options != nullptr ? options->LogOptions() : TLogOptions();
    if (options != nullptr) {
        TLogOptions reduced = saved;
        reduced.Exclude(loSaveAssemblerAndCPUSections);
        options->SetLogOptions(reduced);
    }
    struct TRestore {
        TVexlorModuleOptions* Options;
        TLogOptions Saved;
        ~TRestore()
        {
            if (Options != nullptr) Options->SetLogOptions(Saved);
            CallForGetLogText = false;
            if (TPipelineState* state = PipelineStateOrNull()) state->CallForGetLogText = false;
        }
    } restore{options, saved};
    CallForGetLogText = true;
    std::string captured;
    {
        TReportLockScope lock;
        TPipelineState* state = PipelineStateOrNull();
        if (state != nullptr) {
            state->CallForGetLogText = true;
            state->CapturedLogText.clear();
        }
        // The pipeline copies the parsed stack's items; the list stays ours.
        NotifyException(&error, address, false, stack.get(), false, aeNone, nullptr, rtWeb, nullptr, nullptr, 0, 0);
        if (state != nullptr) captured = state->CapturedLogText;
    }
    HTML = InterfaceSteps.ReportHTMLPage(std::string(), captured);
    return true;
}

}  // namespace crash
