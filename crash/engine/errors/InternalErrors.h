// The crash reporter's own failures, which it never raises into the
// application: warnings for the expected ones (a file that cannot be written,
// a send that fails), kept as the last error for the application to ask, and
// the internal-error hook for exceptions in its own code, which makes a bug
// report for the library's developers.
//
// Failure: nothing here raises. A warning or the hook that fails itself
// falls back to writing its debugger line as far as it got.
// Threads: any thread; the last error is kept under a lock of its own. The
// hook runs in the failing thread, inside the handler that caught the
// failure (it reads the exception being handled).
// Zone: ordinary code and the report thread (both allocate); never hooks.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "crash/engine/ReportSteps.h"

namespace crash {

enum TVexlorLogErrorCode : std::uint8_t {
    eeNone,
    eeShowError,
    eeLogError,
    eeEmailMAPIError,
    eeEmailShellError,
    eeEmailSMTPError,
    eeWebHTTPError,
    eeWebHTTPSError,
    eeWebFTPError,
    eeWebTrakerError,
};

// The code's identifier ("eeLogError"); empty outside the enumeration.
std::string_view ErrorCodeName(TVexlorLogErrorCode code) noexcept;

// Lets a send failure (codes eeEmailSMTPError to eeWebTrakerError) show its
// message box while the send-progress dialog is open.
extern bool ShowInternalSendErrors;

// ---- Warnings ---------------------------------------------------------------------

// Records code and message as the last error, writes
// "[WARNING] - Code: eeLogError - Address: 0040A1B2 - Message: "..."" to the
// debugger output (the address of the exception being handled, 0 when none
// is), and for a send failure shows the message in an "Error." box when
// ShowInternalSendErrors is set and the send-progress dialog's window exists.
void SetLastVexlorLogError(TVexlorLogErrorCode code, const std::string& message) noexcept;
// eeNone and an empty message.
void ClearLastVexlorLogError() noexcept;
// SetLastVexlorLogError with "[step] message" of the exception being handled
// (an Exception of ours or of the standard library), else "General 'step'
// error.".
void SetLastVexlorLogErrorFromException(TVexlorLogErrorCode code, const std::string& step) noexcept;

TVexlorLogErrorCode GetLastVexlorLogErrorCode() noexcept;
std::string GetLastVexlorLogErrorMsg();

// ---- Internal errors ----------------------------------------------------------------

// The maintainers' address of the bug report's mail.
inline constexpr std::string_view kVexlorLogSupportAddress = "crash-reports@volumetra.invalid";
// The development environment the library was built with, for the report's
// "RAD" line: the compiler and its version.
std::string RADText();

// The internal-error hook, which start-up sets as CriticalError: with the
// exception being handled (not EAbort, not a socket error), and only inside
// the development environment or under a debugger, writes
// "[ERROR] - Section: ... - Address: ... - Message: "..."" to the debugger
// output and the bug report into the program's file name with ".log"; then
// offers to mail it to the maintainers. Frames in the library's own units keep
// their details while it runs.
void InternalErrorHook(const std::string& section) noexcept;

// The report's call stack: the calling thread's stack from the stack pointer
// of its last raise (inside the development environment: from here) to its
// top, one line per item, every line after the first indented by 12 blanks;
// resolved to modules only when the full walk raises. Raises what that walk
// raises.
std::string InternalErrorCallStackText();
// "$0040A1B2 - [00400000] Program.exe - Unit.cpp - TClass - Procedure - 12[3]"
// of one code address (module 0 and no name when no module holds it).
std::string AddressText(std::uintptr_t address);

// The steps the hook and the warnings take from the layers above; empty, a
// step answers nothing (no window, no object, a send that fails).
struct TInternalErrorSteps {
    // The send-progress dialog's window, null while it is not open.
    TReportStep<HWND()> SendProgressWindow;
    // The exception object the most recent report took up.
    TReportStep<const void*()> LastReportExceptionObject;
    // Sends a mail with one attached file; false when it could not be sent.
    TReportStep<bool(const std::string& to, const std::string& subject, const std::string& body,
                     const std::string& attachment)>
        VexlorLogSendEmail;
};
inline TInternalErrorSteps InternalErrorSteps;

}  // namespace crash
