// The last two steps of an address lookup, for code without the crash
// reporter's line tables: a location from the module's other debug source,
// and the name of the exported function that holds the address.
#include <algorithm>

#include "crash/engine/ECore.h"
#include "crash/engine/debuginfo/DebugInfoInternal.h"

namespace crash {

namespace {

// "@" at the front of a procedure name becomes "_", as in the data block.
void AssignProcedureName(TVexlorDebugInfo& item, std::string_view name) noexcept
{
    if (!name.empty() && name[0] == '@') {
        char buffer[256];
        const std::size_t length = std::min<std::size_t>(name.size(), sizeof buffer);
        std::copy_n(name.data(), length, buffer);
        buffer[0] = '_';
        item.ProcedureName.Assign(std::string_view(buffer, length));
    } else {
        item.ProcedureName.Assign(name);
    }
}

// The parts of a name between "."; at most Limit, the last one taking the rest.
std::size_t SplitDotted(std::string_view name, std::string_view* parts, std::size_t limit) noexcept
{
    std::size_t count = 0;
    for (;;) {
        const std::size_t dot = count + 1 < limit ? name.find('.') : std::string_view::npos;
        if (dot == std::string_view::npos) {
            parts[count++] = name;
            return count;
        }
        parts[count++] = name.substr(0, dot);
        name.remove_prefix(dot + 1);
    }
}

}  // namespace

bool LocationInfoToDebugInfo(const TVLLocationInfo& Location, TVexlorDebugInfo& Item) noexcept
{
    if (Location.ProcedureName.empty()) return false;
    try {
        const std::string unit =
            ExtractFileName(!Location.SourceName.empty() ? Location.SourceName : Location.UnitName);
        std::string_view parts[3];
        const std::size_t count = SplitDotted(Location.ProcedureName, parts, 3);
        std::string_view className, procedureName;
        if (count == 3) {
            className = parts[1];
            procedureName = parts[2];
        } else if (count == 2) {
            procedureName = parts[1];
            if (!debuginfo::SameTextNoCase(parts[0], ChangeFileExt(unit, ""))) className = parts[0];
        } else {
            procedureName = parts[0];
        }
        Item.Addr = static_cast<std::uint32_t>(Location.Address);
        Item.UnitName.Assign(unit);
        Item.ClassName.Assign(className);
        AssignProcedureName(Item, procedureName);
        Item.Line = Location.LineNumber > 0 ? static_cast<std::uint32_t>(Location.LineNumber) : 0;
        Item.ProcOffsetLine = Location.ProcOffsetLine > 0 ? static_cast<std::uint32_t>(Location.ProcOffsetLine) : 0;
        if (Item.Line != 0)
            Item.DebugDetail = ddSourceCode;
        else if (!Item.UnitName.Empty())
            Item.DebugDetail = ddUnitAndProcedure;
        else if (!Item.ProcedureName.Empty())
            Item.DebugDetail = ddProcedure;
        else if (Item.ModuleInfo != nullptr)
            Item.DebugDetail = ddModule;
        else
            Item.DebugDetail = ddNone;
        return true;
    } catch (...) {
        return false;
    }
}

bool GetOtherDebugInfoByAddr(TVLDebugInfoSource* Source, std::uintptr_t Address, TVexlorDebugInfo& Item) noexcept
{
    if (Source == nullptr) return false;
    try {
        TVLLocationInfo location;
        return Source->GetLocationInfo(Address, location) && LocationInfoToDebugInfo(location, Item);
    } catch (...) {
        return false;
    }
}

void ExportNameToDebugInfo(std::string_view Name, TVexlorDebugInfo& Item) noexcept
{
    try {
        std::string name(Name);
        bool dotted = false;
        if (name.size() > 1 && name[0] == '@' && name[1] != '$' && name.find('$') != std::string::npos) {
            name.erase(name.find('$'));
            if (!name.empty() && name.back() == '@') name.pop_back();
            name.erase(0, 1);
            const std::size_t pair = name.find("@@");
            if (pair != std::string::npos) name[pair + 1] = '_';
            std::replace(name.begin(), name.end(), '@', '.');
            dotted = true;
        } else if (name.find('.') != std::string::npos) {
            const std::size_t at = name.find('@');
            if (at != std::string::npos) name.erase(at);
            dotted = true;
        } else if (!name.empty() && name[0] != '?') {
            AssignProcedureName(Item, name);
            Item.DebugDetail = ddProcedure;
            return;
        }
        if (!dotted) return;
        std::string_view parts[4];
        const std::size_t count = SplitDotted(name, parts, 4);
        if (count != 2 && count != 3) return;
        std::string unit(parts[0]);
        unit += kExportUnitSourceExtension;
        Item.UnitName.Assign(unit);
        if (count == 3) Item.ClassName.Assign(parts[1]);
        AssignProcedureName(Item, parts[count - 1]);
        Item.DebugDetail = ddUnitAndProcedure;
    } catch (...) {
        // Out of memory for a name of a few bytes: the item stays as it was.
    }
}

}  // namespace crash
