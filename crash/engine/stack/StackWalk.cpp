// The walk: every slot of a stack range tested for a return address that
// follows a CALL, items added for the calls found, the list pruned.
#include <algorithm>
#include <cstring>

#include "crash/engine/ECore.h"
#include "crash/engine/stack/StackInternal.h"
#include "rtl/CheckedMemory.h"
#include "rtl/SysUtils.h"

namespace crash {
namespace stack {
namespace {

struct TWalk {
    TVexlorStackList& List;
    TStackRange Range;
    std::uint32_t ThreadID;
    bool RunningThread;
    bool FollowCallTargets;
    std::int32_t FirstLevel;
    std::int32_t LevelsCount;
    TVexlorDebugDetails Details;
    bool FullResolution;
    int Seen = 0;
    int Kept = 0;
    // Made with the walk and gone with it: regions found readable now may be
    // released later, modules unloaded.
    rtl::ReadableRegionCache Cache;
    TModuleRecordCache Modules;
};

// The walk's copies run in our own code, so that a page released under the
// walk faults as an exception the slot's examination catches.
template <class T>
bool Read(TWalk& walk, std::uintptr_t address, T& value)
{
    return rtl::ReadValueCatchable(reinterpret_cast<const void*>(address), value, &walk.Cache);
}

bool Readable(TWalk& walk, std::uintptr_t address, std::size_t size) noexcept
{
    return rtl::IsReadableMemory(reinterpret_cast<const void*>(address), size, &walk.Cache);
}

bool IsFull(const TVexlorStackList& list) noexcept
{
    return list.Count() >= kMaxStackItems;
}

void AddItem(TWalk& walk, std::uintptr_t x, bool errorLine)
{
    if (IsFull(walk.List)) return;
    auto item = std::make_unique<TVexlorDebugInfo>();
    std::unique_ptr<TVexlorModuleInfo> module;
    if (walk.FullResolution) {
        const TDebugInfoResolver resolver = DebugInfoResolver.load(std::memory_order_acquire);
        if (resolver == &GetDebugInfoByAddr)
            ResolveAddress(x, walk.ThreadID, *item, errorLine, walk.RunningThread, &walk.Modules);
        else
            resolver(x, walk.ThreadID, *item, errorLine, walk.RunningThread);
    } else
        GetModuleOnlyInfoByAddr(x, walk.ThreadID, *item, errorLine, walk.RunningThread, module);
    if (!walk.Details.Contains(item->DebugDetail)) return;
    const bool keep = walk.FirstLevel == -1 || (walk.Seen >= walk.FirstLevel && walk.Kept < walk.LevelsCount);
    if (keep) {
        walk.List.AddOwning(std::move(item), std::move(module));
        ++walk.Kept;
    }
    ++walk.Seen;
}

// A slot's address in the walked range for an address of the original stack;
// false when it lies outside the range or off the walk's slot grid.
bool SlotOfOriginal(const TWalk& walk, std::uint32_t original, std::uintptr_t& slot) noexcept
{
    const std::uint64_t shifted = std::uint64_t{original} - walk.Range.Origin + walk.Range.Start;
    if (original < walk.Range.Origin || shifted + 3 > walk.Range.End) return false;
    if ((shifted - walk.Range.Start) % 4 != 0) return false;
    slot = static_cast<std::uintptr_t>(shifted);
    return true;
}

enum class TDisplacedCall : std::uint8_t {
    dcLoadedBefore,  // only after a MOV that loaded the pointer (8B at)
    dcVouchedAt,     // or when the frame chain vouches for the slot
    dcPattern,       // the encoding alone: the test of a frame chain's own return slots
};

struct TCallSite {
    bool Matched = false;  // an encoding matched: no other is tried
    int Count = 0;         // addresses to add, in order
    std::uintptr_t Items[2] = {};
};

bool ChainVouches(TWalk& walk, std::uintptr_t slot);

// The CALL before return address r; the first encoding that matches decides.
// slot is where r was found (dcVouchedAt).
TCallSite CallBefore(TWalk& walk, std::uint32_t r, std::uintptr_t slot, TDisplacedCall displaced, bool addTargets)
{
    TCallSite site;
    std::uint8_t code[7];
    if (r < sizeof code ||
        !rtl::ReadMemoryCatchable(reinterpret_cast<const void*>(r - 7u), code, sizeof code, &walk.Cache))
        return site;
    // The byte k bytes before r.
    const auto at = [&](int k) { return code[7 - k]; };
    const auto add = [&](std::uintptr_t x) { site.Items[site.Count++] = x; };
    const auto word = [&](int k) {
        std::uint32_t value;
        std::memcpy(&value, code + 7 - k, 4);
        return value;
    };
    site.Matched = true;
    if (at(5) == 0xE8) {  // CALL rel32
        const std::uint32_t target = r + word(4);
        if (!Readable(walk, target, 1)) return site;
        if (addTargets && walk.FollowCallTargets) {
            const std::uintptr_t entry = ConvertAddress(target, &walk.Cache);
            std::uint8_t first[5];
            // A target that begins with a call of its own is a stub, not the
            // callee that ran.
            if (rtl::ReadMemoryCatchable(reinterpret_cast<const void*>(entry), first, sizeof first, &walk.Cache) &&
                first[0] != 0xE8)
                add(entry);
        }
        add(r - 5);
        return site;
    }
    if (at(2) == 0xFF && at(1) >= 0xD0 && at(1) <= 0xD7) {  // CALL reg
        add(r - 2);
        return site;
    }
    if (at(2) == 0xFF && ((at(1) >= 0x10 && at(1) <= 0x13) || at(1) == 0x16 || at(1) == 0x17)) {  // CALL [reg]
        add(r - 2);
        return site;
    }
    if (at(3) == 0xFF && at(2) >= 0x50 && at(2) <= 0x57 && at(2) != 0x54) {  // CALL [reg + disp8]
        const bool loaded = at(5) == 0x8B || at(6) == 0x8B;
        if (displaced == TDisplacedCall::dcPattern || loaded ||
            (displaced == TDisplacedCall::dcVouchedAt && ChainVouches(walk, slot)))
            add(r - 3);
        return site;
    }
    if (at(6) == 0xFF && at(5) >= 0x90 && at(5) <= 0x97 && at(5) != 0x94) {  // CALL [reg + disp32]
        add(r - 6);
        return site;
    }
    if (at(3) == 0xFF && at(2) == 0x14 && at(1) == 0x24) {  // CALL [ESP]
        add(r - 3);
        return site;
    }
    if (at(4) == 0xFF && at(3) == 0x54 && at(2) == 0x24) {  // CALL [ESP + disp8]
        add(r - 4);
        return site;
    }
    if (at(7) == 0xFF && at(6) == 0x94 && at(5) == 0x24) {  // CALL [ESP + disp32]
        add(r - 7);
        return site;
    }
    if (at(6) == 0xFF && at(5) == 0x15) {  // CALL [abs32]
        if (Readable(walk, word(4), 4)) add(r - 6);
        return site;
    }
    site.Matched = false;
    return site;
}

// Whether the slot lies just above a saved EBP that starts an unbroken frame
// chain: the saved value is the caller's frame, higher in the range, with a
// return address just above it, and so on for kVouchingLinks frames or up to
// the chain's end (0, or beyond the range). GCC may store arguments between
// loading a method pointer and calling it, which hides the MOV the encoding
// test looks for; a frame the chain passes through is a real one anyway.
bool ChainVouches(TWalk& walk, std::uintptr_t slot)
{
    if (slot < walk.Range.Start + 4) return false;
    std::uintptr_t link = slot - 4;
    for (int links = 0;; ++links) {
        std::uint32_t saved = 0;
        if (!Read(walk, link, saved)) return false;
        const std::uint64_t origin = std::uint64_t{link} - walk.Range.Start + walk.Range.Origin;
        const std::uint64_t end = std::uint64_t{walk.Range.End} - walk.Range.Start + walk.Range.Origin;
        // The first link is the calling frame's own: it must be there.
        if (links > 0 && (saved == 0 || saved > end)) return true;
        if (links == kVouchingLinks) return true;
        std::uintptr_t next = 0;
        if (saved <= origin || !SlotOfOriginal(walk, saved, next) || next + 7 > walk.Range.End) return false;
        std::uint32_t ret = 0;
        if (!Read(walk, next + 4, ret) || !CallBefore(walk, ret, next + 4, TDisplacedCall::dcPattern, false).Matched)
            return false;
        link = next;
    }
}

void ExamineSlot(TWalk& walk, std::uintptr_t slot, std::uint32_t value)
{
    const TCallSite site = CallBefore(walk, value, slot, TDisplacedCall::dcVouchedAt, true);
    for (int i = 0; i < site.Count; ++i) AddItem(walk, site.Items[i], false);
}

void Scan(TWalk& walk)
{
    // The stack is copied out a window at a time; a slot that does not fit in
    // a readable window is not examined.
    constexpr std::size_t kWindow = 400;
    std::uint8_t window[kWindow];
    std::uint64_t windowStart = 0;
    std::size_t windowSize = 0;
    const std::uint64_t end = walk.Range.End;
    // Nothing more can be kept once the list is full or the levels asked for
    // are all there.
    const auto done = [&] { return IsFull(walk.List) || (walk.FirstLevel != -1 && walk.Kept >= walk.LevelsCount); };
    for (std::uint64_t p = walk.Range.Start; p + 3 <= end && !done(); p += 4) {
        const auto slot = static_cast<std::uintptr_t>(p);
        try {
            if (p < windowStart || p + 4 > windowStart + windowSize) {
                windowStart = p;
                windowSize = rtl::ReadMemoryPrefixCatchable(
                    reinterpret_cast<const void*>(slot), window,
                    static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, end + 1 - p)), &walk.Cache);
                if (windowSize < 4) {
                    windowSize = 0;
                    continue;
                }
            }
            std::uint32_t value;
            std::memcpy(&value, window + (p - windowStart), 4);
            ExamineSlot(walk, slot, value);
        } catch (const rtl::EExternal&) {
            // A page released under the walk: this slot is lost, the next
            // one reads afresh.
            windowSize = 0;
        }
    }
}

}  // namespace

void ScanStackRange(TVexlorStackList& list, std::uintptr_t firstAddr, const TStackRange& range, std::uint32_t threadId,
                    bool runningThread, bool followCallTargets, std::int32_t firstLevel, std::int32_t levelsCount,
                    TVexlorDebugDetails details, bool fullResolution)
{
    TWalk walk{list,       range,       threadId, runningThread,  followCallTargets,
               firstLevel, levelsCount, details,  fullResolution, 0,
               0,          {},          {}};
    const int firstIndex = list.Count();
    if (firstAddr) AddItem(walk, firstAddr, true);
    if (walk.Range.Start < walk.Range.End && walk.Range.End - walk.Range.Start > kMaxStackScan)
        walk.Range.End = walk.Range.Start + kMaxStackScan;
    Scan(walk);
    PruneCallStack(list, firstIndex);
}

}  // namespace stack

void ScanStackForReturnAddresses(TVexlorStackList& list, std::uintptr_t firstAddr, std::uintptr_t stackStart,
                                 std::uintptr_t stackEnd, std::uint32_t threadId, bool runningThread,
                                 bool followCallTargets, std::int32_t firstLevel, std::int32_t levelsCount,
                                 TVexlorDebugDetails details, bool fullResolution)
{
    stack::ScanStackRange(list, firstAddr, {stackStart, stackEnd, stackStart}, threadId, runningThread,
                          followCallTargets, firstLevel, levelsCount, details, fullResolution);
}

std::unique_ptr<TVexlorStackList> GetCallStackByAddresses(std::uintptr_t firstAddr, std::uintptr_t stackStart,
                                                          std::uintptr_t stackEnd, std::uint32_t threadId,
                                                          bool runningThread, bool followCallTargets,
                                                          std::int32_t firstLevel, std::int32_t levelsCount,
                                                          TVexlorDebugDetails details) noexcept
{
    std::unique_ptr<TVexlorStackList> list;
    try {
        list = std::make_unique<TVexlorStackList>();
        ScanStackForReturnAddresses(*list, firstAddr, stackStart, stackEnd, threadId, runningThread, followCallTargets,
                                    firstLevel, levelsCount, details);
    } catch (...) {
        // What was found up to the failure is still the caller's best answer.
        try {
            if (list) PruneCallStack(*list, 0);
        } catch (...) {}
    }
    return list;
}

}  // namespace crash
