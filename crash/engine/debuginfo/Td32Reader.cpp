// TD32 data: where a module keeps it, its directories and subsections, the
// lookups over them, and the module's source.
#include <algorithm>
#include <cstring>

#include "crash/engine/ECore.h"
#include "crash/engine/debuginfo/DebugInfoInternal.h"
#include "rtl/ByteCursor.h"

namespace crash {

namespace {

constexpr std::uint16_t kDirectoryEntrySize = 12;
constexpr std::size_t kDirectoryHeaderSize = 16;
// More directories than this in a chain is damage.
constexpr std::size_t kMaxDirectories = 1024;

constexpr std::size_t kModuleHeaderSize = 28;
constexpr std::size_t kProcNameIndexAt = 40;  // from the symbol record's start
constexpr std::size_t kProcOffsetAt = 28;
constexpr std::size_t kProcSizeAt = 16;
constexpr std::size_t kDataOffsetAt = 4;
constexpr std::size_t kDataNameIndexAt = 16;

std::uint32_t Word32(const std::uint8_t* p) noexcept
{
    std::uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

// The subsection's bytes from offset on, as a cursor; a failed one when the
// offset lies outside.
rtl::ByteCursor SubAt(const std::uint8_t* data, std::size_t size, std::uint32_t offset) noexcept
{
    rtl::ByteCursor cursor(data, size);
    return cursor.At(offset);
}

}  // namespace

// ---- Names ------------------------------------------------------------------------

std::string CleanTD32ProcName(std::string_view name, std::string_view moduleName)
{
    std::string cleaned(name);
    if (!cleaned.empty() && cleaned[0] == '@') cleaned.erase(0, 1);
    const std::size_t dollar = cleaned.find('$');
    if (dollar != std::string::npos) {
        std::size_t cut = dollar;
        if (cut > 0 && cleaned[cut - 1] == '@') --cut;
        cleaned.erase(cut);
    }
    std::replace(cleaned.begin(), cleaned.end(), '@', '.');
    cleaned = QuickStringReplace(cleaned, "..", ".@");
    // Only a whole module name before a ".": a module "Unit" leaves the
    // procedure "Units2.Proc" as it is.
    if (!moduleName.empty() && cleaned.size() > moduleName.size() && cleaned[moduleName.size()] == '.' &&
        debuginfo::SameTextNoCase(std::string_view(cleaned).substr(0, moduleName.size()), moduleName))
        cleaned.erase(0, moduleName.size() + 1);
    return cleaned;
}

// ---- The parser ---------------------------------------------------------------------

TVLTD32InfoParser::TVLTD32InfoParser(const void* data, std::size_t size) noexcept
    : FData(static_cast<const std::uint8_t*>(data)), FSize(data == nullptr ? 0 : size)
{}

bool TVLTD32InfoParser::IsTD32DebugInfoValid(const void* data, std::size_t size) noexcept
{
    if (data == nullptr || size < sizeof(TVLTD32FileSignature)) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    TVLTD32FileSignature tail;
    std::memcpy(&tail, bytes + size - sizeof tail, sizeof tail);
    if (!IsTD32Sign(tail.Signature) || tail.Offset > size || tail.Offset < sizeof(TVLTD32FileSignature)) return false;
    TVLTD32FileSignature head;
    std::memcpy(&head, bytes + (size - tail.Offset), sizeof head);
    return IsTD32Sign(head.Signature);
}

std::string_view TVLTD32InfoParser::Names(std::uint32_t index) const noexcept
{
    if (index == 0 || index > FNames.size()) return {};
    return FNames[index - 1];
}

bool TVLTD32InfoParser::Analyse() noexcept
{
    if (FAnalysed) return FValidData;
    FAnalysed = true;
    if (!IsTD32DebugInfoValid(FData, FSize)) return false;
    try {
        FValidData = Walk();
    } catch (...) {
        FValidData = false;
    }
    if (!FValidData) {
        FNames.clear();
        FModules.clear();
        FSourceModules.clear();
        FSymbols.clear();
        FProcSymbols.clear();
    }
    return FValidData;
}

bool TVLTD32InfoParser::Walk()
{
    // From here on the data is what starts at the leading signature: every
    // offset inside it counts from there.
    TVLTD32FileSignature tail;
    std::memcpy(&tail, FData + FSize - sizeof tail, sizeof tail);
    const std::uint8_t* base = FData + (FSize - tail.Offset);
    const std::size_t size = tail.Offset;
    std::uint32_t directory = Word32(base + 4);
    std::vector<std::uint32_t> visited;
    while (directory != 0) {
        // A chain that comes back to a directory is damage, not more data.
        if (visited.size() == kMaxDirectories || std::find(visited.begin(), visited.end(), directory) != visited.end())
            return false;
        visited.push_back(directory);
        rtl::ByteCursor header = SubAt(base, size, directory);
        std::uint16_t headerSize = 0, entrySize = 0;
        std::uint32_t count = 0, next = 0, flags = 0;
        header.Read(headerSize);
        header.Read(entrySize);
        header.Read(count);
        header.Read(next);
        header.Read(flags);
        if (header.Failed() || entrySize != kDirectoryEntrySize) return false;
        // Entries that do not fit are cut at the data's end.
        const std::size_t fit = header.Remaining() / kDirectoryEntrySize;
        const std::size_t entries = count < fit ? count : fit;
        for (std::size_t i = 0; i < entries; ++i) {
            std::uint16_t type = 0, moduleIndex = 0;
            std::uint32_t offset = 0, length = 0;
            header.Read(type);
            header.Read(moduleIndex);
            header.Read(offset);
            header.Read(length);
            if (offset > size) continue;
            const std::size_t available = size - offset;
            const std::size_t subSize = length < available ? length : available;
            const std::uint8_t* sub = base + offset;
            switch (type) {
            case kTD32SubsectionNames: AnalyseNames(sub, subSize); break;
            case kTD32SubsectionAlignSym: AnalyseAlignSymbols(sub, subSize); break;
            case kTD32SubsectionModule: AnalyseModules(sub, subSize); break;
            case kTD32SubsectionSrcModule: AnalyseSourceModules(sub, subSize); break;
            default: break;
            }
        }
        directory = next;
    }
    return true;
}

void TVLTD32InfoParser::AnalyseNames(const std::uint8_t* data, std::size_t size)
{
    rtl::ByteCursor cursor(data, size);
    std::uint32_t count = 0;
    if (!cursor.Read(count)) return;
    // Each name takes at least two bytes: no count can ask for more.
    FNames.reserve(FNames.size() + std::min<std::size_t>(count, cursor.Remaining() / 2));
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t length = 0;
        const std::uint8_t* text = nullptr;
        if (!cursor.Read(length) || !cursor.Take(length, text) || !cursor.Skip(1)) break;
        FNames.emplace_back(reinterpret_cast<const char*>(text), length);
    }
}

void TVLTD32InfoParser::AnalyseModules(const std::uint8_t* data, std::size_t size)
{
    rtl::ByteCursor cursor(data, size);
    std::uint16_t overlay = 0, library = 0, segmentCount = 0, style = 0;
    std::uint32_t nameIndex = 0;
    cursor.Read(overlay);
    cursor.Read(library);
    cursor.Read(segmentCount);
    cursor.Read(style);
    cursor.Read(nameIndex);
    if (cursor.Failed() || !cursor.Seek(kModuleHeaderSize)) return;
    auto module = std::make_unique<TVLModuleInfo>();
    module->NameIndex = nameIndex;
    for (std::uint16_t i = 0; i < segmentCount; ++i) {
        TVLSegmentInfo segment;
        cursor.Read(segment.Segment);
        cursor.Read(segment.Flags);
        cursor.Read(segment.Offset);
        cursor.Read(segment.Size);
        if (cursor.Failed()) break;
        module->Segments.push_back(segment);
    }
    FModules.push_back(std::move(module));
}

void TVLTD32InfoParser::AnalyseSourceModules(const std::uint8_t* data, std::size_t size)
{
    rtl::ByteCursor cursor(data, size);
    std::uint16_t fileCount = 0, segmentCount = 0;
    cursor.Read(fileCount);
    cursor.Read(segmentCount);
    for (std::uint16_t f = 0; f < fileCount && !cursor.Failed(); ++f) {
        std::uint32_t fileOffset = 0;
        if (!cursor.Read(fileOffset)) break;
        rtl::ByteCursor file = SubAt(data, size, fileOffset);
        std::uint16_t blocks = 0;
        std::uint32_t nameIndex = 0;
        file.Read(blocks);
        file.Read(nameIndex);
        if (file.Failed() || nameIndex == 0) continue;
        auto source = std::make_unique<TVLSourceModuleInfo>();
        source->NameIndex = nameIndex;
        rtl::ByteCursor ranges = file;
        ranges.Skip(std::size_t{blocks} * 4);
        for (std::uint16_t b = 0; b < blocks; ++b) {
            std::uint32_t blockOffset = 0;
            if (!file.Read(blockOffset)) break;
            rtl::ByteCursor block = SubAt(data, size, blockOffset);
            std::uint16_t segment = 0, pairs = 0;
            block.Read(segment);
            block.Read(pairs);
            rtl::ByteCursor lines = block;
            lines.Skip(std::size_t{pairs} * 4);
            for (std::uint16_t p = 0; p < pairs; ++p) {
                TVLLineInfo line;
                std::uint16_t number = 0;
                block.Read(line.Offset);
                lines.Read(number);
                if (block.Failed() || lines.Failed()) break;
                line.LineNo = number;
                line.Segment = segment;
                source->Lines.push_back(line);
            }
        }
        for (std::uint16_t b = 0; b < blocks; ++b) {
            TVLOffsetPair range;
            ranges.Read(range.StartOffset);
            ranges.Read(range.EndOffset);
            if (ranges.Failed()) break;
            source->Segments.push_back(range);
        }
        FSourceModules.push_back(std::move(source));
    }
}

void TVLTD32InfoParser::AnalyseAlignSymbols(const std::uint8_t* data, std::size_t size)
{
    rtl::ByteCursor cursor(data, size);
    if (!cursor.Skip(4)) return;  // the signature
    for (;;) {
        const std::size_t recordStart = cursor.Offset();
        std::uint16_t length = 0, type = 0;
        if (!cursor.Read(length) || length < 2 || !cursor.Read(type)) break;
        // The record: its size and type fields, then length - 2 bytes.
        rtl::ByteCursor record = rtl::ByteCursor(data, size).At(recordStart);
        record = record.Split(std::size_t{length} + 2);
        if (record.Failed()) break;
        const std::size_t recordSize = record.Size();
        const std::uint8_t* bytes = record.Position();
        const auto field = [&](std::size_t at, std::uint32_t& value) {
            if (at + 4 > recordSize) return false;
            value = Word32(bytes + at);
            return true;
        };
        std::unique_ptr<TVLSymbolInfo> symbol;
        switch (type) {
        case kTD32SymbolLocalProc:
        case kTD32SymbolGlobalProc: {
            std::unique_ptr<TVLProcSymbolInfo> proc;
            if (type == kTD32SymbolLocalProc)
                proc = std::make_unique<TVLLocalProcSymbolInfo>();
            else
                proc = std::make_unique<TVLGlobalProcSymbolInfo>();
            // A procedure too short for its fields is no procedure.
            if (!field(kProcSizeAt, proc->Size) || !field(kProcOffsetAt, proc->Offset) ||
                !field(kProcNameIndexAt, proc->NameIndex))
                break;
            FProcSymbols.push_back(proc.get());
            symbol = std::move(proc);
            break;
        }
        case kTD32SymbolLocalData:
        case kTD32SymbolGlobalData:
        case kTD32SymbolPublic: {
            std::unique_ptr<TVLDataSymbolInfo> dataSymbol;
            if (type == kTD32SymbolLocalData)
                dataSymbol = std::make_unique<TVLLDataSymbolInfo>();
            else if (type == kTD32SymbolGlobalData)
                dataSymbol = std::make_unique<TVLGDataSymbolInfo>();
            else
                dataSymbol = std::make_unique<TVLPublicSymbolInfo>();
            field(kDataOffsetAt, dataSymbol->Offset);
            field(kDataNameIndexAt, dataSymbol->NameIndex);
            symbol = std::move(dataSymbol);
            break;
        }
        case kTD32SymbolConstant: symbol = std::make_unique<TVLConstantSymbolInfo>(); break;
        case kTD32SymbolUdt: symbol = std::make_unique<TVLUdtSymbolInfo>(); break;
        case kTD32SymbolObjName: symbol = std::make_unique<TVLObjNameSymbolInfo>(); break;
        case kTD32SymbolWith: symbol = std::make_unique<TVLWithSymbolInfo>(); break;
        case kTD32SymbolLabel: symbol = std::make_unique<TVLLabelSymbolInfo>(); break;
        case kTD32SymbolVftPath: symbol = std::make_unique<TVLVftPathSymbolInfo>(); break;
        default: break;
        }
        if (symbol) FSymbols.push_back(std::move(symbol));
        if (!cursor.Seek(recordStart + length + 2)) break;
    }
}

// ---- Lookups ----------------------------------------------------------------------

bool TVLSourceModuleInfo::FindLine(std::uint32_t addr, TVLLineInfo& line) const noexcept
{
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        if (Lines[i].Offset == addr) {
            line = Lines[i];
            return true;
        }
        if (Lines[i].Offset > addr) {
            if (i == 0) return false;
            line = Lines[i - 1];
            return true;
        }
    }
    // After the last line's start, still inside the source's code: that line.
    if (Lines.empty()) return false;
    line = Lines.back();
    return true;
}

const TVLModuleInfo* TVLTD32InfoScanner::ModuleFromAddr(std::uint32_t addr,
                                                        const TVLSegmentInfo** segment) const noexcept
{
    for (const auto& module : Modules()) {
        for (const TVLSegmentInfo& candidate : module->Segments) {
            // Half-open: the byte at offset + size is the next module's.
            if (candidate.Offset <= addr && addr - candidate.Offset < candidate.Size) {
                if (segment != nullptr) *segment = &candidate;
                return module.get();
            }
        }
    }
    return nullptr;
}

const TVLSourceModuleInfo* TVLTD32InfoScanner::SourceModuleFromAddr(std::uint32_t addr) const noexcept
{
    for (const auto& source : SourceModules())
        for (const TVLOffsetPair& range : source->Segments)
            if (range.StartOffset <= addr && addr < range.EndOffset) return source.get();
    return nullptr;
}

std::uint32_t TVLTD32InfoScanner::ModuleStartFromAddr(std::uint32_t addr) const noexcept
{
    const TVLSegmentInfo* segment = nullptr;
    return ModuleFromAddr(addr, &segment) != nullptr ? segment->Offset : kNoModuleStart;
}

std::string TVLTD32InfoScanner::ModuleNameFromAddr(std::uint32_t addr) const
{
    const TVLModuleInfo* module = ModuleFromAddr(addr, nullptr);
    return module != nullptr ? std::string(Names(module->NameIndex)) : std::string();
}

std::string TVLTD32InfoScanner::ProcNameFromAddr(std::uint32_t addr, std::int32_t& offset) const
{
    offset = 0;
    for (const TVLProcSymbolInfo* proc : ProcSymbols()) {
        if (proc->Offset <= addr && addr - proc->Offset < proc->Size) {
            offset = static_cast<std::int32_t>(addr - proc->Offset);
            return CleanTD32ProcName(Names(proc->NameIndex), ModuleNameFromAddr(addr));
        }
    }
    return {};
}

std::string TVLTD32InfoScanner::ProcNameFromAddr(std::uint32_t addr) const
{
    std::int32_t offset = 0;
    return ProcNameFromAddr(addr, offset);
}

std::int32_t TVLTD32InfoScanner::LineNumberFromAddr(std::uint32_t addr, std::int32_t& offset) const noexcept
{
    offset = 0;
    const TVLSourceModuleInfo* source = SourceModuleFromAddr(addr);
    TVLLineInfo line;
    if (source == nullptr || !source->FindLine(addr, line)) return 0;
    offset = static_cast<std::int32_t>(addr - line.Offset);
    return static_cast<std::int32_t>(line.LineNo);
}

std::int32_t TVLTD32InfoScanner::LineNumberFromAddr(std::uint32_t addr) const noexcept
{
    std::int32_t offset = 0;
    return LineNumberFromAddr(addr, offset);
}

std::string TVLTD32InfoScanner::SourceNameFromAddr(std::uint32_t addr) const
{
    const TVLSourceModuleInfo* source = SourceModuleFromAddr(addr);
    return source != nullptr ? std::string(Names(source->NameIndex)) : std::string();
}

// ---- The image ------------------------------------------------------------------------

TVLPeBorTD32Image::TVLPeBorTD32Image(HMODULE module, const std::string& fileName)
{
    debuginfo::TImageHeaders headers;
    if (debuginfo::ReadImageHeaders(module, headers) && headers.Debug.Size != 0) {
        for (const IMAGE_SECTION_HEADER& section : headers.Sections) {
            if (section.VirtualAddress != headers.Debug.VirtualAddress) continue;
            std::vector<std::uint8_t> directory;
            const std::size_t entries = headers.Debug.Size / sizeof(IMAGE_DEBUG_DIRECTORY);
            // A directory of more entries than any linker writes is damage.
            if (entries == 0 || entries > 64 ||
                !debuginfo::ReadImageRange(module, headers, headers.Debug.VirtualAddress,
                                           entries * sizeof(IMAGE_DEBUG_DIRECTORY), directory))
                break;
            for (std::size_t i = 0; i < entries && !FScanner; ++i) {
                IMAGE_DEBUG_DIRECTORY entry;
                std::memcpy(&entry, directory.data() + i * sizeof entry, sizeof entry);
                std::vector<std::uint8_t> data;
                // Data loaded with the image is read there; data the loader
                // leaves in the file (where it usually is) from the file.
                const bool read =
                    entry.AddressOfRawData != 0
                        ? debuginfo::ReadImageRange(module, headers, entry.AddressOfRawData, entry.SizeOfData, data)
                        : debuginfo::ReadFileRange(fileName, entry.PointerToRawData, entry.SizeOfData, data);
                if (read && UseData(std::move(data))) FInImage = true;
            }
            break;
        }
    }
    if (!FScanner && !fileName.empty()) {
        std::vector<std::uint8_t> data;
        if (debuginfo::LoadSideFile(ChangeFileExt(fileName, ".tds"), data)) UseData(std::move(data));
    }
}

bool TVLPeBorTD32Image::UseData(std::vector<std::uint8_t> data)
{
    if (!TVLTD32InfoParser::IsTD32DebugInfoValid(data.data(), data.size())) return false;
    FData = std::move(data);
    auto scanner = std::make_unique<TVLTD32InfoScanner>(FData.data(), FData.size());
    if (!scanner->Analyse()) {
        FData.clear();
        return false;
    }
    FScanner = std::move(scanner);
    return true;
}

// ---- The source ------------------------------------------------------------------------

bool TVLDebugInfoTD32::InitializeSource()
{
    FImage = std::make_unique<TVLPeBorTD32Image>(Module(), GetFileName());
    return FImage->IsTD32DebugPresent();
}

bool TVLDebugInfoTD32::ValidData() const noexcept
{
    return FImage != nullptr && FImage->TD32Scanner() != nullptr && FImage->TD32Scanner()->ValidData();
}

bool TVLDebugInfoTD32::GetLocationInfo(std::uintptr_t address, TVLLocationInfo& info) noexcept
{
    if (!ValidData()) return false;
    try {
        return debuginfo::LocationFromScanner(*FImage->TD32Scanner(), *this, address, info);
    } catch (...) {
        return false;
    }
}

}  // namespace crash
