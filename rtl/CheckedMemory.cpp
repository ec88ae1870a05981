// The checked reader: VirtualQuery decides, memcpy copies. Reading the own
// process through ReadProcessMemory would survive a page released in between,
// but costs a round trip to the server under Wine for every read.
#include "rtl/CheckedMemory.h"

#include <windows.h>

#include <cstring>
#include <limits>

namespace rtl {
namespace {

constexpr std::uintptr_t kTop = std::numeric_limits<std::uintptr_t>::max();

// The last byte of the readable region holding `address`; false when the page
// of `address` may not be read.
bool ReadableRegionAt(std::uintptr_t address, std::uintptr_t& last, ReadableRegionCache* cache) noexcept
{
    if (cache != nullptr && cache->Find(address, last)) return true;
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) != sizeof info) return false;
    if (info.State != MEM_COMMIT || !IsReadableProtection(info.Protect) || info.RegionSize == 0) return false;
    const auto base = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
    last = base + (info.RegionSize - 1);
    if (last < base || last < address) return false;  // an answer that makes no sense is no answer
    if (cache != nullptr) cache->Add(base, last);
    return true;
}

// The number of readable bytes from `address` up to and including `want`.
std::size_t ReadableUpTo(std::uintptr_t address, std::uintptr_t want, ReadableRegionCache* cache) noexcept
{
    std::uintptr_t at = address;
    for (;;) {
        std::uintptr_t last = 0;
        if (!ReadableRegionAt(at, last, cache)) return at - address;
        if (last >= want) return want - address + 1;
        at = last + 1;  // last < want <= kTop: no wrap
    }
}

// Byte by byte through a volatile pointer, so that the compiler makes no call
// of memcpy of it: each load is an instruction of ours that may fault.
void CopyOwn(void* buffer, const void* address, std::size_t size)
{
    const volatile auto* from = static_cast<const volatile std::uint8_t*>(address);
    auto* to = static_cast<std::uint8_t*>(buffer);
    for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
}

}  // namespace

bool IsReadableProtection(std::uint32_t protect) noexcept
{
    switch (protect) {
    case PAGE_READONLY:
    case PAGE_READWRITE:
    case PAGE_WRITECOPY:
    // x86 page tables cannot refuse a read of a page that may be executed:
    // Windows gives PAGE_EXECUTE pages a present, read-only entry, and Wine maps
    // them readable as well.
    case PAGE_EXECUTE:
    case PAGE_EXECUTE_READ:
    case PAGE_EXECUTE_READWRITE:
    case PAGE_EXECUTE_WRITECOPY: return true;
    default: return false;
    }
}

bool ReadableRegionCache::Find(std::uintptr_t address, std::uintptr_t& last) const noexcept
{
    for (std::size_t i = 0; i < FCount; ++i) {
        if (address >= FRegions[i].Base && address <= FRegions[i].Last) {
            last = FRegions[i].Last;
            return true;
        }
    }
    return false;
}

void ReadableRegionCache::Add(std::uintptr_t base, std::uintptr_t last) noexcept
{
    FRegions[FNext] = {base, last};
    FNext = (FNext + 1) % kRegions;
    if (FCount < kRegions) ++FCount;
}

bool IsReadableMemory(const void* address, std::size_t size, ReadableRegionCache* cache) noexcept
{
    const auto first = reinterpret_cast<std::uintptr_t>(address);
    if (first == 0) return false;
    const std::size_t count = size == 0 ? 1 : size;
    if (count - 1 > kTop - first) return false;  // wraps past the top
    const std::uintptr_t last = first + (count - 1);
    return ReadableUpTo(first, last, cache) == last - first + 1;
}

std::size_t ReadableExtent(const void* address, std::size_t limit, ReadableRegionCache* cache) noexcept
{
    const auto first = reinterpret_cast<std::uintptr_t>(address);
    if (first == 0 || limit == 0) return 0;
    const std::uintptr_t want = limit - 1 > kTop - first ? kTop : first + (limit - 1);
    return ReadableUpTo(first, want, cache);
}

bool ReadMemory(const void* address, void* buffer, std::size_t size, ReadableRegionCache* cache) noexcept
{
    if (!IsReadableMemory(address, size, cache)) return false;
    if (size != 0) std::memcpy(buffer, address, size);
    return true;
}

std::size_t ReadMemoryPrefix(const void* address, void* buffer, std::size_t size, ReadableRegionCache* cache) noexcept
{
    const std::size_t readable = ReadableExtent(address, size, cache);
    if (readable != 0) std::memcpy(buffer, address, readable);
    return readable;
}

bool ReadMemoryCatchable(const void* address, void* buffer, std::size_t size, ReadableRegionCache* cache)
{
    if (!IsReadableMemory(address, size, cache)) return false;
    CopyOwn(buffer, address, size);
    return true;
}

std::size_t ReadMemoryPrefixCatchable(const void* address, void* buffer, std::size_t size, ReadableRegionCache* cache)
{
    const std::size_t readable = ReadableExtent(address, size, cache);
    CopyOwn(buffer, address, readable);
    return readable;
}

}  // namespace rtl
