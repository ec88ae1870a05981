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

using TExceptionManagerEntry = bool(__stdcall*)(void* obj, void* addr, std::uint32_t raiserType, HMODULE module);
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

bool IsLastNativeException(void* addr, void* obj)
{
    if (const HMODULE module = ModuleHandleByAddr(addr)) {
        if (const auto entry = reinterpret_cast<TLastNativeExceptionEntry>(
                reinterpret_cast<void*>(::GetProcAddress(module, "VexlorLog_LastNativeException"))))
            return entry();
    }
    return IsLanguageException(obj);
}

}  // namespace

bool ExceptionManager(void* obj, void* addr, TRaiserType raiserType, HMODULE moduleHandle)
{
    TReportLockScope lock;
    if (ForwardToHost.load() && MainInstance() != nullptr) {
        if (const auto host = reinterpret_cast<TExceptionManagerEntry>(
                reinterpret_cast<void*>(::GetProcAddress(MainInstance(), "ExceptionManager"))))
            return host(obj, addr, raiserType, LibraryModuleHandle());
    }
    if (!IsVexlorLogInstalled() || !IsVexlorLogActive() || !IsVexlorLogActiveInThread(::GetCurrentThreadId()))
        return true;
    const TLastRaisedException& last = LastRaisedException();
    if (!IsReportableObject(obj) && !IsReportableObject(last.Object)) return true;
    if (!rtl::IsValidObject(obj)) {
        obj = last.Object;
        addr = reinterpret_cast<void*>(last.Address);
    }
    const bool native = IsLastNativeException(addr, obj);
    return NotifyException(obj, addr, native, nullptr, false, aeNone, moduleHandle, raiserType, nullptr, nullptr, 0, 0);
}

bool StandardVexlorNotify(void* obj, void* addr)
{
    if (!IsVexlorLogInstalled()) return false;
    NotifyException(obj, addr, IsLanguageException(obj), nullptr, false, aeNone, LibraryModuleHandle(), rtUnknown,
                    nullptr, nullptr, 0, 0);
    return true;
}

bool ShowLastExceptionData()
{
    return StandardVexlorNotify(GetLastExceptionObject(), GetLastExceptionAddress());
}

bool StandardVexlorError(const std::string& text)
{
    EVexlorLogGeneralError error(text);
    return StandardVexlorNotify(&error, nullptr);
}

bool GetVexlorLogHTML(const std::string& exceptionClass, const std::string& exceptionMessage,
                      const std::string& callStackText, std::string& html)
{
    if (!IsVexlorLogInstalled()) return false;
    std::unique_ptr<TVexlorStackList> stack = ParseCallStackText(callStackText);
    void* const address =
        stack->Count() > 0 ? reinterpret_cast<void*>(static_cast<std::uintptr_t>(stack->Items(0)->Addr)) : nullptr;
    TActiveXException error(exceptionClass, exceptionMessage);

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
    html = InterfaceSteps.ReportHTMLPage(std::string(), captured);
    return true;
}

}  // namespace crash
