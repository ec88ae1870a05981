// The call-stack table and the thread header of its groups.
#include <algorithm>
#include <array>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/engine/threads/ThreadRegistry.h"
#include "crash/report/sections/ReportSections.h"
#include "crash/report/sections/SectionText.h"
#include "rtl/Classes.h"
#include "rtl/System.h"

namespace crash {

namespace {

void Stage(TSectionStageProc SetStage, std::int32_t Value) noexcept
{
    if (SetStage) SetStage(Value);
}

std::string Decimal(std::uint32_t Value)
{
    return std::to_string(static_cast<std::int32_t>(Value));
}

// Priority and class of a thread as the registry knows them: "??" and empty
// for a thread it does not hold. A priority not read yet is asked from the
// system and stored under the writer lock.
void RegistryFacts(std::uint32_t ThreadID, std::string& Priority, std::string& ClassName)
{
    Priority = "??";
    ClassName.clear();
    TVexlorThreadsList* list = ThreadsList();
    if (!list) return;
    bool found = false;
    std::int32_t priority = kPriorityNotRead;
    const rtl::TThread* thread = nullptr;
    list->BeginRead();
    const int index = list->FindByThreadID(ThreadID);
    if (index >= 0) {
        const TVexlorThreadInfo* item = list->GetItem(index);
        found = true;
        priority = item->Priority;
        thread = item->Thread;
    }
    list->EndRead();
    if (!found) return;
    if (priority == kPriorityNotRead) {
        list->BeginWrite();
        // Found again: the item may have gone or been read meanwhile.
        const int again = list->FindByThreadID(ThreadID);
        if (again >= 0) {
            TVexlorThreadInfo* item = list->GetItem(again);
            if (item->Priority == kPriorityNotRead && item->Handle) {
                const int read = ::GetThreadPriority(item->Handle);
                if (read != THREAD_PRIORITY_ERROR_RETURN) item->Priority = read;
            }
            priority = item->Priority;
        }
        list->EndWrite();
    }
    if (priority != kPriorityNotRead) Priority = std::to_string(priority);
    if (thread && rtl::IsValidObject(thread)) ClassName = rtl::SafeClassName(thread);
}

}  // namespace

namespace sections {

std::string JoinedProcedureName(const TVexlorDebugInfo& Item)
{
    std::string result;
    auto add = [&](std::string_view part) {
        if (part.empty()) return;
        if (!result.empty()) result += '.';
        result += part;
    };
    add(ChangeFileExt(Item.UnitName.Str(), ""));
    add(Item.ClassName.View());
    add(Item.ProcedureName.View());
    return result;
}

}  // namespace sections

std::string ThreadHeaderText(const TVexlorDebugInfo& Item, bool Starred, const TVexlorModuleOptions& Options,
                             bool CallFromCOMObject)
{
    auto label = [&](TMessageType type) { return Options.GetCustomizedExpandedTexts(type); };
    if (Item.IsALeak) {
        std::string type = Item.LeakType.Str();
        if (type == "Data") type = label(mtCallStack_LeakData);
        return std::string(Starred ? "+" : "") + label(mtCallStack_LeakCaption) + ": " + label(mtCallStack_LeakType) +
               "=" + type + "; " + label(mtCallStack_LeakSize) + "=" + Decimal(Item.LeakSize) + "; " +
               label(mtCallStack_LeakCount) + "=" + Decimal(Item.LeakCount);
    }
    std::string text;
    if (!Item.RunningThread)
        text = label(mtCallStack_CallingThread);
    else if (Item.ErrorLine)
        text = std::string(Starred ? "*" : "") + label(mtCallStack_ExceptionThread);
    else
        text = label(mtCallStack_RunningThread);
    text += ": ";
    if (!CallFromCOMObject || Starred) {
        std::string priority, className;
        RegistryFacts(Item.ThreadID, priority, className);
        const std::int32_t id = static_cast<std::int32_t>(Item.ThreadID);
        text += label(mtCallStack_ThreadID) + "=" + std::to_string(id < 0 ? 0 : id) + "; " +
                label(mtCallStack_ThreadPriority) + "=" + priority;
        if (Starred || !className.empty()) text += "; " + label(mtCallStack_ThreadClass) + "=" + className;
        if (Item.ThreadID == rtl::MainThreadID()) text += "; [" + label(mtCallStack_MainThread) + "]";
    }
    if (!Item.CustomMsg.Empty()) text += " (" + Item.CustomMsg.Str() + ")";
    return text;
}

TCallStackTable BuildCallStackBlock(const TVexlorStackList* Stack, int ThreadCount, const TVexlorModuleOptions& Options,
                                    TSectionStageProc SetStage)
{
    TCallStackTable table;
    const TVexlorDebugDetails shown = GetShownDebugDetails(Options);
    const std::string labels[6] = {
        Options.GetCustomizedExpandedTexts(mtCallStack_Address),
        Options.GetCustomizedExpandedTexts(mtCallStack_Name),
        Options.GetCustomizedExpandedTexts(mtCallStack_Unit),
        Options.GetCustomizedExpandedTexts(mtCallStack_Class),
        Options.GetCustomizedExpandedTexts(mtCallStack_Procedure),
        Options.GetCustomizedExpandedTexts(mtCallStack_Line),
    };

    // The shown items and their cells, cleaned, so that widths and rows agree.
    std::vector<const TVexlorDebugInfo*> items;
    std::vector<std::array<std::string, 6>> cells;
    const int count = Stack ? Stack->Count() : 0;
    for (int i = 0; i < count; ++i) {
        const TVexlorDebugInfo* item = Stack->Items(i);
        if (!item || !shown.Contains(item->DebugDetail)) continue;
        items.push_back(item);
        std::string line;
        if (item->Line != 0) line = Decimal(item->Line) + "[" + Decimal(item->ProcOffsetLine) + "]";
        cells.push_back({sections::UpperHex(item->Addr, 8),
                         CleanCellText(item->ModuleInfo ? ExtractFileName(item->ModuleInfo->Name) : std::string()),
                         CleanCellText(item->UnitName.View()), CleanCellText(item->ClassName.View()),
                         CleanCellText(item->ProcedureName.View()), line});
    }
    for (std::size_t c = 0; c < 6; ++c) {
        std::size_t width = std::max<std::size_t>(labels[c].size(), c == 0 ? 8 : 0);
        for (const auto& row : cells) width = std::max(width, row[c].size());
        table.Widths[c] = static_cast<std::int32_t>(width);
    }
    Stage(SetStage, 7027);
    std::size_t sum = 0;
    for (std::int32_t w : table.Widths) sum += static_cast<std::size_t>(w);
    table.DashRule.assign(sum + 7, '-');
    Stage(SetStage, 7028);
    std::string& text = table.Text;
    text = Options.GetCustomizedExpandedTexts(mtDialog_CallStackHeader) + ":\r\n" + table.DashRule + "\r\n" +
           sections::HeaderRow(labels, table.Widths, 6) + "\r\n" + table.DashRule;
    Stage(SetStage, 7029);
    text += "\r\n";

    if (Stack) {
        const std::size_t rowLength = sum + 9;
        const std::int32_t inner[1] = {static_cast<std::int32_t>(rowLength - 4)};
        const std::string separator(rowLength - 4, '-');
        TRowBuffer buffer(
            rowLength * (5 * static_cast<std::size_t>(count) + 7 * static_cast<std::size_t>(std::max(ThreadCount, 0))));
        Stage(SetStage, 7030);
        auto oneCell = [&](std::string_view cell) { buffer.WriteRow(&cell, inner, 1); };
        std::uint32_t previousThread = 0;
        bool previousRunning = false;
        bool first = true;
        Stage(SetStage, 7031);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const TVexlorDebugInfo& item = *items[i];
            Stage(SetStage, 7032);
            if (first || item.ThreadID != previousThread || item.RunningThread != previousRunning || item.ErrorLine) {
                Stage(SetStage, 7033);
                if (!first) oneCell(separator);
                if (!first && item.RunningThread) oneCell("");
                Stage(SetStage, 7034);
                const std::string header = CleanCellText(ThreadHeaderText(item, true, Options));
                Stage(SetStage, 7035);
                oneCell(header);
                oneCell(separator);
                Stage(SetStage, 7036);
            }
            std::string_view row[6];
            row[5] = cells[i][5];
            Stage(SetStage, 7037);
            row[1] = cells[i][1];
            Stage(SetStage, 7038);
            row[0] = cells[i][0];
            row[2] = cells[i][2];
            row[3] = cells[i][3];
            row[4] = cells[i][4];
            buffer.WriteRow(row, table.Widths, 6);
            Stage(SetStage, 7039);
            previousThread = item.ThreadID;
            previousRunning = item.RunningThread;
            first = false;
        }
        Stage(SetStage, 7040);
        text += buffer.Take();
    }
    text += table.DashRule + "\r\n\r\n";
    return table;
}

}  // namespace crash
