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

void __stdcall SetVexlorLogState(bool active) noexcept
{
    crash::SetVexlorLogState(active);
}

bool __stdcall IsVexlorLogActiveInThread(DWORD threadId) noexcept
{
    return crash::IsVexlorLogActiveInThread(threadId);
}

void __stdcall SetVexlorLogInThread(DWORD threadId, bool activate) noexcept
{
    try {
        crash::SetVexlorLogInThread(threadId, activate);
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

TVexlorStackList* __stdcall GetCallStackByLevels(std::int32_t startLevel, std::int32_t levelsNumber) noexcept
{
    return Released(crash::GetCallStackByLevels(startLevel, levelsNumber));
}

TVexlorStackList* __stdcall GetLastExceptionCallStack() noexcept
{
    return Released(crash::GetLastExceptionCallStack());
}

void __stdcall FreeVexlorStackList(TVexlorStackList* callStack) noexcept
{
    delete callStack;
}

void __stdcall CallStackToStrings(const TVexlorStackList* callStack, IVexlorStrings* strings) noexcept
{
    if (callStack == nullptr || strings == nullptr) return;
    try {
        std::vector<std::string> lines;
        crash::CallStackToStrings(*callStack, lines);
        for (const std::string& line : lines) strings->Add(line.data(), static_cast<std::uint32_t>(line.size()));
    } catch (...) {
        // No memory: the lines made so far stay.
    }
}

void __stdcall SetMetadataFilePath(const char* path) noexcept
{
    try {
        crash::SetMetadataFilePath(path != nullptr ? path : "");
    } catch (...) {}
}

bool __stdcall ForceApplicationTermination(std::uint32_t operation) noexcept
{
    if (operation > tbRestart) return false;
    try {
        return crash::ForceApplicationTermination(static_cast<TTerminateBtnOperation>(operation));
    } catch (...) {
        return false;
    }
}

bool __stdcall GetCompilationDate(HMODULE module, bool localTime, double* date) noexcept
{
    if (date == nullptr) return false;
    try {
        return crash::GetCompilationDate(module, localTime, *date);
    } catch (...) {
        return false;
    }
}

bool __stdcall VexlorLog_LastNativeException() noexcept
{
    return LastRaisedException().IsLanguageRaise;
}

bool __stdcall ExceptionManager(void* obj, void* addr, std::uint32_t raiserType, HMODULE moduleHandle) noexcept
{
    if (raiserType > rtWeb) raiserType = rtUnknown;
    try {
        return crash::ExceptionManager(obj, addr, static_cast<TRaiserType>(raiserType), moduleHandle);
    } catch (...) {
        return true;
    }
}

bool __stdcall StandardVexlorNotify(void* obj, void* addr) noexcept
{
    try {
        return crash::StandardVexlorNotify(obj, addr);
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

bool __stdcall StandardVexlorError(const char* text) noexcept
{
    try {
        return crash::StandardVexlorError(text != nullptr ? text : "");
    } catch (...) {
        return false;
    }
}

bool __stdcall GetVexlorLogHTML(const char* exceptionClass, const char* exceptionMessage, const char* callStackText,
                                IVexlorStrings* html) noexcept
{
    try {
        std::string page;
        if (!crash::GetVexlorLogHTML(exceptionClass != nullptr ? exceptionClass : "",
                                     exceptionMessage != nullptr ? exceptionMessage : "",
                                     callStackText != nullptr ? callStackText : "", page))
            return false;
        if (html != nullptr) html->Add(page.data(), static_cast<std::uint32_t>(page.size()));
        return true;
    } catch (...) {
        return false;
    }
}

char* __stdcall FastMM_LogStackTrace(const std::uint32_t* returnAddresses, std::int32_t maxDepth, char* buffer,
                                     bool acceptProcedures, bool acceptUnits, bool showOffsetLine) noexcept
{
    if (buffer == nullptr) return buffer;
    try {
        return crash::LogStackTrace(returnAddresses, maxDepth > 0 ? static_cast<std::uint32_t>(maxDepth) : 0, buffer,
                                    acceptProcedures, acceptUnits, showOffsetLine);
    } catch (...) {
        return buffer;
    }
}

void __stdcall VexlorLog_CallGeneralRaise(DWORD code, DWORD flags, DWORD argCount, std::uint32_t hookStackPointer,
                                          const ULONG_PTR* args) noexcept
{
    crash::CallGeneralRaise(code, flags, argCount, hookStackPointer, args);
}

void* __stdcall VexlorLog_CallExceptObject(const EXCEPTION_RECORD* record, const CONTEXT* context,
                                           bool /*Flag*/) noexcept
{
    return KeptObject(crash::CallExceptObject(record, context));
}

}  // extern "C"

}  // namespace crash::exports
