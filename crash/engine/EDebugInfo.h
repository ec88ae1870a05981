// One resolved code address: the item of a call stack, of a leak report and of
// an address-to-source lookup (TVexlorDebugInfo), and how far it was resolved
// (TVexlorDebugDetail).
//
// A plain packed record of fixed size, so that it can be copied, kept in
// preallocated lists and filled where nothing may allocate. Its strings are
// length-prefixed byte arrays; text longer than a field holds is cut.
// Value types only: any thread, any zone.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "crash/engine/ETypes.h"

namespace crash {

// The module record an item points into (owned by the module list).
struct TVexlorModuleInfo;

enum TVexlorDebugDetail : std::uint8_t {
    ddNone,              // hidden
    ddModule,            // only the module is known
    ddProcedure,         // the procedure's name is known
    ddUnitAndProcedure,  // unit and procedure are known
    ddSourceCode,        // unit, procedure and source line are known
};
using TVexlorDebugDetails = EnumSet<TVexlorDebugDetail, ddSourceCode + 1>;

#pragma pack(push, 1)

// A length byte and at most Capacity bytes of 8-bit text.
template <std::size_t Capacity>
struct TShortString {
    static_assert(Capacity > 0 && Capacity <= 255);
    std::uint8_t Length = 0;
    char Chars[Capacity] = {};

    // text beyond Capacity bytes is cut.
    void Assign(std::string_view text) noexcept
    {
        Length = static_cast<std::uint8_t>(text.size() < Capacity ? text.size() : Capacity);
        std::memcpy(Chars, text.data(), Length);
    }
    void Clear() noexcept { Length = 0; }
    bool Empty() const noexcept { return Length == 0; }
    std::string_view View() const noexcept { return {Chars, Length}; }
    std::string Str() const { return std::string(View()); }
};

struct TVexlorDebugInfo {
    TVexlorDebugDetail DebugDetail = ddNone;
    TVexlorModuleInfo* ModuleInfo = nullptr;  // not owned; null when no module holds Addr
    std::uint32_t ThreadID = 0;
    bool RunningThread = false;  // from the thread's own stack, not the copy made at its start
    bool ErrorLine = false;      // the item of the exception address itself
    bool IsALeak = false;
    TShortString<64> LeakType;
    std::uint32_t LeakSize = 0;
    std::uint32_t LeakCount = 0;
    std::uint32_t Addr = 0;
    TShortString<255> UnitName;   // source file name with its extension
    TShortString<255> ClassName;  // empty for plain procedures
    TShortString<255> ProcedureName;
    std::uint32_t Line = 0;            // 0 when unknown
    std::uint32_t ProcOffsetLine = 0;  // lines from the procedure's first line
    TShortString<255> CustomMsg;
};

#pragma pack(pop)

static_assert(offsetof(TVexlorDebugInfo, ModuleInfo) == 1 && offsetof(TVexlorDebugInfo, ThreadID) == 5 &&
                  offsetof(TVexlorDebugInfo, LeakType) == 12 && offsetof(TVexlorDebugInfo, Addr) == 85 &&
                  offsetof(TVexlorDebugInfo, UnitName) == 89 && offsetof(TVexlorDebugInfo, Line) == 857 &&
                  offsetof(TVexlorDebugInfo, CustomMsg) == 865 && sizeof(TVexlorDebugInfo) == 1121,
              "the item is a packed record in this field order");

}  // namespace crash
