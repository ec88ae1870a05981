// The collectors of the report header: one small function per item, each
// asking the system, the exception or the module's data for its value, and
// the pure formatting steps under them.
//
// Zone: the report thread, under the pipeline's report lock (the stored
// message, class, e-mail and language texts are process-wide and unlocked).
// Failure: none raises beyond running out of memory and none shows anything;
// a missing source gives empty text or the item's fixed fall-back ("Unknown
// exception type", "Unknown error message.", "Unknown processor",
// "000.000.000.000"). Optional system functions are looked up by name when
// they are used; libraries, handles and buffers are released on every path.
// 8-bit texts are in the process ANSI code page.
#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/ETypes.h"

namespace crash {

class TVexlorStackList;
struct TReportContext;

// ---- Times ---------------------------------------------------------------------

// The application's start: the process's creation time, local; now when the
// system does not tell it.
TDateTime ApplicationStartTime();
// The exception time the pipeline keeps (local SYSTEMTIME) as a date-time.
TDateTime DateTimeOfSystemTime(const SYSTEMTIME& time);
// Item 1.1: the start as a mail date.
std::string StartDateText();
// Item 2.1: the exception time as a mail date.
std::string ExceptionDateText(const SYSTEMTIME& exceptionTime);
// Item 1.6: the time from the start to the exception (DurationText).
std::string UpTimeText(TDateTime start, TDateTime exceptionTime);
std::string UpTimeText(const SYSTEMTIME& exceptionTime);
// Item 5.6: the time since the system started. The 64-bit tick count when
// the kernel exports it, so that a machine up for more than 49.7 days is not
// shown as just started.
std::string SystemUpTimeText();
// Item 6.3: the system's service-pack text, trimmed.
std::string ServicePackText();

// ---- Application ---------------------------------------------------------------

// The program's file name or, under .NET, the hosting file's (".vshost"
// dropped).
std::string HostedMainModuleFileName();

// The module whose version data describe the application: the metadata file
// when metadataFilePath names an existing file, else the hosted main module.
// A module that is not loaded is mapped (its code is not run) and kept until
// FreeMainModuleHandle. Null when neither can be had.
HMODULE MainModuleHandle(const std::string& metadataFilePath = {});
// Shut-down: unmaps the module MainModuleHandle mapped, if any.
void FreeMainModuleHandle() noexcept;

// The file name part of the path, then " - (" + the trimmed description + ")"
// when the description is not empty.
std::string NameWithDescription(const std::string& fileName, const std::string& description);

// Item 1.2: the program's file name (the hosted one with callFromComObject)
// with the description of MainModuleHandle's file.
std::string ApplicationNameText(bool callFromComObject = false, const std::string& metadataFilePath = {});

// The command line without the program's name: the name is the first token
// as the system's argument rules read it (up to the closing double quote when
// it starts with one, else up to the first blank or tab), the rest trimmed.
std::string CommandLineParameters(const std::string& commandLine);
// Item 1.4: CommandLineParameters of the process's command line.
std::string CommandLineParametersText();

// Item 1.5: the compile time stored in the library module's data (UTC), in
// local time as a mail date; empty when the module has no data (time 0).
std::string CompilationDateText(TDateTime compilationDate);
std::string CompilationDateText();

// ---- Exception -------------------------------------------------------------------

// Item 2.2: 8 upper-case hexadecimal digits; empty for 0.
std::string ExceptionAddressText(const void* address);

// The file of the faulting module: with callFromComObject the module of the
// stack list's first item, else the module that holds the address. Empty when
// none.
std::string ExceptionModuleFileName(const void* address, bool callFromComObject = false,
                                    const TVexlorStackList* stackList = nullptr);
// Item 2.3: NameWithDescription of that file.
std::string ExceptionModuleText(const void* address, bool callFromComObject = false,
                                const TVexlorStackList* stackList = nullptr);
// Item 2.4: the file version of that file.
std::string ExceptionModuleVersionText(const void* address, bool callFromComObject = false,
                                       const TVexlorStackList* stackList = nullptr);

// Item 2.5: "Unknown exception type" for a pointer that is no valid object;
// the type text of a TActiveXException; else the class name (a standard
// library exception's unqualified C++ name, "out_of_range"). Stored as the
// current exception class text.
std::string ExceptionClassText(const void* object);

// Item 2.6: the message of an Exception (an access violation's rebuilt from
// the system record, below) or the what() of a standard library exception;
// "Unknown error message" for any other object; a "." appended when it does
// not end with one. Stored as the current exception message. systemRecord is
// the system's record the pipeline copied (null: the object's own copy).
std::string ExceptionMessageText(const void* object, const EXCEPTION_RECORD* systemRecord = nullptr);

// The access-violation text: "Access violation at address %p in module '%s'.
// %s of address %p" when moduleName is not empty, else "Access violation at
// address %p. %s of address %p"; the word "Read" for access kind 0,
// "Execution" for 8 (data execution prevention), else "Write"; each address 8
// upper-case hexadecimal digits.
std::string AccessViolationMessage(const void* exceptionAddress, ULONG_PTR accessKind, ULONG_PTR accessedAddress,
                                   const std::string& moduleName);

// The text with every character below the blank other than CR and LF made a
// blank.
std::string CleanMessageText(const std::string& text);

// What ExceptionClassText and ExceptionMessageText stored last (for the
// dialogs and the log); empty before.
std::string CurrentExceptionClass();
std::string CurrentExceptionMessage();

// ---- User ------------------------------------------------------------------------

// Item 3.3: the e-mail address last entered in a crash dialog or read from
// the settings file; empty until set.
std::string UserEmailText();
void SetUserEmail(std::string email);

// Item 3.4: "RegisteredOrganization" of the NT, then the 9x setup key, then
// "DefCompany" of the old setup key; on Vista and later "Microsoft" counts as
// empty.
std::string UserCompanyText();

// One line of item 3.5: the name padded with blanks to 31 characters,
// " - ON" or " - OFF", CR LF.
std::string PrivilegeLine(const std::string& name, bool enabled);
// Item 3.5: a PrivilegeLine per privilege of the process's token, in the
// token's order; empty when the token cannot be opened or read.
std::string UserPrivilegesText();

// ---- Active controls ---------------------------------------------------------------

// Items 4.1 and 4.2: the foreground window's class name and its text (read
// without a message to its thread, made one line); empty without one, and
// for the desktop window, which the system may answer when nothing is in the
// foreground.
std::string ForegroundFormClassText();
std::string ForegroundFormText();
// The same texts of any window.
std::string WindowClassText(HWND window);
std::string WindowCaptionText(HWND window);
// Item 4.4: the active control's text as one line.
std::string ActiveControlText(const std::string& controlText);

// ---- Computer ----------------------------------------------------------------------

// bytes in megabytes rounded to the nearest (a half to the even one), " Mb".
std::string MegabytesText(std::uint64_t bytes);
// bytes in gigabytes as "0.##" (at most two decimals, none shown when they
// are zero, the locale's decimal separator), " Gb".
std::string GigabytesText(std::uint64_t bytes);

// Items 5.2 and 5.3: physical memory, total and available.
std::string TotalMemoryText();
std::string FreeMemoryText();
// Items 5.4 and 5.5: the size of the drive that holds the library module's
// file and the space free to the caller there; empty when the query fails.
std::string TotalDiskText();
std::string FreeDiskText();
// The root folder of the path's drive ("C:\", "\\server\share\"); empty when
// the path names none.
std::string DriveRootOf(const std::string& path);

// The processor text from its registry values: the trimmed name string;
// else vendor + " - " + identifier (the vendor alone without an identifier,
// nothing without a vendor); else "Unknown processor".
std::string ProcessorTextOf(const std::string& nameString, const std::string& vendor, const std::string& identifier);
// Item 5.7, from the first processor's key.
std::string ProcessorText();

// Item 5.8: "%d x %d, %d bit" of the screen.
std::string DisplayModeTextOf(int width, int height, int bitsPerPixel);
std::string DisplayModeText();
// Item 5.9: the screen's vertical logical pixels per inch.
std::string DisplayDPIText();

// What the registry says of the video adapter.
struct TVideoCardFacts {
    std::string AdapterName;
    std::string DriverVersion;
    bool MemoryKnown = false;  // a 4-byte memory value was found
    std::uint32_t MemorySize = 0;
};
// Trimmed name + " (driver " + version + " - RAM " + MB + " MB)" when the
// memory is known and not 0, else + ")".
std::string VideoCardTextOf(const TVideoCardFacts& facts);
// Item 5.10, from the first display device or the video keys.
std::string VideoCardText();

// Item 5.11: the default printer's driver name and " (driver " + the driver
// file's product version without blanks + ")"; empty without a default
// printer, without the spooler's queries or when one fails.
std::string PrinterText();

// The product version of the file's version resource (the first
// translation's "ProductVersion" text, else the fixed product version);
// empty without one.
std::string FileProductVersion(const std::string& fileName);

// ---- Operating system ------------------------------------------------------------------

// Item 6.4: the English name of the system's default language, found once
// among the installed locales and kept.
std::string SystemLanguageText();
// Item 6.5: the user-interface character set in decimal.
std::string CharsetText();

// ---- Network -----------------------------------------------------------------------------

// An address with each dot-separated part padded with "0" to three digits;
// "000.000.000.000" for an empty one.
std::string PaddedAddress(const std::string& address);

// What one adapter tells.
struct TAdapterFacts {
    bool DhcpEnabled = false;
    std::string IpAddress;  // the first of each list
    std::string IpMask;
    std::string Gateway;
    bool DnsRead = false;          // the per-adapter query answered
    std::vector<std::string> Dns;  // its servers, in order
};

// The six items 7.1 to 7.6, in this order.
enum TNetworkItem { niIP, niMask, niGateway, niDNS1, niDNS2, niDHCP };
using TNetworkTexts = std::array<std::string, 6>;

// The adapters' values joined with " - " per item: padded addresses, the
// DHCP state as "ON" or "OFF" padded with blanks to 15 before its " - "; DNS 2
// "000.000.000.000" for an adapter with one server, both DNS items so when its
// servers cannot be read. The last " - " of each item is removed (the last
// DHCP state keeps its blanks).
TNetworkTexts NetworkTextsOf(const std::vector<TAdapterFacts>& adapters);
// Items 7.1 to 7.6 of the machine's adapters; all empty without the IP
// helper's queries.
TNetworkTexts NetworkInfoTexts();

// ---- The report in progress ------------------------------------------------------------
// The collectors that depend on the exception, fed from the report context
// and the pipeline's state (the COM switch, the report's stack list, the
// system record the pipeline copied).

std::string ApplicationNameText(TReportContext& context);
std::string ExceptionAddressText(TReportContext& context);
std::string ExceptionModuleText(TReportContext& context);
std::string ExceptionModuleVersionText(TReportContext& context);
// The context's class name where the pipeline reports an object of no class
// of ours through a stand-in Exception (a standard library exception).
std::string ExceptionClassText(TReportContext& context);
std::string ExceptionMessageText(TReportContext& context);
// Items 4.3 and 4.4: the active control's class and text (one line).
std::string ActiveControlClassText(TReportContext& context);
std::string ActiveControlText(TReportContext& context);

// The header's values by the option that shows each item.
using THeaderValues = std::array<std::string, kShowOptionCount>;
// Puts in values every item the collectors give and shown contains: all but
// the system facts' (1.1, 1.3, 1.6, 2.1, 3.1, 3.2, 5.1, 5.6, 6.1 to 6.3) and
// the pipeline's (2.7 to 2.10), which stay as they are, as do the items not
// shown (a hidden printer or network item costs no time). The class and
// message texts (2.5, 2.6) are made in any case: the dialogs and the log read
// them. The network is asked once for its six items.
void CollectHeaderValues(TReportContext& context, THeaderValues& values, const TShowOptions& shown);
// The same for the items the report's options show (every item without the
// pipeline's state).
void CollectHeaderValues(TReportContext& context, THeaderValues& values);

// Start-up: fills the pipeline's slots for the exception's message and class
// texts, the cleaned message and the identifier's application and module
// texts.
void RegisterHeaderCollectorSteps();

}  // namespace crash
