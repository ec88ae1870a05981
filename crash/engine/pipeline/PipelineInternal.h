// Shared internals of the pipeline's files; no other folder includes this.
#pragma once
#include <windows.h>

#include <memory>

#include "crash/engine/capture/RaiseState.h"
#include "crash/engine/pipeline/Pipeline.h"

namespace crash::pipeline {

// The core: one exception, one report run. Result as NotifyException's.
bool ProcessException(void* obj, void* addr, bool nativeException, TAsynchronousException asynchronousException,
                      HMODULE moduleHandle, TRaiserType raiserType, TExceptNotifyParams& params,
                      const std::string& foreignClassName);

// The raising thread's raise state while its report runs (null for none).
TThreadRaiseState* RaisingThreadState() noexcept;

// The rules of the small steps.
bool ShouldSendReport();
bool WillShowReport(const TExceptNotifyParams& params, TRaiserType raiserType);
int ReportOutputKind(TRaiserType raiserType);  // 0 GUI, 1 console, 2 web
bool IsConsoleProgramImage() noexcept;

// The default steps for the slots that must not stay empty.
std::string DefaultExceptionClassText(TReportContext& context);
std::string DefaultExceptionMessageText(TReportContext& context);
std::string DefaultCleanMessageText(const std::string& text);
std::string DefaultApplicationNameText(TReportContext& context);
std::string DefaultExceptionModuleText(TReportContext& context);
std::string DefaultReportText(TReportContext& context);
void DefaultShowExceptionBox(TReportContext& context, bool firstTime);

// Console output: the top text and the report text to standard output. False
// when it could not be written.
bool WriteConsoleReport(const TReportContext& context, const std::string& reportText) noexcept;

}  // namespace crash::pipeline
