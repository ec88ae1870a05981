// The crash reporter's interface for the application and for the other
// modules of the process: the switches that turn reporting on and off,
// globally and per thread, the library's own options, call stacks on demand
// and as table rows, a foreign exception's call stack read from its text, the
// compile date, the termination request, and FastMM's call-stack text.
//
// The exported side (extern "C", __stdcall, undecorated names from
// VexlorLogApi.def) wraps these for modules that carry their own copy.
//
// Threads: any thread. The global switch and the installed flag are atomic;
// the thread switch list has a lock of its own (a slim lock that needs no
// construction, so that it exists before start-up and after shut-down).
// Zone: ordinary code and the report thread; none of it runs in the hooks but
// IsVexlorLogInstalled, IsVexlorLogActive and IsVexlorLogActiveInThread (no
// heap).
// Failure: nothing raises but CurrentVexlorLogOptions and
// DotNetVexlorLogOptions (EAssertionFailed without the library) and running
// out of memory; functions that need the library answer false or null
// without it.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/ReportSteps.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/engine/stack/CallStack.h"
#include "rtl/SysUtils.h"

namespace crash {

// ---- Assertions ------------------------------------------------------------

// A failed check of the library's interface: "text (ExceptionLog)".
class EAssertionFailed : public rtl::Exception {
public:
    RTL_CLASS(EAssertionFailed)
    using rtl::Exception::Exception;
};
// Raises EAssertionFailed with the message and the source unit ExceptionLog.
[[noreturn]] void VexlorLogAssert(const std::string& message);

// ---- Installed and active ----------------------------------------------------

// The crash reporter is in force in this module: from the start of start-up to
// the start of shut-down. Inert modules never set it. Every hook and patched
// routine checks it before it touches the library's state.
bool IsVexlorLogInstalled() noexcept;
// Start-up and shut-down only.
void SetVexlorLogInstalled(bool value) noexcept;

// The global switch: true once start-up is through.
bool IsVexlorLogActive() noexcept;
void SetVexlorLogState(bool active) noexcept;

// ---- Per-thread switch -------------------------------------------------------

// True unless the thread's id is in the list of threads whose reporting is off.
bool IsVexlorLogActiveInThread(DWORD threadId) noexcept;
// activate takes the id out of the list; otherwise it goes in, once. Nothing
// happens before start-up has made the list and after shut-down freed it.
void SetVexlorLogInThread(DWORD threadId, bool activate);
// Start-up makes the empty list; shut-down frees it. A second create keeps it.
void CreateThreadSwitchList();
void FreeThreadSwitchList() noexcept;
// How many ids the list holds (0 without a list).
int ThreadSwitchCount() noexcept;

// ---- Forwarding ----------------------------------------------------------------

// This module hands its exceptions to the host module's copy of the library.
// Dead in a program that is one module; set by start-up.
extern std::atomic<bool> ForwardToHost;
// The process hooks are installed by this module.
extern std::atomic<bool> HookingModule;
// The module whose copy of the library is the host: the runtime's main
// instance (the program), or, for a library whose host has no runtime, the
// first program module that carries the library (PickHostModule).
HMODULE MainInstance() noexcept;
void SetMainInstance(HMODULE module) noexcept;
// Whether this module forwards: the main instance is another module that
// carries the library at the current version or later.
bool ComputeForwardToHost();
// A library whose host has no main instance: refreshes the module list and
// takes the first module that is no library and carries the library's data.
void PickHostModule();

// ---- Options -------------------------------------------------------------------

// The options in this module's module record, or null when the library is not
// installed or the module carries none. Never raises.
TVexlorModuleOptions* LibraryModuleOptions() noexcept;
// The same, but an assertion names the module when there are none.
TVexlorModuleOptions* CurrentVexlorLogOptions();
// During a report (CurrentExceptionRecord) the report's options; otherwise
// the main module's; the same assertion (its own text) when there are none.
TVexlorModuleOptions* DotNetVexlorLogOptions();

// The termination request after a report, set by ForceApplicationTermination.
extern std::atomic<bool> TerminateApplicationRequested;
// When installed: the request is set and the options' TerminateBtnOperation
// becomes operation (the report's options during a report, else this
// module's). Whether the library is installed.
bool ForceApplicationTermination(TTerminateBtnOperation operation);

// ---- Metadata file ---------------------------------------------------------------

// The file that stands for the main module when the program is hosted. A
// metadata library loaded before (SetMetadataLibrary) is freed and its file
// deleted first.
void SetMetadataFilePath(const std::string& path);
std::string MetadataFilePath();
// The metadata file loaded as a library; freed with the next path or at
// shut-down (FreeMetadataLibrary).
void SetMetadataLibrary(HMODULE library) noexcept;
void FreeMetadataLibrary() noexcept;

// ---- Last exception --------------------------------------------------------------

// The last recorded exception object when it is a valid object, else the
// object of std::current_exception() when it is one of ours, else null.
rtl::TObject* GetLastExceptionObject() noexcept;
// The last recorded address, else the current exception's raise address.
void* GetLastExceptionAddress() noexcept;

// ---- Dates -----------------------------------------------------------------------

// The compile date the module's data carries (UTC); with localTime moved to
// local time by the zone's whole offset (minutes, not rounded hours). False,
// date untouched, when the module has no record.
bool GetCompilationDate(HMODULE module, bool localTime, TDateTime& date);

// ---- Call stacks as text -------------------------------------------------------------

// Appends the stack as a text table: "-" rule, caption row, rule, one row per
// frame of detail ddProcedure, ddUnitAndProcedure or ddSourceCode, rule. The
// captions come from options (the library's own when null); nothing is added
// when no frame qualifies or there are no options.
void CallStackToStrings(const TVexlorStackList& callStack, std::vector<std::string>& strings,
                        const TVexlorModuleOptions* options = nullptr);

// Parses a foreign call stack, one frame per line of exactly eight fields
// separated by "|": address (decimal), module file name (".vshost"
// removed), unit, class, procedure, line, offset line, thread text. A
// procedure "Class.Method" without class is split at its last ".". The first
// frame and each frame whose thread text differs from the one before start a
// thread: ErrorLine set, thread ids 0, -1, -2, ... Every frame is a running
// thread's; ddSourceCode with a line, else ddUnitAndProcedure. Other lines
// are skipped.
std::unique_ptr<TVexlorStackList> ParseCallStackText(std::string_view callStackText);

// FastMM's call-stack text of a leak: for the return addresses (at most
// maxLines of them, ending at the first that is not readable), the frames
// accepted by the flags, each "\r\n" and at most 255 characters; when fewer
// than maxLines were accepted and the flags are not both set, acceptUnits is
// set (or, when set already, acceptProcedures) and the walk goes on after the
// last accepted address. Without the library one line asks to activate it.
// Answers the position after the text; writes no terminator.
char* LogStackTrace(const std::uint32_t* returnAddresses, std::uint32_t maxLines, char* buffer, bool acceptProcedures,
                    bool acceptUnits, bool showOffsetLine);
// The longest text of one frame, its line break not counted.
inline constexpr std::size_t kMaxLeakFrameText = 255;

// ---- Reports ---------------------------------------------------------------------

// The common entry of the hooks and of the thread wrapper: under the main
// report lock, forwarded to the host's copy when this module forwards;
// otherwise true at once when reporting is off globally or for the thread, or
// when neither obj nor the last recorded object is one to report; else the
// pipeline's answer (true: the caller's own handling runs).
bool ExceptionManager(void* obj, void* addr, TRaiserType raiserType, HMODULE moduleHandle);
// Reports obj at addr as an unhandled exception of this module; false when
// not installed.
bool StandardVexlorNotify(void* obj, void* addr);
bool ShowLastExceptionData();
// Reports an EVexlorLogGeneralError with the text, at no address.
bool StandardVexlorError(const std::string& text);

class EVexlorLogGeneralError : public rtl::Exception {
public:
    RTL_CLASS(EVexlorLogGeneralError)
    using rtl::Exception::Exception;
};

// The report of a foreign exception as an html page: its call stack parsed
// from callStackText (ParseCallStackText), reported for its text only, with
// the assembler and CPU sections left out for this report alone. False when
// not installed.
bool GetVexlorLogHTML(const std::string& exceptionClass, const std::string& exceptionMessage,
                      const std::string& callStackText, std::string& html);

// The steps of the interface that the report layer fills at start-up.
struct TInterfaceSteps {
    // The HTML page of a report's top text and report text, with its OK
    // button. Empty: no page.
    TReportStep<std::string(const std::string& topText, const std::string& reportText)> ReportHTMLPage;
};
inline TInterfaceSteps InterfaceSteps;

// ---- Exported flags ------------------------------------------------------------------

extern "C" {
// A report is made for a COM object's call; read by the pipeline.
extern bool CallFromCOMObject;
// The report is made for its text only (GetVexlorLogHTML); read by the pipeline.
extern bool CallForGetLogText;
// The HELO command of the own SMTP client; null: the default.
extern const char* CustomSmtpHeloCommand;
}

}  // namespace crash
