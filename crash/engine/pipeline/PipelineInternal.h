// Shared internals of the pipeline's files; no other folder includes this.
#pragma once
#include <windows.h>

#include <memory>

#include "crash/engine/capture/RaiseState.h"
#include "crash/engine/pipeline/Pipeline.h"

namespace crash::pipeline {

// The core: one exception, one report run. Result as NotifyException's.
bool ProcessException(void* Obj, void* Addr, bool NativeException, TAsynchronousException AsynchronousException,
                      HMODULE ModuleHandle, TRaiserType RaiserType, TExceptNotifyParams& Params,
                      const std::string& ForeignClassName);

// The raising thread's raise state while its report runs (null for none).
TThreadRaiseState* RaisingThreadState() noexcept;

// The rules of the small steps.
bool ShouldSendReport();
bool WillShowReport(const TExceptNotifyParams& Params, TRaiserType RaiserType);
int ReportOutputKind(TRaiserType RaiserType);  // 0 GUI, 1 console, 2 web
bool IsConsoleProgramImage() noexcept;

// The default steps for the slots that must not stay empty.
std::string DefaultExceptionClassText(TReportContext& Context);
std::string DefaultExceptionMessageText(TReportContext& Context);
std::string DefaultCleanMessageText(const std::string& Text);
std::string DefaultApplicationNameText(TReportContext& Context);
std::string DefaultExceptionModuleText(TReportContext& Context);
std::string DefaultReportText(TReportContext& Context);
void DefaultShowExceptionBox(TReportContext& Context, bool FirstTime);

// Console output: the top text and the report text to standard output. False
// when it could not be written.
bool WriteConsoleReport(const TReportContext& Context, const std::string& ReportText) noexcept;

}  // namespace crash::pipeline
