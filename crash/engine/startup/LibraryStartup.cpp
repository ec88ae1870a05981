// InitializeLibrary and FinalizeLibrary, the unit steps and the import patches.
#include "crash/engine/startup/LibraryStartup.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <memory>

#include "crash/engine/EDebug.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/EHook.h"
#include "crash/engine/ExceptionLog.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/freeze/FreezeWatcher.h"
#include "crash/engine/options/ModuleOptionsEx.h"
#include "crash/engine/options/OptionsSharedMapping.h"
#include "crash/engine/startup/LibraryStartupLinks.h"
#include "rtl/ExceptHooks.h"
#include "rtl/Startup.h"

namespace crash {

namespace {

int gECoreCount = 0;
int gEHookCount = 0;
int gExceptionLogCount = 0;

// What start-up made; main thread only (start-up and shut-down).
struct TLibraryState {
    std::unique_ptr<TVexlorModuleOptions> Options;
    std::uintptr_t MainStackTop = 0;
    HANDLE MainThread = nullptr;
    TDateTime StartTime = 0;
    bool ThreadHooks = false;
    bool PipelineStarted = false;
};
TLibraryState gState;

// A failing step was handed to the internal-error hook, which SafeExec
// signals with the silent abort: the step is abandoned, the list goes on.
void RunUnitStep(TProc proc, const char* name)
{
    try {
        SafeExec(proc, name);
    } catch (const rtl::EAbort&) {}
}

void ECoreInit()
{
    IntoIDE = DetectIntoIDE();
}

void ECoreDone() {}

void InternalErrorReporter(const std::string& text)
{
    InternalErrorHook(text);
}

std::string LibraryModuleName()
{
    return GetModuleFullFileName(LibraryModuleHandle());
}

}  // namespace

// ---- Unit steps ---------------------------------------------------------------

void ECoreUnitInit()
{
    if (gECoreCount++ == 0) RunUnitStep(ECoreInit, "ECore.Init");
}

void ECoreUnitDone()
{
    if (gECoreCount > 0 && --gECoreCount == 0) RunUnitStep(ECoreDone, "ECore.Done");
}

void EHookUnitInit()
{
    if (gEHookCount++ == 0) RunUnitStep(EHookInit, "EHook.Init");
}

void EHookUnitDone()
{
    if (gEHookCount > 0 && --gEHookCount == 0) RunUnitStep(EHookDone, "EHook.Done");
}

void ExceptionLogUnitInit()
{
    if (gExceptionLogCount++ != 0) return;
    RunUnitStep(InitializeLibrary, "ExceptionLog.Init");
    // An inert module takes no reserve and installs no filter step.
    if (!IsVexlorLogInstalled()) return;
    ReserveEmergencyAddressSpace();
    detail::InstallLastResortFilter();
    // A program that ends through std::exit undoes its list there too.
    std::atexit([] { rtl::ProgramStartup().Finalize(); });
}

void ExceptionLogUnitDone()
{
    if (gExceptionLogCount <= 0 || --gExceptionLogCount != 0) return;
    // The last-resort step goes first, so that the pipeline finds its own
    // filter on the runtime's point and clears it.
    detail::RemoveLastResortFilter();
    RunUnitStep(FinalizeLibrary, "ExceptionLog.Done");
    ReleaseEmergencyAddressSpace();
}

int ECoreInitCount() noexcept
{
    return gECoreCount;
}

int EHookInitCount() noexcept
{
    return gEHookCount;
}

int ExceptionLogInitCount() noexcept
{
    return gExceptionLogCount;
}

// ---- Start-up -------------------------------------------------------------------

TVexlorModuleOptions* LibraryOptions() noexcept
{
    return gState.Options.get();
}

std::uintptr_t MainThreadStackTop() noexcept
{
    return gState.MainStackTop;
}

HANDLE MainThreadHandle() noexcept
{
    return gState.MainThread;
}

TDateTime LibraryStartTime() noexcept
{
    return gState.StartTime;
}

std::vector<std::string> PatchedModuleNames()
{
    std::vector<std::string> names;
    if (std::string own = LibraryModuleName(); !own.empty()) names.push_back(std::move(own));
    if (const HMODULE runtime = ::GetModuleHandleA("msvcrt.dll")) {
        if (std::string name = GetModuleFullFileName(runtime); !name.empty()) names.push_back(std::move(name));
    }
    return names;
}

void InitializeLibrary()
{
    const HMODULE self = LibraryModuleHandle();
    // 1. The internal-error reporter takes a failing step from here on.
    CriticalError = &InternalErrorReporter;
    // 2, 3. The host: a program is its own; a library's host is the program
    // that carries the library (picked below, step 16).
    if (!IsLibraryModule(self)) SetMainInstance(self);
    ForwardToHost.store(ComputeForwardToHost());
    HookingModule.store(true);  // the root class always lives in this module
    // 8 before 4-7: an inert module makes nothing at all.
    if (!IntoIDE && !IsVexlorLogModule(self)) {
        SetVexlorLogInstalled(false);
        return;
    }
    // 4. In force from here.
    SetVexlorLogInstalled(true);
    RecordStartFolder();
    // 5. The raw stack buffer.
    InitStackSnapshot();
    // 9. Lists and the shared-options mapping (its flag 0: nothing published).
    CreateModuleLists();
    InstallModuleDataReader();
    InstallOtherDebugInfoReader();
    CreateLibrarySharedOptionsMapping(self);
    // 10. The own options, with no module name; the main thread's stack top.
    gState.Options = TVexlorModuleOptions::Create<TVexlorModuleOptionsEx>(std::string());
    gState.MainStackTop = rtl::CurrentStackTop();
    // 11. The component list, the start time, the main thread's handle.
    CreateVexlorLogList();
    VexlorLogWarningSeams.IsActive.Set([] { return IsVexlorLogInstalled() && IsVexlorLogActive(); });
    gState.StartTime = NowDateTime();
    HANDLE mainThread = nullptr;
    if (::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &mainThread,
                          THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, 0))
        gState.MainThread = mainThread;
    ClearLastVexlorLogError();
    // 12. The thread switch list (the own unit names are a constant table).
    CreateThreadSwitchList();
    // 13. Active.
    SetVexlorLogState(true);
    // 14. The hooks: the pipeline's state and the runtime's points, then the
    // import patches of this module and the C runtime; the thread registry's
    // own three.
    if (!IntoIDE && HookingModule.load()) {
        detail::StartPipeline();
        gState.PipelineStarted = true;
        detail::InstallFrameworkHooks();
        const std::vector<std::string> modules = PatchedModuleNames();
        for (TImportPatch& patch : PipelineImportPatches()) {
            patch.Replaced = nullptr;
            if (patch.Replacement == nullptr) continue;
            TryHookDllProcedureEx(modules, "kernel32.dll", patch.Name, patch.Replacement, patch.Replaced, true);
        }
        ThreadExceptionReport.Set(&detail::ReportThreadException);
        gState.ThreadHooks = InstallThreadHooks(modules);
    }
    // 15. The hang watcher, when the own options ask for it; inside the
    // development environment the module list is refreshed instead.
    if (IntoIDE) {
        RefreshModulesList();
    } else {
        FreezeWatcherSwitch.store([](bool run) { run ? StartFreezeWatcher() : StopFreezeWatcher(); });
        if (const TVexlorModuleOptions* own = LibraryModuleOptions(); own != nullptr && own->Active())
            StartFreezeWatcher();
    }
    // 16. A library finds its host now that the module list exists.
    if (IsLibraryModule(self)) {
        PickHostModule();
        ForwardToHost.store(ComputeForwardToHost());
    }
}

void FinalizeLibrary()
{
    if (!IsVexlorLogInstalled()) return;
    // The gate closes inside the report lock: a report in progress finishes
    // first, and from here every hook and patched routine passes through.
    detail::CloseGate();
    // 1. The hang watcher ends before the main thread's handle goes.
    FreezeWatcherSwitch.store(nullptr);
    StopFreezeWatcher();
    // 2. Lists the reports read; the main thread's handle.
    FreeVexlorLogList();
    VexlorLogWarningSeams.IsActive.Set(nullptr);
    if (gState.MainThread != nullptr) {
        ::CloseHandle(gState.MainThread);
        gState.MainThread = nullptr;
    }
    // 3. The hooks out, in reverse.
    if (gState.ThreadHooks || ThreadHooksInstalled()) {
        RemoveThreadHooks();
        gState.ThreadHooks = false;
    }
    ThreadExceptionReport.Set(nullptr);
    for (TImportPatch& patch : PipelineImportPatches()) {
        if (patch.Replacement != nullptr) UnhookDllProcedure(patch.Replacement);
        patch.Replaced = nullptr;
    }
    if (gState.PipelineStarted) {
        detail::RemoveFrameworkHooks();
        detail::StopPipeline();
        gState.PipelineStarted = false;
    }
    // 5. The lists and the options. The module lists and the raw stack
    // buffer stay until the process ends: a thread that passed the gate just
    // before it closed may still hold a module record or the buffer's lock.
    FreeThreadSwitchList();
    gState.Options.reset();
    // 7. The shared copy.
    CloseLibrarySharedOptionsMapping();
    // 8. The metadata library of a hosted program.
    FreeMetadataLibrary();
    CriticalError = nullptr;
}

}  // namespace crash
