// The handler walk: which frames would see a raised exception, and how each
// takes it, read from the frames' unwind data and C++ exception tables.
#include <unwind.h>

#include <cstdint>
#include <cstring>
#include <typeinfo>

#include "rtl/CheckedMemory.h"
#include "rtl/ExceptInternal.h"

namespace rtl {
namespace {

// Pointer encodings of the exception tables (the DWARF EH set this compiler uses).
constexpr std::uint8_t kEncAbsPtr = 0x00, kEncUleb128 = 0x01, kEncUdata2 = 0x02, kEncUdata4 = 0x03,
                       kEncUdata8 = 0x04, kEncSleb128 = 0x09, kEncSdata2 = 0x0A, kEncSdata4 = 0x0B,
                       kEncSdata8 = 0x0C, kEncPcRel = 0x10, kEncIndirect = 0x80, kEncOmit = 0xFF;

struct TableCursor {
    const std::uint8_t* FPos;
    bool FBad = false;

    // A LEB128 number; `shift` and `last` tell the signed reader where the
    // value ended and whether its sign bit was set.
    std::uintptr_t Leb(unsigned& shift, std::uint8_t& last) noexcept
    {
        std::uintptr_t value = 0;
        shift = 0;
        do {
            last = *FPos++;
            if (shift < 8 * sizeof value) value |= static_cast<std::uintptr_t>(last & 0x7F) << shift;
            shift += 7;
        } while (last & 0x80);
        return value;
    }
    std::uintptr_t Uleb() noexcept
    {
        unsigned shift;
        std::uint8_t last;
        return Leb(shift, last);
    }
    std::intptr_t Sleb() noexcept
    {
        unsigned shift;
        std::uint8_t last;
        std::uintptr_t value = Leb(shift, last);
        if (shift < 8 * sizeof value && (last & 0x40)) value |= ~std::uintptr_t(0) << shift;
        return static_cast<std::intptr_t>(value);
    }
    template <class T>
    T Fixed() noexcept
    {
        T value;
        std::memcpy(&value, FPos, sizeof value);
        FPos += sizeof value;
        return value;
    }
    // An encoded pointer; an encoding this walk cannot read marks the cursor bad.
    std::uintptr_t Encoded(std::uint8_t encoding) noexcept
    {
        if (encoding == kEncOmit) return 0;
        const std::uint8_t* start = FPos;
        std::uintptr_t value;
        switch (encoding & 0x0F) {
        case kEncAbsPtr: value = Fixed<std::uintptr_t>(); break;
        case kEncUleb128: value = Uleb(); break;
        case kEncSleb128: value = static_cast<std::uintptr_t>(Sleb()); break;
        case kEncUdata2: value = Fixed<std::uint16_t>(); break;
        case kEncSdata2: value = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(Fixed<std::int16_t>())); break;
        case kEncUdata4: value = Fixed<std::uint32_t>(); break;
        case kEncSdata4: value = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(Fixed<std::int32_t>())); break;
        case kEncUdata8:
        case kEncSdata8: value = static_cast<std::uintptr_t>(Fixed<std::uint64_t>()); break;
        default: FBad = true; return 0;
        }
        if (value == 0) return 0;
        switch (encoding & 0x70) {
        case 0: break;
        case kEncPcRel: value += reinterpret_cast<std::uintptr_t>(start); break;
        default: FBad = true; return 0;  // text-, data- and function-relative: not made by this compiler
        }
        if (encoding & kEncIndirect) value = *reinterpret_cast<const std::uintptr_t*>(value);
        return value;
    }
};

std::size_t EncodedSize(std::uint8_t encoding) noexcept
{
    switch (encoding & 0x07) {
    case kEncUdata2: return 2;
    case kEncUdata4: return 4;
    case kEncUdata8: return 8;
    default: return sizeof(void*);
    }
}

struct WalkState {
    const TRaiseInfo* FRaise;
    THandlerVisitor FVisit;
    void* FContext;
    bool FStarted = false;
    bool FStopped = false;
    TWalkResult FResult{TWalkEnd::weNoHandler, 0, 0, 0, 0};
};

// Reads the frame's exception table for the instruction at `ip` and fills
// `handler`; false when the frame does nothing for an exception there.
bool ReadFrameHandler(const std::uint8_t* lsda, std::uintptr_t functionStart, std::uintptr_t ip,
                      const TRaiseInfo& raise, THandlerInfo& handler) noexcept
{
    TableCursor cursor{lsda};
    // Only whether a landing pad exists matters here, not where it is: its
    // base is read past.
    const std::uint8_t landingStartEncoding = *cursor.FPos++;
    if (landingStartEncoding != kEncOmit) cursor.Encoded(landingStartEncoding);
    const std::uint8_t typeEncoding = *cursor.FPos++;
    const std::uint8_t* typeBase = nullptr;
    if (typeEncoding != kEncOmit) {
        const std::uintptr_t offset = cursor.Uleb();
        typeBase = cursor.FPos + offset;
    }
    const std::uint8_t callSiteEncoding = *cursor.FPos++;
    const std::uintptr_t callSiteLength = cursor.Uleb();
    const std::uint8_t* callSiteEnd = cursor.FPos + callSiteLength;
    const std::uint8_t* actionTable = callSiteEnd;
    while (cursor.FPos < callSiteEnd && !cursor.FBad) {
        const std::uintptr_t start = cursor.Encoded(callSiteEncoding);
        const std::uintptr_t length = cursor.Encoded(callSiteEncoding);
        const std::uintptr_t landingPad = cursor.Encoded(callSiteEncoding);
        const std::uintptr_t action = cursor.Uleb();
        // The table is sorted by start: once past the IP, nothing covers it.
        if (ip < functionStart + start) break;
        if (ip >= functionStart + start + length) continue;
        if (landingPad == 0) return false;  // no landing pad: the exception passes
        if (action == 0) {
            handler.Kind = THandlerKind::hkCleanup;
            return true;
        }
        auto typeAt = [&](std::intptr_t index) noexcept -> const std::type_info* {
            TableCursor entry{typeBase - index * static_cast<std::intptr_t>(EncodedSize(typeEncoding))};
            return reinterpret_cast<const std::type_info*>(entry.Encoded(typeEncoding));
        };
        // A thrown pointer is matched by what it points to, as the C++
        // personality does: the matcher may follow the pointee's vtable to a
        // virtual base, and a null pointee is never read.
        void* thrown = raise.Object;
        if (raise.Type != nullptr && raise.Type->__is_pointer_p()) {
            void* pointee = nullptr;
            if (!ReadValue(thrown, pointee)) return false;
            thrown = pointee;
        }
        auto takes = [&](const std::type_info* catchType) noexcept {
            void* object = thrown;
            return raise.Type != nullptr && catchType->__do_catch(raise.Type, &object, 1);
        };
        bool anyTyped = false;
        bool catchAll = false;
        bool cleanup = false;
        TableCursor chain{actionTable + action - 1};
        for (;;) {
            const std::intptr_t filter = chain.Sleb();
            const std::uint8_t* displacementAt = chain.FPos;
            const std::intptr_t displacement = chain.Sleb();
            if (filter > 0) {
                const std::type_info* catchType = typeAt(filter);
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
                TableCursor list{typeBase + (-filter - 1)};
                bool allowed = false;
                for (std::uintptr_t index = list.Uleb(); index != 0; index = list.Uleb())
                    if (const std::type_info* allowedType = typeAt(static_cast<std::intptr_t>(index)))
                        allowed = allowed || takes(allowedType);
                if (!allowed && !handler.Matches) {
                    handler.Kind = THandlerKind::hkTerminate;
                    handler.Matches = true;
                    return true;
                }
            } else {
                cleanup = true;
            }
            if (handler.Matches || displacement == 0) break;
            chain.FPos = displacementAt + displacement;
        }
        if (handler.CatchTypeCount > THandlerInfo::kMaxCatchTypes) handler.CatchTypeCount = THandlerInfo::kMaxCatchTypes;
        if (anyTyped)
            handler.Kind = THandlerKind::hkCatchTyped;
        else if (catchAll)
            handler.Kind = THandlerKind::hkCatchAll;
        else if (cleanup || handler.CatchTypeCount == 0)
            handler.Kind = THandlerKind::hkCleanup;
        return true;
    }
    if (cursor.FBad) return false;
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
    if (!walk->FStarted) {
        // The hook's own frames come first; the raiser's starts at its return address.
        if (ip != walk->FRaise->WalkStartIP) return _URC_NO_REASON;
        walk->FStarted = true;
        walk->FResult.FirstFrameAddress = _Unwind_GetCFA(context);
    }
    const int frame = walk->FResult.FramesWalked++;
    walk->FResult.LastIP = ip;
    const auto* lsda = static_cast<const std::uint8_t*>(_Unwind_GetLanguageSpecificData(context));
    if (lsda == nullptr) return _URC_NO_REASON;
    THandlerInfo handler{};
    handler.Frame = frame;
    handler.IP = ip;
    handler.FunctionStart = _Unwind_GetRegionStart(context);
    handler.FrameAddress = _Unwind_GetCFA(context);
    if (!ReadFrameHandler(lsda, handler.FunctionStart, beforeInstruction ? ip : ip - 1, *walk->FRaise, handler))
        return _URC_NO_REASON;
    ++walk->FResult.HandlerCount;
    if (walk->FVisit != nullptr && !walk->FVisit(handler, walk->FContext)) walk->FStopped = true;
    if (handler.Matches) {
        walk->FResult.End = handler.Kind == THandlerKind::hkTerminate ? TWalkEnd::weTerminate : TWalkEnd::weCaught;
        return _URC_NORMAL_STOP;
    }
    return walk->FStopped ? _URC_NORMAL_STOP : _URC_NO_REASON;
}

}  // namespace

TWalkResult WalkHandlers(const TRaiseInfo& raise, THandlerVisitor visit, void* context) noexcept
{
    WalkState walk;
    walk.FRaise = &raise;
    walk.FVisit = visit;
    walk.FContext = context;
    _Unwind_Backtrace(VisitFrame, &walk);
    return walk.FResult;
}

}  // namespace rtl
