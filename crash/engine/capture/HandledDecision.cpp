// The handled decision: the walk over the handlers that would see a raise,
// and its cache.
#include <cstring>

#include "crash/engine/capture/Capture.h"
#include "rtl/Classes.h"
#include "rtl/SyncObjs.h"

namespace crash {
namespace {

enum THandlerKindCode : std::uint8_t { hcNone, hcCatchAll, hcCatchTyped };

struct TDecisionKey {
    const std::type_info* Type;
    std::uintptr_t Address;
    std::uintptr_t StackPointer;
    // The return addresses of the raiser's frame and of the one above it: a
    // raise at the same place and depth reached through another path (a
    // reused thread stack) has other handlers.
    std::uintptr_t Return1;
    std::uintptr_t Return2;
    friend bool operator==(const TDecisionKey&, const TDecisionKey&) = default;
};

struct TDecisionEntry {
    TDecisionKey Key;
    bool Result;
    std::int32_t HandlerCount;
    TAsynchronousException Asynchronous;
    std::uint8_t FirstKind;
};

constexpr int kCacheSize = 10;

struct TDecisionCache {
    rtl::TCriticalSection Lock;
    TDecisionEntry Entries[kCacheSize];
    int Count = 0;
    std::uint32_t Walks = 0;
};

// Made before the program's start-up code runs, so that the first raise
// finds it.
TDecisionCache gCache;

TDecisionCache& Cache() noexcept
{
    return gCache;
}

// The saved frame pointer chain from the raiser's EBP, read only while it
// stays inside the calling thread's stack above the raiser's stack pointer.
void ReadOuterReturns(const rtl::TRaiseInfo& raise, std::uintptr_t& first, std::uintptr_t& second) noexcept
{
    first = second = 0;
    const std::uintptr_t top = rtl::CurrentStackTop();
    std::uintptr_t frame = raise.Registers.Ebp;
    const std::uintptr_t low = raise.Registers.Esp > 4 ? raise.Registers.Esp - 4 : 0;
    if (frame < low || frame + 8 > top || (frame & 3) != 0) return;
    first = reinterpret_cast<const std::uintptr_t*>(frame)[1];
    const std::uintptr_t next = reinterpret_cast<const std::uintptr_t*>(frame)[0];
    if (next <= frame || next + 8 > top || (next & 3) != 0) return;
    second = reinterpret_cast<const std::uintptr_t*>(next)[1];
}

struct TDecisionWalk {
    bool Handled = false;
    std::int32_t Count = 0;
    TAsynchronousException Asynchronous = aeNone;
    std::uint8_t FirstKind = hcNone;
};

bool VisitHandler(const rtl::THandlerInfo& handler, void* context) noexcept
{
    auto& walk = *static_cast<TDecisionWalk*>(context);
    switch (handler.Kind) {
    case rtl::THandlerKind::hkCleanup: return true;
    case rtl::THandlerKind::hkTerminate: walk.Handled = false; return false;
    case rtl::THandlerKind::hkCatchTyped:
        if (!handler.Matches) return true;
        [[fallthrough]];
    case rtl::THandlerKind::hkCatchAll:
        if (walk.Count == 0 &&
            handler.FunctionStart == reinterpret_cast<std::uintptr_t>(rtl::SynchronizeCatchRoutine())) {
            walk.Asynchronous = aeSynchronize;
            walk.Handled = false;
            return false;
        }
        if (walk.Count++ == 0)
            walk.FirstKind = handler.Kind == rtl::THandlerKind::hkCatchAll ? hcCatchAll : hcCatchTyped;
        walk.Handled = true;
        return false;
    }
    return true;
}

bool IsStackOverflow(const rtl::TRaiseInfo& raise) noexcept
{
    if (raise.Object == nullptr || raise.Type == nullptr) return false;
    void* object = raise.Object;
    return typeid(rtl::EStackOverflow).__do_catch(raise.Type, &object, 1);
}

}  // namespace

bool DecideExceptionHandled(const rtl::TRaiseInfo& raise, bool forced, TAsynchronousException& asynchronous) noexcept
{
    asynchronous = aeNone;
    if (IsStackOverflow(raise)) return false;
    TDecisionKey key{raise.Type, reinterpret_cast<std::uintptr_t>(raise.Address), raise.Registers.Esp, 0, 0};
    ReadOuterReturns(raise, key.Return1, key.Return2);
    TDecisionCache& cache = Cache();
    bool found = false;
    TDecisionWalk walk;
    {
        rtl::TCriticalSectionLock hold(cache.Lock);
        for (int i = 0; i < cache.Count; ++i) {
            if (cache.Entries[i].Key == key) {
                walk.Handled = cache.Entries[i].Result;
                walk.Count = cache.Entries[i].HandlerCount;
                walk.Asynchronous = cache.Entries[i].Asynchronous;
                walk.FirstKind = cache.Entries[i].FirstKind;
                found = true;
                break;
            }
        }
    }
    if (!found) {
        rtl::WalkHandlers(raise, VisitHandler, &walk);
        rtl::TCriticalSectionLock hold(cache.Lock);
        ++cache.Walks;
        if (cache.Count == kCacheSize) {
            std::memmove(&cache.Entries[0], &cache.Entries[1], sizeof(TDecisionEntry) * (kCacheSize - 1));
            --cache.Count;
        }
        cache.Entries[cache.Count++] = {key, walk.Handled, walk.Count, walk.Asynchronous, walk.FirstKind};
    }
    asynchronous = walk.Asynchronous;
    if (forced) return true;
    return walk.Handled;
}

int HandledDecisionCacheCount() noexcept
{
    rtl::TCriticalSectionLock hold(Cache().Lock);
    return Cache().Count;
}

std::uint32_t HandledDecisionWalkCount() noexcept
{
    rtl::TCriticalSectionLock hold(Cache().Lock);
    return Cache().Walks;
}

void ClearHandledDecisionCache() noexcept
{
    rtl::TCriticalSectionLock hold(Cache().Lock);
    Cache().Count = 0;
}

}  // namespace crash
