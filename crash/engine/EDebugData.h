// The crash reporter's data block of a module and address-to-source lookups
// over its line tables.
//
// A module that carries the crash reporter holds the block as its RCDATA
// resource VLDATA (written by the post-link step, tools/debug-data.py) or
// appended to its file: the library version that wrote it, the compile date,
// code symbols, the module's options and line tables that map code addresses
// to unit, class, procedure and line. The reader understands every layout
// from version 405 on.
//
// Threads: lookups run on any number of threads at once. A module's data is
// immutable once read; its index is built once, at the first lookup, under the
// module's own lock; names are deciphered with the module's own key. Reading a
// module's data sets LastVexlorVersion for the options load and restores it:
// reads into module records are serialised by the reader's own lock.
// Failure: nothing here raises. A damaged block, a length or count past the
// bytes present, or data of a newer library than this one is no data (false).
// Zone: ordinary code and the report thread (reading and indexing allocate);
// a lookup over a built index allocates nothing.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/EDebugInfo.h"
#include "crash/engine/EEncrypt.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/ReportSteps.h"
#include "rtl/SyncObjs.h"

namespace crash {

// The block's signatures; any other first word means no data.
inline constexpr std::uint32_t kVexlorDataSignature = 0x100FAB10;
inline constexpr std::uint32_t kVexlorDataSignatureOld = 0x000FAB10;
constexpr bool IsVexlorDataSignature(std::uint32_t value) noexcept
{
    return value == kVexlorDataSignature || value == kVexlorDataSignatureOld;
}

// Bit 0 of the two bytes after the compile date: unit names carry their own
// extension (header files without one among them), so none is appended.
inline constexpr std::uint16_t kDataFlagUnitExtensions = 0x0001;

// The extension appended to a unit name of a module's own data that has none.
inline constexpr std::string_view kUnitSourceExtension = ".cpp";

// The key of the names of blocks older than version 500 (one byte, XORed).
inline constexpr std::uint8_t kOldNameKey = 0xA5;

// The stored version word as a version: 600, 601 and 602 stand for 6000,
// 6001 and 6002.
constexpr std::uint16_t NormalizeVexlorVersion(std::uint16_t word) noexcept
{
    return word >= 600 && word <= 602 ? static_cast<std::uint16_t>(word % 600 + 6000) : word;
}

// While set, frames in the library's own units keep their unit, class,
// procedure and line; else a lookup reduces them to the module. The
// internal-error report sets it while it runs.
extern std::atomic<bool> ShowVexlorLogUnits;

// Whether the unit name (a file name, compared without regard to case) is one
// of the library's own units: its historical unit names and the base names of
// the files under crash/ (a list made at configure time).
bool IsOwnUnitName(std::string_view name) noexcept;

class TLineIndex;
struct TVexlorModuleInfo;

// The crash reporter's data read from one module. The module record (module
// list) owns it, as its ExtraInformation.DebugInformation.
class TModuleDebugData {
public:
    explicit TModuleDebugData(std::uintptr_t handle);
    ~TModuleDebugData();
    TModuleDebugData(const TModuleDebugData&) = delete;
    TModuleDebugData& operator=(const TModuleDebugData&) = delete;

    // Where the block's code offsets start: the module handle + 0x1000.
    std::uintptr_t CodeBase() const noexcept { return Handle + 0x1000; }

    std::uintptr_t Handle;
    // The version that wrote the data, normalised; the running library's own
    // when the module carries none.
    std::uint16_t VexlorVersion;
    std::uint16_t VersionWord = 0;  // as stored
    TDateTime CompilationDate = 0;
    std::uint16_t HeaderFlags = 0;  // the two bytes after the date (from 6000 on)
    bool FromResource = false;
    // The options the block holds; handed over to the module record that
    // takes the data (null from then on).
    std::unique_ptr<TVexlorModuleOptions> Options;
    // The line tables; absent after a light read or when the module has none.
    std::optional<std::vector<std::uint8_t>> DebugInformation;
    // The symbol table's 9-byte entries (from version 500 on).
    std::vector<std::uint8_t> Symbols;
    std::string EncryptPassword;
    bool IsValidEncryptPassword = true;
    TCipherContext Key;  // of EncryptPassword: the names of this module's data

    // The index over DebugInformation, built at the first call (under this
    // object's lock); null when there are no line tables or they are damaged.
    const TLineIndex* Index() const;

private:
    mutable rtl::TCriticalSection FIndexLock;
    mutable std::atomic<const TLineIndex*> FIndex{nullptr};
    mutable bool FIndexBuilt = false;
};

// How a module's data is read.
struct TDataReadSettings {
    // A module-list refresh: options only, no password check, no line tables.
    bool Refresh = false;
    // The password to use instead of asking the module.
    std::optional<std::string> Password;
};

// The module's password for its enciphered names: its exported
// "VexlorLog_PasswordRequestEvent" (given a length-prefixed buffer of 255
// characters) when it has one, else the library's own key.
std::string ModulePassword(HMODULE module);
using TPasswordRequestEvent = void(WINAPI*)(unsigned char* password, std::int32_t maxLength);
// Where the request runs: the pipeline sets the main-thread call, so that
// during a report the module's handlers run on the thread that raised, as
// every other handler of a report does; empty, the request runs at once.
inline TReportStep<void(TPasswordRequestEvent request, unsigned char* password, std::int32_t maxLength)>
    PasswordRequestCall;

// Reads a block in the resource layout (size bytes at data) into target: the
// version, date, options (loaded at the block's version), the password check
// and the line tables. False for no data; target's line tables stay absent.
bool ReadResourceData(const void* data, std::size_t size, TModuleDebugData& target,
                      const TDataReadSettings& settings = {});
// The same for data appended to a file whose last size bytes (or the whole
// file) are at data: the last four bytes the signature, the four before them
// the length of the block before them. No password check.
bool ReadAppendedData(const void* data, std::size_t size, TModuleDebugData& target,
                      const TDataReadSettings& settings = {});
// The data of a loaded module: its VLDATA resource when it has one, else the
// data appended to its file.
bool ReadModuleData(HMODULE module, TModuleDebugData& target, const TDataReadSettings& settings = {});

// The module has a VLDATA resource with a valid signature, or its file ends
// with one.
bool IsVexlorLogModule(HMODULE module);
// The version word as stored in the resource, else in the appended data; 0
// when the module has none.
std::uint16_t GetVexlorLogModuleVersion(HMODULE module);
// The module carries data of this library's version or a later one.
bool IsVexlorLogCurrentData(HMODULE module);

// The VLDATA resource of the module: its bytes, or null (size 0).
const void* FindVexlorDataResource(HMODULE module, std::size_t& size) noexcept;

// The code address of symbol identifier in the data of the module that
// carries this library; null when it has none.
void* FindVexlorSymbol(std::uint8_t identifier) noexcept;
// The same in the given symbol table (9-byte entries) of a module.
void* FindVexlorSymbolIn(const TModuleDebugData& data, std::uint8_t identifier) noexcept;

// Fills item from the module's line tables: ddSourceCode, Addr, unit, class,
// procedure, line and offset line; reduced to ddModule in the library's own
// units unless ShowVexlorLogUnits. False when the address is in none of its
// units. Uses the index; tables whose units are not in ascending order are
// scanned as they lie.
bool LookupSourceInfo(const TModuleDebugData& data, std::uintptr_t address, TVexlorDebugInfo& item) noexcept;
// The same by reading the line tables from their start at every call,
// deciphering every unit header: the reference the index answers like.
bool ScanSourceInfo(const TModuleDebugData& data, std::uintptr_t address, TVexlorDebugInfo& item) noexcept;

// The reader of the module records' slot (ModuleDebugReaders.ReadModuleData):
// reads the module's data (light: options only, no password check, no line
// tables) into the record's ExtraInformation, version, compile date, options
// and, when it has line tables, the data itself as DebugInformation; and the
// record's password and whether it was valid. False, the record untouched,
// when the module carries no data.
bool ReadModuleRecordData(TVexlorModuleInfo& module, bool light);
// Start-up: puts ReadModuleRecordData into the slot.
void InstallModuleDataReader() noexcept;

// The line tables of the module holding address, as its module record
// (ModuleInfoByAddr) has them, as LookupSourceInfo. False without a record or
// line tables (before the module list exists, or without the reader in its
// slot).
bool GetSourceInfoByAddr(std::uintptr_t address, TVexlorDebugInfo& item) noexcept;

// ---- The line tables' building blocks (shared with the tests) -------------------

// One line record: the current line covers D bytes of code and then advances
// by Delta; NewProcedure announces a procedure (its name follows the record)
// after those bytes.
struct TLineRecord {
    std::uint32_t D = 0;
    std::int32_t Delta = 0;
    bool NewProcedure = false;
};
// Reads one record at data (size bytes left); its length, or 0 when it does
// not fit.
std::size_t DecodeLineRecord(const std::uint8_t* data, std::size_t size, std::uint16_t version,
                             TLineRecord& record) noexcept;

}  // namespace crash
