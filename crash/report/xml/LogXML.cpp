// The log's XML copy: cutting an entry's report text into its sections and
// writing each section as elements.
#include "crash/report/xml/LogXML.h"

#include <cstddef>
#include <string_view>

#include "crash/engine/EBase64.h"
#include "crash/engine/ECore.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/EEncrypt.h"
#include "crash/report/EXMLBuilder.h"
#include "rtl/SysUtils.h"

namespace crash::logxml {

namespace {

constexpr std::size_t npos = std::string::npos;

// The end of the dash rule above the call-stack table's header row: every
// entry the log keeps has one.
constexpr std::string_view kCallStackTop = "-\r\n|";
constexpr std::string_view kTableEnd = "-\r\n\r\n";
constexpr std::string_view kSectionTitleEnd = ":\r\n-";
constexpr std::string_view kBlankLine = "\r\n\r\n";

std::string Trimmed(std::string_view text)
{
    return std::string(rtl::Trim(text));
}

// Characters [start, start + length) of text, as far as they exist.
std::string Mid(const std::string& text, std::size_t start, std::size_t length = npos)
{
    if (start >= text.size()) return {};
    return text.substr(start, length);
}

std::size_t LineStart(const std::string& text, std::size_t pos)
{
    if (pos == 0 || pos > text.size()) return 0;
    const std::size_t lf = text.rfind('\n', pos - 1);
    return lf == npos ? 0 : lf + 1;
}

// The lines of a CRLF text; a final line break adds no empty line.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Every line but the first and the last indented by two blanks.
std::string IndentInnerLines(const std::string& text)
{
    const bool endsWithBreak = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    const std::vector<std::string> lines = SplitLines(text);
    std::string result;
    result.reserve(text.size() + 2 * lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) result += "\r\n";
        if (i > 0 && i + 1 < lines.size()) result += "  ";
        result += lines[i];
    }
    if (endsWithBreak) result += "\r\n";
    return result;
}

std::vector<std::string> Cells(const std::string& row, char separator)
{
    std::vector<std::string> cells;
    ExtractStringsEx(MakeCharSet(std::string_view(&separator, 1)), row, cells);
    return cells;
}

const std::string& Cell(const std::vector<std::string>& cells, std::size_t index)
{
    static const std::string empty;
    return index < cells.size() ? cells[index] : empty;
}

bool IsVersionFrom(const std::string& entry, std::string_view version)
{
    return EntryVersion(entry) >= version;
}

std::size_t CallStackTop(const std::string& entry)
{
    return entry.find(kCallStackTop);
}

// from the call-stack top, count section titles further: the first dash of
// the rule under the last of them; npos when there are fewer.
std::size_t SectionIndex(const std::string& entry, std::size_t from, int count)
{
    std::size_t pos = from;
    for (int i = 0; i < count; ++i) {
        const std::size_t found = entry.find(kSectionTitleEnd, pos);
        if (found == npos) return npos;
        pos = found + 3;
    }
    return pos;
}

// The table whose caption rule starts at rulePos: from the rule above its
// header row to its closing rule; empty when the section holds no table.
std::string TableAt(const std::string& entry, std::size_t rulePos)
{
    if (rulePos == npos) return {};
    const std::size_t ruleEnd = entry.find("-\r\n", rulePos);
    if (ruleEnd == npos || ruleEnd + 3 >= entry.size() || entry[ruleEnd + 3] != '|') return {};
    const std::size_t start = LineStart(entry, ruleEnd);
    const std::size_t end = entry.find(kTableEnd, ruleEnd);
    if (end == npos) return {};
    return entry.substr(start, end + 1 - start);
}

// The start of the CPU block's caption line: a caption ending in ":", a line
// of dashes and a line beginning "EAX: ", after the call-stack table. A
// listing or a header value never has that shape.
std::size_t CPUBlockStart(const std::string& entry)
{
    const std::size_t top = CallStackTop(entry);
    if (top == npos) return npos;
    for (std::size_t at = entry.find("\r\nEAX: ", top); at != npos; at = entry.find("\r\nEAX: ", at + 2)) {
        const std::size_t ruleStart = LineStart(entry, at);
        if (ruleStart < 2 || ruleStart >= at) continue;
        const std::string_view rule(entry.data() + ruleStart, at - ruleStart);
        if (rule.find_first_not_of('-') != std::string_view::npos) continue;
        const std::size_t titleEnd = ruleStart - 2;
        const std::size_t titleStart = LineStart(entry, titleEnd);
        if (titleEnd <= titleStart || entry[titleEnd - 1] != ':') continue;
        return titleStart;
    }
    return npos;
}

// ---- Enciphered names ----

std::string DecipherName(const std::string& encoded, const TCipherContext& key)
{
    std::string name = Base64DecodeString(encoded);
    Decrypt(key, name.data(), name.data(), name.size());
    return name;
}

bool IsPlainName(const std::string& name)
{
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '@' || c == '_';
        if (!ok) return false;
    }
    return true;
}

// unit "?" + kind letter + Base64, procedure "?" + Base64 (of "Class.Proc" or
// of the procedure alone), class "?" + Base64 or empty. A wrong password gives
// bytes that are no name: then the cells stay as they are.
void DecipherNames(std::string& unit, std::string& className, std::string& procedure, const std::string& password)
{
    if (unit.size() < 2) return;
    TCipherContext key;
    InitKey(key, password);
    std::string unitName = DecipherName(unit.substr(2), key);
    // Both kinds of source file share one extension here.
    if (unitName.find('.') == npos) unitName += kUnitSourceExtension;
    std::string procedureName = procedure.empty() ? std::string() : DecipherName(procedure.substr(1), key);
    std::string cls;
    const std::size_t dot = procedureName.find('.');
    if (dot != npos) {
        cls = procedureName.substr(0, dot);
        procedureName.erase(0, dot + 1);
    } else if (className.size() > 1) {
        cls = DecipherName(className.substr(1), key);
    }
    if (!IsPlainName(unitName) || !IsPlainName(cls) || !IsPlainName(procedureName)) return;
    unit = std::move(unitName);
    className = std::move(cls);
    procedure = std::move(procedureName);
}

// The value of a "Name=Value" part of a thread header.
std::string PartValue(const std::string& part)
{
    const std::size_t eq = part.find('=');
    return eq == npos ? part : Trimmed(std::string_view(part).substr(eq + 1));
}

// ---- Header items ----

// An item line begins with two blanks and its label: "  2.7 ". A value's own
// continuation lines stand indented to the value's column.
bool IsItemLine(const std::string& line, const std::string& trimmedLine)
{
    if (line.size() < 4 || line[0] != ' ' || line[1] != ' ' || line[2] == ' ' || line[3] == ' ') return false;
    return trimmedLine.find(": ") != npos || (!trimmedLine.empty() && trimmedLine.back() == ':');
}

std::string CleanValue(std::string value)
{
    if (value.compare(0, 3, ".\r\n") == 0) value.erase(0, 1);
    if (value.size() >= 3 && value.compare(value.size() - 3, 3, "\r\n.") == 0) value.pop_back();
    value = QuickStringReplace(value, ":_", ": ");
    return QuickStringReplace(value, "\n.\r", "\n\r");
}

std::string ElementText(TXMLItem& item)
{
    return item.GetXMLText();
}

}  // namespace

std::string EntryVersion(const std::string& entry)
{
    std::size_t end = entry.find_first_of("\r\n");
    if (end == npos) end = entry.size();
    return end > 10 ? entry.substr(10, end - 10) : std::string();
}

// ---- Sections ----

std::string GetItem_Generals(const std::string& entry)
{
    const std::size_t top = CallStackTop(entry);
    if (top == npos) return {};
    const std::size_t ruleStart = LineStart(entry, top);
    const std::size_t titleStart = ruleStart >= 2 ? LineStart(entry, ruleStart - 2) : 0;
    std::size_t end = titleStart;
    while (end > 0 && (entry[end - 1] == '\r' || entry[end - 1] == '\n' || entry[end - 1] == ' ')) --end;
    return entry.substr(0, end);
}

std::string GetItem_CallStack(const std::string& entry)
{
    const std::size_t top = CallStackTop(entry);
    if (top == npos) return {};
    const std::size_t start = LineStart(entry, top);
    const std::size_t end = entry.find(kTableEnd, top);
    if (end == npos) return {};
    return entry.substr(start, end + 1 - start);
}

std::string GetItem_Modules(const std::string& entry)
{
    const std::size_t top = CallStackTop(entry);
    if (top == npos) return {};
    return TableAt(entry, SectionIndex(entry, top, 1));
}

std::string GetItem_Processes(const std::string& entry)
{
    const std::size_t top = CallStackTop(entry);
    if (top == npos || !IsVersionFrom(entry, "6.0")) return {};
    return TableAt(entry, SectionIndex(entry, top, 2));
}

std::string GetItem_Assembler(const std::string& entry)
{
    const std::size_t top = CallStackTop(entry);
    if (top == npos || !IsVersionFrom(entry, "6.0")) return {};
    const std::size_t rule = SectionIndex(entry, top, 3);
    if (rule == npos) return {};
    std::size_t limit = CPUBlockStart(entry);
    if (limit == npos) limit = entry.size();
    // The third title after the call stack is the CPU block's own when the
    // report has no listing.
    if (LineStart(entry, rule - 3) >= limit) return {};
    const std::size_t ruleEnd = entry.find("\r\n", rule);
    if (ruleEnd == npos) return {};
    const std::size_t start = ruleEnd + 2;
    std::size_t end = entry.find(kBlankLine, ruleEnd);
    if (end == npos || end > limit) end = limit;
    if (end <= start) return {};
    return entry.substr(start, end - start);
}

std::string GetItem_CPU(const std::string& entry)
{
    const std::size_t start = CPUBlockStart(entry);
    if (start == npos) return {};
    std::size_t end = entry.find(kBlankLine, start);
    if (end != npos) end = entry.find(kBlankLine, end + 4);
    if (end == npos) end = entry.size();
    std::string text = entry.substr(start, end - start);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text;
}

std::string GetItem_Reproduce(const std::string& entry)
{
    const std::size_t top = CallStackTop(entry);
    if (top == npos) return {};
    const std::size_t second = entry.find(kCallStackTop, top + 1);
    if (second == npos) return {};
    const std::size_t rule = SectionIndex(entry, second, 3);
    if (rule == npos) return {};
    const std::size_t ruleEnd = entry.find("\r\n", rule);
    if (ruleEnd == npos) return {};
    const std::size_t start = ruleEnd + 2;
    const std::size_t end = entry.find(kBlankLine, ruleEnd);
    if (end == npos || end <= start) return {};
    return entry.substr(start, end - start);
}

// ---- Elements ----

std::string GetItem_GeneralsXML(const std::string& entry)
{
    TXMLItem root("General");
    const std::vector<std::string> lines = SplitLines(GetItem_Generals(entry));
    TXMLItem* group = nullptr;
    std::string groupTitle;
    bool groupHasItems = false;
    TXMLItem* line = nullptr;
    std::string value;
    auto finishLine = [&] {
        if (line) line->AddField("Value", CleanValue(value));
        line = nullptr;
        value.clear();
    };
    bool afterBlank = true;
    // The banner and the blank line after it are no section.
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string& raw = lines[i];
        const std::string trimmed = Trimmed(raw);
        if (trimmed.empty()) {
            finishLine();
            afterBlank = true;
            continue;
        }
        if (afterBlank) {
            finishLine();
            group = root.AddItem("Group");
            groupTitle = trimmed.substr(0, trimmed.size() - 1);
            groupHasItems = false;
            afterBlank = false;
            if (i + 1 < lines.size() && !lines[i + 1].empty() && lines[i + 1][0] == '-') ++i;
            continue;
        }
        if (IsItemLine(raw, trimmed)) {
            finishLine();
            const std::size_t blank = trimmed.find(' ');
            const std::string label = trimmed.substr(0, blank);
            std::size_t colon = trimmed.find(": ");
            std::string itemValue;
            if (colon != npos) {
                itemValue = trimmed.substr(colon + 2);
            } else {
                colon = trimmed.size() - 1;
            }
            const std::string caption =
                blank == npos || blank >= colon ? std::string() : Trimmed(trimmed.substr(blank + 1, colon - blank - 1));
            if (!group) group = root.AddItem("Group");
            if (!groupHasItems) {
                group->AddField("ID", label.substr(0, label.find('.')));
                group->AddField("Label", groupTitle);
                groupHasItems = true;
            }
            line = group->AddItem("Line");
            line->AddField("ID", label);
            line->AddField("Label", caption);
            value = itemValue;
        } else if (line) {
            value += "\r\n";
            value += trimmed;
        }
    }
    finishLine();
    return ElementText(root);
}

std::string GetItem_CallStackXML(const std::string& entry, const std::string& password)
{
    TXMLItem root("CallStack");
    const std::vector<std::string> lines = SplitLines(GetItem_CallStack(entry));
    TXMLItem* current = nullptr;
    int topThreads = 0;
    bool afterSeparator = true;
    if (!IsVersionFrom(entry, "5.0")) {
        current = root.AddItem("ExceptionThread");
        topThreads = 1;
        afterSeparator = false;
    }
    for (std::size_t i = 3; i + 1 < lines.size(); ++i) {
        const std::string& row = lines[i];
        if (row.compare(0, 2, "|-") == 0) continue;
        const std::vector<std::string> cells = Cells(row, '|');
        if (cells.size() < 6) {
            if (cells.empty() || cells[0].empty()) {
                afterSeparator = true;
                continue;
            }
            const std::string& header = cells[0];
            const std::size_t colon = header.find(':');
            const std::vector<std::string> parts =
                colon == npos ? std::vector<std::string>() : Cells(Mid(header, colon + 2), ';');
            TXMLItem* parent = afterSeparator || !current ? &root : current;
            const char* name = !afterSeparator && current ? "CallingThread"
                               : topThreads == 0          ? "ExceptionThread"
                                                          : "RunningThread";
            TXMLItem* thread = parent->AddItem(name);
            if (parts.size() > 0) thread->AddField("ID", PartValue(parts[0]));
            if (parts.size() > 1) thread->AddField("Priority", PartValue(parts[1]));
            if (parts.size() > 2) thread->AddField("Class", PartValue(parts[2]));
            thread->AddField("MainThread", parts.size() > 3 ? "True" : "False");
            if (parent == &root) ++topThreads;
            afterSeparator = false;
            current = thread;
            continue;
        }
        if (!current) {
            current = root.AddItem("ExceptionThread");
            ++topThreads;
            afterSeparator = false;
        }
        std::string unit = cells[2], cls = cells[3], procedure = cells[4];
        if (!password.empty() && !unit.empty() && unit[0] == '?') DecipherNames(unit, cls, procedure, password);
        if (!procedure.empty() && procedure[0] == '@') procedure[0] = '_';
        const std::string& number = cells[5];
        const std::size_t bracket = number.find('[');
        std::string offset;
        if (bracket != npos) {
            offset = number.substr(bracket + 1);
            if (!offset.empty() && offset.back() == ']') offset.pop_back();
        }
        TXMLItem* item = current->AddItem("Line");
        item->AddField("Address", cells[0]);
        item->AddField("Module", cells[1]);
        item->AddField("Unit", unit);
        item->AddField("Class", cls);
        item->AddField("Procedure", procedure);
        item->AddField("Number", number.substr(0, bracket));
        item->AddField("Offset", offset);
    }
    return ElementText(root);
}

std::string GetItem_ModulesXML(const std::string& entry)
{
    TXMLItem root("Modules");
    const std::vector<std::string> lines = SplitLines(GetItem_Modules(entry));
    for (std::size_t i = 3; i + 1 < lines.size(); ++i) {
        if (lines[i].compare(0, 2, "|-") == 0) continue;
        const std::vector<std::string> cells = Cells(lines[i], '|');
        TXMLItem* module = root.AddItem("Module");
        module->AddField("Handle", Cell(cells, 0));
        module->AddField("Name", Cell(cells, 1));
        module->AddField("Description", Cell(cells, 2));
        module->AddField("Version", Cell(cells, 3));
        module->AddField("Size", Cell(cells, 4));
        if (cells.size() >= 7) {
            module->AddField("Modified", Cell(cells, 5));
            module->AddField("Path", Cell(cells, 6));
        } else {
            module->AddField("Path", Cell(cells, 5));
        }
    }
    return ElementText(root);
}

std::string GetItem_ProcessesXML(const std::string& entry)
{
    static const char* const kNames[] = {"ID",     "Name",     "Description", "Version",
                                         "Memory", "Priority", "Threads",     "Path"};
    TXMLItem root("Processes");
    const std::vector<std::string> lines = SplitLines(GetItem_Processes(entry));
    for (std::size_t i = 3; i + 1 < lines.size(); ++i) {
        if (lines[i].compare(0, 2, "|-") == 0) continue;
        const std::vector<std::string> cells = Cells(lines[i], '|');
        TXMLItem* process = root.AddItem("Process");
        for (std::size_t c = 0; c < 8; ++c) process->AddField(kNames[c], Cell(cells, c));
    }
    return ElementText(root);
}

std::string GetItem_AssemblerXML(const std::string& entry)
{
    TXMLItem root("Assembler");
    for (const std::string& raw : SplitLines(GetItem_Assembler(entry))) {
        const std::string line = Trimmed(raw);
        if (line.empty()) continue;
        std::string address, command, comment;
        if (line[0] == ';') {
            comment = line.substr(1);
        } else {
            address = line.substr(0, 8);
            const std::size_t semicolon = line.find(';');
            if (semicolon != npos) {
                command = semicolon > 10 ? line.substr(10, semicolon - 10) : std::string();
                comment = line.substr(semicolon + 1);
            } else {
                command = Mid(line, 10);
            }
        }
        TXMLItem* item = root.AddItem("Line");
        item->AddField("Address", address);
        item->AddField("Command", command);
        item->AddField("Comment", comment);
    }
    return ElementText(root);
}

std::string GetItem_CPUXML(const std::string& entry)
{
    TXMLItem root("CPU");
    const std::string cpu = GetItem_CPU(entry);
    if (!rtl::Trim(cpu).empty()) {
        const std::vector<std::string> lines = SplitLines(cpu);
        TXMLItem* registers = root.AddItem("Registers");
        static const char* const kLeft[] = {"EAX", "EBX", "ECX", "EDX"};
        static const char* const kRight[] = {"EDI", "ESI", "ESP", "EIP"};
        auto addRegister = [&](const char* name, std::size_t line, std::size_t column) {
            if (line >= lines.size()) return;
            const std::string value = Trimmed(Mid(lines[line], column, 8));
            // "????" stands for a register the report could not read.
            if (value.empty() || value == "????") return;
            registers->AddField(name, Mid(lines[line], column, 8));
        };
        for (std::size_t r = 0; r < 4; ++r) addRegister(kLeft[r], 2 + r, 5);
        for (std::size_t r = 0; r < 4; ++r) addRegister(kRight[r], 2 + r, 21);
        TXMLItem* stack = root.AddItem("Stack");
        TXMLItem* dump = root.AddItem("MemoryDump");
        for (std::size_t i = 9; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (rtl::Trim(line).empty()) continue;
            TXMLItem* stackLine = stack->AddItem("Line");
            stackLine->AddField("Address", Mid(line, 0, 8));
            stackLine->AddField("Value", Mid(line, 10, 8));
            TXMLItem* dumpLine = dump->AddItem("Line");
            dumpLine->AddField("Address", Mid(line, 21, 8));
            dumpLine->AddField("Bytes", Mid(line, 32, 47));
            dumpLine->AddField("Chars", Mid(line, 80, 16));
        }
    }
    return ElementText(root);
}

std::string GetItem_ReproduceXML(const std::string& entry)
{
    // Later entries carry the steps as an inserted header section, which the
    // General element already holds.
    if (IsVersionFrom(entry, "5.0")) return {};
    TXMLItem root("HoToReproduce");
    root.AddField("Text", GetItem_Reproduce(entry));
    return ElementText(root);
}

std::string GetItem_XML(const std::string& entry, const std::string& password)
{
    std::string text = "<Log Version=\"" + TXMLItem::EncodedString(EntryVersion(entry)) + "\">\r\n";
    text += GetItem_GeneralsXML(entry);
    text += GetItem_CallStackXML(entry, password);
    text += GetItem_ModulesXML(entry);
    text += GetItem_ProcessesXML(entry);
    text += GetItem_AssemblerXML(entry);
    text += GetItem_CPUXML(entry);
    text += GetItem_ReproduceXML(entry);
    text += "</Log>";
    return IndentInnerLines(text);
}

std::string GetXML(const std::vector<std::string>& entries, const std::string& password)
{
    std::string text = "<Doc>\r\n";
    for (const std::string& entry : entries) {
        text += GetItem_XML(entry, password);
        text += "\r\n";
    }
    text += "</Doc>";
    return IndentInnerLines(text);
}

void SaveXMLCopy(const std::vector<std::string>& entries, const std::string& password, const std::string& fileName)
{
    SaveTextLines(GetXML(entries, password), fileName);
}

}  // namespace crash::logxml
