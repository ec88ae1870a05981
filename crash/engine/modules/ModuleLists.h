// The process's modules and the machine's processes as the crash reporter
// keeps them: one record per loaded module (what every call-stack item points
// to) and, for each report, one per running process; the stream through which
// module images are read, the version-resource reader and the display texts
// of the report's module and process sections.
//
// Threads: the module list has one lock (ModulesListLock) over every change
// and lookup, so that lookups from raising threads may run while the report
// refreshes it. The report holds it whenever it suspends threads, as it holds
// the thread registry's write lock, so no suspended thread holds it. A record
// that leaves the list stays allocated until the list goes at shut-down:
// pointers taken by a lookup stay readable. The process list has no lock: the
// report alone refreshes and reads it.
// Zone: report thread and ordinary code (everything allocates); lookups also
// run in the raising thread, never in the vectored handler.
// Failure: nothing raises beyond running out of memory. A module whose
// headers cannot be read gets type mtUnknown and no functions; a system
// function that cannot be found leaves its step out; a process that cannot be
// opened is left out of the list.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/ReportSteps.h"
#include "rtl/CheckedMemory.h"
#include "rtl/Streams.h"
#include "rtl/SyncObjs.h"

namespace crash {

// ---- Record lists ---------------------------------------------------------------

// A list of records it owns, in the order they were added or sorted into.
// Pointers to records stay valid while the record is in the list; a record
// is taken out of the list before it is freed. An index outside the list
// changes nothing and answers null.
template <class T>
class TVexlorRecordList : public rtl::TObject {
public:
    TVexlorRecordList() = default;
    TVexlorRecordList(const TVexlorRecordList&) = delete;
    TVexlorRecordList& operator=(const TVexlorRecordList&) = delete;

    // Appends the record; its index.
    int Add(std::unique_ptr<T> item)
    {
        FItems.push_back(std::move(item));
        return Count() - 1;
    }
    virtual void Delete(int index)
    {
        if (index < 0 || index >= Count()) return;
        std::unique_ptr<T> item = std::move(FItems[static_cast<std::size_t>(index)]);
        FItems.erase(FItems.begin() + index);
    }
    virtual void Clear()
    {
        while (!FItems.empty()) Delete(Count() - 1);
    }
    T* GetItem(int index) const noexcept
    {
        return index >= 0 && index < Count() ? FItems[static_cast<std::size_t>(index)].get() : nullptr;
    }
    T* Items(int index) const noexcept { return GetItem(index); }
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    // Sorts by a strict order of two records (stable: equal records keep their order).
    template <class TLess>
    void Sort(TLess less)
    {
        std::stable_sort(FItems.begin(), FItems.end(),
                         [less](const std::unique_ptr<T>& a, const std::unique_ptr<T>& b) { return less(*a, *b); });
    }

protected:
    std::vector<std::unique_ptr<T>> FItems;
};

// ---- Records ----------------------------------------------------------------------
// The records hold owning C++ members (strings, lists, the options object),
// so they are laid out in the order of their fields but not packed: only a
// module built from these headers with the same compiler may read them.

// One exported function of a module.
struct TVexlorFunctionInfo {
    std::string Name;        // the export name
    std::uint32_t Addr = 0;  // entry address
    // 0 until measured on first use (GetFunctionSize); 1 for an export that
    // lies below the module's code section.
    std::uint32_t Size = 0;
};
using PVexlorFunctionInfo = TVexlorFunctionInfo*;

// A module's exported functions, sorted by address.
class TVexlorFunctionsList : public TVexlorRecordList<TVexlorFunctionInfo> {};

enum class TVexlorModuleType : std::uint8_t {
    mtUnknown,         // headers not read, or a record made during a refresh
    mtMainModule,      // an executable
    mtBorlandPackage,  // a DLL with both RCDATA resources PACKAGEINFO and PACKAGEOPTIONS
    mtOSLibrary,       // any other DLL
};

// The crash reporter's data found in a module.
struct TVexlorExtraInformation {
    // The library version that wrote the module's data; the running library's
    // own when the module carries none.
    std::uint16_t VexlorVersion = 0;
    TDateTime CompilationDate = 0;  // 0 without data
    std::unique_ptr<TVexlorModuleOptions> Options;
    // The data block as read, with its line tables and their index; null
    // without line tables (no data, or a light record).
    std::unique_ptr<TModuleDebugData> DebugInformation;
};

struct TVexlorModuleInfo {
    std::uint32_t Handle = 0;            // load address; the list's sort key
    std::string Name;                    // GetModuleFullFileName
    std::string Description;             // "FileDescription" of the version resource
    std::string Version;                 // "a.b.c.d"; empty when none or "0.0.0.0"
    std::uint32_t Size = 0;              // of the file (low 32 bits); 0 when not found
    TVexlorFunctionsList FunctionsList;  // empty for the main module and light records
    TVexlorModuleType ModuleType = TVexlorModuleType::mtUnknown;
    TVexlorExtraInformation ExtraInformation;
    // Another debug-information source of the module (a map file, ...);
    // null when none.
    std::unique_ptr<rtl::TObject> OtherDebugData;
    TDateTime LastModified = 0;          // of the file when the record was made
    std::string EncryptPassword;         // for the module's enciphered names; empty until given
    bool IsValidEncryptPassword = true;  // false once a password check failed
    // Made during a refresh (type mtUnknown, no functions, no other debug
    // source, data read without password check or line tables): the first
    // lookup outside a refresh replaces it by a full one. A full record whose
    // headers could not be read has type mtUnknown too, but stays.
    bool Light = false;
};
using PVexlorModuleInfo = TVexlorModuleInfo*;

// The process's modules. A record that leaves the list (Delete, Clear) is
// kept, unreachable through the list, until the list itself goes.
class TVexlorModulesList : public TVexlorRecordList<TVexlorModuleInfo> {
public:
    void Delete(int index) override;
    // The records that left the list and are kept.
    int RetiredCount() const noexcept { return static_cast<int>(FRetired.size()); }

private:
    std::vector<std::unique_ptr<TVexlorModuleInfo>> FRetired;
};

struct TVexlorProcessInfo {
    std::uint32_t ProcessID = 0;  // the list's sort key
    std::string Name;             // full path of the executable
    std::string Description;
    std::string Version;
    // A priority class: 32 normal, 64 idle, 128 high, 256 real time, 0x4000
    // below normal, 0x8000 above normal; 0 unknown.
    std::uint32_t Priority = 0;
    std::uint32_t Memory = 0;   // working set in bytes; 0 when not measured
    std::uint32_t Threads = 0;  // number of threads
};
using PVexlorProcessInfo = TVexlorProcessInfo*;

class TVexlorProcessesList : public TVexlorRecordList<TVexlorProcessInfo> {};

// Three-way order of two module records by handle, for sorting the list.
int CompareModuleHandles(const TVexlorModuleInfo* a, const TVexlorModuleInfo* b) noexcept;

// ---- The debug data of a module ------------------------------------------------------
// Slots that the readers of a module's own data fill at start-up; empty, a
// module has no data and no other debug source.
struct TModuleDebugReaders {
    // Reads the crash reporter's data the module carries (its options
    // resource, else the data appended to its file) into the record's
    // ExtraInformation: library version, compile date, options, line tables.
    // Light: the record is made during a refresh, so no password check and no
    // line tables. True when the module has data.
    TReportStep<bool(TVexlorModuleInfo& module, bool light)> ReadModuleData;
    // The first working other debug source of the module for OtherDebugData;
    // null when none.
    TReportStep<std::unique_ptr<rtl::TObject>(const TVexlorModuleInfo& module)> AssignValidDebugInfo;
};
inline TModuleDebugReaders ModuleDebugReaders;

// ---- The global lists -----------------------------------------------------------------

// Start-up: creates the module list and the process list (a second call keeps
// them). Shut-down: frees both, and every record they kept.
void CreateModuleLists();
void FreeModuleLists() noexcept;
// The lists; null before CreateModuleLists and after FreeModuleLists. Read the
// module list's items only while holding ModulesListLock.
TVexlorModulesList* ModulesList() noexcept;
TVexlorProcessesList* ProcessesList() noexcept;
// The one lock over the module list's changes and lookups (recursive).
rtl::TCriticalSection& ModulesListLock() noexcept;
// Whether a refresh of the module list runs (in any thread).
bool IsRefreshingModules() noexcept;

// The record of the module loaded at module, made (and appended) at the first
// lookup; during a refresh a light one (type mtUnknown, no functions, no other
// debug source), which the first lookup after the refresh replaces by a full
// one. A record whose module has gone while another was loaded at its handle
// is replaced too, at once. Null for 0, for a handle that names no loaded
// module and before the list exists.
PVexlorModuleInfo ModuleInfoByHandle(HMODULE module);
// The module whose image holds the address: the allocation base of its
// region. Null when that is no loaded module.
HMODULE ModuleHandleByAddr(const void* address) noexcept;
PVexlorModuleInfo ModuleInfoByAddr(const void* address);
// Whether the module's file header has the DLL flag; when its headers cannot
// be read, whether this library is linked into a DLL.
bool IsLibraryModule(HMODULE module);

// Drops the records of modules that are gone, adds a light record for every
// loaded module that has none, and sorts the list by handle.
void RefreshModulesList();
// Rebuilds the process list, sorted by process ID.
void RefreshProcessesList();
// The parent of the own process from the Tool Help process walk; 0 when not found.
DWORD GetParentProcessID();

// ---- Module images and files ---------------------------------------------------------

// A read-only stream over a module image mapped in the process: its memory
// starts at the module handle and runs to 0x7FFFFFFF, so positions are
// relative virtual addresses. Nothing is freed with it. Read it with
// SecureRead: the inherited Read copies without a check.
class THModuleStream : public rtl::TReadOnlyMemoryStream {
public:
    explicit THModuleStream(HMODULE module) noexcept;
    // Copies count bytes from the position when all of them are committed and
    // readable, and moves the position past them; else false, nothing read.
    bool SecureRead(void* buffer, std::size_t count) noexcept;
    // Copies the readable stretch from the position, at most count bytes, and
    // moves past it; its length (0 when the first byte is not readable).
    std::size_t SecureReadPrefix(void* buffer, std::size_t count) noexcept;

private:
    // The image's regions found readable, asked once each while the stream
    // lives: keep a stream no longer than one look at a module.
    rtl::ReadableRegionCache FCache;
};

// The "FileDescription" of the first translation of the file's version
// resource (when longer than one character) and its fixed file version as
// "a.b.c.d" ("0.0.0.0" giving none). Both empty for an empty name or a file
// without version information.
void GetFileDescriptionAndVersion(const std::string& fileName, std::string& description, std::string& version);

// ---- Display texts ------------------------------------------------------------------

// The file's folder without its final backslash, but kept after a drive
// colon ("C:\"); a leading "\??\" removed.
std::string ExtractPathText(const std::string& fileName);
// bytes in Kb rounded to the nearest (halves to even) with " Kb"; empty for 0.
std::string SizeInKbText(std::uint32_t bytes);
// The version up to its second "." followed by "x" ("1.2.x"); a version with
// fewer dots unchanged.
std::string ShortVersionText(const std::string& version);
// "Normal", "Low", "High", "Real-Time", "Below-Normal", "Above-Normal" for the
// priority classes; empty for anything else.
std::string PriorityClassText(std::uint32_t priority);
// The count in decimal; "??" for 0 (not counted).
std::string ThreadCountText(std::uint32_t count);
// The version of the program's file.
std::string GetMainModuleVersion();

}  // namespace crash
