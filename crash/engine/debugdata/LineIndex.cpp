// Address to source: the scan over the line tables as they lie, and the index
// built once per module that answers the same.
#include <algorithm>
#include <map>
#include <queue>
#include <utility>

#include "crash/engine/debugdata/DebugDataInternal.h"

namespace crash {

using debugdata::TNameReader;
using debugdata::TUnitHeader;
using debugdata::TUnitState;

// Every range of code of a module's line tables, decoded once. When the units
// lie in ascending order of their start, the unit of an address is the last
// one (in table order) that holds it, which the scan finds too; the index then
// keeps the disjoint segments of the code with that unit. Tables in another
// order are answered by the scan.
class TLineIndex {
public:
    struct Row {
        std::uint32_t Begin;  // relative to the code base
        std::uint32_t Line;
        std::uint32_t ProcOffsetLine;
        std::uint32_t NamesIndex;  // index into FNames
    };
    struct Unit {
        std::uint32_t FirstRow;
        std::uint32_t RowEnd;
        std::uint32_t NameIndex;  // index into FUnitNames
    };
    struct Segment {
        std::uint64_t Begin;
        std::int32_t UnitIndex;  // -1: no unit
    };
    struct Names {
        std::string Class;
        std::string Procedure;
    };

    bool FSorted = true;
    std::vector<Row> FRows;
    std::vector<Unit> FUnits;
    std::vector<Segment> FSegments;
    std::vector<Names> FNames;
    std::vector<std::string> FUnitNames;
};

namespace {

void FillItem(std::uintptr_t address, std::string_view unit, std::string_view className, std::string_view procedure,
              std::uint32_t line, std::uint32_t procOffsetLine, TVexlorDebugInfo& item) noexcept
{
    item.Addr = static_cast<std::uint32_t>(address);
    if (!ShowVexlorLogUnits.load(std::memory_order_relaxed) && IsOwnUnitName(unit)) {
        item.DebugDetail = ddModule;
        item.UnitName.Clear();
        item.ClassName.Clear();
        item.ProcedureName.Clear();
        item.Line = 0;
        item.ProcOffsetLine = 0;
        return;
    }
    item.DebugDetail = ddSourceCode;
    item.UnitName.Assign(unit);
    item.ClassName.Assign(className);
    item.ProcedureName.Assign(procedure);
    item.Line = line;
    item.ProcOffsetLine = procOffsetLine;
}

bool Holds(const TUnitHeader& unit, std::uint64_t offset) noexcept
{
    return offset >= unit.StartOffset && offset < unit.End();
}

std::unique_ptr<TLineIndex> BuildIndex(const TModuleDebugData& data)
{
    const std::vector<std::uint8_t>& bytes = *data.DebugInformation;
    rtl::ByteCursor cursor(bytes.data(), bytes.size());
    const TNameReader reader = debugdata::NameReaderOf(data);
    std::uint32_t count = 0;
    if (!debugdata::SeekUnitCount(cursor, data.VexlorVersion, count)) return nullptr;
    auto index = std::make_unique<TLineIndex>();
    std::vector<TUnitHeader> headers(count);
    for (TUnitHeader& header : headers)
        if (!debugdata::ReadUnitHeader(cursor, reader, header)) return nullptr;
    for (std::size_t i = 1; i < headers.size(); ++i)
        if (headers[i].StartOffset < headers[i - 1].StartOffset) index->FSorted = false;
    if (!index->FSorted) return index;  // the scan answers; the tables are known to be whole

    std::map<std::pair<std::string, std::string>, std::uint32_t> names;
    std::map<std::string, std::uint32_t> unitNames;
    index->FUnits.reserve(count);
    for (const TUnitHeader& header : headers) {
        TLineIndex::Unit unit{};
        unit.FirstRow = static_cast<std::uint32_t>(index->FRows.size());
        auto [name, added] = unitNames.try_emplace(header.Name, static_cast<std::uint32_t>(index->FUnitNames.size()));
        if (added) index->FUnitNames.push_back(header.Name);
        unit.NameIndex = name->second;
        const std::uint64_t unitEnd = header.End();
        debugdata::WalkUnit(cursor, reader, data.CodeBase(), header,
                            [&](std::uint64_t begin, std::uint64_t end, const TUnitState& state) {
                                end = std::min(end, unitEnd);
                                if (begin >= end || begin > 0xFFFFFFFFu) return false;
                                auto [entry, fresh] =
                                    names.try_emplace({state.ClassName, state.ProcedureName},
                                                      static_cast<std::uint32_t>(index->FNames.size()));
                                if (fresh) index->FNames.push_back({state.ClassName, state.ProcedureName});
                                index->FRows.push_back({static_cast<std::uint32_t>(begin), state.Line,
                                                        debugdata::ProcOffsetLineOf(state), entry->second});
                                return false;
                            });
        unit.RowEnd = static_cast<std::uint32_t>(index->FRows.size());
        index->FUnits.push_back(unit);
    }

    // The segments: at each boundary the unit of greatest table index among
    // those holding the code there.
    std::vector<std::uint64_t> bounds;
    bounds.reserve(2 * count);
    for (const TUnitHeader& header : headers) {
        if (header.CodeSize == 0) continue;
        bounds.push_back(header.StartOffset);
        bounds.push_back(header.End());
    }
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
    std::priority_queue<std::pair<std::int32_t, std::uint64_t>> active;  // (unit, end)
    std::size_t next = 0;
    for (const std::uint64_t at : bounds) {
        while (next < headers.size() && headers[next].StartOffset <= at) {
            if (headers[next].CodeSize != 0 && headers[next].End() > at)
                active.push({static_cast<std::int32_t>(next), headers[next].End()});
            ++next;
        }
        while (!active.empty() && active.top().second <= at) active.pop();
        const std::int32_t unit = active.empty() ? -1 : active.top().first;
        if (index->FSegments.empty() || index->FSegments.back().UnitIndex != unit)
            index->FSegments.push_back({at, unit});
    }
    return index;
}

bool IndexLookup(const TLineIndex& index, const TModuleDebugData& data, std::uintptr_t address,
                 TVexlorDebugInfo& item) noexcept
{
    if (address < data.CodeBase()) return false;
    const std::uint64_t offset = address - data.CodeBase();
    const auto& segments = index.FSegments;
    auto segment = std::upper_bound(segments.begin(), segments.end(), offset,
                                    [](std::uint64_t value, const TLineIndex::Segment& s) { return value < s.Begin; });
    if (segment == segments.begin()) return false;
    --segment;
    if (segment->UnitIndex < 0) return false;
    const TLineIndex::Unit& unit = index.FUnits[static_cast<std::size_t>(segment->UnitIndex)];
    const auto first = index.FRows.begin() + unit.FirstRow;
    const auto last = index.FRows.begin() + unit.RowEnd;
    auto row = std::upper_bound(first, last, offset,
                                [](std::uint64_t value, const TLineIndex::Row& r) { return value < r.Begin; });
    if (row == first) return false;
    --row;
    const TLineIndex::Names& names = index.FNames[row->NamesIndex];
    FillItem(address, index.FUnitNames[unit.NameIndex], names.Class, names.Procedure, row->Line, row->ProcOffsetLine,
             item);
    return true;
}

}  // namespace

void DeleteLineIndex(const TLineIndex* index) noexcept
{
    delete index;
}

const TLineIndex* TModuleDebugData::Index() const
{
    if (const TLineIndex* index = FIndex.load(std::memory_order_acquire)) return index;
    rtl::TCriticalSectionLock lock(FIndexLock);
    if (!FIndexBuilt) {
        FIndexBuilt = true;
        if (DebugInformation) {
            try {
                FIndex.store(BuildIndex(*this).release(), std::memory_order_release);
            } catch (...) {
                // No memory for it: the module answers nothing, as without tables.
            }
        }
    }
    return FIndex.load(std::memory_order_acquire);
}

bool ScanSourceInfo(const TModuleDebugData& data, std::uintptr_t address, TVexlorDebugInfo& item) noexcept
{
    if (!data.DebugInformation) return false;
    try {
        const std::vector<std::uint8_t>& bytes = *data.DebugInformation;
        rtl::ByteCursor cursor(bytes.data(), bytes.size());
        const TNameReader reader = debugdata::NameReaderOf(data);
        std::uint32_t count = 0;
        if (address < data.CodeBase() || !debugdata::SeekUnitCount(cursor, data.VexlorVersion, count)) return false;
        const std::uint64_t offset = address - data.CodeBase();
        TUnitHeader header;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!debugdata::ReadUnitHeader(cursor, reader, header)) return false;
            if (!Holds(header, offset)) continue;
            // Units that start inside this one may hold the address too: the
            // last of them wins.
            TUnitHeader chosen = header;
            const std::uint64_t end = header.End();
            rtl::ByteCursor ahead = cursor;
            TUnitHeader next;
            for (std::uint32_t j = i + 1; j < count; ++j) {
                if (!debugdata::ReadUnitHeader(ahead, reader, next)) break;
                if (next.StartOffset >= end) break;
                if (Holds(next, offset)) chosen = next;
            }
            bool hit = false;
            debugdata::WalkUnit(cursor, reader, data.CodeBase(), chosen,
                                [&](std::uint64_t begin, std::uint64_t rangeEnd, const TUnitState& state) {
                                    if (offset < begin || offset >= rangeEnd) return false;
                                    FillItem(address, chosen.Name, state.ClassName, state.ProcedureName, state.Line,
                                             debugdata::ProcOffsetLineOf(state), item);
                                    hit = true;
                                    return true;
                                });
            return hit;
        }
    } catch (...) {}
    return false;
}

bool LookupSourceInfo(const TModuleDebugData& data, std::uintptr_t address, TVexlorDebugInfo& item) noexcept
{
    try {
        const TLineIndex* index = data.Index();
        if (index == nullptr) return false;
        if (!index->FSorted) return ScanSourceInfo(data, address, item);
        return IndexLookup(*index, data, address, item);
    } catch (...) {
        return false;
    }
}

}  // namespace crash
