// Call stacks as text and from text: the table rows of the interface, a
// foreign exception's stack read from its lines, and FastMM's leak lines.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "crash/engine/ECore.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/system/SystemInfo.h"

namespace crash {

namespace {

bool IsTableFrame(const TVexlorDebugInfo& item) noexcept
{
    return item.DebugDetail == ddProcedure || item.DebugDetail == ddUnitAndProcedure ||
           item.DebugDetail == ddSourceCode;
}

std::string ModuleFileNameOf(const TVexlorDebugInfo& item)
{
    return item.ModuleInfo != nullptr ? ExtractFileName(item.ModuleInfo->Name) : std::string();
}

std::string LineText(const TVexlorDebugInfo& item)
{
    if (item.Line == 0) return {};
    return std::to_string(item.Line) + "[" + std::to_string(item.ProcOffsetLine) + "]";
}

std::string HexAddress(std::uint32_t address)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(address));
    return text;
}

std::string Padded(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// Splits at every "|"; an empty text is one empty field.
std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = line.find('|', start);
        fields.push_back(line.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
        if (bar == std::string_view::npos) return fields;
        start = bar + 1;
    }
}

std::uint32_t NumberField(std::string_view text)
{
    int value = 0;
    return rtl::TryStrToInt(text, value) ? static_cast<std::uint32_t>(value) : 0;
}

}  // namespace

void CallStackToStrings(const TVexlorStackList& callStack, std::vector<std::string>& strings,
                        const TVexlorModuleOptions* options)
{
    if (options == nullptr) options = LibraryModuleOptions();
    if (options == nullptr) return;

    using TRow = std::array<std::string, 6>;
    std::vector<TRow> rows;
    for (int i = 0; i < callStack.Count(); ++i) {
        const TVexlorDebugInfo& item = *callStack.Items(i);
        if (!IsTableFrame(item)) continue;
        rows.push_back({HexAddress(item.Addr), ModuleFileNameOf(item), item.UnitName.Str(), item.ClassName.Str(),
                        item.ProcedureName.Str(), LineText(item)});
    }
    if (rows.empty()) return;

    const TRow captions = {
        options->GetCustomizedTexts(mtCallStack_Address),   options->GetCustomizedTexts(mtCallStack_Name),
        options->GetCustomizedTexts(mtCallStack_Unit),      options->GetCustomizedTexts(mtCallStack_Class),
        options->GetCustomizedTexts(mtCallStack_Procedure), options->GetCustomizedTexts(mtCallStack_Line)};
    std::array<std::size_t, 6> widths{};
    widths[0] = 8;
    for (std::size_t column = 0; column < widths.size(); ++column) {
        widths[column] = std::max(widths[column], captions[column].size());
        for (const TRow& row : rows) widths[column] = std::max(widths[column], row[column].size());
    }
    std::size_t total = 7;
    for (const std::size_t width : widths) total += width;
    const std::string rule(total, '-');

    auto rowText = [&](const TRow& row) {
        std::string text = "|";
        for (std::size_t column = 0; column < row.size(); ++column) text += Padded(row[column], widths[column]) + "|";
        return text;
    };
    strings.push_back(rule);
    strings.push_back(rowText(captions));
    strings.push_back(rule);
    for (const TRow& row : rows) strings.push_back(rowText(row));
    strings.push_back(rule);
}

std::unique_ptr<TVexlorStackList> ParseCallStackText(std::string_view callStackText)
{
    auto list = std::make_unique<TVexlorStackList>();
    bool first = true;
    std::string previousThread;
    std::uint32_t threadId = 0;
    std::size_t start = 0;
    while (start <= callStackText.size()) {
        std::size_t end = callStackText.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = callStackText.size();
        const std::string_view line = callStackText.substr(start, end - start);
        start = end + 1;
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields.size() != 8) continue;

        auto item = std::make_unique<TVexlorDebugInfo>();
        auto module = std::make_unique<TVexlorModuleInfo>();
        module->Name = DotNetHostedFile(std::string(fields[1]));
        item->Addr = NumberField(fields[0]);
        item->UnitName.Assign(fields[2]);
        std::string_view className = fields[3];
        std::string_view procedure = fields[4];
        if (className.empty()) {
            if (const std::size_t dot = procedure.rfind('.'); dot != std::string_view::npos) {
                className = procedure.substr(0, dot);
                procedure = procedure.substr(dot + 1);
            }
        }
        item->ClassName.Assign(className);
        item->ProcedureName.Assign(procedure);
        item->Line = NumberField(fields[5]);
        item->ProcOffsetLine = NumberField(fields[6]);
        item->DebugDetail = item->Line != 0 ? ddSourceCode : ddUnitAndProcedure;
        item->RunningThread = true;
        const std::string thread(fields[7]);
        if (first || thread != previousThread) {
            // Threads count down from 0: no real thread has these ids.
            if (!first) --threadId;
            item->ErrorLine = true;
            previousThread = thread;
            first = false;
        }
        item->ThreadID = threadId;
        list->AddOwning(std::move(item), std::move(module));
    }
    return list;
}

char* LogStackTrace(const std::uint32_t* returnAddresses, std::uint32_t maxLines, char* buffer, bool acceptProcedures,
                    bool acceptUnits, bool showOffsetLine)
{
    char* out = buffer;
    auto write = [&](std::string_view text) {
        std::memcpy(out, text.data(), text.size());
        out += text.size();
    };
    if (!IsVexlorLogInstalled()) {
        write("\r\nYou must activate VexlorLog in the \"" +
              ExtractFileName(GetModuleFullFileName(LibraryModuleHandle())) + "\" module.");
        return out;
    }
    if (returnAddresses == nullptr) return out;

    std::uint32_t accepted = 0;
    std::uint32_t next = 0;  // the first address of the current pass
    for (;;) {
        std::uint32_t lastAccepted = next;  // one past the last accepted address
        for (std::uint32_t i = next; i < maxLines && accepted < maxLines; ++i) {
            const std::uint32_t address = returnAddresses[i];
            if (!IsValidBlockAddr(static_cast<std::uintptr_t>(address), 4)) break;
            TVexlorDebugInfo item;
            DebugInfoResolver.load()(address - 1, ::GetCurrentThreadId(), item, false, true);
            const TVexlorDebugDetail detail = item.DebugDetail;
            const bool take = detail == ddSourceCode ||
                              (acceptProcedures && (detail == ddUnitAndProcedure || detail == ddSourceCode)) ||
                              (acceptUnits && detail >= ddProcedure) || (acceptProcedures && acceptUnits);
            if (!take) continue;
            std::string text = " " + HexAddress(item.Addr != 0 ? item.Addr : address - 1) + " ";
            if (item.ModuleInfo != nullptr) text += "[" + ExtractFileName(item.ModuleInfo->Name) + "] ";
            if (!item.UnitName.Empty()) text += item.UnitName.Str() + " ";
            if (!item.ProcedureName.Empty()) {
                text += "- ";
                if (!item.ClassName.Empty()) text += item.ClassName.Str() + ".";
                text += item.ProcedureName.Str() + " ";
            }
            if (item.Line != 0) {
                text += "(Line: " + std::to_string(item.Line);
                if (showOffsetLine) text += "[" + std::to_string(item.ProcOffsetLine) + "]";
                text += ")";
            }
            if (text.size() > kMaxLeakFrameText) text.resize(kMaxLeakFrameText);
            write("\r\n");
            write(text);
            ++accepted;
            lastAccepted = i + 1;
        }
        if (accepted >= maxLines || (acceptProcedures && acceptUnits)) return out;
        // Too few frames: relax the flags, the unit frames first.
        if (!acceptUnits)
            acceptUnits = true;
        else
            acceptProcedures = true;
        next = lastAccepted;
    }
}

}  // namespace crash
