// The runtime's raise path and the points the crash reporter attaches to:
// raise and end-of-catch hooks, the exception procedure (terminate), the
// mapping of system exceptions to objects, the top-level filter, and the walk
// over the handlers that would see a raised exception.
//
// Zones: everything called from a hook (the raise wrappers, the vectored
// handler, the terminate handler, the filter) runs on the raising thread, is
// noexcept, allocates nothing and takes no lock. Each hook point is empty
// (null) until the crash reporter sets it, normally once at start-up; setting
// one is an atomic store, so a raise on another thread sees the old or the new
// hook, never a torn one.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <typeinfo>

namespace rtl {

// ---- What a raise carries ---------------------------------------------------

// The raiser's callee-saved registers and stack pointer, as the throw's caller
// had them: EBX, ESI, EDI and EBP at the call, ESP as it is after the call
// returns (the entry stack pointer + 4).
struct TRaiseRegisters {
    DWORD Ebx;
    DWORD Esi;
    DWORD Edi;
    DWORD Ebp;
    DWORD Esp;
};

enum class TRaiseKind : std::uint8_t {
    rkThrow,             // throw expr (__cxa_throw)
    rkRethrow,           // throw; in a catch block (__cxa_rethrow)
    rkRethrowException,  // std::rethrow_exception
    rkFault,             // a hardware fault of our own code, thrown from the faulting instruction
};

struct TRaiseInfo {
    TRaiseKind Kind;
    // The thrown object and its most derived type (null for a rethrow of a
    // foreign exception). The object is the C++ object itself, not its header.
    void* Object;
    const std::type_info* Type;
    // Return address of the raising call; for rkFault the faulting instruction.
    void* Address;
    // The first return address the unwinder sees in the raising code: Address
    // for calls, the faulting instruction + 1 for rkFault (the fake call's).
    std::uintptr_t WalkStartIP;
    TRaiseRegisters Registers;
    DWORD ThreadID;
};

// Per-thread state of the raise path, one block per thread (a TlsAlloc slot;
// every thread gets its block when it attaches, the main thread a static one).
struct TThreadExceptState {
    TRaiseInfo LastRaise;
    std::uint32_t RaiseCount;
    // Set by the vectored handler between the fault and the throw it becomes.
    bool FaultPending;
    // A fault no handler of ours takes runs again at this instruction and
    // passes the vectored handler on to the filter.
    DWORD FaultPassEip;
    EXCEPTION_RECORD FaultRecord;
    CONTEXT FaultContext;
    // Above zero while a hook of this thread runs: a raise then reaches no
    // hook again and a hardware fault is not turned into a throw.
    LONG HookDepth;
    // Highest address of the thread's stack, set when it attaches.
    std::uintptr_t TopOfStack;
    // One word for the crash reporter's own per-thread data; never touched here.
    void* ReporterData;
    // Above zero while the class library's HandleException runs the
    // application's own handling of an exception (THandleExceptionScope).
    LONG HandleExceptionDepth;
    // The crash reporter's per-thread raise state, zeroed with the block, so
    // that its hooks write a thread's state without allocating. Never
    // touched here.
    static constexpr std::size_t kReporterAreaSize = 1536;
    alignas(8) unsigned char ReporterArea[kReporterAreaSize];
};

// The calling thread's block, or null before start-up made the slot (or when
// the thread could get none).
TThreadExceptState* CurrentExceptState() noexcept;

// Highest address of the calling thread's stack, from its thread information
// block (read through FS directly: the SDK's inline reader trips the
// compiler's bounds check). Any thread, hooks included.
inline std::uintptr_t CurrentStackTop() noexcept
{
    NT_TIB* block;
    asm("movl %%fs:0x18, %0" : "=r"(block));
    return reinterpret_cast<std::uintptr_t>(block->StackBase);
}

// Bytes of the calling thread's stack reservation left below `esp`, an
// address on that stack (0 when it cannot be told). Any thread, hooks included.
std::uintptr_t StackRoomBelow(std::uintptr_t esp) noexcept;

// Lowest committed address of the calling thread's stack (the block's stack
// limit): the stack has grown down to here so far. Any thread, hooks included.
inline std::uintptr_t CurrentStackLimit() noexcept
{
    NT_TIB* block;
    asm("movl %%fs:0x18, %0" : "=r"(block));
    return reinterpret_cast<std::uintptr_t>(block->StackLimit);
}

// ---- Hook points ------------------------------------------------------------

// Called on every raise after the state is recorded and before the C++
// runtime starts to look for a handler, while the raiser's frames are intact.
using TRaiseHook = void (*)(const TRaiseInfo& raise) noexcept;
// Called when a catch block ends (__cxa_end_catch): `object` and `type` are
// those of the exception whose handling ends (null for a foreign one).
using TEndCatchHook = void (*)(void* object, const std::type_info* type) noexcept;
// The runtime's exception procedure: an exception no handler takes, called
// from the terminate handler with the throwing frames still on the stack;
// afterwards the runtime ends the thread or the program.
using TExceptProc = void (*)(void* object, const std::type_info* type, void* address) noexcept;
// Maps a system exception to the object thrown for it. The crash reporter's
// hook normally calls MapSystemException and records the result.
using TExceptObjProc = std::exception_ptr (*)(const EXCEPTION_RECORD& record, const CONTEXT& context) noexcept;
// Called by the runtime's top-level filter, before it hands on to the filter
// that was there before it (the C runtime's). The answer is a filter's answer.
using TUnhandledFilterProc = LONG (*)(EXCEPTION_POINTERS* pointers) noexcept;

extern std::atomic<TRaiseHook> RaiseHook;
extern std::atomic<TEndCatchHook> EndCatchHook;
extern std::atomic<TExceptProc> ExceptProc;
extern std::atomic<TExceptObjProc> ExceptObjProc;
extern std::atomic<TUnhandledFilterProc> UnhandledFilterProc;

// The runtime's own mapping: EAccessViolation (address, read/write/execute),
// EDivByZero, EIntOverflow, ERangeError, EStackOverflow, EPrivilege, the
// floating-point EMathError kinds, else EExternalException with the code.
// Allocates (it runs in the faulting thread after the handler has returned).
std::exception_ptr MapSystemException(const EXCEPTION_RECORD& record, const CONTEXT& context) noexcept;

// The class name a report shows for a raised object: the unqualified C++ name
// of its type (a standard library exception too: "out_of_range"). And its
// message: Exception's text, else what() of a std::exception, else empty.
// Both allocate: call them when a report is made, not on the raise path.
std::string ExceptionClassName(const std::type_info* type);
std::string ExceptionMessage(void* object, const std::type_info* type);

// The object a hook may report for a raise: the thrown object when its class
// derives from TObject, else null (a standard library exception).
class TObject;
TObject* RaisedObject(const TRaiseInfo& raise) noexcept;

// The object an exception_ptr holds (the C++ object itself, as TRaiseInfo's
// Object); null for an empty one. Its type is __cxa_exception_type().
void* ExceptionPtrObject(const std::exception_ptr& pointer) noexcept;

// Whether the code at `address` is our own: the program's objects and static
// libraries, compiled with the flags that make faults catchable (their inline
// functions and templates too); not the C and C++ runtimes, zlib, GoogleTest
// or the import stubs linked in with them, nor other modules. Answers from the
// table the build's post-link step writes into the image: in an image without
// that step nothing is own code. Any thread, no allocation, no lock.
bool IsOwnCode(const void* address) noexcept;

// Marks the calling thread as running a hook while it lives (HookDepth), for
// the crash reporter's code that must not re-enter the raise hooks: its raises
// reach no hook and its faults are not thrown. The raise path's own hook calls
// do this themselves.
class THookScope {
public:
    THookScope() noexcept;
    ~THookScope();
    THookScope(const THookScope&) = delete;
    THookScope& operator=(const THookScope&) = delete;

private:
    TThreadExceptState* FState;
};

// ---- The handler walk -------------------------------------------------------

enum class THandlerKind : std::uint8_t {
    hkCatchAll,    // catch (...)
    hkCatchTyped,  // typed catch clauses (a trailing catch (...) is a null type)
    hkCleanup,     // destructors only; the exception goes on
    hkTerminate,   // a noexcept boundary: std::terminate runs here
};

struct THandlerInfo {
    static constexpr int kMaxCatchTypes = 8;
    THandlerKind Kind;
    int Frame;                                         // 0 = the raising function
    std::uintptr_t IP;                                 // return address in that frame
    std::uintptr_t FunctionStart;                      // start of the frame's function
    std::uintptr_t FrameAddress;                       // the frame's canonical frame address
    int CatchTypeCount;                                // how many catch clauses (hkCatchTyped)
    const std::type_info* CatchTypes[kMaxCatchTypes];  // in order; null = catch (...)
    bool Matches;                                      // the raised object is taken here
};

enum class TWalkEnd : std::uint8_t {
    weCaught,     // a handler takes the exception
    weTerminate,  // a noexcept boundary ends the program first
    weNoHandler,  // the frames with unwind data end: std::terminate
};

struct TWalkResult {
    TWalkEnd End;
    int HandlerCount;  // handlers that would catch or terminate (0 or 1) plus cleanups
    int FramesWalked;
    std::uintptr_t FirstFrameAddress;  // stack position of the raising frame (its CFA)
    std::uintptr_t LastIP;             // last frame that has unwind data
};

// Visits, in order, every handler that would see the exception, from the
// raise point outwards, until one takes it or the visitor answers false.
// Call it from the raise hook (or any code running on the raising thread while
// the raiser's frames are still there). No allocation; frames are found by the
// unwinder, not by reading the stack. A frame whose function uses another
// personality than C++'s is read as C++'s. The unwinder's frame tables are
// sorted at start-up (InstallExceptionHooks), so the walk never allocates;
// it does take the unwinder's frame-table lock, the same one every throw
// takes while it looks for a handler.
using THandlerVisitor = bool (*)(const THandlerInfo& handler, void* context) noexcept;
TWalkResult WalkHandlers(const TRaiseInfo& raise, THandlerVisitor visit, void* context) noexcept;

// ---- Start-up ---------------------------------------------------------------

// Installs the terminate handler, the vectored handler and the top-level
// filter, and walks the stack once so that the unwinder has made its frame
// tables before the first raise. A step of the program's start-up list
// (rtl/Startup.h); a second call does nothing. The terminate handler ends the
// main thread with Halt(1), other threads with ExitThread(1).
void InstallExceptionHooks() noexcept;

}  // namespace rtl
