// Writes report texts of several shapes into the folder named on the command
// line, for the layout checker on the Linux side: every header section with
// a multi-line value, hidden items and inserted sections; tables with two
// threads and a running one; the blocks with and without the assembler option
// and without an assembler caption. The blocks of the other report units come
// from stand-ins in their layout.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "crash/engine/EOptions.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/report/ELogManager.h"

namespace {

using namespace crash;

std::string Pad(const std::string& text, std::size_t width)
{
    std::string cell = text.substr(0, width);
    cell.resize(width, ' ');
    return cell;
}

// A row of cells padded to the widths.
std::string Row(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths)
{
    std::string row = "|";
    for (std::size_t k = 0; k < cells.size(); ++k) row += Pad(cells[k], widths[k]) + "|";
    return row + "\r\n";
}

// A one-cell row across the whole table.
std::string WideRow(const std::string& text, std::size_t rule)
{
    return "|" + Pad(text, rule - 2) + "|\r\n";
}

const std::vector<std::size_t> kStackWidths = {8, 13, 8, 9, 11, 6};
constexpr std::size_t kStackRule = 8 + 13 + 8 + 9 + 11 + 6 + 7;

void CallStackBlocks(TReportContext& context)
{
    const std::string rule(kStackRule, '-');
    const std::string separator = WideRow(std::string(kStackRule - 2, '-'), kStackRule);
    std::string& text = context.CallStackText;
    text += "Call Stack Information:\r\n" + rule + "\r\n";
    text += Row({"Address", "Module", "Unit", "Class", "Procedure", "Line"}, kStackWidths) + rule + "\r\n";
    text += WideRow("*Exception Thread: ID=1234; Priority=0; Class=; [Main]", kStackRule) + separator;
    text += Row({"00401A2B", "volumetra.exe", "Main.cpp", "TMainForm", "btSaveClick", "120[3]"}, kStackWidths);
    text += Row({"00401000", "volumetra.exe", "Main.cpp", "", "WinMain", "12[0]"}, kStackWidths);
    text += separator + WideRow("", kStackRule);
    text += WideRow("Running Thread: ID=1240; Priority=0; Class=TWorker (a very long custom message, cut at the "
                    "table's inner width)",
                    kStackRule) +
            separator;
    text += Row({"00402000", "volumetra.exe", "Worker.cpp", "TWorker", "Execute", "40[1]"}, kStackWidths);
    text += rule + "\r\n\r\n";

    const std::vector<std::size_t> modules = {8, 13, 20, 7, 6, 19, 8};
    const std::size_t modulesRule = 8 + 13 + 20 + 7 + 6 + 19 + 8 + 8;
    const std::string mrule(modulesRule, '-');
    text += "Modules Information:\r\n" + mrule + "\r\n";
    text += Row({"Handle", "Name", "Description", "Version", "Size", "Modified", "Path"}, modules) + mrule + "\r\n";
    text += Row(
        {"00400000", "volumetra.exe", "Calibration? tool??", "1.0.0.7", "524288", "2026-12-11 03:00:00", "C:\\app\\"},
        modules);
    text += mrule + "\r\n\r\n";
    text += "Processes Information:\r\n----------------------\r\n\r\n";
}

std::string CPUBlock(bool withDump)
{
    std::string text = "Registers:\r\n-----------------------------\r\n";
    if (withDump) {
        text += "EAX: 00000001   EDI: 00000006\r\nEBX: 00000002   ESI: 00000005\r\n"
                "ECX: 00000003   ESP: 0022FF00\r\nEDX: 00000004   EIP: 00401A2B\r\n\r\n";
    } else {
        text += "EAX: ????       EDI: ????    \r\nEBX: ????       ESI: ????    \r\n"
                "ECX: ????       ESP: ????    \r\nEDX: ????       EIP: ????    \r\n\r\n";
    }
    text += "Stack:               Memory Dump:\r\n"
            "------------------   ---------------------------------------------------------------------------\r\n";
    if (!withDump) return text;
    for (unsigned k = 0; k < 16; ++k) {
        char line[128];
        int n =
            std::snprintf(line, sizeof line, "%08X: %08X   %08X: ", 0x22FF00 + 4 * k, 0x1000u * k, 0x401A2B + 16 * k);
        std::string chars;
        for (unsigned b = 0; b < 16; ++b) {
            const unsigned value = (k * 16 + b) & 0xFF;
            n += std::snprintf(line + n, sizeof line - n, " %02X", value);
            chars += value >= 32 && value <= 126 ? static_cast<char>(value) : '.';
        }
        text += std::string(line) + " " + chars + "\r\n";
    }
    return text;
}

void HeaderValues(TReportContext&, TReportHeaderValues& values)
{
    for (std::size_t k = 0; k < values.Values.size(); ++k) values.Values[k] = "value " + std::to_string(k);
    values[soUserPrivileges] = "SeShutdownPrivilege            - OFF\r\nSeChangeNotifyPrivilege        - ON\r\n";
    values[soExcMessage] = "Two lines: the first\nand\r\rI clicked:";
    values[soCmpDisplayMode] = "";
}

void Write(const std::string& folder, const char* name, const std::string& text)
{
    std::ofstream file(folder + "\\" + name, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    const std::string folder = argv[1];
    StartExceptionPipeline();
    PipelineState().ExceptionIdentifier = "4F2A";
    ReportTextSources.CollectHeaderValues.Set(&HeaderValues);
    ReportTextSources.BuildCallStackSections.Set(&CallStackBlocks);
    ReportTextSources.BuildAssemblerAndCPU.Set([](TReportContext&, TReportTexts& texts) {
        texts.AssemblerText = "; Main.btSaveClick (Line=120 - Offset=3)\r\n"
                              "; -------------------------------------\r\n"
                              "00401A28  PUSH EBP\r\n"
                              "00401A29  MOV EBP, ESP\r\n"
                              "00401A2B  MOV EAX, [EAX]  ; <-- EXCEPTION\r\n"
                              "00401A2D  POP EBP\r\n"
                              "00401A2E  RET\r\n";
        texts.AssemblerHeaderText = "Assembler Information:\r\n" + std::string(41, '-');
        texts.CPUText = CPUBlock(true);
    });
    TVexlorModuleOptions& options = ReportOptions();
    options.SetShowOptions(TShowOptions::All() - TShowOptions{soAppName, soExcNote, soCmpPrinter});
    options.SetLogOptions({loSaveAssemblerAndCPUSections});

    TReportContext context;
    Write(folder, "Full.txt", BuildReportText(context));

    options.SetLogOptions({});
    options.SetShowOptions({soExcType, soExcMessage, soExcID, soUserPrivileges});
    BuildReportText(context);
    const std::vector<std::string> custom = {"Operator=Ivanov", "Shift=2"};
    InsertListSection(7, "Custom Information", &custom);
    InsertTextSection(7, "Request", "Opened the tank table.\r\nI clicked:\r\n\r\nSave");
    Write(folder, "InsertedSections.txt", ReportTexts().FullReportText);

    // An unreadable exception address: no assembler caption, no dump.
    ReportTextSources.BuildAssemblerAndCPU.Set(
        [](TReportContext&, TReportTexts& texts) { texts.CPUText = CPUBlock(false); });
    options.SetLogOptions({loSaveAssemblerAndCPUSections});
    Write(folder, "NoAssemblerCaption.txt", BuildReportText(context));
    StopExceptionPipeline();
    return 0;
}
