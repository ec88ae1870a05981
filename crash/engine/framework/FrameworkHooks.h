// The framework hooks: where frameworks catch exceptions themselves, the
// crash reporter is asked first. Here that is the class library's application
// object (its two hook points) and the end of every catch block (handled
// exceptions, when the options ask for them). The packages of other
// frameworks are only looked for, never loaded, and left alone.
//
// Threads: installed and removed by start-up and shut-down on the main
// thread. The replacements run on the thread that handles the exception and
// serialise through ExceptionManager's or NotifyException's main report lock.
#pragma once
#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>
#include <typeinfo>

namespace crash {

// Detours the routine whose address this module's data block stores under
// symbol id. Answers the trampoline through which the routine's own code
// still runs; null when the data has no such symbol. Raises the EHookError
// family when the code cannot be patched, naming the detour "SymbolID = Id".
void* HookBySymbolId(std::uint8_t id, void* replacement);

// The given address, else the export exportName of the module moduleName when
// that module is loaded already (it is never loaded here). Without a
// replacement answers that address; with one, detours it and answers the
// trampoline. Null when there is no such module or export. Raises like
// HookBySymbolId, naming the detour exportName.
void* HookByExport(void* address, const std::string& moduleName, const std::string& exportName, void* replacement);

// A framework the hooks look for and what became of it.
struct TFrameworkProbe {
    const char* Routine;  // the routine's export name, or its row for one known by symbol id only
    const char* Package;  // the package looked for (null: by symbol id only)
    int SymbolId;         // -1: none
    bool Loaded;          // the package is in the process
    bool SymbolPresent;   // this module's data names the symbol
};

// Installs the hooks (start-up, outside the development environment): the
// application object's HandleException and ShowException hook points, the
// end-of-catch point, and the look for the other frameworks' packages.
// Removes what it installed, in reverse (shut-down). Neither raises.
void InstallFrameworkHooks() noexcept;
void RemoveFrameworkHooks() noexcept;
bool FrameworkHooksInstalled() noexcept;

// What the last install found, row by row (the IntraWeb packages as one row:
// whether any of them was loaded). Empty before the first install.
const TFrameworkProbe* FrameworkProbes(int& count) noexcept;

// The replacements themselves, for the tests.
// The application object's HandleException: unless the thread runs a
// report's handler, ExceptionManager(the exception's object and raise
// address, rtLocal, this module); false: dealt with, the application does no
// more.
bool FrameworkHandleException(std::exception_ptr error);
// Its ShowException: the same, except also inside HandleException's own
// handling (the exception was offered there already).
bool FrameworkShowException(std::exception_ptr error);
// The end of a catch block: reports the exception whose handling ends as a
// handled one when boCatchHandledExceptions is set, reporting is on for the
// thread, it is not the exception this thread reported last (by type and
// raise address) and it is no thread-naming request.
void CatchHandledException(void* object, const std::type_info* type) noexcept;

}  // namespace crash
