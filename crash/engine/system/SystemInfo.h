// System and process facts of the crash reporter's main unit: module and
// process names, the Windows version and its text, computer and user names,
// the text services of the report and the senders, the debugger and library
// version tests, and a few file services.
//
// None keeps state, none raises (beyond running out of memory), and every one
// may be called from any thread: the report, the hang watcher and the send
// threads use them. A failing system call answers empty text, 0 or false.
// They allocate: report zone and ordinary code, never the hooks.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "crash/engine/ECore.h"

namespace crash {

// ---- Module and process names -------------------------------------------------

// The module's file name from its drive letter on, in its long form. A name
// the system gives in its internal form ("\??\C:\...") is cut to start at the
// drive letter. Empty when the handle names no loaded module; null names the
// program, as it does for the system.
std::string GetModuleFullFileName(HMODULE module);
// Whether GetModuleFullFileName gives a name.
bool IsValidModuleHandle(HMODULE module);
// The file name of the module this library is linked into.
std::string ThisModuleFileName();
// The process's command line, read as UTF-16 and converted to the ANSI code
// page.
std::string CommandLineText();
DWORD CurrentProcessID() noexcept;
// The pseudo handle of the own process (never closed).
HANDLE CurrentProcessHandle() noexcept;

// ---- Windows version ----------------------------------------------------------

// The version fields the texts and tests are made of.
struct TWindowsVersion {
    DWORD PlatformId = 0;  // VER_PLATFORM_WIN32_WINDOWS (9x) or VER_PLATFORM_WIN32_NT
    DWORD MajorVersion = 0;
    DWORD MinorVersion = 0;
    DWORD BuildNumber = 0;
    std::string ServicePack;   // the service-pack text, as the system gives it
    bool Workstation = false;  // the extended query answered a workstation
    bool Wow64 = false;        // a 32-bit process on 64-bit Windows
};

// The running system's fields. The numbers come from ntdll's own version
// query: the kernel's answers 6.2 to a program without a compatibility
// manifest on every Windows from 8.1 on. Without ntdll's, the kernel's
// extended query, then its plain one; all of them failing leaves zeros.
TWindowsVersion QueryWindowsVersion();

bool OSIsWindows95();     // the 9x line, minor version below 10
bool OSIsWindowsNT4();    // the NT line, major version below 5
bool OSIsVistaOrLater();  // the NT line, major version above 5
bool IsWorkstation();     // the system says it is a workstation, not a server
bool IsWow64();           // the kernel's WOW64 test, looked up when called, says so

// "Microsoft Windows " and the edition the fields name ("XP", "7",
// "Server 2008 R2", "95 OSR 2", ...) or "major.minor", and " (64 bit)" on the
// NT line under WOW64; "Microsoft Windows " alone for an unknown platform.
std::string WindowsVersionText(const TWindowsVersion& version);
std::string WindowsVersionText();
// The build number in decimal; on the 9x line its low 16 bits only (the high
// ones repeat the version there).
std::string WindowsBuildText(const TWindowsVersion& version);
std::string WindowsBuildText();

// ---- Computer and user --------------------------------------------------------

// The computer's name (at most 15 characters).
std::string ComputerNameText();
// The current user's login name.
std::string UserLoginText();
// The registered owner of the system, from the first of the setup keys that
// names one; on Vista and later the placeholder "Microsoft" names none.
std::string RegisteredOwnerText();

// ---- Text services ------------------------------------------------------------

// The text with every run of characters below the blank turned into one
// blank; characters from the blank up, 128 to 255 included, kept.
std::string SingleLineText(const std::string& text);
// The text followed by blanks up to width characters; a longer text as it is.
std::string PadRightSpaces(const std::string& text, int width);
inline const std::string& ChooseText(bool flag, const std::string& ifSet, const std::string& ifNotSet)
{
    return flag ? ifSet : ifNotSet;
}
inline std::string TextIf(bool flag, const std::string& text)
{
    return flag ? text : std::string();
}
// The system's folder for temporary files, with its final backslash.
std::string TempFolder();
// A duration in days as "1 day, 12 hours, 0 second": days, hours and minutes
// where they are not 0, always the seconds; a word takes its "s" above 1.
// Whole seconds of the duration rounded to the millisecond (a negative or
// not-a-number duration counts as 0).
std::string DurationText(double days);
// The date-time as a mail header writes it: "Tue, 5 Mar 2024 14:07:09 +0530",
// English names, the local offset from UTC now in hours and minutes. Empty for
// a date outside the years 1 to 9999.
std::string MailDateText(TDateTime value);
// The text with "&", double quote, "'", "<" and ">" written as HTML entities
// (in that order, so that no entity is escaped twice), two blanks as two
// "&nbsp;" and each CR LF as "<br>" and CR LF.
std::string HTMLEscapeText(const std::string& text);

// ---- Tests --------------------------------------------------------------------

// The kernel's debugger-present test, looked up when called; false without it.
bool IsDebuggerAttached() noexcept;
// Whether a module's copy of the library, of library version word version,
// can take this one's events: within the hundred from the own version's
// hundreds on (own 610: 600 to 700).
bool IsCompatibleLibraryVersion(std::uint16_t version, std::uint16_t ownVersion);
bool IsCompatibleLibraryVersion(std::uint16_t version);

// ---- Files --------------------------------------------------------------------

// The size (its low 32 bits) of the first file the name or pattern finds; 0
// when none.
std::uint32_t FileSizeByName(const std::string& fileName);
// Clears the file's read-only attribute and deletes it; true when it is gone.
bool ForceDeleteFile(const std::string& fileName);

}  // namespace crash
