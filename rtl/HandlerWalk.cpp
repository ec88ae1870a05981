// The handler walk: which frames would see a raised exception, and how each
// takes it, read from the frames' unwind data and C++ exception tables.
#include <unwind.h>

#include <cstdint>
#include <typeinfo>

#include "rtl/ByteCursor.h"
#include "rtl/CheckedMemory.h"
#include "rtl/ExceptInternal.h"

namespace rtl {
namespace {

// A C++ exception table has no length of its own: it is bounded by the
// readable memory it lies in, and by this much, far more than any function needs.
constexpr std::size_t kMaxTableSize = 1u << 20;
// A chain of actions this long runs in a circle: the compiler writes one
// action per catch clause and exception specification of a try.
constexpr int kMaxActions = 4096;

struct WalkState {
    const TRaiseInfo* Raise;
    THandlerVisitor Visit;
    void* Context;
    bool Started = false;
    bool Stopped = false;
    TWalkResult Result{TWalkEnd::weNoHandler, 0, 0, 0, 0};
    // The frames' tables mostly lie in one module: its regions are asked once.
    ReadableRegionCache Regions;
};

// Reads the frame's exception table for the instruction at `ip` and fills
// `handler`; false when the frame does nothing for an exception there, or when
// its table cannot be read as one.
bool ReadFrameHandler(const std::uint8_t* lsda, std::uintptr_t functionStart, std::uintptr_t ip,
                      const TRaiseInfo& raise, THandlerInfo& handler, ReadableRegionCache& regions) noexcept
{
    ByteCursor table(lsda, ReadableExtent(lsda, kMaxTableSize, &regions));
    // Only whether a landing pad exists matters here, not where it is: its
    // base is read past.
    std::uint8_t landingStartEncoding = 0;
    std::uintptr_t landingStart = 0;
    std::uint8_t typeEncoding = 0;
    if (!table.Read(landingStartEncoding) || !table.ReadEncoded(landingStartEncoding, landingStart) ||
        !table.Read(typeEncoding))
        return false;
    // The type table is indexed backwards from its base, an offset into the table.
    const bool hasTypes = typeEncoding != kEhPeOmit;
    std::size_t typeBase = 0;
    if (hasTypes) {
        std::uintptr_t offset = 0;
        if (!table.ReadUleb128(offset) || offset > table.Remaining()) return false;
        typeBase = table.Offset() + offset;
    }
    std::uint8_t callSiteEncoding = 0;
    std::uintptr_t callSiteLength = 0;
    if (!table.Read(callSiteEncoding) || !table.ReadUleb128(callSiteLength)) return false;
    ByteCursor callSites = table.Split(callSiteLength);
    const std::size_t actionTable = table.Offset();
    if (callSites.Failed()) return false;

    auto typeAt = [&](std::uintptr_t index, const std::type_info*& type) noexcept {
        const std::size_t size = EncodedValueSize(typeEncoding);
        std::uintptr_t value = 0;
        if (!hasTypes || size == 0 || index > typeBase / size ||
            !table.At(typeBase - index * size).ReadEncoded(typeEncoding, value))
            return false;
        type = reinterpret_cast<const std::type_info*>(value);
        return true;
    };
    while (!callSites.AtEnd()) {
        std::uintptr_t start = 0;
        std::uintptr_t length = 0;
        std::uintptr_t landingPad = 0;
        std::uintptr_t action = 0;
        if (!callSites.ReadEncoded(callSiteEncoding, start) || !callSites.ReadEncoded(callSiteEncoding, length) ||
            !callSites.ReadEncoded(callSiteEncoding, landingPad) || !callSites.ReadUleb128(action))
            return false;
        // The table is sorted by start: once past the ip, nothing covers it.
        if (ip < functionStart + start) break;
        if (ip >= functionStart + start + length) continue;
        if (landingPad == 0) return false;  // no landing pad: the exception passes
        if (action == 0) {
            handler.Kind = THandlerKind::hkCleanup;
            return true;
        }
        // A thrown pointer is matched by what it points to, as the C++
        // personality does: the matcher may follow the pointee's vtable to a
        // virtual base, and a null pointee is never read.
        void* thrown = raise.Object;
        if (raise.Type != nullptr && raise.Type->__is_pointer_p()) {
            void* pointee = nullptr;
            if (!ReadValue(thrown, pointee, &regions)) return false;
            thrown = pointee;
        }
        auto takes = [&](const std::type_info* catchType) noexcept {
            void* object = thrown;
            return raise.Type != nullptr && catchType->__do_catch(raise.Type, &object, 1);
        };
        bool anyTyped = false;
        bool catchAll = false;
        bool cleanup = false;
        if (action - 1 > table.Size() - actionTable) return false;
        ByteCursor chain = table.At(actionTable + (action - 1));
        for (int link = 0;; ++link) {
            std::intptr_t filter = 0;
            std::intptr_t displacement = 0;
            if (link == kMaxActions || !chain.ReadSleb128(filter)) return false;
            const std::size_t displacementAt = chain.Offset();
            if (!chain.ReadSleb128(displacement)) return false;
            if (filter > 0) {
                const std::type_info* catchType = nullptr;
                if (!typeAt(static_cast<std::uintptr_t>(filter), catchType)) return false;
                if (handler.CatchTypeCount < THandlerInfo::kMaxCatchTypes)
                    handler.CatchTypes[handler.CatchTypeCount] = catchType;
                ++handler.CatchTypeCount;
                if (catchType == nullptr) {
                    catchAll = true;
                    handler.Matches = true;
                } else {
                    anyTyped = true;
                    if (!handler.Matches && takes(catchType)) handler.Matches = true;
                }
            } else if (filter < 0) {
                // An exception specification: the listed types may pass, any
                // other ends the program here (an empty list is noexcept).
                const auto listAt = static_cast<std::uintptr_t>(-(filter + 1));
                if (!hasTypes || listAt > table.Size() - typeBase) return false;
                ByteCursor list = table.At(typeBase + listAt);
                bool allowed = false;
                for (;;) {
                    std::uintptr_t index = 0;
                    if (!list.ReadUleb128(index)) return false;
                    if (index == 0) break;
                    const std::type_info* allowedType = nullptr;
                    if (!typeAt(index, allowedType)) return false;
                    if (allowedType != nullptr) allowed = allowed || takes(allowedType);
                }
                if (!allowed && !handler.Matches) {
                    handler.Kind = THandlerKind::hkTerminate;
                    handler.Matches = true;
                    return true;
                }
            } else {
                cleanup = true;
            }
            if (handler.Matches || displacement == 0) break;
            const std::uintptr_t distance = displacement < 0 ? static_cast<std::uintptr_t>(-(displacement + 1)) + 1
                                                             : static_cast<std::uintptr_t>(displacement);
            if (displacement < 0 ? distance > displacementAt : distance > table.Size() - displacementAt) return false;
            chain = table.At(displacement < 0 ? displacementAt - distance : displacementAt + distance);
        }
        if (handler.CatchTypeCount > THandlerInfo::kMaxCatchTypes)
            handler.CatchTypeCount = THandlerInfo::kMaxCatchTypes;
        if (anyTyped)
            handler.Kind = THandlerKind::hkCatchTyped;
        else if (catchAll)
            handler.Kind = THandlerKind::hkCatchAll;
        else if (cleanup || handler.CatchTypeCount == 0)
            handler.Kind = THandlerKind::hkCleanup;
        return true;
    }
    // An instruction no entry covers in a function that has a table: the C++
    // personality ends the program there.
    handler.Kind = THandlerKind::hkTerminate;
    handler.Matches = true;
    return true;
}

_Unwind_Reason_Code VisitFrame(_Unwind_Context* context, void* parameter)
{
    auto* walk = static_cast<WalkState*>(parameter);
    int beforeInstruction = 0;
    const std::uintptr_t ip = _Unwind_GetIPInfo(context, &beforeInstruction);
    if (!walk->Started) {
        // The hook's own frames come first; the raiser's starts at its return address.
        if (ip != walk->Raise->WalkStartIP) return _URC_NO_REASON;
        walk->Started = true;
        walk->Result.FirstFrameAddress = _Unwind_GetCFA(context);
    }
    const int frame = walk->Result.FramesWalked++;
    walk->Result.LastIP = ip;
    const auto* lsda = static_cast<const std::uint8_t*>(_Unwind_GetLanguageSpecificData(context));
    if (lsda == nullptr) return _URC_NO_REASON;
    THandlerInfo handler{};
    handler.Frame = frame;
    handler.IP = ip;
    handler.FunctionStart = _Unwind_GetRegionStart(context);
    handler.FrameAddress = _Unwind_GetCFA(context);
    if (!ReadFrameHandler(lsda, handler.FunctionStart, beforeInstruction ? ip : ip - 1, *walk->Raise, handler,
                          walk->Regions))
        return _URC_NO_REASON;
    ++walk->Result.HandlerCount;
    if (walk->Visit != nullptr && !walk->Visit(handler, walk->Context)) walk->Stopped = true;
    if (handler.Matches) {
        walk->Result.End = handler.Kind == THandlerKind::hkTerminate ? TWalkEnd::weTerminate : TWalkEnd::weCaught;
        return _URC_NORMAL_STOP;
    }
    return walk->Stopped ? _URC_NORMAL_STOP : _URC_NO_REASON;
}

}  // namespace

TWalkResult WalkHandlers(const TRaiseInfo& raise, THandlerVisitor visit, void* context) noexcept
{
    WalkState walk;
    walk.Raise = &raise;
    walk.Visit = visit;
    walk.Context = context;
    _Unwind_Backtrace(VisitFrame, &walk);
    return walk.Result;
}

}  // namespace rtl
