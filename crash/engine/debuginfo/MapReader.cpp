// The linker's text map: its parser, the events of its items, and the lookup
// tables a module's map source keeps.
#include <algorithm>

#include "crash/engine/ECore.h"
#include "crash/engine/debuginfo/DebugInfoInternal.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

bool IsLineEnd(char c) noexcept
{
    return c == '\r' || c == '\n' || c == '\0';
}
bool IsBlank(char c) noexcept
{
    return c == ' ' || c == '\t';
}
bool IsWhiteSpace(char c) noexcept
{
    return IsBlank(c) || c == '\r' || c == '\n';
}
bool IsDecDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// A position in the map text. Every read stops at its end; a NUL counts as a
// line end.
class TMapCursor {
public:
    explicit TMapCursor(std::string_view text) noexcept : FText(text) {}

    bool Eof() const noexcept { return FPos >= FText.size(); }
    char Peek() const noexcept { return Eof() ? '\0' : FText[FPos]; }
    std::size_t Pos() const noexcept { return FPos; }
    void SetPos(std::size_t pos) noexcept { FPos = pos; }

    void SkipWhiteSpace() noexcept
    {
        while (!Eof() && IsWhiteSpace(FText[FPos])) ++FPos;
    }
    void SkipBlanks() noexcept
    {
        while (!Eof() && IsBlank(FText[FPos])) ++FPos;
    }
    // Past the rest of the line, its end and the white space after it.
    void SkipEndLine() noexcept
    {
        while (!Eof() && !IsLineEnd(FText[FPos])) ++FPos;
        while (!Eof() && (IsWhiteSpace(FText[FPos]) || FText[FPos] == '\0')) ++FPos;
    }
    // The rest of the line, the cursor left at its end.
    std::string_view ReadTextLine() noexcept
    {
        const std::size_t start = FPos;
        while (!Eof() && !IsLineEnd(FText[FPos])) ++FPos;
        return FText.substr(start, FPos - start);
    }
    std::string_view RestOfLine() const noexcept
    {
        std::size_t end = FPos;
        while (end < FText.size() && !IsLineEnd(FText[end])) ++end;
        return FText.substr(FPos, end - FPos);
    }
    std::int32_t ReadDecValue() noexcept
    {
        std::uint32_t value = 0;
        while (IsDecDigit(Peek())) value = value * 10 + static_cast<std::uint32_t>(FText[FPos++] - '0');
        return static_cast<std::int32_t>(value);
    }
    // Hexadecimal digits of either case; a trailing "H" is skipped.
    std::uint32_t ReadHexValue() noexcept
    {
        std::uint32_t value = 0;
        for (;;) {
            const char c = Peek();
            if (c >= '0' && c <= '9')
                value = value * 16 + static_cast<std::uint32_t>(c - '0');
            else if (c >= 'A' && c <= 'F')
                value = value * 16 + static_cast<std::uint32_t>(c - 'A' + 10);
            else if (c >= 'a' && c <= 'f')
                value = value * 16 + static_cast<std::uint32_t>(c - 'a' + 10);
            else {
                if (c == 'H' || c == 'h') ++FPos;
                return value;
            }
            ++FPos;
        }
    }
    TVLMapAddress ReadAddress() noexcept
    {
        TVLMapAddress address;
        address.Segment = static_cast<std::uint16_t>(ReadHexValue());
        if (Peek() == ':') {
            ++FPos;
            address.Offset = static_cast<std::int32_t>(ReadHexValue());
        }
        return address;
    }
    // A name after blanks: up to a line end, a blank or "("; one that starts
    // with "(" runs to its ")" (or the line end).
    std::string_view ReadName() noexcept
    {
        SkipBlanks();
        const std::size_t start = FPos;
        if (Peek() == '(') {
            while (!Eof() && !IsLineEnd(FText[FPos]) && FText[FPos] != ')') ++FPos;
            if (Peek() == ')') ++FPos;
        } else {
            while (!Eof() && !IsLineEnd(FText[FPos]) && !IsBlank(FText[FPos]) && FText[FPos] != '(') ++FPos;
        }
        return FText.substr(start, FPos - start);
    }
    // Moves past "X=" on the current line; false (the cursor kept) when the
    // line has none.
    bool FindParam(char param) noexcept
    {
        const std::string_view line = RestOfLine();
        for (std::size_t i = 0; i + 1 < line.size(); ++i) {
            if (line[i] == param && line[i + 1] == '=') {
                FPos += i + 2;
                return true;
            }
        }
        return false;
    }
    // The text in parentheses on the current line; the cursor stays.
    std::string_view ParenthesizedOnLine() const noexcept
    {
        const std::string_view line = RestOfLine();
        const std::size_t open = line.find('(');
        if (open == std::string_view::npos) return {};
        const std::size_t close = line.find(')', open + 1);
        return line.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
    }
    // Finds the next line that holds every word in increasing positions, and
    // moves past it and the white space after it; the cursor stays when no
    // line does, so a section that is missing hides none after it.
    bool SyncToHeader(std::initializer_list<std::string_view> words) noexcept
    {
        const std::size_t start = FPos;
        while (!Eof()) {
            const std::string_view line = rtl::Trim(ReadTextLine());
            if (HoldsInOrder(line, words)) {
                SkipWhiteSpace();
                return true;
            }
            SkipEndLine();
        }
        FPos = start;
        return false;
    }
    bool SyncToPrefix(std::string_view prefix) noexcept
    {
        SkipWhiteSpace();
        if (FText.substr(FPos, prefix.size()) != prefix) return false;
        FPos += prefix.size();
        return true;
    }

private:
    static bool HoldsInOrder(std::string_view line, std::initializer_list<std::string_view> words) noexcept
    {
        std::size_t previous = std::string_view::npos;
        for (std::string_view word : words) {
            const std::size_t at = line.find(word);
            if (at == std::string_view::npos || (previous != std::string_view::npos && at <= previous)) return false;
            previous = at;
        }
        return true;
    }

    std::string_view FText;
    std::size_t FPos = 0;
};

// The segment's unit as a bare name: no folder before the last "\" or "|",
// no extension.
std::string BareUnitName(std::string_view name)
{
    const std::size_t slash = name.find_last_of("\\|");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return std::string(name);
}

// The entry at addr or the last one below it; null when all lie above.
template <class T>
const T* EntryAtOrBelow(const std::vector<T>& entries, std::uint32_t addr) noexcept
{
    auto after = std::upper_bound(entries.begin(), entries.end(), addr,
                                  [](std::uint32_t value, const T& entry) { return value < entry.Addr; });
    return after == entries.begin() ? nullptr : &*(after - 1);
}

template <class T>
void SortByAddr(std::vector<T>& entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const T& a, const T& b) { return a.Addr < b.Addr; });
    entries.shrink_to_fit();
}

}  // namespace

// ---- The parser ----------------------------------------------------------------

TVLAbstractMapParser::TVLAbstractMapParser(const std::string& mapFileName)
{
    std::vector<std::uint8_t> data;
    if (!debuginfo::LoadSideFile(mapFileName, data)) return;
    FOwned.assign(data.begin(), data.end());
    FText = FOwned;
    FLoaded = true;
}

bool TVLAbstractMapParser::Parse() noexcept
{
    try {
        TMapCursor cursor(FText);
        if (cursor.SyncToHeader({"Start", "Length", "Name", "Class"})) {
            while (IsDecDigit(cursor.Peek())) {
                const TVLMapAddress address = cursor.ReadAddress();
                cursor.SkipBlanks();
                const std::uint32_t length = cursor.ReadHexValue();
                const TVLMapName section = cursor.ReadName();
                const TVLMapName group = cursor.ReadName();
                cursor.SkipEndLine();
                ClassTableItem(address, length, section, group);
            }
        }
        if (cursor.SyncToHeader({"Detailed", "map", "of", "segments"})) {
            while (IsDecDigit(cursor.Peek())) {
                const TVLMapAddress address = cursor.ReadAddress();
                cursor.SkipBlanks();
                const std::uint32_t length = cursor.ReadHexValue();
                TVLMapName group, unit;
                if (cursor.FindParam('C')) group = cursor.ReadName();
                if (cursor.FindParam('M')) unit = cursor.ReadName();
                cursor.SkipEndLine();
                SegmentItem(address, length, group, unit);
            }
        }
        if (cursor.SyncToHeader({"Address", "Publics", "by", "Name"})) {
            while (IsDecDigit(cursor.Peek())) {
                const TVLMapAddress address = cursor.ReadAddress();
                const TVLMapName name = cursor.ReadName();
                cursor.SkipEndLine();
                PublicsByNameItem(address, name);
            }
        }
        if (cursor.SyncToHeader({"Address", "Publics", "by", "Value"})) {
            while (IsDecDigit(cursor.Peek())) {
                const TVLMapAddress address = cursor.ReadAddress();
                const TVLMapName name = cursor.ReadName();
                cursor.SkipEndLine();
                PublicsByValueItem(address, name);
            }
        }
        while (cursor.SyncToPrefix("Line numbers for")) {
            const TVLMapName unit = cursor.ReadName();
            const TVLMapName file = cursor.ParenthesizedOnLine();
            cursor.SkipEndLine();
            LineNumberUnitItem(unit, file);
            for (;;) {
                cursor.SkipWhiteSpace();
                if (!IsDecDigit(cursor.Peek())) break;
                const std::int32_t line = cursor.ReadDecValue();
                cursor.SkipWhiteSpace();
                const TVLMapAddress address = cursor.ReadAddress();
                LineNumbersItem(line, address);
            }
        }
        return true;
    } catch (...) {
        return false;
    }
}

// ---- Events ----------------------------------------------------------------------

void TVLMapParser::ClassTableItem(const TVLMapAddress& address, std::uint32_t length, TVLMapName sectionName,
                                  TVLMapName groupName)
{
    if (OnClassTable) OnClassTable(address, length, std::string(sectionName), std::string(groupName));
}

void TVLMapParser::SegmentItem(const TVLMapAddress& address, std::uint32_t length, TVLMapName groupName,
                               TVLMapName unitName)
{
    if (OnSegmentItem) OnSegmentItem(address, length, std::string(groupName), BareUnitName(unitName));
}

void TVLMapParser::PublicsByNameItem(const TVLMapAddress& address, TVLMapName name)
{
    if (OnPublicsByName) OnPublicsByName(address, std::string(name));
}

void TVLMapParser::PublicsByValueItem(const TVLMapAddress& address, TVLMapName name)
{
    if (OnPublicsByValue) OnPublicsByValue(address, std::string(name));
}

void TVLMapParser::LineNumberUnitItem(TVLMapName unitName, TVLMapName unitFileName)
{
    if (OnLineNumberUnit) OnLineNumberUnit(std::string(unitName), std::string(unitFileName));
}

void TVLMapParser::LineNumbersItem(std::int32_t lineNumber, const TVLMapAddress& address)
{
    if (OnLineNumbers) OnLineNumbers(lineNumber, address);
}

// ---- The scanner -------------------------------------------------------------------

TVLMapScanner::TVLMapScanner(const std::string& mapFileName) : TVLAbstractMapParser(mapFileName)
{
    Scan();
}

TVLMapScanner::TVLMapScanner(std::string_view text) : TVLAbstractMapParser(text)
{
    Scan();
}

void TVLMapScanner::Scan()
{
    // The tables grow in steps while the text is read and are trimmed after.
    FSegments.reserve(256);
    FProcNames.reserve(256);
    FLineNumbers.reserve(256);
    if (!Parse()) {
        // Out of memory half-way: tables that are partly there could answer
        // wrongly, so none is kept.
        FSegments.clear();
        FProcNames.clear();
        FLineNumbers.clear();
        FSourceNames.clear();
    }
    FSegments.shrink_to_fit();
    SortByAddr(FProcNames);
    // Line numbers are taken only in rising order; sorting keeps them so.
    SortByAddr(FLineNumbers);
    SortByAddr(FSourceNames);
    FSegmentsAscending =
        std::is_sorted(FSegments.begin(), FSegments.end(),
                       [](const TVLMapSegment& a, const TVLMapSegment& b) { return a.StartAddr < b.StartAddr; });
    FEndsSoFar.resize(FSegments.size());
    std::uint32_t highest = 0;
    for (std::size_t i = 0; i < FSegments.size(); ++i) {
        highest = std::max(highest, FSegments[i].EndAddr);
        FEndsSoFar[i] = highest;
    }
}

void TVLMapScanner::ClassTableItem(const TVLMapAddress&, std::uint32_t, TVLMapName, TVLMapName) {}

void TVLMapScanner::SegmentItem(const TVLMapAddress& address, std::uint32_t length, TVLMapName, TVLMapName unitName)
{
    if (address.Segment != 1) return;
    const auto start = static_cast<std::uint32_t>(address.Offset);
    const std::uint32_t end = start + length;
    FSegments.push_back({start, end, unitName});
    if (end > FTopValidAddr) FTopValidAddr = end;
}

void TVLMapScanner::PublicsByNameItem(const TVLMapAddress&, TVLMapName) {}

void TVLMapScanner::PublicsByValueItem(const TVLMapAddress& address, TVLMapName name)
{
    if (address.Segment != 1) return;
    FProcNames.push_back({static_cast<std::uint32_t>(address.Offset), name});
}

void TVLMapScanner::LineNumberUnitItem(TVLMapName, TVLMapName unitFileName)
{
    FNewUnitFileName = unitFileName;
    FUnitFilePending = true;
}

void TVLMapScanner::LineNumbersItem(std::int32_t lineNumber, const TVLMapAddress& address)
{
    const bool accepted =
        FLineNumbers.empty() || (address.Offset > 0 && static_cast<std::uint32_t>(address.Offset) <= FTopValidAddr &&
                                 address.Segment == FLastAccepted.Segment && address.Offset > FLastAccepted.Offset);
    if (!accepted) {
        ++FLineNumberErrors;
        return;
    }
    const auto offset = static_cast<std::uint32_t>(address.Offset);
    if (FUnitFilePending) {
        FSourceNames.push_back({offset, FNewUnitFileName});
        FUnitFilePending = false;
    }
    FLineNumbers.push_back({offset, lineNumber});
    FLastAccepted = address;
}

const TVLMapSegment* TVLMapScanner::SegmentFromAddr(std::uint32_t addr) const noexcept
{
    // The last segment in map order that holds the offset. In a map whose
    // segments rise, none after the last start at or below it can, so the
    // search may start there; and it ends where no segment before reaches
    // the offset.
    std::size_t i = FSegments.size();
    if (FSegmentsAscending) {
        auto after = std::upper_bound(FSegments.begin(), FSegments.end(), addr,
                                      [](std::uint32_t value, const TVLMapSegment& s) { return value < s.StartAddr; });
        i = static_cast<std::size_t>(after - FSegments.begin());
    }
    while (i > 0 && FEndsSoFar[i - 1] >= addr) {
        const TVLMapSegment& segment = FSegments[--i];
        if (segment.StartAddr <= addr && addr <= segment.EndAddr) return &segment;
    }
    return nullptr;
}

std::uint32_t TVLMapScanner::ModuleStartFromAddr(std::uint32_t addr) const noexcept
{
    const TVLMapSegment* segment = SegmentFromAddr(addr);
    return segment != nullptr ? segment->StartAddr : kNoModuleStart;
}

std::string TVLMapScanner::ModuleNameFromAddr(std::uint32_t addr) const
{
    const TVLMapSegment* segment = SegmentFromAddr(addr);
    return segment != nullptr ? std::string(segment->UnitName) : std::string();
}

std::string TVLMapScanner::ProcNameFromAddr(std::uint32_t addr, std::int32_t& offset) const
{
    offset = 0;
    const TVLMapProcName* entry = EntryAtOrBelow(FProcNames, addr);
    if (entry == nullptr || entry->Addr < ModuleStartFromAddr(addr)) return {};
    offset = static_cast<std::int32_t>(addr - entry->Addr);
    return std::string(entry->ProcName);
}

std::string TVLMapScanner::ProcNameFromAddr(std::uint32_t addr) const
{
    std::int32_t offset = 0;
    return ProcNameFromAddr(addr, offset);
}

std::int32_t TVLMapScanner::LineNumberFromAddr(std::uint32_t addr, std::int32_t& offset) const noexcept
{
    offset = 0;
    const TVLMapLineNumber* entry = EntryAtOrBelow(FLineNumbers, addr);
    if (entry == nullptr || entry->Addr < ModuleStartFromAddr(addr)) return 0;
    offset = static_cast<std::int32_t>(addr - entry->Addr);
    return entry->LineNumber;
}

std::int32_t TVLMapScanner::LineNumberFromAddr(std::uint32_t addr) const noexcept
{
    std::int32_t offset = 0;
    return LineNumberFromAddr(addr, offset);
}

std::string TVLMapScanner::SourceNameFromAddr(std::uint32_t addr) const
{
    const TVLMapSourceName* entry = EntryAtOrBelow(FSourceNames, addr);
    if (entry == nullptr || entry->Addr < ModuleStartFromAddr(addr)) return {};
    return std::string(entry->SourceName);
}

// ---- The source ----------------------------------------------------------------------

bool TVLDebugInfoMap::InitializeSource()
{
    FScanner.reset();
    const std::string moduleFile = GetFileName();
    if (moduleFile.empty()) return false;
    auto scanner = std::make_unique<TVLMapScanner>(ChangeFileExt(moduleFile, ".map"));
    if (!scanner->Loaded()) return false;
    FScanner = std::move(scanner);
    return true;
}

bool TVLDebugInfoMap::ValidData() const noexcept
{
    return FScanner != nullptr && !FScanner->Segments().empty();
}

bool TVLDebugInfoMap::GetLocationInfo(std::uintptr_t address, TVLLocationInfo& info) noexcept
{
    if (!ValidData()) return false;
    try {
        return debuginfo::LocationFromScanner(*FScanner, *this, address, info);
    } catch (...) {
        return false;
    }
}

}  // namespace crash
