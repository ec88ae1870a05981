// The checked reader of the own process's memory: one rule for which pages may
// be read, and reads that copy the bytes out, so that no caller dereferences
// memory it did not see checked.
//
// Zone: safe in hooks. Nothing here allocates, takes a lock of ours or raises;
// the only call made is VirtualQuery. A page released by another thread between
// the check and the copy still faults: callers that read the memory of running
// threads do so while those threads are held.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace rtl {

// Whether a committed page of this protection (as VirtualQuery reports it) may
// be read: exactly one of read-only, read-write, write-copy, execute,
// execute-read, execute-read-write and execute-write-copy, with no modifier. A
// guard page faults once and loses its guard when touched (the stack grows by
// it); no-cache and write-combine pages are where device memory is mapped, and
// a read there may be slow or act on the device.
bool IsReadableProtection(std::uint32_t protect) noexcept;

// Remembers the readable regions one walk or one report has found, so that a
// walk over many frames asks VirtualQuery once per region. Memory released
// while a cache lives still reads as readable through it: make one per walk,
// never keep one. Unreadable answers are not remembered.
class ReadableRegionCache {
public:
    // The last byte of the cached region holding `address`; false when none does.
    bool Find(std::uintptr_t address, std::uintptr_t& last) const noexcept;
    void Add(std::uintptr_t base, std::uintptr_t last) noexcept;

private:
    struct Region {
        std::uintptr_t Base;
        std::uintptr_t Last;  // the last byte, so that a region may end at the top
    };
    static constexpr std::size_t kRegions = 8;
    Region FRegions[kRegions] = {};
    std::size_t FCount = 0;
    std::size_t FNext = 0;
};

// Whether `size` bytes from `address` are committed and readable now: every
// region they touch passes IsReadableProtection. `size` 0 asks about the byte
// at `address`. False for null and for a range that wraps past the top of the
// address space. With a cache, regions found before are not asked again.
bool IsReadableMemory(const void* address, std::size_t size, ReadableRegionCache* cache = nullptr) noexcept;

// How many bytes from `address`, at most `limit`, are readable in one stretch.
std::size_t ReadableExtent(const void* address, std::size_t limit, ReadableRegionCache* cache = nullptr) noexcept;

// Copies `size` bytes from `address` into `buffer` when all of them are
// readable; else false, and nothing is copied.
bool ReadMemory(const void* address, void* buffer, std::size_t size, ReadableRegionCache* cache = nullptr) noexcept;

// Copies the readable stretch from `address`, at most `size` bytes, into
// `buffer`, and answers its length (0 when the first byte is not readable).
std::size_t ReadMemoryPrefix(const void* address, void* buffer, std::size_t size,
                             ReadableRegionCache* cache = nullptr) noexcept;

// ReadMemory of one value.
template <class T>
bool ReadValue(const void* address, T& value, ReadableRegionCache* cache = nullptr) noexcept
{
    static_assert(std::is_trivially_copyable_v<T>, "only plain values are copied out of unchecked memory");
    return ReadMemory(address, &value, sizeof value, cache);
}

// The same copies for callers that catch a fault. The copies above run in the
// C runtime's memcpy, under a noexcept: a page released between the check and
// the copy ends the program there. These copy with our own code and may
// raise, so that such a fault becomes the runtime's EAccessViolation for the
// caller to catch (outside a THookScope: inside one, faults are never thrown,
// and the check is the only guard). They allocate nothing and take no lock.
bool ReadMemoryCatchable(const void* address, void* buffer, std::size_t size, ReadableRegionCache* cache = nullptr);
std::size_t ReadMemoryPrefixCatchable(const void* address, void* buffer, std::size_t size,
                                      ReadableRegionCache* cache = nullptr);
template <class T>
bool ReadValueCatchable(const void* address, T& value, ReadableRegionCache* cache = nullptr)
{
    static_assert(std::is_trivially_copyable_v<T>, "only plain values are copied out of unchecked memory");
    return ReadMemoryCatchable(address, &value, sizeof value, cache);
}

}  // namespace rtl
