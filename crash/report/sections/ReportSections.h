// The table and listing blocks of the report text: the call-stack table (one
// group of rows per thread), the modules and processes tables, the assembler
// listing around the exception address and the CPU block (registers, stack,
// memory dump). The log reader and the XML copy parse these blocks back, so
// their layout is fixed to the character.
//
// Tables: a row is "|", each cell left-aligned and blank-padded to its
// column's width, "|", and so on, then CRLF; a row of n columns is (sum of
// widths + n + 1) bytes long before its CRLF. Rows are written into one
// blank-filled buffer per table, reserved up front (TRowBuffer). Every cell
// text is cleaned first: "|", CR and LF become "?", so that no cell text can
// break a row or end a line of the table, call-stack cells and thread headers
// (custom messages included) as much as module descriptions.
//
// Memory: the listing and the CPU block read code, stack and data they do not
// own only through the checked reader (rtl/CheckedMemory.h), with one region
// cache per block; unreadable memory leaves its part empty (or "????    "),
// never raises.
// Threads: the report thread, under the pipeline's report lock. The lists
// handed in are read only; the thread header reads the live thread registry
// under its reader lock, and takes its writer lock to store a priority it had
// to ask the system for.
// Failure: nothing raises but running out of memory.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "crash/engine/EDebugInfo.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/pipeline/ReportContext.h"

namespace crash {

class TVexlorStackList;

// Where a block records how far it got, so that an internal error names the
// step that failed; null records nothing.
using TSectionStageProc = void (*)(std::int32_t stage) noexcept;

// ---- Table building blocks ----------------------------------------------------

// The text with every "|", CR and LF replaced by "?".
std::string CleanCellText(std::string_view text);

// The block of a table whose option is off: the caption, ":", CRLF, as many
// dashes as the caption is long plus one, CRLF CRLF.
std::string EmptyTableText(const std::string& caption);

// A blank-filled row buffer reserved for a known number of rows. WriteRow
// checks the bound before every byte it writes and grows the buffer when a
// table needs more rows than were reserved; a cell longer than its width is
// cut to it.
class TRowBuffer {
public:
    explicit TRowBuffer(std::size_t reservedBytes);
    // One row of count cells: "|", each cell padded to its width and "|",
    // then CRLF; the position moves past it.
    void WriteRow(const std::string_view* cells, const std::int32_t* widths, std::size_t count);
    // What was written; the rest of the reservation is dropped.
    std::string Take();
    std::size_t Position() const noexcept { return FPosition; }

private:
    void Put(char c);
    void Room(std::size_t bytes);

    std::string FBuffer;
    std::size_t FPosition = 0;
};

// ---- Call stack -----------------------------------------------------------------

// The column widths (address, module, unit, class, procedure, line) and the
// dash rule of a call-stack table, and its text.
struct TCallStackTable {
    std::int32_t Widths[6] = {};
    std::string DashRule;
    std::string Text;
};

// The caption of a thread's group of rows: its role ("*" and the exception
// thread when starred), id, priority ("??" for a thread the registry does not
// hold), class, main-thread tag and custom message; or the leak header of a
// leak item ("+" in front when starred). A thread whose priority the registry
// has not read yet has it read from the system and stored. Not cleaned: the
// call-stack table cleans it as a cell. callFromComObject (the call-stack
// tab's items from another module's call) leaves out the thread's facts
// unless starred.
std::string ThreadHeaderText(const TVexlorDebugInfo& item, bool starred, const TVexlorModuleOptions& options,
                             bool callFromComObject = false);

// The call-stack block: caption, rule, header row and rule; then, with a stack
// list, one group per run of items of the same thread and flags (separator,
// an empty row before a running thread's group after the first, the thread
// header, separator) followed by the items' rows; then the closing rule and
// CRLF CRLF. Only the items whose detail the options show
// (GetShownDebugDetails) count, for the widths as for the rows. threadCount,
// the number of threads of the report's snapshot, sizes the row buffer.
TCallStackTable BuildCallStackBlock(const TVexlorStackList* stack, int threadCount, const TVexlorModuleOptions& options,
                                    TSectionStageProc setStage = nullptr);

// ---- Modules and processes ------------------------------------------------------

struct TModulesTable {
    std::int32_t Widths[7] = {};
    std::string DashRule;
    std::string Text;
};
struct TProcessesTable {
    std::int32_t Widths[8] = {};
    std::string DashRule;
    std::string Text;
};

// A time as "yyyy-mm-dd hh:nn:ss"; empty for 0 (unknown) and outside the
// calendar.
std::string ModuleTimeText(TDateTime value);

// The modules block over the list in its order (handle, name, description,
// version, size, last modified, folder). The caller holds ModulesListLock
// while the global list is read.
TModulesTable BuildModulesBlock(const TVexlorModulesList& modules, const TVexlorModuleOptions& options);
// The processes block (id, name, description, version, memory, priority
// class, threads, folder).
TProcessesTable BuildProcessesBlock(const TVexlorProcessesList& processes, const TVexlorModuleOptions& options);

// ---- Assembler and CPU ----------------------------------------------------------

// At most this many instructions are listed before the exception address and
// after it.
inline constexpr int kListedInstructions = 10;

// The listing around exceptionAddress (at most 10 instructions before it, the
// exception line marked "<-- EXCEPTION", and up to 10 after it or up to a
// return), with source headings, call and jump targets named and string
// previews of 4-byte immediates; each line ends with CRLF. headerText gets
// the caption and its dash rule (no CRLF after it). Both empty when the 4
// bytes at the address cannot be read.
std::string BuildAssemblerListing(std::uintptr_t exceptionAddress, const TVexlorModuleOptions& options,
                                  std::string& headerText);

// The CPU block: registers of context ("????    " each without one), the
// stack and memory-dump captions and, when 64 bytes at stackAddress and 256
// at exceptionAddress can be read, 16 dump lines.
std::string BuildCPUText(const CONTEXT* context, std::uintptr_t stackAddress, std::uintptr_t exceptionAddress,
                         const TVexlorModuleOptions& options);

// ---- The report's blocks --------------------------------------------------------

// The call-stack block, then (with loSaveModulesAndProcessesSections) the
// modules and processes blocks of the global lists, else their empty tables,
// appended to context.CallStackText; the tables' widths and dash rules into the
// context. The call-stack block records its steps in the pipeline's stage
// (when the pipeline runs). The caller holds no lock of the thread registry:
// the thread headers take its reader lock.
void BuildCallStackSections(TReportContext& context, const TVexlorStackList* stack, int threadCount,
                            const TVexlorModuleOptions& options);

// With loSaveAssemblerAndCPUSections, the listing around the context's
// exception address and the CPU block of its registers and stack pointer;
// without it, the assembler caption with a dash rule one longer than it, no
// listing, and the empty table of the registers.
void BuildAssemblerAndCPUSections(const TReportContext& context, const TVexlorModuleOptions& options,
                                  std::string& assemblerHeaderText, std::string& assemblerText, std::string& cpuText);

}  // namespace crash
