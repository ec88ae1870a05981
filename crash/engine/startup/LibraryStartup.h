// The crash reporter's start-up and shut-down in a module: the unit steps of
// the crash reporter's level of the program's start-up list (rtl/Startup.h),
// each run under SafeExec and counted, InitializeLibrary and FinalizeLibrary,
// the import patches and the last-resort step of the top-level filter.
//
// A program runs them when it links the steps (crash_reporter_program() in
// crash/report/CMakeLists.txt, with the report layer, or the engine's alone,
// crash_reporter_startup() in crash/engine/CMakeLists.txt); a program that
// only uses the engine's parts does not. In a module without the crash reporter's data block the library
// stays inert: nothing is allocated, patched or hooked, and
// IsVexlorLogInstalled answers false.
//
// Threads: start-up and shut-down run on the main thread, from the program's
// entry function (and from Halt on every exit path). Shut-down first closes
// the installed and active gate inside the report lock, so a thread that
// raises, starts or ends a thread meanwhile passes through every patched
// routine untouched, and only then frees what those routines read.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/EOptions.h"
#include "rtl/Startup.h"

namespace crash {

// ---- The unit steps --------------------------------------------------------

// Each unit's initialisation counter: Init runs its step on the first count,
// Done on the last. The step names are "ECore.Init", "EHook.Init",
// "ExceptionLog.Init" and their ".Done".
void ECoreUnitInit();
void ECoreUnitDone();
void EHookUnitInit();
void EHookUnitDone();
void ExceptionLogUnitInit();
void ExceptionLogUnitDone();

// The three as the steps of the crash reporter's level of the start-up list,
// for the tables of the layers that make that level.
inline constexpr rtl::TStartupStep kECoreStep{"ECore.Init", ECoreUnitInit, ECoreUnitDone};
inline constexpr rtl::TStartupStep kEHookStep{"EHook.Init", EHookUnitInit, EHookUnitDone};
inline constexpr rtl::TStartupStep kExceptionLogStep{"ExceptionLog.Init", ExceptionLogUnitInit, ExceptionLogUnitDone};
int ECoreInitCount() noexcept;
int EHookInitCount() noexcept;
int ExceptionLogInitCount() noexcept;

// ---- Start-up and shut-down ------------------------------------------------

// Brings the library up in this module (the steps as the unit's start-up
// describes them). Inert without data: returns with the installed flag clear
// before anything is made.
void InitializeLibrary();
// Undoes it, only when installed; the gate closes first.
void FinalizeLibrary();

// The library's own options object: made at start-up, with no module name.
TVexlorModuleOptions* LibraryOptions() noexcept;
// The cursor of the dialogs' links (the system's hand).
inline constexpr std::uintptr_t kLinkCursor = 32649;
// The main thread's stack top (its highest address), recorded at start-up.
std::uintptr_t MainThreadStackTop() noexcept;
// A duplicate of the main thread's handle (suspend, resume, context,
// query); null when not installed.
HANDLE MainThreadHandle() noexcept;
// When start-up ran (local time); 0 before.
TDateTime LibraryStartTime() noexcept;

// ---- Import patches ----------------------------------------------------------

// The modules whose imports start-up patches: this module and the C runtime
// (msvcrt.dll), each by its full file name; modules not loaded are left out.
std::vector<std::string> PatchedModuleNames();

// One kernel32 import the library patches: its name, the replacement, and
// the address it replaced (null when no module imports it: skipped).
struct TImportPatch {
    const char* Name;
    void* Replacement;
    void* Replaced;
};
// The patches of the pipeline's four entries (RaiseException, RtlUnwind,
// WriteFile, UnhandledExceptionFilter); CreateThread, ResumeThread and
// ExitThread go through the thread registry's own installation.
std::vector<TImportPatch>& PipelineImportPatches() noexcept;

// ---- The last-resort filter ----------------------------------------------------

// The step of the runtime's top-level filter (rtl::UnhandledFilterProc)
// after the pipeline's: while installed and active, reports the exception
// unless the pipeline's filter step has just reported the fault of that same
// system record, then ends the process with the exception code. Otherwise,
// and when the argument or its record cannot be read, the previous step's
// answer.
LONG LastResortExceptionFilter(EXCEPTION_POINTERS* pointers) noexcept;

}  // namespace crash
