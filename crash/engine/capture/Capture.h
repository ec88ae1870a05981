// The capture hooks: what the crash reporter does at each raise, fault,
// uncaught exception and top-level filter call of the process, and the
// decision whether the application itself will handle a raised exception.
//
// Threads: every hook runs on the raising thread. Zone: DecodeRaise and the
// decision are hook code (no heap; the decision cache and the stack snapshot
// each take a lock of their own); HandleRaisedException leaves the zone only
// when it hands an exception to the pipeline.
#pragma once
#include <windows.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <typeinfo>

#include "crash/engine/pipeline/ReportContext.h"
#include "rtl/ExceptHooks.h"

namespace crash {

class TVexlorStackList;

// Sets the runtime's raise, terminate, exception-object, filter and
// synchronised-call points to the hooks below; RemoveCaptureHooks clears the
// ones that are still ours.
void InstallCaptureHooks() noexcept;
void RemoveCaptureHooks() noexcept;

// The raise hook (rtl::RaiseHook): records the raise in the thread's state;
// a re-raise outside the main thread of a GUI program is judged at once.
void DecodeRaise(const rtl::TRaiseInfo& raise) noexcept;

// Reports obj when reporting is on, the object is manageable (not EAbort) and
// no handler of the application will take it. raise is the raise to judge
// (null: none will, the exception has reached the end of its thread); type
// the C++ type of an object of no class of ours (null for a TObject).
void HandleRaisedException(void* obj, void* addr, bool nativeException, bool forced, const rtl::TRaiseInfo* raise,
                           const std::type_info* type) noexcept;

// Whether a handler of the application takes the raise: a catch (...) or a
// matching typed catch before any noexcept boundary. asynchronous is
// aeSynchronize when that first handler is the one of the synchronised-call
// wrapper (the exception is raised again in the calling thread; not handled
// here). forced: handled. An EStackOverflow is never handled. Decisions are
// cached by type, raise address, the raiser's stack pointer and the two
// return addresses above the raiser's frame.
bool DecideExceptionHandled(const rtl::TRaiseInfo& raise, bool forced, TAsynchronousException& asynchronous) noexcept;

// The decision cache, for tests and the benchmark: entries in use (at most
// 10), chain walks made so far, and emptying it.
int HandledDecisionCacheCount() noexcept;
std::uint32_t HandledDecisionWalkCount() noexcept;
void ClearHandledDecisionCache() noexcept;

// The call stack of the raw snapshot, when the snapshot was taken at the
// given thread's raise of object (its latest); null otherwise.
std::unique_ptr<TVexlorStackList> OwnedSnapshotCallStack(DWORD threadId, const void* object) noexcept;

// The call stack the main thread built for a synchronised call's exception
// that is raised again in the calling thread, taken over by the report of
// that exception; null when object is not that exception.
std::unique_ptr<TVexlorStackList> TakeSynchronizedCallStack(const void* object) noexcept;

// The entries another module's copy of the library calls in this one, the
// host. CallGeneralRaise: a raise that copy's hook saw, in the system
// record's shape (code 0x0EEDFADE; flags 1 with 7 arguments, or 0xC0000025
// with 8), decoded here as this module's own; hookStackPointer is the
// raiser's stack position and becomes this thread's. Other shapes set only
// the stack position. CallExceptObject: records a system exception's record
// and context (a context that is not readable counts as none) in this
// thread's raise state and answers the object this runtime makes of it; null
// for a missing or unreadable record.
void CallGeneralRaise(DWORD code, DWORD flags, DWORD argCount, std::uint32_t hookStackPointer,
                      const ULONG_PTR* args) noexcept;
std::exception_ptr CallExceptObject(const EXCEPTION_RECORD* record, const CONTEXT* context) noexcept;

// Whether the top-level filter step has reported, on the calling thread, the
// fault of this system record (its address, as the filter received it): the
// steps after it on the filter point then report nothing more.
bool IsFilterReportedRecord(const EXCEPTION_RECORD* record) noexcept;
// An exception leaving a thread object's Execute, about to be reported where
// the thread catches it: false when the calling thread must not report it
// (a report worker, or the object is the one it reported last, so that the
// rethrow that makes it the thread's FatalException is not reported again);
// true marks the object reported.
bool TakeThreadExceptionReport(const void* object) noexcept;

// Raise state copies for the report of the calling thread's exception.
void CopyContextInto(CONTEXT& target, const CONTEXT& source) noexcept;

// The replacements of the kernel32 imports that start-up patches in the
// program's modules; each ends in the real routine. HookedRaise keeps the
// raiser's stack position in the thread's raise state (thread-naming
// requests pass untouched); HookedRtlUnwind is a bare jump into RtlUnwind;
// HookedWriteFile hands what a CGI program writes to its standard output to
// the CapturePageText step first.
void WINAPI HookedRaise(DWORD code, DWORD flags, DWORD argCount, const ULONG_PTR* args);
BOOL WINAPI HookedWriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);

}  // namespace crash

extern "C" void WINAPI VexlorHookedRtlUnwind(void* targetFrame, void* targetIp, EXCEPTION_RECORD* record,
                                             void* returnValue);
