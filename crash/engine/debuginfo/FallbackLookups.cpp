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

// The parts of a name between "."; at most limit, the last one taking the rest.
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

bool LocationInfoToDebugInfo(const TVLLocationInfo& location, TVexlorDebugInfo& item) noexcept
{
    if (location.ProcedureName.empty()) return false;
    try {
        const std::string unit =
            ExtractFileName(!location.SourceName.empty() ? location.SourceName : location.UnitName);
        std::string_view parts[3];
        const std::size_t count = SplitDotted(location.ProcedureName, parts, 3);
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
        item.Addr = static_cast<std::uint32_t>(location.Address);
        item.UnitName.Assign(unit);
        item.ClassName.Assign(className);
        AssignProcedureName(item, procedureName);
        item.Line = location.LineNumber > 0 ? static_cast<std::uint32_t>(location.LineNumber) : 0;
        item.ProcOffsetLine = location.ProcOffsetLine > 0 ? static_cast<std::uint32_t>(location.ProcOffsetLine) : 0;
        if (item.Line != 0)
            item.DebugDetail = ddSourceCode;
        else if (!item.UnitName.Empty())
            item.DebugDetail = ddUnitAndProcedure;
        else if (!item.ProcedureName.Empty())
            item.DebugDetail = ddProcedure;
        else if (item.ModuleInfo != nullptr)
            item.DebugDetail = ddModule;
        else
            item.DebugDetail = ddNone;
        return true;
    } catch (...) {
        return false;
    }
}

bool GetOtherDebugInfoByAddr(TVLDebugInfoSource* source, std::uintptr_t address, TVexlorDebugInfo& item) noexcept
{
    if (source == nullptr) return false;
    try {
        TVLLocationInfo location;
        return source->GetLocationInfo(address, location) && LocationInfoToDebugInfo(location, item);
    } catch (...) {
        return false;
    }
}

void ExportNameToDebugInfo(std::string_view name, TVexlorDebugInfo& item) noexcept
{
    try {
        std::string cleaned(name);
        bool dotted = false;
        if (cleaned.size() > 1 && cleaned[0] == '@' && cleaned[1] != '$' && cleaned.find('$') != std::string::npos) {
            cleaned.erase(cleaned.find('$'));
            if (!cleaned.empty() && cleaned.back() == '@') cleaned.pop_back();
            cleaned.erase(0, 1);
            const std::size_t pair = cleaned.find("@@");
            if (pair != std::string::npos) cleaned[pair + 1] = '_';
            std::replace(cleaned.begin(), cleaned.end(), '@', '.');
            dotted = true;
        } else if (cleaned.find('.') != std::string::npos) {
            const std::size_t at = cleaned.find('@');
            if (at != std::string::npos) cleaned.erase(at);
            dotted = true;
        } else if (!cleaned.empty() && cleaned[0] != '?') {
            AssignProcedureName(item, cleaned);
            item.DebugDetail = ddProcedure;
            return;
        }
        if (!dotted) return;
        std::string_view parts[4];
        const std::size_t count = SplitDotted(cleaned, parts, 4);
        if (count != 2 && count != 3) return;
        std::string unit(parts[0]);
        unit += kExportUnitSourceExtension;
        item.UnitName.Assign(unit);
        if (count == 3) item.ClassName.Assign(parts[1]);
        AssignProcedureName(item, parts[count - 1]);
        item.DebugDetail = ddUnitAndProcedure;
    } catch (...) {
        // Out of memory for a name of a few bytes: the item stays as it was.
    }
}

}  // namespace crash
