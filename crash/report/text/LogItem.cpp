// Numbered sections of the report header and the line helpers they rest on.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/report/ELogManager.h"

namespace crash {

namespace {

constexpr std::string_view kCRLF = "\r\n";

// Blanks and control characters only.
bool IsBlankLine(std::string_view line) noexcept
{
    return rtl::Trim(line).empty();
}

// A caption is "Label:" (its first ":" is its last character) standing first
// or after an empty line. The position matters: a line of a multi-line value
// such as "I clicked:" has the same shape, but always follows a line of its
// item.
bool IsCaptionLine(const std::vector<std::string>& lines, std::size_t index) noexcept
{
    const std::string& line = lines[index];
    if (line.empty()) return false;
    if (index > 0 && !lines[index - 1].empty()) return false;
    return line.find(':') == line.size() - 1;
}

// The end of the items of the section whose caption is at index: the first
// empty line after them, or the end.
std::size_t SectionEnd(const std::vector<std::string>& lines, std::size_t caption) noexcept
{
    std::size_t end = std::min(caption + 2, lines.size());
    while (end < lines.size() && !lines[end].empty()) ++end;
    return end;
}

// Leaves out the sections that have no item line.
void DropEmptySections(std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < lines.size();) {
        if (!IsCaptionLine(lines, i)) {
            ++i;
        } else if (i + 2 >= lines.size() || lines[i + 2].empty()) {
            lines.erase(lines.begin() + i, lines.begin() + std::min(i + 3, lines.size()));
        } else {
            i += 3;
        }
    }
    // A dropped last section leaves the empty line that separated it behind;
    // the text ends with its last item line.
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
}

// Puts every ": " of a section's item lines into the column of the one that
// stands furthest right; a continuation line (no ": ") is moved by as much,
// which puts its text under the value's first character.
void AlignColons(std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < lines.size();) {
        if (!IsCaptionLine(lines, i)) {
            ++i;
            continue;
        }
        const std::size_t end = SectionEnd(lines, i);
        std::size_t column = 0;  // 1-based; 0: no ": " in the section
        for (std::size_t k = i + 2; k < end; ++k) {
            const std::size_t p = lines[k].find(": ");
            if (p != std::string::npos) column = std::max(column, p + 1);
        }
        for (std::size_t k = i + 2; k < end; ++k) {
            const std::size_t found = lines[k].find(": ");
            const std::size_t p = found == std::string::npos ? 0 : found + 1;
            lines[k].insert(p == 0 ? 0 : p - 1, column - p, ' ');
        }
        i = std::max(end, i + 1);
    }
}

// The rule under each caption: as long as the section's longest item line.
void DrawDashRules(std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < lines.size();) {
        if (!IsCaptionLine(lines, i) || i + 1 >= lines.size()) {
            ++i;
            continue;
        }
        const std::size_t end = SectionEnd(lines, i);
        std::size_t width = 0;
        for (std::size_t k = i + 2; k < end; ++k) width = std::max(width, lines[k].size());
        lines[i + 1].assign(width, '-');
        i += 3;
    }
}

// The value with every lone CR and lone LF made CR LF. The log's own
// normalisation keeps an LF that starts a text; a value that starts with one
// would then be written as a single line whose second part stands one column
// left of the value, so here that LF is a line break as well.
std::string NormalizeValueLineBreaks(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) {
            result += kCRLF;
        } else if (c == '\n' && (i == 0 || text[i - 1] != '\r')) {
            result += kCRLF;
        } else {
            result += c;
        }
    }
    return result;
}

}  // namespace

std::vector<std::string> LoadLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t stop = text.find_first_of("\r\n", start);
        if (stop == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, stop - start));
        start = stop + 1;
        if (text[stop] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

TLogItem::TLogItem(std::int32_t aFirstHeader) : FFirstHeader(aFirstHeader)
{
    Clear();
}

void TLogItem::Clear()
{
    FString.clear();
    FHeaderNo = FFirstHeader;
    FItemNo = 0;
}

void TLogItem::AddHeader(const std::string& aHeader)
{
    ++FHeaderNo;
    FItemNo = 0;
    if (!FString.empty()) {
        FString += kCRLF;
        FString += kCRLF;
    }
    FString += aHeader;
    FString += ":";
    FString += kCRLF;
    FString += "-";  // the seed of the rule, drawn to its length at the end
}

void TLogItem::AddItem(const std::string& aItem, const std::string& aValue, bool add)
{
    ++FItemNo;
    if (!add) return;

    std::string line = "  " + std::to_string(FHeaderNo) + "." + std::to_string(FItemNo) + " " + aItem + ": ";
    const std::string value = NormalizeValueLineBreaks(aValue);
    if (value.find(kCRLF) == std::string::npos) {
        line += value;
    } else {
        const std::vector<std::string> parts = LoadLines(QuickStringReplace(value, ": ", ":_"));
        for (std::size_t k = 0; k < parts.size(); ++k) {
            if (k > 0) {
                line += kCRLF;
                line += ' ';
            }
            line += IsBlankLine(parts[k]) ? std::string_view(".") : std::string_view(parts[k]);
        }
    }
    FString += kCRLF;
    FString += line;
}

std::string TLogItem::GetString() const
{
    std::vector<std::string> lines = LoadLines(FString);
    DropEmptySections(lines);
    AlignColons(lines);
    DrawDashRules(lines);

    std::size_t size = 0;
    for (const std::string& line : lines) size += line.size() + kCRLF.size();
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += kCRLF;
    }
    return text;
}

}  // namespace crash
