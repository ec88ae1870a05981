// Call stacks: the walk that turns a range of raw stack memory into a list of
// resolved items (TVexlorStackList of TVexlorDebugInfo), the resolution of one
// code address, the raw copy of the raising thread's stack that the raise
// hooks take, and the last raised exception the hooks keep.
//
// The walk follows no frame chain of its own: it examines every 32-bit slot of
// the range for a value whose preceding bytes encode an x86 CALL, adds an item
// for the call (and, for a direct call, its target), and then hides repeated
// call sites and stale runs. Our own code keeps frame pointers, so a call
// through a register and a small displacement is also taken where the slot
// sits just above a saved EBP of an unbroken frame chain.
//
// Memory: every read of memory the walk does not own is a copy through the
// runtime's checked reader (rtl/CheckedMemory.h), with one region cache per
// walk that is never kept. A fault while one slot is examined (a page released
// between the check and the copy) becomes the runtime's EAccessViolation and
// only skips that slot; inside a THookScope (the terminate path, a report run
// in the raising thread) faults are not turned into throws, and the check
// before each read is the only guard.
// Threads: a walk takes no lock of its own; the stack of another thread is
// walked while that thread is held or from a copy. Module lookups take the
// module list's lock. The snapshot has a lock of its own.
// Zone: the report thread and the raising thread (walks allocate their items);
// SnapshotThreadStack is hook code: no heap, only the snapshot's lock.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "crash/engine/EDebugInfo.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/modules/ModuleLists.h"

namespace crash {

// The longest stretch of stack one walk examines, and the size of the snapshot.
inline constexpr std::uint32_t kMaxStackScan = 102400;
// A list stops growing at this many items.
inline constexpr int kMaxStackItems = 1025;

// Every detail, ddNone included: the set of the conveniences below.
inline constexpr TVexlorDebugDetails kAllDebugDetails = TVexlorDebugDetails::All();

// ---- The list -----------------------------------------------------------------

// The items of one or more walks, in walk order, owned: Delete and Clear free
// them. An item resolved to its module only owns the private module record
// it points to, which goes with it.
class TVexlorStackList : public TVexlorRecordList<TVexlorDebugInfo> {
public:
    void Delete(int index) override;
    // Appends a new item with DebugDetail, ModuleInfo, Addr, UnitName,
    // ClassName, ProcedureName and Line of source; every other field zero or
    // empty. The new item does not own source's private module record.
    int AddFrom(const TVexlorDebugInfo& source);
    // Appends item and makes the list the owner of module, item's private
    // module record.
    int AddOwning(std::unique_ptr<TVexlorDebugInfo> item, std::unique_ptr<TVexlorModuleInfo> module);

private:
    std::vector<std::unique_ptr<TVexlorModuleInfo>> FPrivateModules;
};

// ---- One address ----------------------------------------------------------------

// Fills item for the code address x: zeroes it, finds the module
// (ModuleInfoByAddr, which may add it to the module list), copies the flags
// and the thread, then takes the first that knows x: the module's line
// tables, its other debug information (OtherDebugData), else the module alone
// (ddModule; ddNone without a module) with unit, class and procedure from the
// export that holds x. Raises nothing but running out of memory.
void GetDebugInfoByAddr(std::uintptr_t x, std::uint32_t threadId, TVexlorDebugInfo& item, bool errorLine,
                        bool runningThread);

// The resolution the walks and the report's address texts use:
// GetDebugInfoByAddr. Tests put in one that raises.
using TDebugInfoResolver = void (*)(std::uintptr_t x, std::uint32_t threadId, TVexlorDebugInfo& item, bool errorLine,
                                    bool runningThread);
extern std::atomic<TDebugInfoResolver> DebugInfoResolver;

// Fills item with the module of x only: everything zero, ddModule, Addr, the
// flags and the thread, and ModuleInfo set to module, a new record (not in
// the module list) holding only the handle and the file name of the module
// that contains x; module and ModuleInfo null when none does. The module list
// is not asked. Raises nothing but running out of memory.
void GetModuleOnlyInfoByAddr(std::uintptr_t x, std::uint32_t threadId, TVexlorDebugInfo& item, bool errorLine,
                             bool runningThread, std::unique_ptr<TVexlorModuleInfo>& module);

// ---- Walks ------------------------------------------------------------------------

// The walk over [stackStart, stackEnd] (stackEnd the highest byte; a range
// longer than kMaxStackScan is cut to it, one whose end lies below its start
// examines nothing), appended to list: an item for firstAddr (ErrorLine set)
// when not 0, then one per call found, innermost first, kept when its detail
// is in details and the levels allow (firstLevel -1: every item; else the
// items from the firstLevel-th (from 0) on, at most levelsCount); then the
// list is pruned. fullResolution false: every item resolved to its module
// only. A fault while a slot is examined skips the slot; anything else that
// raises (a resolver, no memory) goes on to the caller, the items added so
// far staying in list, unpruned.
void ScanStackForReturnAddresses(TVexlorStackList& list, std::uintptr_t firstAddr, std::uintptr_t stackStart,
                                 std::uintptr_t stackEnd, std::uint32_t threadId, bool runningThread,
                                 bool followCallTargets, std::int32_t firstLevel, std::int32_t levelsCount,
                                 TVexlorDebugDetails details, bool fullResolution = true);

// The same walk into a new list the caller owns. Never raises: a walk that
// fails gives the items found up to there (an empty list when even the list
// could not be made is null).
std::unique_ptr<TVexlorStackList> GetCallStackByAddresses(std::uintptr_t firstAddr, std::uintptr_t stackStart,
                                                          std::uintptr_t stackEnd, std::uint32_t threadId,
                                                          bool runningThread, bool followCallTargets,
                                                          std::int32_t firstLevel, std::int32_t levelsCount,
                                                          TVexlorDebugDetails details) noexcept;

// Hides repeated call sites and stale runs in front of a procedure entry
// among the items from firstIndex on; inside the development environment
// (IntoIDE) it first deletes the items below procedure level and those of a
// procedure named "...HandleException...". Every walk ends with it.
void PruneCallStack(TVexlorStackList& list, int firstIndex);

// The details a report shows: ddSourceCode, with csoShowDLLs also
// ddProcedure, with csoShowBPLs also ddUnitAndProcedure; never ddNone.
TVexlorDebugDetails GetShownDebugDetails(const TVexlorModuleOptions& options) noexcept;

// The calling thread's stack from the caller's frame to the stack top: no
// first address, the current thread, every level and detail.
std::unique_ptr<TVexlorStackList> GetCurrentCallStack() noexcept;

// The same with the given levels and call targets not followed, the details
// those the module's options show (GetShownDebugDetails); null when the
// module that carries this library has no data of its own.
std::unique_ptr<TVexlorStackList> GetCallStackByLevels(std::int32_t firstLevel, std::int32_t levelsCount) noexcept;

// ---- The raw snapshot ---------------------------------------------------------------

// Start-up: the snapshot's buffer (kMaxStackScan bytes) and its lock; a
// second call keeps them. Shut-down frees both. Main thread, while no raise
// can take a snapshot.
void InitStackSnapshot();
void FreeStackSnapshot() noexcept;

// Copies the calling thread's stack, from the stack pointer of its last
// raise (rtl's raise state: the raiser's ESP, or the fault's, also of a fault
// that is not thrown yet) up to the stack
// top, at most kMaxStackScan bytes, and keeps the thread and codeAddr (5 lower
// when isReturnAddress and not 0: the CALL of a return address). A stack
// pointer outside the thread's stack gives way to this routine's own frame.
// A copy that faults is kept as empty. Nothing without InitStackSnapshot.
// Hook code: no heap, no raise.
void SnapshotThreadStack(std::uintptr_t codeAddr, bool isReturnAddress) noexcept;

// The walk over the snapshot: its code address first, its thread, every
// level and detail. Null when the snapshot holds no bytes.
std::unique_ptr<TVexlorStackList> GetLastExceptionCallStack() noexcept;

// ---- The last raised exception --------------------------------------------------------

// Kept by the raise hooks with plain stores of the raising thread: the most
// recent object and address that were not null, and the current raise as
// given, with whether it is a language exception.
struct TLastRaisedException {
    void* Object = nullptr;
    std::uintptr_t Address = 0;
    void* CurrentObject = nullptr;
    std::uintptr_t CurrentAddress = 0;
    bool IsLanguageRaise = false;
};
TLastRaisedException& LastRaisedException() noexcept;
// The hooks' setter: a non-null object or address replaces the kept one; the
// current pair and the flag are always replaced. Answers object. Hook code.
void* SetLastRaisedException(void* object, std::uintptr_t address, bool isLanguageRaise) noexcept;

}  // namespace crash
