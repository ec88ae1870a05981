// The start-up's links to the pipeline and the runtime; no other folder
// includes this.
#pragma once
#include <windows.h>

#include "rtl/Classes.h"

namespace crash::detail {

// The pipeline's state and the runtime's points it sets; its undo.
void StartPipeline();
void StopPipeline() noexcept;
// Clears the installed and active switches inside the main report lock, so
// that a report in progress finishes first and none starts after.
void CloseGate() noexcept;
// The framework hooks (the application object's hook points, the end of
// catch blocks, the look for other frameworks) and their removal.
void InstallFrameworkHooks() noexcept;
void RemoveFrameworkHooks() noexcept;
// The thread registry's report of an exception escaping a thread's Execute.
bool ReportThreadException(rtl::TObject* object, void* address, HMODULE module);
// The last-resort step on the runtime's top-level filter point, after the
// pipeline's; removed again at shut-down when it is still there.
void InstallLastResortFilter() noexcept;
void RemoveLastResortFilter() noexcept;

}  // namespace crash::detail
