// Core utilities of the crash reporter: text splitting and replacing, variable
// expansion, version and date texts, INI and registry access, working files with
// a fallback to the user's folder, checked memory reads and the unit-step guard.
//
// Unless a declaration says otherwise: the routines never raise for missing
// files, keys or variables (they answer empty text, false or the default given),
// they may be called from any thread, and they run in the report zone (they may
// allocate). 8-bit text is in the process ANSI code page.
#pragma once
#include <windows.h>
#include <unknwn.h>

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/CheckedMemory.h"
#include "rtl/SysUtils.h"

namespace crash {

// A set of 8-bit characters: the separators of the splitting routines.
using TCharSet = std::bitset<256>;

// The set of the given characters.
TCharSet MakeCharSet(std::string_view chars) noexcept;

// A parameterless step, the argument of SafeExec.
using TProc = void (*)();

// Days since 30 December 1899, the fraction being the time of day.
using TDateTime = double;

// The critical-error handler: receives "Name (Address: XXXXXXXX)" while the
// failing step's exception is still being handled. Empty until start-up sets it;
// set and cleared only while no unit step runs.
using TCriticalErrorProc = void (*)(const std::string& text);
extern TCriticalErrorProc CriticalError;

// Raised where a step wants its failure to pass SafeExec unchanged.
class EIgnoreException : public rtl::Exception {
public:
    using rtl::Exception::Exception;
    RTL_CLASS(EIgnoreException)
};

// True when the process is the development environment hosting design-time
// packages; set by the unit's start-up step from DetectIntoIDE().
extern bool IntoIDE;
bool DetectIntoIDE();

// ---- Text --------------------------------------------------------------------

// Appends to strings the pieces of text between characters of separators.
// Unless raw, text and every piece are trimmed (characters up to the blank);
// in raw mode a piece keeps its closing separator. A piece is added when not
// empty or when addEmpty is set; the rest after the last separator only when it
// is not empty.
void ExtractList(const std::string& text, std::vector<std::string>& strings, const TCharSet& separators,
                 bool raw = false, bool addEmpty = false);

// Appends to strings the trimmed pieces of text between separators, empty ones
// included, after skipping leading separators; a last piece that is empty after
// trimming is not added.
void ExtractStringsEx(const TCharSet& separators, const std::string& text, std::vector<std::string>& strings);

// 1-based position of the first subStr in s at or after offset; 0 when there is
// none, subStr is empty or offset lies outside s.
std::size_t PosEx(std::string_view subStr, std::string_view s, std::size_t offset = 1) noexcept;

// s with every occurrence of old (left to right, no overlap, case-sensitive)
// replaced by replacement. An empty old gives s unchanged.
std::string QuickStringReplace(std::string_view s, std::string_view old, std::string_view replacement);

// name with every ".vshost" removed.
std::string DotNetHostedFile(const std::string& name);

// The text converted through UTF-16 to UTF-8; empty when it cannot be converted.
std::string StringToUtf8(const std::string& text);

// Our 8-bit strings always hold the process ANSI code page, so tagging a text
// with it leaves the bytes as they are: kept for the callers that ask for it.
inline void SetCurrentCodePage(std::string& /*Text*/) noexcept {}

// The text with every run of characters below the blank replaced by one blank.
std::string OneString(const std::string& text);

// True when both texts are not empty and b is a later version than a. Parts are
// compared as numbers padded to a common width, a text after a blank in the last
// part ("6.1 RC 1") sorting before the next part; missing parts count as zero.
bool IsGreaterVersion(const std::string& a, const std::string& b);

// path with a trailing backslash; a single backslash for an empty path.
std::string IncludeLastBackslash(const std::string& path);
// path with one trailing backslash removed.
std::string ExcludeLastBackslash(const std::string& path);
// The file-name part of a path: what follows its last "\", "/" or ":".
std::string ExtractFileName(const std::string& path);
// The file name with its extension (from the last "." of its file-name part
// on) replaced by extension, which brings its own "."; an empty extension
// removes it, and a name without one gets extension appended.
std::string ChangeFileExt(const std::string& fileName, std::string_view extension);

// ---- Environment variables -----------------------------------------------------

// text with every %NAME% (letters, digits, "_"; possibly empty) replaced by
// GetEnvVariable(NAME); a lone "%" stays; inserted values are not expanded again.
std::string ExpandEnvVars(const std::string& text);

// The process environment variable name; when it is empty, the built-in names
// "date" (short date), "time" (long time) and "cd" (current folder), in any case;
// otherwise empty.
std::string GetEnvVariable(const std::string& name);

// ---- Dates ---------------------------------------------------------------------

// The date-time as a floating-point text with "." as decimal separator.
std::string DateTimeToStrFixed(TDateTime value);
// The inverse; 0 when text is not a number.
TDateTime StrToDateTimeFixed(const std::string& text);
// The current local time.
TDateTime NowDateTime();
// Splits a date-time into calendar fields, the day of the week included;
// false outside the years 1 to 9999.
bool DateTimeToSystemTime(TDateTime value, SYSTEMTIME& time);
// The date-time in the user locale's short date and long time formats (the time
// left out at midnight); outside the calendar's range the value as a number.
std::string DateTimeToStrEx(TDateTime value);
// Local time minus UTC now, in minutes (+330 east of UTC at +05:30).
int GetGMTMinutes();
// Local time minus UTC, in whole hours rounded to the nearest.
int GetGMT();
// value moved from local time to UTC by GetGMT() hours.
TDateTime GetGMTDateTime(TDateTime value);
// Local last-write time of the file, at the two-second step of DOS times; 0 when
// the file is not found.
TDateTime GetModifiedDate(const std::string& fileName);
// The same of a last-write time (UTC) the caller has found already.
TDateTime GetModifiedDate(const FILETIME& lastWriteTime);

// ---- Files and folders ---------------------------------------------------------

// The program's file name (of the main module).
std::string Real_GetMainModuleFileName();

// The process's current folder; empty when it cannot be read.
std::string CurrentDirectory();

// path with every component replaced by its long name, as far as the components
// exist; the rest as given. Paths with "~" are made full first.
std::string GetLongNameFromShort(const std::string& path);

// Creates path (variables expanded) and its missing parents; true when the folder
// exists at the end. An empty path fails.
bool ForceDirectoriesEx(const std::string& path);

// True when the file can be opened for reading and writing; a file that did not
// exist is created for the test and gone again afterwards. An existing file is
// never deleted or changed.
bool IsWritableFile(const std::string& fileName);
// True when the existing file can be opened for reading.
bool IsReadableFile(const std::string& fileName);

// The user's application-data folder: from the shell, else the "AppData"
// variable, else a single backslash. The local variant asks for the local
// application-data folder first.
std::string GetUserApplicationsPath();
std::string GetLocalUserApplicationsPath();

// The library's default folder: the user's application-data folder joined with
// "VexlorLog" (the Windows folder on Windows 95/98/Me).
std::string GetLibraryDefaultFolder();

// Makes fileName (variables expanded in place) a usable file: readable when
// readOnly, else writable. When it is not, tries the same file name in the user's
// "VexlorLog" folder (with useModuleFolder, in a folder below it named after the
// program), creating the folders. True with fileName set to the usable file;
// false with fileName holding its expanded form, and a warning recorded when the
// file was wanted for writing.
bool GetWorkingFile(std::string& fileName, bool useModuleFolder, bool readOnly);
// The same for a folder; folder ends with a backslash when true.
bool GetWorkingDir(std::string& folder, bool useModuleFolder, bool readOnly);

// ---- INI files -----------------------------------------------------------------
// A File without folder lies in GetLibraryDefaultFolder(); the file must pass
// GetWorkingFile (writable, no module folder), else nothing is read (the default
// is answered) or written (false).

// The stored value (at most 2047 characters; a present empty value is empty),
// or defaultText exactly as given when the file, section or key is absent.
std::string ReadString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& defaultText);
int ReadInteger(const std::string& file, const std::string& section, const std::string& key, int defaultValue);
// True only for a stored 1.
bool ReadBool(const std::string& file, const std::string& section, const std::string& key, bool defaultValue);
bool WriteString(const std::string& file, const std::string& section, const std::string& key, const std::string& value);
bool WriteInteger(const std::string& file, const std::string& section, const std::string& key, int value);
// Stored as 1 or 0.
bool WriteBool(const std::string& file, const std::string& section, const std::string& key, bool value);

// ---- Registry ------------------------------------------------------------------

// The string value name of the key (a leading backslash of key dropped), without
// its terminating zero: one zero at the end is dropped, zeros before it stay, and
// a value stored without one is read whole. Empty when the key or value is
// missing or not a string.
std::string ReadKey(HKEY root, const std::string& key, const std::string& name);
// The raw bytes of the value, whatever its type; false when the key or the
// value is missing.
bool ReadKeyBytes(HKEY root, const std::string& key, const std::string& name, std::string& bytes);
// The value when it has exactly 4 bytes (little-endian); false otherwise.
bool ReadKeyDword(HKEY root, const std::string& key, const std::string& name, std::uint32_t& value);
// The name of the first subkey, and of the last one enumerated from index 0
// until none is left; empty when there is none.
std::string FirstSubKey(HKEY root, const std::string& key);
std::string LastSubKey(HKEY root, const std::string& key);
// True when the key can be opened for reading.
bool CheckKey(HKEY root, const std::string& key);

// ---- Memory checks (report zone, also safe in hooks: no heap, no locks) ---------
// Thin callers of the runtime's checked reader (rtl/CheckedMemory.h), whose rule
// of what is readable they share; copy memory out with rtl::ReadMemory.

// True when the size bytes from address are committed and plainly readable (no
// guard or no-cache page, no reserved or free gap, no wrap past 4 GB); size 0
// checks the page of address. Asks VirtualQuery at every call.
bool IsValidBlockAddr(const void* address, std::size_t size) noexcept;
bool IsValidBlockAddr(std::uintptr_t address, std::size_t size) noexcept;

// Remembers the regions one walk or one report has found readable, so that a
// walk over many frames asks VirtualQuery once per region. Memory freed while a
// cache lives still reads as valid through it: make one per walk, never keep one.
// It is the runtime's region cache, so the walk's copies go through it too.
class TValidRegionCache : public rtl::ReadableRegionCache {
public:
    bool IsValidBlockAddr(std::uintptr_t address, std::size_t size) noexcept;
};

// The target of an import thunk (FF 25 and the address of the slot) when the
// thunk and its slot are readable; else address. A walk passes its own region
// cache.
std::uintptr_t ConvertAddress(std::uintptr_t address, rtl::ReadableRegionCache* cache = nullptr) noexcept;

// ---- Guarded steps -------------------------------------------------------------

// Runs proc. An EIgnoreException or an exception that is no object of ours or
// of the standard library passes unchanged. Any other: with CriticalError set, it
// is called with "Name (Address: XXXXXXXX)" and the silent abort is raised;
// without it, an rtl::Exception "Critical error at: "Name"\r\nError: "message"."
// is raised.
void SafeExec(TProc proc, const std::string& name);

// ---- Interfaces and character sets ---------------------------------------------

// True when instance is not null, answers the query for iid and gives a non-null
// interface in result (which then holds a reference the caller releases).
bool SupportsEx(IUnknown* instance, REFIID iid, void** result);

// The character set of the user's default ANSI code page (DEFAULT_CHARSET when it
// cannot be told).
BYTE UserCharSet();

}  // namespace crash
