// Report texts for the log tests: what a report's text holds for the log
// (first line, header items, the call-stack table), with an identifier and a
// table of a chosen number of rows.
#pragma once
#include <cstdio>
#include <string>

namespace testsupport {

// The identifier of report number: four hexadecimal digits.
inline std::string ReportID(unsigned number)
{
    char id[8];
    std::snprintf(id, sizeof id, "%04X", number & 0xFFFFu);
    return id;
}

// A report with identifier id, the given version (item 1.3) and the given number of rows in
// its call-stack table (about 100 bytes each), items 2.7 and 2.8 shown.
inline std::string CannedReport(const std::string& id, int rows = 3, const std::string& version = "1.0.0.1")
{
    std::string text =
        "VexlorLog 6.1.01 RC 1\r\n"
        "\r\n"
        "  1.1 Start Date    : 11.12.2026 10:00:00\r\n"
        "  1.3 Version       : " +
        version +
        "\r\n"
        "\r\n"
        "  2.1 Date          : 11.12.2026 10:00:05\r\n"
        "  2.2 Address       : 00401000\r\n"
        "  2.5 Type          : EAccessViolation\r\n"
        "  2.6 Message       : \xcd\xe0\xf0\xf3\xf8\xe5\xed\xe8\xe5 \xe4\xee\xf1\xf2\xf3\xef\xe0.\r\n"
        "  2.7 ID            : " +
        id +
        "\r\n"
        "  2.8 Count         : \r\n"
        "\r\n"
        "Call Stack Information:\r\n"
        "------------------------------------------------------------------------------------------------\r\n"
        "|Address |Module      |Unit        |Class        |Procedure/Method                    |Line     |\r\n"
        "------------------------------------------------------------------------------------------------\r\n";
    for (int row = 0; row < rows; ++row) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "|%08X|Volumetra.exe|Worker.cpp  |TWorker      |TWorker::Step%-23d|%5d[%d]  |\r\n",
                      0x401000 + row * 16, row, 100 + row, row % 10);
        text += line;
    }
    text += "------------------------------------------------------------------------------------------------";
    return text;
}

// The table rows of report number of the churning writer: they vary, so
// that every save moves the entries after the first.
inline int ChurnRows(unsigned number)
{
    return 60 + static_cast<int>((number * 37) % 80);
}

// The number of table rows of an entry (lines beginning "|" less the
// caption line).
inline int TableRows(const std::string& entry)
{
    int rows = 0;
    for (std::size_t at = entry.find("\r\n|"); at != std::string::npos; at = entry.find("\r\n|", at + 3)) ++rows;
    return rows - 1;
}

}  // namespace testsupport
