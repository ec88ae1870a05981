// Address-to-source from the debug information a module carries besides the
// crash reporter's own data block: the linker's text map next to it (".map"),
// binary JDBG data (a "JCLDEBUG" section, or a ".jdbg" file) and TD32 data (in
// the image through its debug directory, or a ".tds" file); and the two last
// steps of an address lookup: a location from such a source mapped into a
// call-stack item, and the module's export names.
//
// Our own programs always carry the data block and never reach these readers;
// other modules can.
//
// Failure: the sources, AssignValidDebugInfo and the lookup steps never raise
// (they answer false); the scanners' own lookups raise nothing but running
// out of memory. Damaged or cut data is checked against its own bounds
// everywhere (offsets, sizes, counts, name indices and references): it makes
// a source invalid or gives an empty answer, never a read outside it. A side
// file over 64 MB is not loaded.
// Threads: a source is built once, then its lookups may run on several threads
// at once (the binary scanner's cache is unpacked once, under its own lock).
// Zone: ordinary code and the report thread (sources and lookups allocate).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crash/engine/EDebugInfo.h"
#include "crash/engine/EHook.h"
#include "rtl/Streams.h"
#include "rtl/SyncObjs.h"
#include "rtl/System.h"

namespace crash {

class TVLDebugInfoSource;

// A side file (map, JDBG, TD32) larger than this is not loaded.
inline constexpr std::size_t kMaxDebugFileSize = 64u << 20;

// "No module start" of the scanners' ModuleStartFromAddr.
inline constexpr std::uint32_t kNoModuleStart = 0xFFFFFFFF;

// What a source knows of one code address.
struct TVLLocationInfo {
    std::uintptr_t Address = 0;  // the address looked up
    std::string UnitName;
    std::string ProcedureName;
    std::int32_t ProcOffsetLine = 0;  // lines from the procedure's first line
    std::int32_t LineNumber = 0;
    std::string SourceName;                   // the source file's name
    TVLDebugInfoSource* DebugInfo = nullptr;  // weak: the source that answered
};

// A read-only stream over the bytes at an address, which another party owns;
// destroying it frees nothing.
namespace edebug {
class THModuleStream : public rtl::TReadOnlyMemoryStream {
public:
    THModuleStream(const void* address, std::size_t size) noexcept : rtl::TReadOnlyMemoryStream(address, size) {}
};
}  // namespace edebug

// One kind of debug information of one module. Made only through Create,
// which constructs the object and then lets it find its data
// (InitializeSource): a constructor cannot reach the override of a subclass.
class TVLDebugInfoSource : public rtl::TObject {
public:
    // A new source of class TSource for the module, its data looked for; null
    // only when even that failed (out of memory). Never raises.
    template <class TSource>
    static std::unique_ptr<TVLDebugInfoSource> Create(HMODULE module) noexcept;

    // Finds and reads the module's data of this kind; false when it has none.
    virtual bool InitializeSource() = 0;
    // The address as an offset from the module's first section, the unit of
    // every reader here: address - module - 0x1000.
    virtual std::uint32_t VAFromAddr(std::uintptr_t address) const noexcept;
    // Whether the source holds data it can answer from.
    virtual bool ValidData() const noexcept = 0;
    // Unit, procedure, line, procedure offset line and source file of the
    // address. False when no unit holds it (info is then unspecified) or the
    // source is not valid.
    virtual bool GetLocationInfo(std::uintptr_t address, TVLLocationInfo& info) noexcept = 0;

    HMODULE Module() const noexcept { return FModule; }
    // The module's file name; empty when the system gives none.
    std::string GetFileName() const;

protected:
    explicit TVLDebugInfoSource(HMODULE module) noexcept : FModule(module) {}

private:
    HMODULE FModule;
};

// The kinds, in the order AssignValidDebugInfo tries them.
using TVLDebugInfoSourceClass = std::unique_ptr<TVLDebugInfoSource> (*)(HMODULE module) noexcept;

// Leaves source alone and answers false when it is already set. Else tries a
// map, then TD32 and then JDBG data for the module and keeps the first valid
// source in source (true); null and false when the module has none.
bool AssignValidDebugInfo(HMODULE module, std::unique_ptr<TVLDebugInfoSource>& source) noexcept;

// Fills the module records' slot (ModuleDebugReaders.AssignValidDebugInfo)
// with AssignValidDebugInfo, so that a full record of a module without the
// crash reporter's data gets its other debug source. Start-up calls it.
void InstallOtherDebugInfoReader() noexcept;

// ---- The linker's text map ------------------------------------------------------

// "segment:offset", both hexadecimal in the text.
struct TVLMapAddress {
    std::uint16_t Segment = 0;
    std::int32_t Offset = 0;
};

// A name in the map text, viewed in place.
using TVLMapName = std::string_view;

// Reads a map text: the class table, the detailed segments, the publics by
// name and by value, then the blocks of line numbers; hands every item line to
// the operation of its kind. A missing section is skipped. Items are read
// within their own line: a short line gives empty fields, never the next
// line's text.
class TVLAbstractMapParser : public rtl::TObject {
public:
    // Loads the file into memory when it exists and is at most
    // kMaxDebugFileSize bytes long; else the parser has no text.
    explicit TVLAbstractMapParser(const std::string& mapFileName);
    // Over a text the caller keeps alive and unchanged while the parser lives.
    explicit TVLAbstractMapParser(std::string_view text) noexcept : FText(text), FLoaded(true) {}

    // Whether there was a text to read (a file that was found and loaded).
    bool Loaded() const noexcept { return FLoaded; }
    std::string_view Text() const noexcept { return FText; }
    // Reads the whole text and calls the item operations; false when an
    // operation raised (the items read before it stay delivered).
    bool Parse() noexcept;

protected:
    virtual void ClassTableItem(const TVLMapAddress& address, std::uint32_t length, TVLMapName sectionName,
                                TVLMapName groupName) = 0;
    virtual void SegmentItem(const TVLMapAddress& address, std::uint32_t length, TVLMapName groupName,
                             TVLMapName unitName) = 0;
    virtual void PublicsByNameItem(const TVLMapAddress& address, TVLMapName name) = 0;
    virtual void PublicsByValueItem(const TVLMapAddress& address, TVLMapName name) = 0;
    virtual void LineNumberUnitItem(TVLMapName unitName, TVLMapName unitFileName) = 0;
    virtual void LineNumbersItem(std::int32_t lineNumber, const TVLMapAddress& address) = 0;

private:
    std::string FOwned;
    std::string_view FText;
    bool FLoaded = false;
};

// The map's items as events, names made strings; the segment's unit is handed
// on without its folder (up to the last "\" or "|") and without its extension.
// An event that is not assigned is not called.
class TVLMapParser : public TVLAbstractMapParser {
public:
    using TVLAbstractMapParser::TVLAbstractMapParser;

    std::function<void(const TVLMapAddress& address, std::uint32_t length, const std::string& sectionName,
                       const std::string& groupName)>
        OnClassTable;
    std::function<void(const TVLMapAddress& address, std::uint32_t length, const std::string& groupName,
                       const std::string& unitName)>
        OnSegmentItem;
    std::function<void(const TVLMapAddress& address, const std::string& name)> OnPublicsByName;
    std::function<void(const TVLMapAddress& address, const std::string& name)> OnPublicsByValue;
    std::function<void(const std::string& unitName, const std::string& unitFileName)> OnLineNumberUnit;
    std::function<void(std::int32_t lineNumber, const TVLMapAddress& address)> OnLineNumbers;

protected:
    void ClassTableItem(const TVLMapAddress& address, std::uint32_t length, TVLMapName sectionName,
                        TVLMapName groupName) override;
    void SegmentItem(const TVLMapAddress& address, std::uint32_t length, TVLMapName groupName,
                     TVLMapName unitName) override;
    void PublicsByNameItem(const TVLMapAddress& address, TVLMapName name) override;
    void PublicsByValueItem(const TVLMapAddress& address, TVLMapName name) override;
    void LineNumberUnitItem(TVLMapName unitName, TVLMapName unitFileName) override;
    void LineNumbersItem(std::int32_t lineNumber, const TVLMapAddress& address) override;
};

struct TVLMapSegment {
    std::uint32_t StartAddr = 0;
    std::uint32_t EndAddr = 0;  // start + length
    TVLMapName UnitName;        // as written in the map
};
struct TVLMapProcName {
    std::uint32_t Addr = 0;
    TVLMapName ProcName;
};
struct TVLMapLineNumber {
    std::uint32_t Addr = 0;
    std::int32_t LineNumber = 0;
};
struct TVLMapSourceName {
    std::uint32_t Addr = 0;
    TVLMapName SourceName;
};

// The lookup tables of a map (code segment 1 only), read at construction:
// segments, publics by value, line numbers and source names, the latter
// sorted by address after reading (the text need not be in order). A line
// number is taken when it is the first, or lies above 0, within the highest
// segment end, in the segment of the last one taken and strictly above it;
// every other one is counted in LineNumberErrors and dropped.
//
// Lookups take offsets from the module's first section (VAFromAddr). A
// procedure, line or source entry is the one at the offset or the last one
// below it, and counts only when it lies within the unit that holds the
// offset.
class TVLMapScanner : public TVLAbstractMapParser {
public:
    explicit TVLMapScanner(const std::string& mapFileName);
    explicit TVLMapScanner(std::string_view text);

    // The start of the last segment (in map order) that holds addr (its end
    // counting as inside), else kNoModuleStart.
    std::uint32_t ModuleStartFromAddr(std::uint32_t addr) const noexcept;
    // That segment's unit; empty when none holds addr.
    std::string ModuleNameFromAddr(std::uint32_t addr) const;
    // offset: addr minus the entry's address; 0 when nothing is found.
    std::string ProcNameFromAddr(std::uint32_t addr, std::int32_t& offset) const;
    std::string ProcNameFromAddr(std::uint32_t addr) const;
    std::int32_t LineNumberFromAddr(std::uint32_t addr, std::int32_t& offset) const noexcept;
    std::int32_t LineNumberFromAddr(std::uint32_t addr) const noexcept;
    std::string SourceNameFromAddr(std::uint32_t addr) const;

    const std::vector<TVLMapSegment>& Segments() const noexcept { return FSegments; }
    const std::vector<TVLMapProcName>& ProcNames() const noexcept { return FProcNames; }
    const std::vector<TVLMapLineNumber>& LineNumbers() const noexcept { return FLineNumbers; }
    const std::vector<TVLMapSourceName>& SourceNames() const noexcept { return FSourceNames; }
    int LineNumberErrors() const noexcept { return FLineNumberErrors; }

protected:
    void ClassTableItem(const TVLMapAddress& address, std::uint32_t length, TVLMapName sectionName,
                        TVLMapName groupName) override;
    void SegmentItem(const TVLMapAddress& address, std::uint32_t length, TVLMapName groupName,
                     TVLMapName unitName) override;
    void PublicsByNameItem(const TVLMapAddress& address, TVLMapName name) override;
    void PublicsByValueItem(const TVLMapAddress& address, TVLMapName name) override;
    void LineNumberUnitItem(TVLMapName unitName, TVLMapName unitFileName) override;
    void LineNumbersItem(std::int32_t lineNumber, const TVLMapAddress& address) override;

private:
    void Scan();
    const TVLMapSegment* SegmentFromAddr(std::uint32_t addr) const noexcept;

    std::vector<TVLMapSegment> FSegments;
    std::vector<TVLMapProcName> FProcNames;
    std::vector<TVLMapLineNumber> FLineNumbers;
    std::vector<TVLMapSourceName> FSourceNames;
    std::uint32_t FTopValidAddr = 0;
    bool FSegmentsAscending = true;
    // The highest end of the segments up to each one, in map order.
    std::vector<std::uint32_t> FEndsSoFar;
    int FLineNumberErrors = 0;
    TVLMapName FNewUnitFileName;
    bool FUnitFilePending = false;
    TVLMapAddress FLastAccepted;
};

class TVLDebugInfoMap : public TVLDebugInfoSource {
public:
    RTL_CLASS(TVLDebugInfoMap)
    // The module's file name with the extension ".map"; a scanner over it
    // when it exists.
    bool InitializeSource() override;
    // A scanner that found at least one code segment: a map without one (the
    // map of another linker) cannot answer, and must not hide the sources
    // tried after it.
    bool ValidData() const noexcept override;
    bool GetLocationInfo(std::uintptr_t address, TVLLocationInfo& info) noexcept override;
    const TVLMapScanner* Scanner() const noexcept { return FScanner.get(); }

    TVLDebugInfoMap(const TVLDebugInfoMap&) = delete;

protected:
    using TVLDebugInfoSource::TVLDebugInfoSource;
    friend class TVLDebugInfoSource;

private:
    std::unique_ptr<TVLMapScanner> FScanner;
};

// ---- Binary JDBG data -------------------------------------------------------------

// The JDBG header; all offsets are from the start of the block.
#pragma pack(push, 1)
struct TVLJdbgHeader {
    std::uint32_t Signature;  // "JDBG"
    std::uint8_t Version;     // 1
    std::uint32_t Units;      // offset of the units list
    std::uint32_t SourceNames;
    std::uint32_t Symbols;
    std::uint32_t LineNumbers;
    std::uint32_t Words;       // offset of the names area
    std::uint32_t ModuleName;  // name reference
    std::uint32_t CheckSum;
    std::uint8_t CheckSumValid;
};
#pragma pack(pop)
static_assert(sizeof(TVLJdbgHeader) == 34);

inline constexpr std::uint32_t kJdbgSignature = 0x4742444A;  // "JDBG"

// Reads a number of a JDBG list at data (size bytes left): seven bits a byte,
// the lowest group first, bit 7 set while another byte follows; at most five
// bytes (the bits past 32 dropped). Its length, or 0 when it runs past the
// end or past five bytes.
std::size_t ReadJdbgValue(const std::uint8_t* data, std::size_t size, std::uint32_t& value) noexcept;

// The name at reference ref (from 1) of a names area (size bytes at data): a
// form byte, then for form 1 a zero-terminated text whose bytes other than
// 0xAA are XORed with 0xAA; for forms 0 and 2 up to 255 characters of six
// bits each, packed lowest bits first (2 puts "@" before them). A reference
// of 0 or past the area is empty; a text cut by the area's end ends there.
std::string JdbgNameFromRef(const std::uint8_t* data, std::size_t size, std::uint32_t ref);

// A block of JDBG data, read in place: units (address, name), source names
// (address, name), symbols (address, name, second name) and line numbers
// (address, line), each a delta-coded list that ends at 0x7FFFFFFF or at the
// end of the block. A lookup takes, of the entries up to the first one above
// the offset, the last; an entry counts only when it lies within the unit that
// holds the offset. With caching, the symbols and line numbers are unpacked
// once, at the first lookup that needs them.
class TVLBinDebugScanner : public rtl::TObject {
public:
    // Over size bytes at data, which the caller keeps alive and unchanged.
    TVLBinDebugScanner(const void* data, std::size_t size, bool cacheData) noexcept;
    ~TVLBinDebugScanner() override;
    TVLBinDebugScanner(const TVLBinDebugScanner&) = delete;
    TVLBinDebugScanner& operator=(const TVLBinDebugScanner&) = delete;

    // At least 35 bytes, a multiple of 4, the signature, version 1, and when
    // the block says it has a checksum: the sum of all its 32-bit words minus
    // the checksum, rotated right by 8 bits, equals the checksum.
    static bool IsValidBlock(const void* data, std::size_t size) noexcept;
    bool ValidFormat() const noexcept { return FValidFormat; }
    std::string ModuleName() const;

    // The start of the last unit not above addr, else kNoModuleStart.
    std::uint32_t ModuleStartFromAddr(std::uint32_t addr) const noexcept;
    std::string ModuleNameFromAddr(std::uint32_t addr) const;
    // The symbol's name, "." and its second name when it has one.
    std::string ProcNameFromAddr(std::uint32_t addr, std::int32_t& offset) const;
    std::string ProcNameFromAddr(std::uint32_t addr) const;
    std::int32_t LineNumberFromAddr(std::uint32_t addr, std::int32_t& offset) const noexcept;
    std::int32_t LineNumberFromAddr(std::uint32_t addr) const noexcept;
    std::string SourceNameFromAddr(std::uint32_t addr) const;

private:
    struct TSymbol {
        std::uint32_t Addr;
        std::uint32_t FirstWord;
        std::uint32_t SecondWord;
    };
    struct TLine {
        std::uint32_t Addr;
        std::int32_t Line;
    };
    struct TCache;
    // The last entry of a pair list up to addr: its address and accumulated
    // second value; false when the first entry is already above.
    bool FindPair(std::uint32_t listOffset, std::uint32_t addr, std::uint32_t& itemAddr,
                  std::uint32_t& value) const noexcept;
    bool FindSymbol(std::uint32_t addr, TSymbol& found) const noexcept;
    bool FindLine(std::uint32_t addr, TLine& found) const noexcept;
    const TCache* Cache() const noexcept;
    std::string NameFromRef(std::uint32_t ref) const;

    const std::uint8_t* FData;
    std::size_t FSize;
    bool FCacheData;
    bool FValidFormat = false;
    TVLJdbgHeader FHeader{};
    mutable rtl::TCriticalSection FCacheLock;
    mutable std::unique_ptr<TCache> FCache;
    mutable bool FCacheBuilt = false;
};

class TVLDebugInfoJedy : public TVLDebugInfoSource {
public:
    RTL_CLASS(TVLDebugInfoJedy)
    // The module's "JCLDEBUG" section (copied out of the image through the
    // checked reader), else its file with the extension ".jdbg"; with data, a
    // caching scanner over it.
    bool InitializeSource() override;
    bool ValidData() const noexcept override;
    bool GetLocationInfo(std::uintptr_t address, TVLLocationInfo& info) noexcept override;
    const TVLBinDebugScanner* Scanner() const noexcept { return FScanner.get(); }
    // Where the data came from: the section, else the file.
    bool FromSection() const noexcept { return FFromSection; }

    TVLDebugInfoJedy(const TVLDebugInfoJedy&) = delete;

protected:
    using TVLDebugInfoSource::TVLDebugInfoSource;
    friend class TVLDebugInfoSource;

private:
    std::vector<std::uint8_t> FData;
    std::unique_ptr<edebug::THModuleStream> FStream;
    std::unique_ptr<TVLBinDebugScanner> FScanner;
    bool FFromSection = false;
};

// ---- TD32 data ---------------------------------------------------------------------

#pragma pack(push, 1)
struct TVLTD32FileSignature {
    std::uint32_t Signature;  // "FB09" or "FB0A"
    std::uint32_t Offset;
};
#pragma pack(pop)

inline constexpr std::uint32_t kTD32SignatureFB09 = 0x39304246;
inline constexpr std::uint32_t kTD32SignatureFB0A = 0x41304246;

// Subsections read.
inline constexpr std::uint16_t kTD32SubsectionModule = 0x120;
inline constexpr std::uint16_t kTD32SubsectionAlignSym = 0x125;
inline constexpr std::uint16_t kTD32SubsectionSrcModule = 0x127;
inline constexpr std::uint16_t kTD32SubsectionNames = 0x130;

// Symbol kinds made into objects.
inline constexpr std::uint16_t kTD32SymbolConstant = 0x0003;
inline constexpr std::uint16_t kTD32SymbolUdt = 0x0004;
inline constexpr std::uint16_t kTD32SymbolObjName = 0x0009;
inline constexpr std::uint16_t kTD32SymbolLocalData = 0x0201;
inline constexpr std::uint16_t kTD32SymbolGlobalData = 0x0202;
inline constexpr std::uint16_t kTD32SymbolPublic = 0x0203;
inline constexpr std::uint16_t kTD32SymbolLocalProc = 0x0204;
inline constexpr std::uint16_t kTD32SymbolGlobalProc = 0x0205;
inline constexpr std::uint16_t kTD32SymbolWith = 0x0208;
inline constexpr std::uint16_t kTD32SymbolLabel = 0x0209;
inline constexpr std::uint16_t kTD32SymbolVftPath = 0x020B;

struct TVLSegmentInfo {
    std::uint16_t Segment = 0;
    std::uint16_t Flags = 0;
    std::uint32_t Offset = 0;
    std::uint32_t Size = 0;
};

// A module of TD32 data: its name and the code it covers.
class TVLModuleInfo : public rtl::TObject {
public:
    std::uint32_t NameIndex = 0;
    std::vector<TVLSegmentInfo> Segments;
    // The segment at index; null outside the table.
    const TVLSegmentInfo* Segment(std::size_t index) const noexcept
    {
        return index < Segments.size() ? &Segments[index] : nullptr;
    }
};

struct TVLLineInfo {
    std::uint32_t LineNo = 0;
    std::uint32_t Offset = 0;
    std::uint16_t Segment = 0;
};

struct TVLOffsetPair {
    std::uint32_t StartOffset = 0;
    std::uint32_t EndOffset = 0;  // the first offset past the range
};

// One source file of TD32 data: its lines in file order and its code ranges.
class TVLSourceModuleInfo : public rtl::TObject {
public:
    std::uint32_t NameIndex = 0;
    std::vector<TVLLineInfo> Lines;
    std::vector<TVLOffsetPair> Segments;
    const TVLOffsetPair* Segment(std::size_t index) const noexcept
    {
        return index < Segments.size() ? &Segments[index] : nullptr;
    }
    // The line at addr: the one that starts there, else the one before the
    // first that starts above it; the last line for an address after the last
    // start. False before the first line.
    bool FindLine(std::uint32_t addr, TVLLineInfo& line) const noexcept;
};

// Symbols of the aligned-symbols subsection, one class per kind.
class TVLSymbolInfo : public rtl::TObject {
public:
    explicit TVLSymbolInfo(std::uint16_t symbolType) noexcept : FSymbolType(symbolType) {}
    std::uint16_t SymbolType() const noexcept { return FSymbolType; }

private:
    std::uint16_t FSymbolType;
};
class TVLProcSymbolInfo : public TVLSymbolInfo {
public:
    using TVLSymbolInfo::TVLSymbolInfo;
    std::uint32_t NameIndex = 0;
    std::uint32_t Offset = 0;
    std::uint32_t Size = 0;
};
class TVLLocalProcSymbolInfo : public TVLProcSymbolInfo {
public:
    TVLLocalProcSymbolInfo() noexcept : TVLProcSymbolInfo(kTD32SymbolLocalProc) {}
};
class TVLGlobalProcSymbolInfo : public TVLProcSymbolInfo {
public:
    TVLGlobalProcSymbolInfo() noexcept : TVLProcSymbolInfo(kTD32SymbolGlobalProc) {}
};
class TVLDataSymbolInfo : public TVLSymbolInfo {
public:
    using TVLSymbolInfo::TVLSymbolInfo;
    std::uint32_t NameIndex = 0;
    std::uint32_t Offset = 0;
};
class TVLLDataSymbolInfo : public TVLDataSymbolInfo {
public:
    TVLLDataSymbolInfo() noexcept : TVLDataSymbolInfo(kTD32SymbolLocalData) {}
};
class TVLGDataSymbolInfo : public TVLDataSymbolInfo {
public:
    TVLGDataSymbolInfo() noexcept : TVLDataSymbolInfo(kTD32SymbolGlobalData) {}
};
class TVLPublicSymbolInfo : public TVLDataSymbolInfo {
public:
    TVLPublicSymbolInfo() noexcept : TVLDataSymbolInfo(kTD32SymbolPublic) {}
};
class TVLConstantSymbolInfo : public TVLSymbolInfo {
public:
    TVLConstantSymbolInfo() noexcept : TVLSymbolInfo(kTD32SymbolConstant) {}
};
class TVLUdtSymbolInfo : public TVLSymbolInfo {
public:
    TVLUdtSymbolInfo() noexcept : TVLSymbolInfo(kTD32SymbolUdt) {}
};
class TVLObjNameSymbolInfo : public TVLSymbolInfo {
public:
    TVLObjNameSymbolInfo() noexcept : TVLSymbolInfo(kTD32SymbolObjName) {}
};
class TVLWithSymbolInfo : public TVLSymbolInfo {
public:
    TVLWithSymbolInfo() noexcept : TVLSymbolInfo(kTD32SymbolWith) {}
};
class TVLLabelSymbolInfo : public TVLSymbolInfo {
public:
    TVLLabelSymbolInfo() noexcept : TVLSymbolInfo(kTD32SymbolLabel) {}
};
class TVLVftPathSymbolInfo : public TVLSymbolInfo {
public:
    TVLVftPathSymbolInfo() noexcept : TVLSymbolInfo(kTD32SymbolVftPath) {}
};

// Reads TD32 data in place: the signature at its end that gives its start,
// the chain of subsection directories (entries of 12 bytes), and the names,
// modules, source modules and aligned symbols. Data that does not have this
// shape leaves the parser invalid and empty; a subsection that is cut or
// points outside the data is read as far as it lies inside.
//
// Layouts (little-endian, offsets from the data's start unless said):
//   directory: header size (2), entry size (2) = 12, entry count (4), next
//     directory (4, 0 ends), flags (4); then entries of type (2), module
//     index (2), offset (4), size (4).
//   names (0x130): count (4), then each a length byte, the text and a zero.
//   module (0x120): overlay (2), library (2), segment count (2), style (2),
//     name index (4), time stamp (4), reserved (12); then segments of
//     segment (2), flags (2), offset (4), size (4).
//   source module (0x127), offsets from the subsection's start: file count
//     (2), segment count (2), the files' offsets (4 each), ranges and
//     segment numbers; a file: segment count N (2), name index (4), offsets
//     of N line blocks (4 each), then N ranges of start (4), end (4); a line
//     block: segment (2), pair count P (2), P code offsets (4 each), P line
//     numbers (2 each).
//   aligned symbols (0x125): a signature (4), then records of size (2, not
//     counting itself), type (2) and the kind's fields; a procedure: parent,
//     end, next (4 each), size (4), debug start and end (4 each), offset
//     (4), segment (2), type (4), flags (1), reserved (1), name index (4); a
//     data symbol: offset (4), segment (2), flags (2), type (4), name index (4).
class TVLTD32InfoParser : public rtl::TObject {
public:
    // Over size bytes at data, which the caller keeps alive and unchanged;
    // reads nothing until Analyse.
    TVLTD32InfoParser(const void* data, std::size_t size) noexcept;
    TVLTD32InfoParser(const TVLTD32InfoParser&) = delete;
    TVLTD32InfoParser& operator=(const TVLTD32InfoParser&) = delete;

    static bool IsTD32Sign(std::uint32_t signature) noexcept
    {
        return signature == kTD32SignatureFB09 || signature == kTD32SignatureFB0A;
    }
    // The signature at the end, its offset within the data, and the same
    // signature kind at the start it gives.
    static bool IsTD32DebugInfoValid(const void* data, std::size_t size) noexcept;

    // Reads the directories and their subsections once; false (and nothing
    // read) for data that is not valid. Never raises.
    bool Analyse() noexcept;
    bool ValidData() const noexcept { return FValidData; }

    // Names are numbered from 1; 0 and indices past the table are empty.
    std::size_t NameCount() const noexcept { return FNames.size(); }
    std::string_view Names(std::uint32_t index) const noexcept;
    const std::vector<std::unique_ptr<TVLModuleInfo>>& Modules() const noexcept { return FModules; }
    const std::vector<std::unique_ptr<TVLSourceModuleInfo>>& SourceModules() const noexcept { return FSourceModules; }
    const std::vector<std::unique_ptr<TVLSymbolInfo>>& Symbols() const noexcept { return FSymbols; }
    const std::vector<const TVLProcSymbolInfo*>& ProcSymbols() const noexcept { return FProcSymbols; }

protected:
    // Each reads one subsection of size bytes at data (within the data).
    virtual void AnalyseNames(const std::uint8_t* data, std::size_t size);
    virtual void AnalyseAlignSymbols(const std::uint8_t* data, std::size_t size);
    virtual void AnalyseModules(const std::uint8_t* data, std::size_t size);
    virtual void AnalyseSourceModules(const std::uint8_t* data, std::size_t size);

private:
    bool Walk();
    const std::uint8_t* FData;
    std::size_t FSize;
    bool FAnalysed = false;
    bool FValidData = false;
    std::vector<std::string_view> FNames;
    std::vector<std::unique_ptr<TVLModuleInfo>> FModules;
    std::vector<std::unique_ptr<TVLSourceModuleInfo>> FSourceModules;
    std::vector<std::unique_ptr<TVLSymbolInfo>> FSymbols;
    std::vector<const TVLProcSymbolInfo*> FProcSymbols;
};

// A TD32 procedure name as a lookup shows it: a leading "@" removed; the
// parameter codes from the first "$" (and an "@" just before it) cut; every
// "@" made "."; ".." made ".@"; and the module's name with the "." after it
// removed from the front (the module compared without regard to case).
std::string CleanTD32ProcName(std::string_view name, std::string_view moduleName);

// Lookups over TD32 data, on offsets from the module's first section.
class TVLTD32InfoScanner : public TVLTD32InfoParser {
public:
    using TVLTD32InfoParser::TVLTD32InfoParser;

    // The first module with a segment whose range [offset, offset + size)
    // holds addr.
    std::uint32_t ModuleStartFromAddr(std::uint32_t addr) const noexcept;
    std::string ModuleNameFromAddr(std::uint32_t addr) const;
    // The first procedure whose range [offset, offset + size) holds addr,
    // its name cleaned (CleanTD32ProcName).
    std::string ProcNameFromAddr(std::uint32_t addr, std::int32_t& offset) const;
    std::string ProcNameFromAddr(std::uint32_t addr) const;
    // The line of the first source module with a range [start, end) holding
    // addr (TVLSourceModuleInfo::FindLine); 0 when none.
    std::int32_t LineNumberFromAddr(std::uint32_t addr, std::int32_t& offset) const noexcept;
    std::int32_t LineNumberFromAddr(std::uint32_t addr) const noexcept;
    std::string SourceNameFromAddr(std::uint32_t addr) const;

private:
    const TVLModuleInfo* ModuleFromAddr(std::uint32_t addr, const TVLSegmentInfo** segment) const noexcept;
    const TVLSourceModuleInfo* SourceModuleFromAddr(std::uint32_t addr) const noexcept;
};

// The TD32 data of a loaded module: found through the image's debug directory
// (the section whose address is the directory's holds its entries; an entry's
// data is read from the image at its address when it has one, else from the
// module's file at its file offset), else in the file with the extension
// ".tds". The headers, the directory and the data in the image are read
// through the checked reader.
class TVLPeBorTD32Image : public rtl::TObject {
public:
    explicit TVLPeBorTD32Image(HMODULE module, const std::string& fileName);
    TVLPeBorTD32Image(const TVLPeBorTD32Image&) = delete;
    TVLPeBorTD32Image& operator=(const TVLPeBorTD32Image&) = delete;

    bool IsTD32DebugPresent() const noexcept { return FScanner != nullptr; }
    // Where the data came from: the image's debug directory, else the file.
    bool IsTD32DebugInImage() const noexcept { return FInImage; }
    const TVLTD32InfoScanner* TD32Scanner() const noexcept { return FScanner.get(); }

private:
    bool UseData(std::vector<std::uint8_t> data);
    std::vector<std::uint8_t> FData;
    std::unique_ptr<TVLTD32InfoScanner> FScanner;
    bool FInImage = false;
};

class TVLDebugInfoTD32 : public TVLDebugInfoSource {
public:
    RTL_CLASS(TVLDebugInfoTD32)
    bool InitializeSource() override;
    bool ValidData() const noexcept override;
    bool GetLocationInfo(std::uintptr_t address, TVLLocationInfo& info) noexcept override;
    const TVLPeBorTD32Image* Image() const noexcept { return FImage.get(); }

    TVLDebugInfoTD32(const TVLDebugInfoTD32&) = delete;

protected:
    using TVLDebugInfoSource::TVLDebugInfoSource;
    friend class TVLDebugInfoSource;

private:
    std::unique_ptr<TVLPeBorTD32Image> FImage;
};

// ---- The last two steps of an address lookup ------------------------------------

// The extension given to a unit named by an export name.
inline constexpr std::string_view kExportUnitSourceExtension = ".cpp";

// Maps a location into item. False, item untouched, when the location has no
// procedure name. Else: Addr; the unit is the file-name part of the source
// name, or of the unit name when there is no source name; the procedure name
// is split at "." into at most three parts (class and procedure the last two
// of three; of two, the class is dropped when it equals the unit without its
// extension, compared without regard to case); a leading "@" of the
// procedure becomes "_"; line and procedure offset line (0 when negative);
// and the detail: ddSourceCode with a line, else ddUnitAndProcedure with a
// unit, else ddProcedure (else ddModule when item has its module, else ddNone).
bool LocationInfoToDebugInfo(const TVLLocationInfo& location, TVexlorDebugInfo& item) noexcept;

// The second step: the location source (a module's other debug source; null
// for none) gives for address, mapped by LocationInfoToDebugInfo.
bool GetOtherDebugInfoByAddr(TVLDebugInfoSource* source, std::uintptr_t address, TVexlorDebugInfo& item) noexcept;

// Unit, class and procedure from an export name, into item:
//   1. "@" not followed by "$", with a "$" somewhere: cut at the first "$",
//      drop a last "@" and the first, make the second "@" of the first "@@"
//      a "_" and every other "@" a ".";
//   2. else a name with a "." is cut at its first "@";
//   3. else a name that does not start with "?" is the procedure (ddProcedure);
//   4. the names of 1 and 2 split at ".": unit (with
//      kExportUnitSourceExtension) and procedure, or unit, class and
//      procedure (ddUnitAndProcedure); another number of parts leaves item;
//   5. a leading "@" of the procedure becomes "_".
// Mangled names of other compilers stay as they are (rule 3).
void ExportNameToDebugInfo(std::string_view name, TVexlorDebugInfo& item) noexcept;

// Measures a function: GetFunctionSize's contract.
using TFunctionSizer = std::size_t (*)(const void* address, std::size_t maxLength) noexcept;
// The longest function a measure looks at.
inline constexpr std::size_t kMaxMeasuredFunction = 0x10000;

// The third step over a module's exported functions, count entries sorted by
// address, At(i) giving a reference to the i-th, which has Name (a string),
// Addr and Size (std::uint32_t; 0 until measured). The function whose range
// [Addr, Addr + Size] holds address is parsed into item
// (ExportNameToDebugInfo); its Size is measured by sizer on first use (at most
// up to the next function, and kMaxMeasuredFunction) and kept. False when no
// function holds the address.
template <class TAt>
bool GetExportInfoByAddr(std::size_t count, TAt&& at, std::uintptr_t address, TVexlorDebugInfo& item,
                         TFunctionSizer sizer = &GetFunctionSize) noexcept
{
    // The last function that starts at or below the address.
    std::size_t low = 0, high = count;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (std::uintptr_t{at(middle).Addr} <= address)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0) return false;
    auto& function = at(low - 1);
    if (function.Size == 0) {
        std::size_t reach = kMaxMeasuredFunction;
        if (low < count && at(low).Addr > function.Addr && at(low).Addr - function.Addr < reach)
            reach = at(low).Addr - function.Addr;
        function.Size = static_cast<std::uint32_t>(
            sizer(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(function.Addr)), reach));
    }
    if (address - function.Addr > function.Size) return false;
    ExportNameToDebugInfo(function.Name, item);
    return true;
}

// ---- Details ---------------------------------------------------------------------

template <class TSource>
std::unique_ptr<TVLDebugInfoSource> TVLDebugInfoSource::Create(HMODULE module) noexcept
{
    static_assert(std::is_base_of_v<TVLDebugInfoSource, TSource>);
    try {
        std::unique_ptr<TVLDebugInfoSource> source(new TSource(module));
        try {
            source->InitializeSource();
        } catch (...) {
            // A half-read source is dropped whole: its ValidData could not be
            // trusted.
            return std::unique_ptr<TVLDebugInfoSource>(new TSource(module));
        }
        return source;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace crash
