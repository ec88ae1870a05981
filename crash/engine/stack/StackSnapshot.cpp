// The walks the library offers (the current stack, by levels, the raise
// snapshot), the raw copy of the raising thread's stack, and the last raised
// exception.
#include <algorithm>
#include <cstring>

#include "crash/engine/EDebugData.h"
#include "crash/engine/stack/StackInternal.h"
#include "rtl/CheckedMemory.h"
#include "rtl/ExceptHooks.h"
#include "rtl/SyncObjs.h"

namespace crash {
namespace {

struct TStackSnapshot {
    rtl::TCriticalSection Lock;
    std::unique_ptr<std::uint8_t[]> Buffer{new std::uint8_t[kMaxStackScan]};
    std::uint32_t Size = 0;
    DWORD ThreadID = 0;
    std::uintptr_t CodeAddr = 0;
    std::uintptr_t Origin = 0;  // where the copy's first byte was on the stack
};

// Made at start-up and freed at shut-down, when no raise can take a snapshot.
std::atomic<TStackSnapshot*> gSnapshot{nullptr};

TLastRaisedException gLastRaised;

}  // namespace

// ---- The current stack --------------------------------------------------------

// Not inlined: the walk starts at this function's own frame, whose return
// address is the caller's call.
__attribute__((noinline)) std::unique_ptr<TVexlorStackList> GetCurrentCallStack() noexcept
{
    const auto start = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    return GetCallStackByAddresses(0, start, rtl::CurrentStackTop() - 1, ::GetCurrentThreadId(), true, true, -1, -1,
                                   kAllDebugDetails);
}

__attribute__((noinline)) std::unique_ptr<TVexlorStackList> GetCallStackByLevels(std::int32_t firstLevel,
                                                                                 std::int32_t levelsCount) noexcept
{
    const auto start = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    TVexlorDebugDetails details;
    try {
        // The options of the module that carries this library, which it has
        // only with its data block.
        const HMODULE own = LibraryModuleHandle();
        if (!IsVexlorLogModule(own)) return nullptr;
        const TVexlorModuleInfo* module = ModuleInfoByHandle(own);
        if (!module || !module->ExtraInformation.Options) return nullptr;
        details = GetShownDebugDetails(*module->ExtraInformation.Options);
    } catch (...) {
        return nullptr;
    }
    return GetCallStackByAddresses(0, start, rtl::CurrentStackTop() - 1, ::GetCurrentThreadId(), true, false,
                                   firstLevel, levelsCount, details);
}

// ---- The raw snapshot ---------------------------------------------------------------

void InitStackSnapshot()
{
    if (gSnapshot.load()) return;
    gSnapshot.store(new TStackSnapshot);
}

void FreeStackSnapshot() noexcept
{
    delete gSnapshot.exchange(nullptr);
}

__attribute__((noinline)) void SnapshotThreadStack(std::uintptr_t codeAddr, bool isReturnAddress) noexcept
{
    TStackSnapshot* snapshot = gSnapshot.load(std::memory_order_acquire);
    if (!snapshot) return;
    const std::uintptr_t top = rtl::CurrentStackTop();
    const std::uintptr_t limit = rtl::CurrentStackLimit();
    const rtl::TThreadExceptState* state = rtl::CurrentExceptState();
    // A fault not yet thrown has its own context; a raise, the raiser's ESP.
    std::uintptr_t start = !state ? 0 : state->FaultPending ? state->FaultContext.Esp : state->LastRaise.Registers.Esp;
    if (start < limit || start > top) start = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const auto size = static_cast<std::uint32_t>(std::min<std::uintptr_t>(top - start, kMaxStackScan));
    rtl::TCriticalSectionLock hold(snapshot->Lock);
    snapshot->ThreadID = ::GetCurrentThreadId();
    snapshot->CodeAddr = codeAddr && isReturnAddress ? codeAddr - 5 : codeAddr;
    snapshot->Origin = start;
    // The thread's own stack between its limit and its top is committed and
    // readable (its guard page lies below the limit): no check is needed,
    // and the raise path is spared a query of the memory map per raise.
    std::memcpy(snapshot->Buffer.get(), reinterpret_cast<const void*>(start), size);
    snapshot->Size = size;
}

std::unique_ptr<TVexlorStackList> GetLastExceptionCallStack() noexcept
{
    TStackSnapshot* snapshot = gSnapshot.load(std::memory_order_acquire);
    if (!snapshot) return nullptr;
    try {
        // The walk runs on a copy: it takes the module list's lock, and a
        // thread that raises while holding that lock must not wait here for
        // the snapshot's.
        std::unique_ptr<std::uint8_t[]> copy;
        std::uint32_t size;
        DWORD threadId;
        std::uintptr_t codeAddr, origin;
        {
            rtl::TCriticalSectionLock hold(snapshot->Lock);
            size = snapshot->Size;
            if (size == 0) return nullptr;
            copy.reset(new std::uint8_t[size]);
            std::memcpy(copy.get(), snapshot->Buffer.get(), size);
            threadId = snapshot->ThreadID;
            codeAddr = snapshot->CodeAddr;
            origin = snapshot->Origin;
        }
        auto list = std::make_unique<TVexlorStackList>();
        const auto start = reinterpret_cast<std::uintptr_t>(copy.get());
        try {
            stack::ScanStackRange(*list, codeAddr, {start, start + size - 1, origin}, threadId, true, true, -1, -1,
                                  kAllDebugDetails, true);
        } catch (...) {
            PruneCallStack(*list, 0);
        }
        return list;
    } catch (...) {
        return nullptr;
    }
}

// ---- The last raised exception --------------------------------------------------------

TLastRaisedException& LastRaisedException() noexcept
{
    return gLastRaised;
}

void* SetLastRaisedException(void* object, std::uintptr_t address, bool isLanguageRaise) noexcept
{
    if (object) gLastRaised.Object = object;
    if (address) gLastRaised.Address = address;
    gLastRaised.CurrentObject = object;
    gLastRaised.CurrentAddress = address;
    gLastRaised.IsLanguageRaise = isLanguageRaise;
    return object;
}

}  // namespace crash
