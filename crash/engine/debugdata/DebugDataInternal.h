// The line tables' parts shared by the scan and the index: names, unit
// headers and the walk over a unit's records.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "crash/engine/EDebugData.h"
#include "rtl/ByteCursor.h"

namespace crash::debugdata {

// How the names of one module's line tables are stored.
struct TNameReader {
    std::uint16_t Version = 0;
    const TCipherContext* Key = nullptr;
    bool ValidPassword = true;
    bool UnitExtensions = false;  // unit names carry their own extension
};

TNameReader NameReaderOf(const TModuleDebugData& data) noexcept;

// A name in the debug-name encoding: parts joined with "."; a part that
// cannot be deciphered is "?" and the Base64 text of its bytes.
bool ReadDebugName(rtl::ByteCursor& cursor, const TNameReader& reader, std::string& name);

struct TUnitHeader {
    std::string Name;
    std::uint32_t FirstLine = 0;
    std::uint32_t StartOffset = 0;
    std::uint32_t CodeSize = 0;
    std::size_t RecordsBegin = 0;  // offsets in the line tables
    std::size_t RecordsEnd = 0;
    // The unit's last byte + 1, relative to the code base.
    std::uint64_t End() const noexcept { return std::uint64_t{StartOffset} + CodeSize; }
};

// A unit's header, its name as the lookups show it; the cursor moves to the
// unit's records. False when it does not fit.
bool ReadUnitHeader(rtl::ByteCursor& cursor, const TNameReader& reader, TUnitHeader& header);

// Where the unit count lies: after the block that versions 405 to 499 put first.
bool SeekUnitCount(rtl::ByteCursor& cursor, std::uint16_t version, std::uint32_t& count) noexcept;

// The state of the walk at one covered range of code.
struct TUnitState {
    std::uint32_t Line = 0;
    std::string ClassName;
    std::string ProcedureName;
    bool StartKnown = false;
    std::uint32_t StartLine = 0;
    std::uintptr_t StartAddress = 0;
};

// Lines from the procedure's first line to Line: the start line lowered by
// one for code without the classic frame prologue (see the source).
std::uint32_t ProcOffsetLineOf(const TUnitState& state) noexcept;

// Walks the unit's records (cursor over the whole line tables): calls
// OnRange(Begin, End, State) for each range of code, offsets relative to the
// code base, End exclusive and possibly empty, and last for the unit's tail;
// stops early when onRange answers true. A record or name past the unit's end
// ends the records.
template <class OnRange>
void WalkUnit(const rtl::ByteCursor& cursor, const TNameReader& reader, std::uintptr_t codeBase,
              const TUnitHeader& header, OnRange&& onRange);

// ---- The walk -------------------------------------------------------------------

void SplitProcedureName(std::string_view name, const std::string& previousClass, std::string& className,
                        std::string& procedureName);

template <class OnRange>
void WalkUnit(const rtl::ByteCursor& cursor, const TNameReader& reader, std::uintptr_t codeBase,
              const TUnitHeader& header, OnRange&& onRange)
{
    rtl::ByteCursor records = cursor.At(header.RecordsBegin);
    records = records.Split(header.RecordsEnd - header.RecordsBegin);
    TUnitState state;
    state.Line = header.FirstLine;
    std::uint64_t offset = header.StartOffset;
    std::uint32_t newestLine = 0;
    std::uintptr_t newestAddress = 0;
    bool announced = false;
    std::string previousClass, name, newClass, newProcedure;
    while (!records.AtEnd()) {
        if (announced) {
            state.StartKnown = true;
            state.StartLine = newestLine;
            state.StartAddress = newestAddress;
            announced = false;
        }
        TLineRecord record;
        const std::size_t length = DecodeLineRecord(records.Position(), records.Remaining(), reader.Version, record);
        if (length == 0) break;
        records.Skip(length);
        const std::uint32_t nextLine = state.Line + static_cast<std::uint32_t>(record.Delta);
        const std::uint64_t nextOffset = offset + record.D;
        if (record.NewProcedure) {
            newestLine = nextLine;
            newestAddress = static_cast<std::uintptr_t>(codeBase + nextOffset);
            if (!ReadDebugName(records, reader, name)) break;
            SplitProcedureName(name, previousClass, newClass, newProcedure);
            if (!newClass.empty()) previousClass = newClass;
            if (state.ProcedureName.empty()) {
                state.ProcedureName = newProcedure;
                state.ClassName = newClass;
            }
            announced = true;
        }
        if (onRange(offset, nextOffset, static_cast<const TUnitState&>(state))) return;
        if (record.NewProcedure) {
            state.ProcedureName = newProcedure;
            state.ClassName = newClass;
        }
        state.Line = nextLine;
        offset = nextOffset;
    }
    onRange(offset, header.End(), static_cast<const TUnitState&>(state));
}

}  // namespace crash::debugdata
