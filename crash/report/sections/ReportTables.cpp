// The row buffer, cell cleaning, and the modules and processes tables.
#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/system/SystemInfo.h"
#include "crash/report/sections/ReportSections.h"
#include "crash/report/sections/SectionText.h"

namespace crash {

std::string CleanCellText(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c == '|' || c == '\r' || c == '\n') c = '?';
    return result;
}

std::string EmptyTableText(const std::string& caption)
{
    return caption + ":\r\n" + std::string(caption.size() + 1, '-') + "\r\n\r\n";
}

TRowBuffer::TRowBuffer(std::size_t reservedBytes) : FBuffer(reservedBytes, ' ') {}

void TRowBuffer::Room(std::size_t bytes)
{
    if (FPosition + bytes <= FBuffer.size()) return;
    FBuffer.resize(std::max(FBuffer.size() * 2, FPosition + bytes), ' ');
}

void TRowBuffer::Put(char c)
{
    if (FPosition >= FBuffer.size()) Room(1);
    FBuffer[FPosition++] = c;
}

void TRowBuffer::WriteRow(const std::string_view* cells, const std::int32_t* widths, std::size_t count)
{
    std::size_t length = 3;
    for (std::size_t i = 0; i < count; ++i) length += static_cast<std::size_t>(std::max(widths[i], 0)) + 1;
    Room(length);
    Put('|');
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t width = static_cast<std::size_t>(std::max(widths[i], 0));
        const std::size_t used = std::min(cells[i].size(), width);
        for (std::size_t k = 0; k < used; ++k) Put(cells[i][k]);
        // The buffer is blank-filled, but a grown or reused stretch must not
        // keep an earlier row's bytes.
        for (std::size_t k = used; k < width; ++k) Put(' ');
        Put('|');
    }
    Put('\r');
    Put('\n');
}

std::string TRowBuffer::Take()
{
    FBuffer.resize(FPosition);
    FPosition = 0;
    return std::move(FBuffer);
}

std::string ModuleTimeText(TDateTime value)
{
    // 0 is the date of a module whose file could not be looked at, not a
    // time of 1899.
    SYSTEMTIME time{};
    if (value == 0 || !DateTimeToSystemTime(value, time)) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
    return text;
}

namespace sections {

std::string HeaderRow(const std::string* labels, const std::int32_t* widths, std::size_t count)
{
    std::string row = "|";
    for (std::size_t i = 0; i < count; ++i) row += PadRightSpaces(labels[i], widths[i]) + "|";
    return row;
}

std::string UpperHex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

}  // namespace sections

namespace {

// A table of N columns over the records of a list: the cells of every record
// first (cleaned), then the widths, the rule and the rows.
template <std::size_t N, class TTable>
void BuildTable(TTable& table, const std::string& caption, const std::string (&labels)[N],
                const std::vector<std::array<std::string, N>>& rows, const std::int32_t (&minWidths)[N])
{
    for (std::size_t c = 0; c < N; ++c) {
        std::size_t width = std::max<std::size_t>(labels[c].size(), static_cast<std::size_t>(minWidths[c]));
        for (const auto& row : rows) width = std::max(width, row[c].size());
        table.Widths[c] = static_cast<std::int32_t>(width);
    }
    std::size_t sum = 0;
    for (std::int32_t w : table.Widths) sum += static_cast<std::size_t>(w);
    table.DashRule.assign(sum + N + 1, '-');
    TRowBuffer buffer((sum + N + 3) * rows.size());
    std::string_view cells[N];
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < N; ++c) cells[c] = row[c];
        buffer.WriteRow(cells, table.Widths, N);
    }
    table.Text = caption + ":\r\n" + table.DashRule + "\r\n" + sections::HeaderRow(labels, table.Widths, N) + "\r\n" +
                 table.DashRule + "\r\n" + buffer.Take() + table.DashRule + "\r\n\r\n";
}

// A working set of 0 was not measured (a process that could not be opened):
// empty, as the priority and the dialog's memory column show what is unknown.
std::string MemoryCellText(std::uint32_t memory)
{
    return memory != 0 ? std::to_string(memory) : std::string();
}

}  // namespace

TModulesTable BuildModulesBlock(const TVexlorModulesList& modules, const TVexlorModuleOptions& options)
{
    const std::string labels[7] = {
        options.GetCustomizedExpandedTexts(mtModules_Handle),
        options.GetCustomizedExpandedTexts(mtModules_Name),
        options.GetCustomizedExpandedTexts(mtModules_Description),
        options.GetCustomizedExpandedTexts(mtModules_Version),
        options.GetCustomizedExpandedTexts(mtModules_Size),
        options.GetCustomizedExpandedTexts(mtModules_LastModified),
        options.GetCustomizedExpandedTexts(mtModules_Path),
    };
    // The handle is as many hexadecimal digits as its column is wide, which
    // is known only after every other cell: it is written last.
    std::vector<std::array<std::string, 7>> rows;
    rows.reserve(static_cast<std::size_t>(modules.Count()));
    for (int i = 0; i < modules.Count(); ++i) {
        const TVexlorModuleInfo* module = modules.Items(i);
        if (!module) continue;
        rows.push_back({std::string(), CleanCellText(ExtractFileName(module->Name)), CleanCellText(module->Description),
                        CleanCellText(module->Version), std::to_string(module->Size),
                        CleanCellText(ModuleTimeText(module->LastModified)),
                        CleanCellText(ExtractPathText(module->Name))});
    }
    const std::int32_t minWidths[7] = {8, 0, 0, 0, 0, 0, 0};
    const int handleDigits = static_cast<int>(std::max<std::size_t>(labels[0].size(), 8));
    int r = 0;
    for (int i = 0; i < modules.Count(); ++i) {
        const TVexlorModuleInfo* module = modules.Items(i);
        if (!module) continue;
        rows[static_cast<std::size_t>(r++)][0] = sections::UpperHex(module->Handle, handleDigits);
    }
    TModulesTable table;
    BuildTable(table, options.GetCustomizedExpandedTexts(mtDialog_ModulesHeader), labels, rows, minWidths);
    return table;
}

TProcessesTable BuildProcessesBlock(const TVexlorProcessesList& processes, const TVexlorModuleOptions& options)
{
    const std::string labels[8] = {
        options.GetCustomizedExpandedTexts(mtProcesses_ID),
        options.GetCustomizedExpandedTexts(mtProcesses_Name),
        options.GetCustomizedExpandedTexts(mtProcesses_Description),
        options.GetCustomizedExpandedTexts(mtProcesses_Version),
        options.GetCustomizedExpandedTexts(mtProcesses_Memory),
        options.GetCustomizedExpandedTexts(mtProcesses_Priority),
        options.GetCustomizedExpandedTexts(mtProcesses_Threads),
        options.GetCustomizedExpandedTexts(mtProcesses_Path),
    };
    std::vector<std::array<std::string, 8>> rows;
    rows.reserve(static_cast<std::size_t>(processes.Count()));
    for (int i = 0; i < processes.Count(); ++i) {
        const TVexlorProcessInfo* process = processes.Items(i);
        if (!process) continue;
        rows.push_back({std::to_string(process->ProcessID), CleanCellText(ExtractFileName(process->Name)),
                        CleanCellText(process->Description), CleanCellText(process->Version),
                        MemoryCellText(process->Memory), CleanCellText(PriorityClassText(process->Priority)),
                        CleanCellText(ThreadCountText(process->Threads)),
                        CleanCellText(ExtractPathText(process->Name))});
    }
    const std::int32_t minWidths[8] = {};
    TProcessesTable table;
    BuildTable(table, options.GetCustomizedExpandedTexts(mtDialog_ProcessesHeader), labels, rows, minWidths);
    return table;
}

}  // namespace crash
