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

void Stage(TSectionStageProc setStage, std::int32_t value) noexcept
{
    if (setStage) setStage(value);
}

std::string Decimal(std::uint32_t value)
{
    return std::to_string(static_cast<std::int32_t>(value));
}

// priority and class of a thread as the registry knows them: "??" and empty
// for a thread it does not hold. A priority not read yet is asked from the
// system and stored under the writer lock.
void RegistryFacts(std::uint32_t threadId, std::string& priority, std::string& className)
{
    priority = "??";
    className.clear();
    TVexlorThreadsList* list = ThreadsList();
    if (!list) return;
    bool found = false;
    std::int32_t number = kPriorityNotRead;
    const rtl::TThread* thread = nullptr;
    list->BeginRead();
    const int index = list->FindByThreadID(threadId);
    if (index >= 0) {
        const TVexlorThreadInfo* item = list->GetItem(index);
        found = true;
        number = item->Priority;
        thread = item->Thread;
    }
    list->EndRead();
    if (!found) return;
    if (number == kPriorityNotRead) {
        list->BeginWrite();
        // Found again: the item may have gone or been read meanwhile.
        const int again = list->FindByThreadID(threadId);
        if (again >= 0) {
            TVexlorThreadInfo* item = list->GetItem(again);
            if (item->Priority == kPriorityNotRead && item->Handle) {
                const int read = ::GetThreadPriority(item->Handle);
                if (read != THREAD_PRIORITY_ERROR_RETURN) item->Priority = read;
            }
            number = item->Priority;
        }
        list->EndWrite();
    }
    if (number != kPriorityNotRead) priority = std::to_string(number);
    if (thread && rtl::IsValidObject(thread)) className = rtl::SafeClassName(thread);
}

}  // namespace

namespace sections {

std::string JoinedProcedureName(const TVexlorDebugInfo& item)
{
    std::string result;
    auto add = [&](std::string_view part) {
        if (part.empty()) return;
        if (!result.empty()) result += '.';
        result += part;
    };
    add(ChangeFileExt(item.UnitName.Str(), ""));
    add(item.ClassName.View());
    add(item.ProcedureName.View());
    return result;
}

}  // namespace sections

std::string ThreadHeaderText(const TVexlorDebugInfo& item, bool starred, const TVexlorModuleOptions& options,
                             bool callFromComObject)
{
    auto label = [&](TMessageType type) { return options.GetCustomizedExpandedTexts(type); };
    if (item.IsALeak) {
        std::string type = item.LeakType.Str();
        if (type == "Data") type = label(mtCallStack_LeakData);
        return std::string(starred ? "+" : "") + label(mtCallStack_LeakCaption) + ": " + label(mtCallStack_LeakType) +
               "=" + type + "; " + label(mtCallStack_LeakSize) + "=" + Decimal(item.LeakSize) + "; " +
               label(mtCallStack_LeakCount) + "=" + Decimal(item.LeakCount);
    }
    std::string text;
    if (!item.RunningThread)
        text = label(mtCallStack_CallingThread);
    else if (item.ErrorLine)
        text = std::string(starred ? "*" : "") + label(mtCallStack_ExceptionThread);
    else
        text = label(mtCallStack_RunningThread);
    text += ": ";
    if (!callFromComObject || starred) {
        std::string priority, className;
        RegistryFacts(item.ThreadID, priority, className);
        const std::int32_t id = static_cast<std::int32_t>(item.ThreadID);
        text += label(mtCallStack_ThreadID) + "=" + std::to_string(id < 0 ? 0 : id) + "; " +
                label(mtCallStack_ThreadPriority) + "=" + priority;
        if (starred || !className.empty()) text += "; " + label(mtCallStack_ThreadClass) + "=" + className;
        if (item.ThreadID == rtl::MainThreadID()) text += "; [" + label(mtCallStack_MainThread) + "]";
    }
    if (!item.CustomMsg.Empty()) text += " (" + item.CustomMsg.Str() + ")";
    return text;
}

TCallStackTable BuildCallStackBlock(const TVexlorStackList* stack, int threadCount, const TVexlorModuleOptions& options,
                                    TSectionStageProc setStage)
{
    TCallStackTable table;
    const TVexlorDebugDetails shown = GetShownDebugDetails(options);
    const std::string labels[6] = {
        options.GetCustomizedExpandedTexts(mtCallStack_Address),
        options.GetCustomizedExpandedTexts(mtCallStack_Name),
        options.GetCustomizedExpandedTexts(mtCallStack_Unit),
        options.GetCustomizedExpandedTexts(mtCallStack_Class),
        options.GetCustomizedExpandedTexts(mtCallStack_Procedure),
        options.GetCustomizedExpandedTexts(mtCallStack_Line),
    };

    // The shown items and their cells, cleaned, so that widths and rows agree.
    std::vector<const TVexlorDebugInfo*> items;
    std::vector<std::array<std::string, 6>> cells;
    const int count = stack ? stack->Count() : 0;
    for (int i = 0; i < count; ++i) {
        const TVexlorDebugInfo* item = stack->Items(i);
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
    Stage(setStage, 7027);
    std::size_t sum = 0;
    for (std::int32_t w : table.Widths) sum += static_cast<std::size_t>(w);
    table.DashRule.assign(sum + 7, '-');
    Stage(setStage, 7028);
    std::string& text = table.Text;
    text = options.GetCustomizedExpandedTexts(mtDialog_CallStackHeader) + ":\r\n" + table.DashRule + "\r\n" +
           sections::HeaderRow(labels, table.Widths, 6) + "\r\n" + table.DashRule;
    Stage(setStage, 7029);
    text += "\r\n";

    if (stack) {
        const std::size_t rowLength = sum + 9;
        const std::int32_t inner[1] = {static_cast<std::int32_t>(rowLength - 4)};
        const std::string separator(rowLength - 4, '-');
        TRowBuffer buffer(
            rowLength * (5 * static_cast<std::size_t>(count) + 7 * static_cast<std::size_t>(std::max(threadCount, 0))));
        Stage(setStage, 7030);
        auto oneCell = [&](std::string_view cell) { buffer.WriteRow(&cell, inner, 1); };
        std::uint32_t previousThread = 0;
        bool previousRunning = false;
        bool first = true;
        Stage(setStage, 7031);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const TVexlorDebugInfo& item = *items[i];
            Stage(setStage, 7032);
            if (first || item.ThreadID != previousThread || item.RunningThread != previousRunning || item.ErrorLine) {
                Stage(setStage, 7033);
                if (!first) oneCell(separator);
                if (!first && item.RunningThread) oneCell("");
                Stage(setStage, 7034);
                const std::string header = CleanCellText(ThreadHeaderText(item, true, options));
                Stage(setStage, 7035);
                oneCell(header);
                oneCell(separator);
                Stage(setStage, 7036);
            }
            std::string_view row[6];
            row[5] = cells[i][5];
            Stage(setStage, 7037);
            row[1] = cells[i][1];
            Stage(setStage, 7038);
            row[0] = cells[i][0];
            row[2] = cells[i][2];
            row[3] = cells[i][3];
            row[4] = cells[i][4];
            buffer.WriteRow(row, table.Widths, 6);
            Stage(setStage, 7039);
            previousThread = item.ThreadID;
            previousRunning = item.RunningThread;
            first = false;
        }
        Stage(setStage, 7040);
        text += buffer.Take();
    }
    text += table.DashRule + "\r\n\r\n";
    return table;
}

}  // namespace crash
