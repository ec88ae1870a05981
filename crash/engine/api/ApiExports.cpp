// The exported entries of the public interface.
#include "crash/engine/api/ApiExports.h"

#include <string>
#include <vector>

#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/capture/Capture.h"
#include "crash/engine/errors/InternalErrors.h"
#include "rtl/SyncObjs.h"

namespace crash::exports {

namespace {

// Keeps the text an entry answers by pointer until the next call.
const char* KeptText(std::string text)
{
    static rtl::TCriticalSection lock;
    static std::string kept;
    rtl::TCriticalSectionLock hold(lock);
    kept = std::move(text);
    return kept.c_str();
}

// Keeps the exception object an entry answers until the next call.
void* KeptObject(std::exception_ptr error) noexcept
{
    static rtl::TCriticalSection lock;
    static std::exception_ptr kept;
    rtl::TCriticalSectionLock hold(lock);
    kept = std::move(error);
    return rtl::ExceptionPtrObject(kept);
}

TVexlorStackList* Released(std::unique_ptr<TVexlorStackList> list) noexcept
{
    return list.release();
}

}  // namespace

extern "C" {

bool __stdcall IsVexlorLogInstalled() noexcept
{
    return crash::IsVexlorLogInstalled();
}

bool __stdcall IsVexlorLogActive() noexcept
{
    return crash::IsVexlorLogActive();
}

void __stdcall SetVexlorLogState(bool Active) noexcept
{
    crash::SetVexlorLogState(Active);
}

bool __stdcall IsVexlorLogActiveInThread(DWORD ThreadID) noexcept
{
    return crash::IsVexlorLogActiveInThread(ThreadID);
}

void __stdcall SetVexlorLogInThread(DWORD ThreadID, bool Activate) noexcept
{
    try {
        crash::SetVexlorLogInThread(ThreadID, Activate);
    } catch (...) {
        // No memory for the list: the thread stays as it was.
    }
}

TVexlorModuleOptions* __stdcall CurrentVexlorLogOptions() noexcept
{
    return crash::LibraryModuleOptions();
}

TVexlorModuleOptions* __stdcall DotNetVexlorLogOptions() noexcept
{
    try {
        return crash::DotNetVexlorLogOptions();
    } catch (...) {
        return nullptr;
    }
}

rtl::TObject* __stdcall GetLastExceptionObject() noexcept
{
    return crash::GetLastExceptionObject();
}

void* __stdcall GetLastExceptionAddress() noexcept
{
    return crash::GetLastExceptionAddress();
}

std::uint32_t __stdcall GetLastVexlorLogErrorCode() noexcept
{
    return crash::GetLastVexlorLogErrorCode();
}

const char* __stdcall GetLastVexlorLogErrorMsg() noexcept
{
    try {
        return KeptText(crash::GetLastVexlorLogErrorMsg());
    } catch (...) {
        return "";
    }
}

TVexlorStackList* __stdcall GetCurrentCallStack() noexcept
{
    return Released(crash::GetCurrentCallStack());
}

TVexlorStackList* __stdcall GetCallStackByLevels(std::int32_t StartLevel, std::int32_t LevelsNumber) noexcept
{
    return Released(crash::GetCallStackByLevels(StartLevel, LevelsNumber));
}

TVexlorStackList* __stdcall GetLastExceptionCallStack() noexcept
{
    return Released(crash::GetLastExceptionCallStack());
}

void __stdcall FreeVexlorStackList(TVexlorStackList* CallStack) noexcept
{
    delete CallStack;
}

void __stdcall CallStackToStrings(const TVexlorStackList* CallStack, IVexlorStrings* Strings) noexcept
{
    if (CallStack == nullptr || Strings == nullptr) return;
    try {
        std::vector<std::string> lines;
        crash::CallStackToStrings(*CallStack, lines);
        for (const std::string& line : lines) Strings->Add(line.data(), static_cast<std::uint32_t>(line.size()));
    } catch (...) {
        // No memory: the lines made so far stay.
    }
}

void __stdcall SetMetadataFilePath(const char* Path) noexcept
{
    try {
        crash::SetMetadataFilePath(Path != nullptr ? Path : "");
    } catch (...) {}
}

bool __stdcall ForceApplicationTermination(std::uint32_t Operation) noexcept
{
    if (Operation > tbRestart) return false;
    try {
        return crash::ForceApplicationTermination(static_cast<TTerminateBtnOperation>(Operation));
    } catch (...) {
        return false;
    }
}

bool __stdcall GetCompilationDate(HMODULE Module, bool LocalTime, double* Date) noexcept
{
    if (Date == nullptr) return false;
    try {
        return crash::GetCompilationDate(Module, LocalTime, *Date);
    } catch (...) {
        return false;
    }
}

bool __stdcall VexlorLog_LastNativeException() noexcept
{
    return LastRaisedException().IsLanguageRaise;
}

bool __stdcall ExceptionManager(void* Obj, void* Addr, std::uint32_t RaiserType, HMODULE ModuleHandle) noexcept
{
    if (RaiserType > rtWeb) RaiserType = rtUnknown;
    try {
        return crash::ExceptionManager(Obj, Addr, static_cast<TRaiserType>(RaiserType), ModuleHandle);
    } catch (...) {
        return true;
    }
}

bool __stdcall StandardVexlorNotify(void* Obj, void* Addr) noexcept
{
    try {
        return crash::StandardVexlorNotify(Obj, Addr);
    } catch (...) {
        return false;
    }
}

bool __stdcall ShowLastExceptionData() noexcept
{
    try {
        return crash::ShowLastExceptionData();
    } catch (...) {
        return false;
    }
}

bool __stdcall StandardVexlorError(const char* Text) noexcept
{
    try {
        return crash::StandardVexlorError(Text != nullptr ? Text : "");
    } catch (...) {
        return false;
    }
}

bool __stdcall GetVexlorLogHTML(const char* ExceptionClass, const char* ExceptionMessage, const char* CallStackText,
                                IVexlorStrings* HTML) noexcept
{
    try {
        std::string page;
        if (!crash::GetVexlorLogHTML(ExceptionClass != nullptr ? ExceptionClass : "",
                                     ExceptionMessage != nullptr ? ExceptionMessage : "",
                                     CallStackText != nullptr ? CallStackText : "", page))
            return false;
        if (HTML != nullptr) HTML->Add(page.data(), static_cast<std::uint32_t>(page.size()));
        return true;
    } catch (...) {
        return false;
    }
}

char* __stdcall FastMM_LogStackTrace(const std::uint32_t* ReturnAddresses, std::int32_t MaxDepth, char* Buffer,
                                     bool AcceptProcedures, bool AcceptUnits, bool ShowOffsetLine) noexcept
{
    if (Buffer == nullptr) return Buffer;
    try {
        return crash::LogStackTrace(ReturnAddresses, MaxDepth > 0 ? static_cast<std::uint32_t>(MaxDepth) : 0, Buffer,
                                    AcceptProcedures, AcceptUnits, ShowOffsetLine);
    } catch (...) {
        return Buffer;
    }
}

void __stdcall VexlorLog_CallGeneralRaise(DWORD Code, DWORD Flags, DWORD ArgCount, std::uint32_t HookStackPointer,
                                          const ULONG_PTR* Args) noexcept
{
    crash::CallGeneralRaise(Code, Flags, ArgCount, HookStackPointer, Args);
}

void* __stdcall VexlorLog_CallExceptObject(const EXCEPTION_RECORD* Record, const CONTEXT* Context,
                                           bool /*Flag*/) noexcept
{
    return KeptObject(crash::CallExceptObject(Record, Context));
}

}  // extern "C"

}  // namespace crash::exports
