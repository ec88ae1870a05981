// Binary JDBG data: the block's check, its delta-coded lists and names, the
// optional cache of its symbols and lines, and the module's source over it.
#include <algorithm>
#include <cstring>

#include "crash/engine/ECore.h"
#include "crash/engine/debuginfo/DebugInfoInternal.h"
#include "rtl/ByteCursor.h"

namespace crash {

namespace {

constexpr std::uint32_t kListEnd = 0x7FFFFFFF;
constexpr std::size_t kMaxValueBytes = 5;
constexpr std::size_t kMaxSixBitChars = 255;

// The next number of a list; false at its end: the end mark, a number cut by
// the end of the block or longer than five bytes.
bool NextValue(rtl::ByteCursor& list, std::uint32_t& value) noexcept
{
    const std::size_t length = ReadJdbgValue(list.Position(), list.Remaining(), value);
    if (length == 0) return false;
    list.Skip(length);
    return value != kListEnd;
}

char SixBitChar(unsigned code) noexcept
{
    if (code <= 10) return static_cast<char>('0' + code - 1);
    if (code <= 36) return static_cast<char>('A' + code - 11);
    if (code <= 62) return static_cast<char>('a' + code - 37);
    return '_';
}

}  // namespace

std::size_t ReadJdbgValue(const std::uint8_t* data, std::size_t size, std::uint32_t& value) noexcept
{
    value = 0;
    std::uint32_t decoded = 0;
    for (std::size_t i = 0; i < kMaxValueBytes && i < size; ++i) {
        decoded |= static_cast<std::uint32_t>(data[i] & 0x7F) << (7 * i);
        if ((data[i] & 0x80) == 0) {
            value = decoded;
            return i + 1;
        }
    }
    return 0;
}

std::string JdbgNameFromRef(const std::uint8_t* data, std::size_t size, std::uint32_t ref)
{
    if (ref == 0 || ref > size) return {};
    const std::uint8_t* p = data + (ref - 1);
    const std::size_t left = size - (ref - 1);
    std::string name;
    const std::uint8_t form = p[0];
    if (form == 1) {
        for (std::size_t i = 1; i < left && p[i] != 0; ++i)
            name += static_cast<char>(p[i] == 0xAA ? 0xAA : p[i] ^ 0xAA);
        return name;
    }
    if (form == 2) name += '@';
    // Four characters in three bytes, the lowest bits first.
    const std::uint8_t* packed = p + 1;
    const std::size_t packedSize = left - 1;
    for (std::size_t i = 0; i < kMaxSixBitChars; ++i) {
        const std::size_t bit = 6 * i;
        const std::size_t byte = bit / 8;
        if (bit + 6 > 8 * packedSize) break;  // a character the end has cut
        unsigned bits = packed[byte];
        if (byte + 1 < packedSize) bits |= static_cast<unsigned>(packed[byte + 1]) << 8;
        const unsigned code = (bits >> (bit % 8)) & 0x3F;
        if (code == 0) break;
        name += SixBitChar(code);
    }
    return name;
}

// ---- The scanner ----------------------------------------------------------------

struct TVLBinDebugScanner::TCache {
    std::vector<TSymbol> Symbols;
    std::vector<TLine> Lines;
    bool SymbolsRise = true;
    bool LinesRise = true;
};

TVLBinDebugScanner::TVLBinDebugScanner(const void* data, std::size_t size, bool cacheData) noexcept
    : FData(static_cast<const std::uint8_t*>(data)), FSize(size), FCacheData(cacheData)
{
    FValidFormat = IsValidBlock(data, size);
    if (FValidFormat) std::memcpy(&FHeader, FData, sizeof FHeader);
}

TVLBinDebugScanner::~TVLBinDebugScanner() = default;

bool TVLBinDebugScanner::IsValidBlock(const void* data, std::size_t size) noexcept
{
    if (data == nullptr || size < 35 || size % 4 != 0) return false;
    TVLJdbgHeader header;
    std::memcpy(&header, data, sizeof header);
    if (header.Signature != kJdbgSignature || header.Version != 1) return false;
    if (header.CheckSumValid == 0) return true;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < size; at += 4) {
        std::uint32_t word;
        std::memcpy(&word, bytes + at, 4);
        sum += word;
    }
    sum -= header.CheckSum;
    return ((sum >> 8) | (sum << 24)) == header.CheckSum;
}

std::string TVLBinDebugScanner::NameFromRef(std::uint32_t ref) const
{
    if (!FValidFormat || FHeader.Words >= FSize) return {};
    return JdbgNameFromRef(FData + FHeader.Words, FSize - FHeader.Words, ref);
}

std::string TVLBinDebugScanner::ModuleName() const
{
    return NameFromRef(FHeader.ModuleName);
}

bool TVLBinDebugScanner::FindPair(std::uint32_t listOffset, std::uint32_t addr, std::uint32_t& itemAddr,
                                  std::uint32_t& value) const noexcept
{
    itemAddr = 0;
    value = 0;
    if (!FValidFormat || listOffset >= FSize) return false;
    rtl::ByteCursor list(FData + listOffset, FSize - listOffset);
    std::uint32_t pairAddr = 0, pairValue = 0, delta = 0;
    bool found = false;
    while (NextValue(list, delta)) {
        pairAddr += delta;
        if (addr < pairAddr) break;
        if (!NextValue(list, delta)) break;
        pairValue += delta;
        itemAddr = pairAddr;
        value = pairValue;
        found = true;
    }
    return found;
}

std::uint32_t TVLBinDebugScanner::ModuleStartFromAddr(std::uint32_t addr) const noexcept
{
    std::uint32_t start = 0, name = 0;
    return FindPair(FHeader.Units, addr, start, name) ? start : kNoModuleStart;
}

std::string TVLBinDebugScanner::ModuleNameFromAddr(std::uint32_t addr) const
{
    std::uint32_t start = 0, name = 0;
    return FindPair(FHeader.Units, addr, start, name) ? NameFromRef(name) : std::string();
}

std::string TVLBinDebugScanner::SourceNameFromAddr(std::uint32_t addr) const
{
    std::uint32_t start = 0, name = 0;
    if (!FindPair(FHeader.SourceNames, addr, start, name) || start < ModuleStartFromAddr(addr)) return {};
    return NameFromRef(name);
}

const TVLBinDebugScanner::TCache* TVLBinDebugScanner::Cache() const noexcept
{
    if (!FCacheData || !FValidFormat) return nullptr;
    rtl::TCriticalSectionLock lock(FCacheLock);
    if (FCacheBuilt) return FCache.get();
    FCacheBuilt = true;
    try {
        auto cache = std::make_unique<TCache>();
        std::uint32_t delta = 0;
        if (FHeader.Symbols < FSize) {
            rtl::ByteCursor list(FData + FHeader.Symbols, FSize - FHeader.Symbols);
            TSymbol symbol{0, 0, 0};
            while (NextValue(list, delta)) {
                symbol.Addr += delta;
                if (!NextValue(list, delta)) break;
                symbol.FirstWord += delta;
                if (!NextValue(list, delta)) break;
                symbol.SecondWord += delta;
                cache->Symbols.push_back(symbol);
            }
        }
        if (FHeader.LineNumbers < FSize) {
            rtl::ByteCursor list(FData + FHeader.LineNumbers, FSize - FHeader.LineNumbers);
            TLine line{0, 0};
            while (NextValue(list, delta)) {
                line.Addr += delta;
                if (!NextValue(list, delta)) break;
                line.Line = static_cast<std::int32_t>(static_cast<std::uint32_t>(line.Line) + delta);
                cache->Lines.push_back(line);
            }
        }
        const auto byAddr = [](const auto& a, const auto& b) { return a.Addr < b.Addr; };
        cache->SymbolsRise = std::is_sorted(cache->Symbols.begin(), cache->Symbols.end(), byAddr);
        cache->LinesRise = std::is_sorted(cache->Lines.begin(), cache->Lines.end(), byAddr);
        cache->Symbols.shrink_to_fit();
        cache->Lines.shrink_to_fit();
        FCache = std::move(cache);
    } catch (...) {
        // Without memory for the cache the lists are walked as they lie.
        FCache.reset();
    }
    return FCache.get();
}

namespace {

// Of the entries up to the first one above addr, the last: in rising order
// found by halving, else by walking.
template <class T>
const T* CachedAtOrBelow(const std::vector<T>& entries, bool rising, std::uint32_t addr) noexcept
{
    std::size_t end = 0;
    if (rising) {
        end = static_cast<std::size_t>(
            std::upper_bound(entries.begin(), entries.end(), addr,
                             [](std::uint32_t value, const T& entry) { return value < entry.Addr; }) -
            entries.begin());
    } else {
        while (end < entries.size() && entries[end].Addr <= addr) ++end;
    }
    return end == 0 ? nullptr : &entries[end - 1];
}

}  // namespace

bool TVLBinDebugScanner::FindSymbol(std::uint32_t addr, TSymbol& found) const noexcept
{
    if (const TCache* cache = Cache()) {
        const TSymbol* symbol = CachedAtOrBelow(cache->Symbols, cache->SymbolsRise, addr);
        if (symbol == nullptr) return false;
        found = *symbol;
        return true;
    }
    if (!FValidFormat || FHeader.Symbols >= FSize) return false;
    rtl::ByteCursor list(FData + FHeader.Symbols, FSize - FHeader.Symbols);
    TSymbol symbol{0, 0, 0};
    std::uint32_t delta = 0;
    bool hit = false;
    while (NextValue(list, delta)) {
        symbol.Addr += delta;
        if (addr < symbol.Addr) break;
        if (!NextValue(list, delta)) break;
        symbol.FirstWord += delta;
        if (!NextValue(list, delta)) break;
        symbol.SecondWord += delta;
        found = symbol;
        hit = true;
    }
    return hit;
}

bool TVLBinDebugScanner::FindLine(std::uint32_t addr, TLine& found) const noexcept
{
    if (const TCache* cache = Cache()) {
        const TLine* line = CachedAtOrBelow(cache->Lines, cache->LinesRise, addr);
        if (line == nullptr) return false;
        found = *line;
        return true;
    }
    if (!FValidFormat || FHeader.LineNumbers >= FSize) return false;
    rtl::ByteCursor list(FData + FHeader.LineNumbers, FSize - FHeader.LineNumbers);
    TLine line{0, 0};
    std::uint32_t delta = 0;
    bool hit = false;
    while (NextValue(list, delta)) {
        line.Addr += delta;
        if (addr < line.Addr) break;
        if (!NextValue(list, delta)) break;
        line.Line = static_cast<std::int32_t>(static_cast<std::uint32_t>(line.Line) + delta);
        found = line;
        hit = true;
    }
    return hit;
}

std::string TVLBinDebugScanner::ProcNameFromAddr(std::uint32_t addr, std::int32_t& offset) const
{
    offset = 0;
    TSymbol symbol{};
    if (!FindSymbol(addr, symbol) || symbol.Addr < ModuleStartFromAddr(addr)) return {};
    std::string name = NameFromRef(symbol.FirstWord);
    if (symbol.SecondWord != 0) {
        name += '.';
        name += NameFromRef(symbol.SecondWord);
    }
    offset = static_cast<std::int32_t>(addr - symbol.Addr);
    return name;
}

std::string TVLBinDebugScanner::ProcNameFromAddr(std::uint32_t addr) const
{
    std::int32_t offset = 0;
    return ProcNameFromAddr(addr, offset);
}

std::int32_t TVLBinDebugScanner::LineNumberFromAddr(std::uint32_t addr, std::int32_t& offset) const noexcept
{
    offset = 0;
    TLine line{};
    if (!FindLine(addr, line) || line.Addr < ModuleStartFromAddr(addr)) return 0;
    offset = static_cast<std::int32_t>(addr - line.Addr);
    return line.Line;
}

std::int32_t TVLBinDebugScanner::LineNumberFromAddr(std::uint32_t addr) const noexcept
{
    std::int32_t offset = 0;
    return LineNumberFromAddr(addr, offset);
}

// ---- The source ------------------------------------------------------------------

bool TVLDebugInfoJedy::InitializeSource()
{
    FScanner.reset();
    FStream.reset();
    FData.clear();
    FFromSection = false;
    debuginfo::TImageHeaders headers;
    if (debuginfo::ReadImageHeaders(Module(), headers)) {
        for (const IMAGE_SECTION_HEADER& section : headers.Sections) {
            if (std::memcmp(section.Name, "JCLDEBUG", IMAGE_SIZEOF_SHORT_NAME) != 0) continue;
            const std::size_t size = std::min<std::size_t>(section.Misc.VirtualSize, section.SizeOfRawData);
            if (debuginfo::ReadImageRange(Module(), headers, section.VirtualAddress, size, FData)) FFromSection = true;
            break;
        }
    }
    if (!FFromSection) {
        const std::string moduleFile = GetFileName();
        if (moduleFile.empty() || !debuginfo::LoadSideFile(ChangeFileExt(moduleFile, ".jdbg"), FData)) return false;
    }
    FStream = std::make_unique<edebug::THModuleStream>(FData.data(), FData.size());
    FScanner = std::make_unique<TVLBinDebugScanner>(FStream->Memory(), static_cast<std::size_t>(FStream->Size()), true);
    return FScanner->ValidFormat();
}

bool TVLDebugInfoJedy::ValidData() const noexcept
{
    return FScanner != nullptr && FScanner->ValidFormat();
}

bool TVLDebugInfoJedy::GetLocationInfo(std::uintptr_t address, TVLLocationInfo& info) noexcept
{
    if (!ValidData()) return false;
    try {
        return debuginfo::LocationFromScanner(*FScanner, *this, address, info);
    } catch (...) {
        return false;
    }
}

}  // namespace crash
