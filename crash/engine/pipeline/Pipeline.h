// The exception pipeline: the one entry every reported exception goes
// through, and the start-up and shut-down of the state it runs on.
//
// Threads: NotifyException runs on the raising thread (never inside a raise
// hook's no-allocation zone: the hooks call it only once they decided to
// report) and serialises reports under the main report lock.
#pragma once
#include <windows.h>

#include <cstdint>
#include <typeinfo>

#include "crash/engine/pipeline/ReportContext.h"

namespace crash {

class TVexlorStackList;

// Creates the pipeline's state and sets the runtime's raise, fault, terminate
// and filter points. A second call does nothing. Called by the crash
// reporter's start-up; tests may call it directly.
void StartExceptionPipeline();
// Clears the runtime's points, waits for a report in progress and frees the
// state. Nothing happens without StartExceptionPipeline.
void StopExceptionPipeline() noexcept;
// The pipeline is started and its points are set.
bool IsExceptionPipelineStarted() noexcept;

// Result true: not handled by the crash reporter, the application's own
// handling runs as if it were absent; false: handled here. Null context,
// exceptionRecord, callStack and zero stackPoint/topOfStack take the raising
// thread's values. foreignType: obj is an object of no class of ours (a
// standard library exception, an int) of that C++ type; the report shows a
// stand-in Exception with the type's name as its class and what() as its
// message. A report thread's own exceptions are never reported (true at once).
bool NotifyException(void* obj, void* addr, bool nativeException, TVexlorStackList* callStack, bool handled,
                     TAsynchronousException asynchronousException, HMODULE moduleHandle, TRaiserType raiserType,
                     EXCEPTION_RECORD* exceptionRecord, CONTEXT* context, std::uint32_t stackPoint,
                     std::uint32_t topOfStack, const std::type_info* foreignType = nullptr);

// Whether the calling thread is a report worker (TExceptionThread).
bool IsReportWorkerThread() noexcept;

}  // namespace crash
