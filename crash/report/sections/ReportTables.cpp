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

std::string CleanCellText(std::string_view Text)
{
    std::string result(Text);
    for (char& c : result)
        if (c == '|' || c == '\r' || c == '\n') c = '?';
    return result;
}

std::string EmptyTableText(const std::string& Caption)
{
    return Caption + ":\r\n" + std::string(Caption.size() + 1, '-') + "\r\n\r\n";
}

TRowBuffer::TRowBuffer(std::size_t ReservedBytes) : FBuffer(ReservedBytes, ' ') {}

void TRowBuffer::Room(std::size_t Bytes)
{
    if (FPosition + Bytes <= FBuffer.size()) return;
    FBuffer.resize(std::max(FBuffer.size() * 2, FPosition + Bytes), ' ');
}

void TRowBuffer::Put(char C)
{
    if (FPosition >= FBuffer.size()) Room(1);
    FBuffer[FPosition++] = C;
}

void TRowBuffer::WriteRow(const std::string_view* Cells, const std::int32_t* Widths, std::size_t Count)
{
    std::size_t length = 3;
    for (std::size_t i = 0; i < Count; ++i) length += static_cast<std::size_t>(std::max(Widths[i], 0)) + 1;
    Room(length);
    Put('|');
    for (std::size_t i = 0; i < Count; ++i) {
        const std::size_t width = static_cast<std::size_t>(std::max(Widths[i], 0));
        const std::size_t used = std::min(Cells[i].size(), width);
        for (std::size_t k = 0; k < used; ++k) Put(Cells[i][k]);
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

std::string ModuleTimeText(TDateTime Value)
{
    // 0 is the date of a module whose file could not be looked at, not a
    // time of 1899.
    SYSTEMTIME time{};
    if (Value == 0 || !DateTimeToSystemTime(Value, time)) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
    return text;
}

namespace sections {

std::string HeaderRow(const std::string* Labels, const std::int32_t* Widths, std::size_t Count)
{
    std::string row = "|";
    for (std::size_t i = 0; i < Count; ++i) row += PadRightSpaces(Labels[i], Widths[i]) + "|";
    return row;
}

std::string UpperHex(std::uint32_t Value, int Digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", Digits, Value);
    return text;
}

}  // namespace sections

namespace {

// A table of N columns over the records of a list: the cells of every record
// first (cleaned), then the widths, the rule and the rows.
template <std::size_t N, class TTable>
void BuildTable(TTable& Table, const std::string& Caption, const std::string (&Labels)[N],
                const std::vector<std::array<std::string, N>>& Rows, const std::int32_t (&MinWidths)[N])
{
    for (std::size_t c = 0; c < N; ++c) {
        std::size_t width = std::max<std::size_t>(Labels[c].size(), static_cast<std::size_t>(MinWidths[c]));
        for (const auto& row : Rows) width = std::max(width, row[c].size());
        Table.Widths[c] = static_cast<std::int32_t>(width);
    }
    std::size_t sum = 0;
    for (std::int32_t w : Table.Widths) sum += static_cast<std::size_t>(w);
    Table.DashRule.assign(sum + N + 1, '-');
    TRowBuffer buffer((sum + N + 3) * Rows.size());
    std::string_view cells[N];
    for (const auto& row : Rows) {
        for (std::size_t c = 0; c < N; ++c) cells[c] = row[c];
        buffer.WriteRow(cells, Table.Widths, N);
    }
    Table.Text = Caption + ":\r\n" + Table.DashRule + "\r\n" + sections::HeaderRow(Labels, Table.Widths, N) + "\r\n" +
                 Table.DashRule + "\r\n" + buffer.Take() + Table.DashRule + "\r\n\r\n";
}

// A working set of 0 was not measured (a process that could not be opened):
// empty, as the priority and the dialog's memory column show what is unknown.
std::string MemoryCellText(std::uint32_t Memory)
{
    return Memory != 0 ? std::to_string(Memory) : std::string();
}

}  // namespace

TModulesTable BuildModulesBlock(const TVexlorModulesList& Modules, const TVexlorModuleOptions& Options)
{
    const std::string labels[7] = {
        Options.GetCustomizedExpandedTexts(mtModules_Handle),
        Options.GetCustomizedExpandedTexts(mtModules_Name),
        Options.GetCustomizedExpandedTexts(mtModules_Description),
        Options.GetCustomizedExpandedTexts(mtModules_Version),
        Options.GetCustomizedExpandedTexts(mtModules_Size),
        Options.GetCustomizedExpandedTexts(mtModules_LastModified),
        Options.GetCustomizedExpandedTexts(mtModules_Path),
    };
    // The handle is as many hexadecimal digits as its column is wide, which
    // is known only after every other cell: it is written last.
    std::vector<std::array<std::string, 7>> rows;
    rows.reserve(static_cast<std::size_t>(Modules.Count()));
    for (int i = 0; i < Modules.Count(); ++i) {
        const TVexlorModuleInfo* module = Modules.Items(i);
        if (!module) continue;
        rows.push_back({std::string(), CleanCellText(ExtractFileName(module->Name)), CleanCellText(module->Description),
                        CleanCellText(module->Version), std::to_string(module->Size),
                        CleanCellText(ModuleTimeText(module->LastModified)),
                        CleanCellText(ExtractPathText(module->Name))});
    }
    const std::int32_t minWidths[7] = {8, 0, 0, 0, 0, 0, 0};
    const int handleDigits = static_cast<int>(std::max<std::size_t>(labels[0].size(), 8));
    int r = 0;
    for (int i = 0; i < Modules.Count(); ++i) {
        const TVexlorModuleInfo* module = Modules.Items(i);
        if (!module) continue;
        rows[static_cast<std::size_t>(r++)][0] = sections::UpperHex(module->Handle, handleDigits);
    }
    TModulesTable table;
    BuildTable(table, Options.GetCustomizedExpandedTexts(mtDialog_ModulesHeader), labels, rows, minWidths);
    return table;
}

TProcessesTable BuildProcessesBlock(const TVexlorProcessesList& Processes, const TVexlorModuleOptions& Options)
{
    const std::string labels[8] = {
        Options.GetCustomizedExpandedTexts(mtProcesses_ID),
        Options.GetCustomizedExpandedTexts(mtProcesses_Name),
        Options.GetCustomizedExpandedTexts(mtProcesses_Description),
        Options.GetCustomizedExpandedTexts(mtProcesses_Version),
        Options.GetCustomizedExpandedTexts(mtProcesses_Memory),
        Options.GetCustomizedExpandedTexts(mtProcesses_Priority),
        Options.GetCustomizedExpandedTexts(mtProcesses_Threads),
        Options.GetCustomizedExpandedTexts(mtProcesses_Path),
    };
    std::vector<std::array<std::string, 8>> rows;
    rows.reserve(static_cast<std::size_t>(Processes.Count()));
    for (int i = 0; i < Processes.Count(); ++i) {
        const TVexlorProcessInfo* process = Processes.Items(i);
        if (!process) continue;
        rows.push_back({std::to_string(process->ProcessID), CleanCellText(ExtractFileName(process->Name)),
                        CleanCellText(process->Description), CleanCellText(process->Version),
                        MemoryCellText(process->Memory), CleanCellText(PriorityClassText(process->Priority)),
                        CleanCellText(ThreadCountText(process->Threads)),
                        CleanCellText(ExtractPathText(process->Name))});
    }
    const std::int32_t minWidths[8] = {};
    TProcessesTable table;
    BuildTable(table, Options.GetCustomizedExpandedTexts(mtDialog_ProcessesHeader), labels, rows, minWidths);
    return table;
}

}  // namespace crash
