// The public interface as the program exports it (VexlorLogApi.def, linked
// with --kill-at): __stdcall entries with C arguments, so that a module with
// its own copy of the library, or one in another language, can call them by
// name. No exception leaves an entry: where the C++ function raises (the
// options' assertions) the entry answers null.
//
// Lists and texts cross as the events' do: an IVexlorStrings the caller lends.
// A stack list is this module's object; the caller frees it with
// FreeVexlorStackList. Texts answered by pointer stay valid until the next
// call of the same entry in any thread.
#pragma once
#include <windows.h>

#include <cstdint>

#include "crash/engine/EOptions.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/stack/CallStack.h"

namespace crash::exports {

extern "C" {

bool __stdcall IsVexlorLogInstalled() noexcept;
bool __stdcall IsVexlorLogActive() noexcept;
void __stdcall SetVexlorLogState(bool active) noexcept;
bool __stdcall IsVexlorLogActiveInThread(DWORD threadId) noexcept;
void __stdcall SetVexlorLogInThread(DWORD threadId, bool activate) noexcept;
TVexlorModuleOptions* __stdcall CurrentVexlorLogOptions() noexcept;
TVexlorModuleOptions* __stdcall DotNetVexlorLogOptions() noexcept;
rtl::TObject* __stdcall GetLastExceptionObject() noexcept;
void* __stdcall GetLastExceptionAddress() noexcept;
std::uint32_t __stdcall GetLastVexlorLogErrorCode() noexcept;
const char* __stdcall GetLastVexlorLogErrorMsg() noexcept;
TVexlorStackList* __stdcall GetCurrentCallStack() noexcept;
TVexlorStackList* __stdcall GetCallStackByLevels(std::int32_t startLevel, std::int32_t levelsNumber) noexcept;
TVexlorStackList* __stdcall GetLastExceptionCallStack() noexcept;
void __stdcall FreeVexlorStackList(TVexlorStackList* callStack) noexcept;
void __stdcall CallStackToStrings(const TVexlorStackList* callStack, IVexlorStrings* strings) noexcept;
void __stdcall SetMetadataFilePath(const char* path) noexcept;
bool __stdcall ForceApplicationTermination(std::uint32_t operation) noexcept;
bool __stdcall GetCompilationDate(HMODULE module, bool localTime, double* date) noexcept;
bool __stdcall VexlorLog_LastNativeException() noexcept;
bool __stdcall ExceptionManager(void* obj, void* addr, std::uint32_t raiserType, HMODULE moduleHandle) noexcept;
bool __stdcall StandardVexlorNotify(void* obj, void* addr) noexcept;
bool __stdcall ShowLastExceptionData() noexcept;
bool __stdcall StandardVexlorError(const char* text) noexcept;
// The page goes into html as one item.
bool __stdcall GetVexlorLogHTML(const char* exceptionClass, const char* exceptionMessage, const char* callStackText,
                                IVexlorStrings* html) noexcept;
char* __stdcall FastMM_LogStackTrace(const std::uint32_t* returnAddresses, std::int32_t maxDepth, char* buffer,
                                     bool acceptProcedures, bool acceptUnits, bool showOffsetLine) noexcept;
// The entries another module's copy of the library forwards its raises to
// (crash::CallGeneralRaise and crash::CallExceptObject). The object
// VexlorLog_CallExceptObject answers stays valid until the next call of it
// in any thread. Its Flag (report the exception in a thread other than the
// main one) is taken for the callers' sake and not acted on: such an
// exception is reported from its raise or from the top-level filter, and
// reporting it here as well would report a fault a frame catches.
void __stdcall VexlorLog_CallGeneralRaise(DWORD code, DWORD flags, DWORD argCount, std::uint32_t hookStackPointer,
                                          const ULONG_PTR* args) noexcept;
void* __stdcall VexlorLog_CallExceptObject(const EXCEPTION_RECORD* record, const CONTEXT* context, bool flag) noexcept;

}  // extern "C"

}  // namespace crash::exports
