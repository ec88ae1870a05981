// The thread registry: every thread started through the program's
// CreateThread import while the hooks are in, with its kind, its stack top and
// a copy of the stack of the thread that resumed it, and the hooks on
// CreateThread, ResumeThread, ExitThread and TThread's Execute that feed it.
// Also the handle and thread tests the registry and the reports share.
//
// Threads: the hooks run in the creating, resuming and ending threads. Every
// change to the registry is made under its write lock, which a report also
// holds whenever it suspends threads, so no suspended thread ever holds it.
// The lock is not recursive, and nothing here calls out of this unit while
// holding it. The hooks never raise into their callers; a hook that cannot
// register a thread (no memory, no handle) lets the thread run unregistered.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crash/engine/ReportSteps.h"
#include "rtl/Classes.h"
#include "rtl/SyncObjs.h"

namespace crash {

// ---- Handle and thread tests ------------------------------------------------

// Whether the process holds the handle: its handle information can be read.
// Where the system has no such query, whether a duplicate with the same
// access can be made (it is closed at once). Any thread.
bool IsUsableHandle(HANDLE handle) noexcept;

// Whether the handle's thread has not ended: a usable handle, the thread's
// exit code reads STILL_ACTIVE (259), and a zero-time wait does not find the
// thread signalled, since 259 is also a code a thread may end with. A handle
// without SYNCHRONIZE access cannot be waited on; for it the exit code alone
// decides. Any thread.
bool IsThreadRunning(HANDLE handle) noexcept;

// ---- Registry items ---------------------------------------------------------

// The access of an item's own thread handle: suspend and resume, read the
// context, query information, and wait (for IsThreadRunning).
inline constexpr DWORD kThreadItemAccess =
    THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION | SYNCHRONIZE;
static_assert(kThreadItemAccess == 0x0010004A);

// Priority of an item whose thread's priority has not been read yet.
inline constexpr std::int32_t kPriorityNotRead = INT32_MIN;

// One thread of a registry or a snapshot, a plain record owned by its list.
// Packed, 49 bytes: other modules' copies of the crash reporter hand items
// across (VexlorLog_Call*), so the layout is fixed.
#pragma pack(push, 1)
struct TVexlorThreadInfo {
    DWORD ID;
    // The list's own duplicate of the thread's handle (kThreadItemAccess,
    // SAME_ACCESS in a snapshot), closed with the item: whoever created the
    // thread may close its handle at once.
    HANDLE Handle;
    DWORD CallerID;  // the thread that resumed it last; the first is its creator
    std::int32_t Priority;
    rtl::TThread* Thread;                         // weak; the thread object, null for a thread TThread did not make
    std::uint32_t TopOfStack;                     // highest stack address, 0 until the thread has started
    rtl::TThreadExecute ExecuteMethod;            // the routine rtl::ThreadExecuteHook was handed
    rtl::TThreadFunc BeginThreadFunction;         // the function given to BeginThread
    LPTHREAD_START_ROUTINE CreateThreadFunction;  // the start routine given to CreateThread directly
    void* Parameter;                              // that function's parameter (the TThread for a thread object)
    std::uint32_t CallerStackSize;
    // A copy of the resumer's stack from its stack pointer at the resume up to
    // its top, owned by the list (new[]); null when none was taken.
    std::uint8_t* CallerStackDump;
    bool IsACopy;  // copied from another module's registry (its stack copy is this list's own)
};
#pragma pack(pop)
static_assert(sizeof(TVexlorThreadInfo) == 49, "the item's layout crosses modules");

// How a report names a thread: the program's main thread, a thread of the
// runtime's thread class, or any other.
enum class TVexlorThreadKind : std::uint8_t { tkMain, tkRuntime, tkSystem };
TVexlorThreadKind ThreadKindOf(const TVexlorThreadInfo& item) noexcept;

// ---- The registry and its snapshots -----------------------------------------

// A list of owned items. The registry has a lock of its own (BeginRead ...
// EndWrite); a snapshot has none and is used by one thread only. Unless a
// member says it takes the lock itself, the caller holds it while it reads
// (read) or changes (write) the registry.
class TVexlorThreadsList : public rtl::TObject {
public:
    // Without a list: an empty registry with its own lock. With one: a
    // snapshot of it, taken under its read lock, every item copied in order
    // with a duplicate handle and a stack copy of its own, so that nothing
    // the snapshot frees belongs to the list it was taken from. Raises
    // nothing but std::bad_alloc.
    explicit TVexlorThreadsList(TVexlorThreadsList* copyList = nullptr);
    ~TVexlorThreadsList() override;
    TVexlorThreadsList(const TVexlorThreadsList&) = delete;
    TVexlorThreadsList& operator=(const TVexlorThreadsList&) = delete;

    bool IsSnapshot() const noexcept { return FSimpleCopy; }
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    TVexlorThreadInfo* GetItem(int index) const noexcept { return FItems[static_cast<std::size_t>(index)]; }

    // A zeroed item with Priority kPriorityNotRead, appended when `addNow`;
    // null when there is no memory.
    TVexlorThreadInfo* NewItem(bool addNow) noexcept;
    // Appends an item of NewItem(false) and takes it over; without room for
    // it the item is freed and the answer is false.
    bool Add(TVexlorThreadInfo* item) noexcept;
    // Frees the item, its handle and its stack copy.
    void Delete(int index) noexcept;
    void Clear() noexcept;

    // The index of the last added item of the thread, -1 when there is none.
    // By handle, the handle's thread id is compared (GetThreadId), so any
    // handle of the thread finds it and a closed or reused value finds no
    // other thread.
    int FindByThreadID(DWORD threadId) const noexcept;
    int FindByThreadHandle(HANDLE handle) const noexcept;
    int FindByThreadObject(const rtl::TThread* thread) const noexcept;

    // Take the write lock themselves: delete the calling thread's item, resp.
    // every item whose thread has ended (IsThreadRunning), from the end.
    void RemoveCurrentThread() noexcept;
    void PurgeList() noexcept;

    // The lock's operations; nothing for a snapshot.
    void BeginRead() noexcept;
    void EndRead() noexcept;
    void BeginWrite() noexcept;
    void EndWrite() noexcept;

private:
    std::vector<TVexlorThreadInfo*> FItems;
    std::unique_ptr<rtl::TMultiReadExclusiveWriteSynchronizer> FLock;
    bool FSimpleCopy = false;
};

// ---- The hooks --------------------------------------------------------------

// The process's registry: made by the first InstallThreadHooks and kept until
// the process ends (a thread may still be inside a hook when they are
// removed); null before.
TVexlorThreadsList* ThreadsList() noexcept;

// Whether the hooks are in: only then do they change the registry.
bool ThreadHooksInstalled() noexcept;

// Puts the hooks in, on the main thread (its item is added): the registry is
// emptied and gets the calling thread's item, rtl::ThreadExecuteHook is set
// (when it is still empty), and the imports of CreateThread, ResumeThread and
// ExitThread from kernel32 are patched in the modules named (by default the
// program; names not loaded are skipped). True when each of the three was
// patched in at least one of them; a routine a module does not import is left
// alone. A second call while they are in does nothing and answers true.
// Start-up calls it; raises nothing but std::bad_alloc.
bool InstallThreadHooks(const std::vector<std::string>& moduleNames = {});

// Takes the hooks out: the gate closes and the registry is emptied under its
// write lock, the patches are reverted and rtl::ThreadExecuteHook is cleared
// when it is still ours. Threads started meanwhile run on unregistered. A
// thread that is inside a hook when the gate closes changes nothing any more.
void RemoveThreadHooks() noexcept;

// Where an exception escaping a registered thread object's Execute is
// reported, in that thread, before it goes on to become the thread's
// FatalException: the object, the address of its raise (null when the
// thread's raise state holds another) and the module that caught it. Only
// objects of our class tree are reported, and no thread-naming request
// (an external exception of code 0x406D1388). Start-up sets the exception
// manager (raiser unknown); empty, nothing is reported.
inline TReportStep<bool(rtl::TObject* object, void* address, HMODULE module)> ThreadExceptionReport;

// Whether the calling thread is inside the report's own processing: its
// suspends and resumes pass the resume hook straight through. Set by the
// pipeline; empty, never.
inline TReportStep<bool()> InsideReportProcessing;

// The replacements the import patches install. Each passes straight through
// to kernel32 while the hooks are out.
// CreateThread: purges the registry, registers the thread (not the crash
// reporter's own thread classes, told by class name), wraps its start and
// creates it with the caller's flags plus CREATE_SUSPENDED; resumes it
// through HookedResumeThread unless the caller asked for it suspended.
HANDLE WINAPI HookedCreateThread(SECURITY_ATTRIBUTES* attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE startAddress,
                                 void* parameter, DWORD flags, DWORD* threadId) noexcept;
// ResumeThread: the resumer becomes the item's caller and its stack is copied
// (unless InsideReportProcessing), then the thread is resumed.
DWORD WINAPI HookedResumeThread(HANDLE thread) noexcept;
// ExitThread: the calling thread's item goes, then the thread ends.
[[noreturn]] void WINAPI HookedExitThread(DWORD exitCode) noexcept;

// The wrappers a registered thread starts in: each sets its item's stack top
// and runs the thread's own routine, with or without an item.
// ThreadExecuteWrapper is rtl::ThreadExecuteHook: it keeps the routine it is
// handed as the item's ExecuteMethod and reports what escapes it.
void ThreadExecuteWrapper(rtl::TThread& thread, rtl::TThreadExecute execute);
// The function of a BeginThread start record (its parameter a record of the
// original function and parameter, freed here).
int BeginThreadWrapper(void* startRecord);
// The start routine of a thread given to CreateThread directly; ends with
// ExitThread through the import table, as rtl::ThreadStartRoutine does.
DWORD WINAPI CreateThreadWrapper(void* startRecord);

}  // namespace crash

// ---- Host side of another module's copy -------------------------------------
// A module that carries its own copy of the crash reporter in a process whose
// program carries one too hands its thread events to the program's copy
// through these (exported from the program by start-up). Each does nothing
// while the hooks are out.
extern "C" {
// Registers a copy of the item (own handle duplicate, own stack copy), after a
// purge.
void WINAPI VexlorLog_CallCreateThread(const crash::TVexlorThreadInfo* item) noexcept;
// The item of the handle's thread takes the given item's fields, but keeps its
// own handle and takes its own copy of the stack; it is marked IsACopy. Not
// inside the report's own processing.
void WINAPI VexlorLog_CallResumeThread(HANDLE thread, const crash::TVexlorThreadInfo* item) noexcept;
// The calling thread's item goes.
void WINAPI VexlorLog_CallExitThread() noexcept;
}
