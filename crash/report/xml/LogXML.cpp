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

// Characters [Start, Start + Length) of Text, as far as they exist.
std::string Mid(const std::string& Text, std::size_t Start, std::size_t Length = npos)
{
    if (Start >= Text.size()) return {};
    return Text.substr(Start, Length);
}

std::size_t LineStart(const std::string& Text, std::size_t Pos)
{
    if (Pos == 0 || Pos > Text.size()) return 0;
    const std::size_t lf = Text.rfind('\n', Pos - 1);
    return lf == npos ? 0 : lf + 1;
}

// The lines of a CRLF text; a final line break adds no empty line.
std::vector<std::string> SplitLines(const std::string& Text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < Text.size()) {
        const std::size_t end = Text.find("\r\n", start);
        if (end == npos) {
            lines.push_back(Text.substr(start));
            break;
        }
        lines.push_back(Text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Every line but the first and the last indented by two blanks.
std::string IndentInnerLines(const std::string& Text)
{
    const bool endsWithBreak = Text.size() >= 2 && Text.compare(Text.size() - 2, 2, "\r\n") == 0;
    const std::vector<std::string> lines = SplitLines(Text);
    std::string result;
    result.reserve(Text.size() + 2 * lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) result += "\r\n";
        if (i > 0 && i + 1 < lines.size()) result += "  ";
        result += lines[i];
    }
    if (endsWithBreak) result += "\r\n";
    return result;
}

std::vector<std::string> Cells(const std::string& Row, char Separator)
{
    std::vector<std::string> cells;
    ExtractStringsEx(MakeCharSet(std::string_view(&Separator, 1)), Row, cells);
    return cells;
}

const std::string& Cell(const std::vector<std::string>& Cells, std::size_t Index)
{
    static const std::string empty;
    return Index < Cells.size() ? Cells[Index] : empty;
}

bool IsVersionFrom(const std::string& Entry, std::string_view Version)
{
    return EntryVersion(Entry) >= Version;
}

std::size_t CallStackTop(const std::string& Entry)
{
    return Entry.find(kCallStackTop);
}

// From the call-stack top, Count section titles further: the first dash of
// the rule under the last of them; npos when there are fewer.
std::size_t SectionIndex(const std::string& Entry, std::size_t From, int Count)
{
    std::size_t pos = From;
    for (int i = 0; i < Count; ++i) {
        const std::size_t found = Entry.find(kSectionTitleEnd, pos);
        if (found == npos) return npos;
        pos = found + 3;
    }
    return pos;
}

// The table whose caption rule starts at RulePos: from the rule above its
// header row to its closing rule; empty when the section holds no table.
std::string TableAt(const std::string& Entry, std::size_t RulePos)
{
    if (RulePos == npos) return {};
    const std::size_t ruleEnd = Entry.find("-\r\n", RulePos);
    if (ruleEnd == npos || ruleEnd + 3 >= Entry.size() || Entry[ruleEnd + 3] != '|') return {};
    const std::size_t start = LineStart(Entry, ruleEnd);
    const std::size_t end = Entry.find(kTableEnd, ruleEnd);
    if (end == npos) return {};
    return Entry.substr(start, end + 1 - start);
}

// The start of the CPU block's caption line: a caption ending in ":", a line
// of dashes and a line beginning "EAX: ", after the call-stack table. A
// listing or a header value never has that shape.
std::size_t CPUBlockStart(const std::string& Entry)
{
    const std::size_t top = CallStackTop(Entry);
    if (top == npos) return npos;
    for (std::size_t at = Entry.find("\r\nEAX: ", top); at != npos; at = Entry.find("\r\nEAX: ", at + 2)) {
        const std::size_t ruleStart = LineStart(Entry, at);
        if (ruleStart < 2 || ruleStart >= at) continue;
        const std::string_view rule(Entry.data() + ruleStart, at - ruleStart);
        if (rule.find_first_not_of('-') != std::string_view::npos) continue;
        const std::size_t titleEnd = ruleStart - 2;
        const std::size_t titleStart = LineStart(Entry, titleEnd);
        if (titleEnd <= titleStart || Entry[titleEnd - 1] != ':') continue;
        return titleStart;
    }
    return npos;
}

// ---- Enciphered names ----

std::string DecipherName(const std::string& Encoded, const TCipherContext& Key)
{
    std::string name = Base64DecodeString(Encoded);
    Decrypt(Key, name.data(), name.data(), name.size());
    return name;
}

bool IsPlainName(const std::string& Name)
{
    for (const char c : Name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '@' || c == '_';
        if (!ok) return false;
    }
    return true;
}

// Unit "?" + kind letter + Base64, procedure "?" + Base64 (of "Class.Proc" or
// of the procedure alone), class "?" + Base64 or empty. A wrong password gives
// bytes that are no name: then the cells stay as they are.
void DecipherNames(std::string& Unit, std::string& Class, std::string& Procedure, const std::string& Password)
{
    if (Unit.size() < 2) return;
    TCipherContext key;
    InitKey(key, Password);
    std::string unit = DecipherName(Unit.substr(2), key);
    // Both kinds of source file share one extension here.
    if (unit.find('.') == npos) unit += kUnitSourceExtension;
    std::string procedure = Procedure.empty() ? std::string() : DecipherName(Procedure.substr(1), key);
    std::string cls;
    const std::size_t dot = procedure.find('.');
    if (dot != npos) {
        cls = procedure.substr(0, dot);
        procedure.erase(0, dot + 1);
    } else if (Class.size() > 1) {
        cls = DecipherName(Class.substr(1), key);
    }
    if (!IsPlainName(unit) || !IsPlainName(cls) || !IsPlainName(procedure)) return;
    Unit = std::move(unit);
    Class = std::move(cls);
    Procedure = std::move(procedure);
}

// The value of a "Name=Value" part of a thread header.
std::string PartValue(const std::string& Part)
{
    const std::size_t eq = Part.find('=');
    return eq == npos ? Part : Trimmed(std::string_view(Part).substr(eq + 1));
}

// ---- Header items ----

// An item line begins with two blanks and its label: "  2.7 ". A value's own
// continuation lines stand indented to the value's column.
bool IsItemLine(const std::string& Line, const std::string& TrimmedLine)
{
    if (Line.size() < 4 || Line[0] != ' ' || Line[1] != ' ' || Line[2] == ' ' || Line[3] == ' ') return false;
    return TrimmedLine.find(": ") != npos || (!TrimmedLine.empty() && TrimmedLine.back() == ':');
}

std::string CleanValue(std::string Value)
{
    if (Value.compare(0, 3, ".\r\n") == 0) Value.erase(0, 1);
    if (Value.size() >= 3 && Value.compare(Value.size() - 3, 3, "\r\n.") == 0) Value.pop_back();
    Value = QuickStringReplace(Value, ":_", ": ");
    return QuickStringReplace(Value, "\n.\r", "\n\r");
}

std::string ElementText(TXMLItem& Item)
{
    return Item.GetXMLText();
}

}  // namespace

std::string EntryVersion(const std::string& Entry)
{
    std::size_t end = Entry.find_first_of("\r\n");
    if (end == npos) end = Entry.size();
    return end > 10 ? Entry.substr(10, end - 10) : std::string();
}

// ---- Sections ----

std::string GetItem_Generals(const std::string& Entry)
{
    const std::size_t top = CallStackTop(Entry);
    if (top == npos) return {};
    const std::size_t ruleStart = LineStart(Entry, top);
    const std::size_t titleStart = ruleStart >= 2 ? LineStart(Entry, ruleStart - 2) : 0;
    std::size_t end = titleStart;
    while (end > 0 && (Entry[end - 1] == '\r' || Entry[end - 1] == '\n' || Entry[end - 1] == ' ')) --end;
    return Entry.substr(0, end);
}

std::string GetItem_CallStack(const std::string& Entry)
{
    const std::size_t top = CallStackTop(Entry);
    if (top == npos) return {};
    const std::size_t start = LineStart(Entry, top);
    const std::size_t end = Entry.find(kTableEnd, top);
    if (end == npos) return {};
    return Entry.substr(start, end + 1 - start);
}

std::string GetItem_Modules(const std::string& Entry)
{
    const std::size_t top = CallStackTop(Entry);
    if (top == npos) return {};
    return TableAt(Entry, SectionIndex(Entry, top, 1));
}

std::string GetItem_Processes(const std::string& Entry)
{
    const std::size_t top = CallStackTop(Entry);
    if (top == npos || !IsVersionFrom(Entry, "6.0")) return {};
    return TableAt(Entry, SectionIndex(Entry, top, 2));
}

std::string GetItem_Assembler(const std::string& Entry)
{
    const std::size_t top = CallStackTop(Entry);
    if (top == npos || !IsVersionFrom(Entry, "6.0")) return {};
    const std::size_t rule = SectionIndex(Entry, top, 3);
    if (rule == npos) return {};
    std::size_t limit = CPUBlockStart(Entry);
    if (limit == npos) limit = Entry.size();
    // The third title after the call stack is the CPU block's own when the
    // report has no listing.
    if (LineStart(Entry, rule - 3) >= limit) return {};
    const std::size_t ruleEnd = Entry.find("\r\n", rule);
    if (ruleEnd == npos) return {};
    const std::size_t start = ruleEnd + 2;
    std::size_t end = Entry.find(kBlankLine, ruleEnd);
    if (end == npos || end > limit) end = limit;
    if (end <= start) return {};
    return Entry.substr(start, end - start);
}

std::string GetItem_CPU(const std::string& Entry)
{
    const std::size_t start = CPUBlockStart(Entry);
    if (start == npos) return {};
    std::size_t end = Entry.find(kBlankLine, start);
    if (end != npos) end = Entry.find(kBlankLine, end + 4);
    if (end == npos) end = Entry.size();
    std::string text = Entry.substr(start, end - start);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text;
}

std::string GetItem_Reproduce(const std::string& Entry)
{
    const std::size_t top = CallStackTop(Entry);
    if (top == npos) return {};
    const std::size_t second = Entry.find(kCallStackTop, top + 1);
    if (second == npos) return {};
    const std::size_t rule = SectionIndex(Entry, second, 3);
    if (rule == npos) return {};
    const std::size_t ruleEnd = Entry.find("\r\n", rule);
    if (ruleEnd == npos) return {};
    const std::size_t start = ruleEnd + 2;
    const std::size_t end = Entry.find(kBlankLine, ruleEnd);
    if (end == npos || end <= start) return {};
    return Entry.substr(start, end - start);
}

// ---- Elements ----

std::string GetItem_GeneralsXML(const std::string& Entry)
{
    TXMLItem root("General");
    const std::vector<std::string> lines = SplitLines(GetItem_Generals(Entry));
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

std::string GetItem_CallStackXML(const std::string& Entry, const std::string& Password)
{
    TXMLItem root("CallStack");
    const std::vector<std::string> lines = SplitLines(GetItem_CallStack(Entry));
    TXMLItem* current = nullptr;
    int topThreads = 0;
    bool afterSeparator = true;
    if (!IsVersionFrom(Entry, "5.0")) {
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
        if (!Password.empty() && !unit.empty() && unit[0] == '?') DecipherNames(unit, cls, procedure, Password);
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

std::string GetItem_ModulesXML(const std::string& Entry)
{
    TXMLItem root("Modules");
    const std::vector<std::string> lines = SplitLines(GetItem_Modules(Entry));
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

std::string GetItem_ProcessesXML(const std::string& Entry)
{
    static const char* const kNames[] = {"ID",     "Name",     "Description", "Version",
                                         "Memory", "Priority", "Threads",     "Path"};
    TXMLItem root("Processes");
    const std::vector<std::string> lines = SplitLines(GetItem_Processes(Entry));
    for (std::size_t i = 3; i + 1 < lines.size(); ++i) {
        if (lines[i].compare(0, 2, "|-") == 0) continue;
        const std::vector<std::string> cells = Cells(lines[i], '|');
        TXMLItem* process = root.AddItem("Process");
        for (std::size_t c = 0; c < 8; ++c) process->AddField(kNames[c], Cell(cells, c));
    }
    return ElementText(root);
}

std::string GetItem_AssemblerXML(const std::string& Entry)
{
    TXMLItem root("Assembler");
    for (const std::string& raw : SplitLines(GetItem_Assembler(Entry))) {
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

std::string GetItem_CPUXML(const std::string& Entry)
{
    TXMLItem root("CPU");
    const std::string cpu = GetItem_CPU(Entry);
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

std::string GetItem_ReproduceXML(const std::string& Entry)
{
    // Later entries carry the steps as an inserted header section, which the
    // General element already holds.
    if (IsVersionFrom(Entry, "5.0")) return {};
    TXMLItem root("HoToReproduce");
    root.AddField("Text", GetItem_Reproduce(Entry));
    return ElementText(root);
}

std::string GetItem_XML(const std::string& Entry, const std::string& Password)
{
    std::string text = "<Log Version=\"" + TXMLItem::EncodedString(EntryVersion(Entry)) + "\">\r\n";
    text += GetItem_GeneralsXML(Entry);
    text += GetItem_CallStackXML(Entry, Password);
    text += GetItem_ModulesXML(Entry);
    text += GetItem_ProcessesXML(Entry);
    text += GetItem_AssemblerXML(Entry);
    text += GetItem_CPUXML(Entry);
    text += GetItem_ReproduceXML(Entry);
    text += "</Log>";
    return IndentInnerLines(text);
}

std::string GetXML(const std::vector<std::string>& Entries, const std::string& Password)
{
    std::string text = "<Doc>\r\n";
    for (const std::string& entry : Entries) {
        text += GetItem_XML(entry, Password);
        text += "\r\n";
    }
    text += "</Doc>";
    return IndentInnerLines(text);
}

void SaveXMLCopy(const std::vector<std::string>& Entries, const std::string& Password, const std::string& FileName)
{
    SaveTextLines(GetXML(Entries, Password), FileName);
}

}  // namespace crash::logxml
