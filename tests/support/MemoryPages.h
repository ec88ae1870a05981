// Pages of every kind side by side, and the ranges over them that a checked
// read must accept or refuse: the fixture of the runtime's checked reader and
// of the crash reporter's memory checks, which are its callers.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include <gtest/gtest.h>

namespace testsupport {

constexpr std::size_t kPage = 4096;

// In one reservation: 0 read-write, 1 read-only (a region of its own), 2 guard,
// 3 reserved only, 4 no-access, 5 execute-read. Pages 0 and 1 carry a pattern:
// the byte at offset i from the first page is i % 251.
class MemoryPages : public ::testing::Test {
protected:
    void SetUp() override
    {
        FBase = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 6 * kPage, MEM_RESERVE, PAGE_NOACCESS));
        ASSERT_NE(FBase, nullptr);
        Commit(0, PAGE_READWRITE);
        Commit(1, PAGE_READWRITE);
        for (std::size_t i = 0; i < 2 * kPage; ++i) FBase[i] = static_cast<std::uint8_t>(i % 251);
        DWORD previous = 0;
        ASSERT_TRUE(VirtualProtect(Page(1), kPage, PAGE_READONLY, &previous));
        Commit(2, PAGE_READWRITE | PAGE_GUARD);
        Commit(4, PAGE_NOACCESS);
        Commit(5, PAGE_EXECUTE_READ);
    }
    void TearDown() override { VirtualFree(FBase, 0, MEM_RELEASE); }
    void Commit(std::size_t page, DWORD protect)
    {
        ASSERT_NE(VirtualAlloc(Page(page), kPage, MEM_COMMIT, protect), nullptr) << page;
    }
    std::uint8_t* Page(std::size_t page) const { return FBase + page * kPage; }
    std::uintptr_t At(std::size_t page, std::size_t offset = 0) const
    {
        return reinterpret_cast<std::uintptr_t>(Page(page)) + offset;
    }
    // Whether the guard page still has its guard: no check may have touched it.
    void ExpectGuardKept() const
    {
        MEMORY_BASIC_INFORMATION info;
        ASSERT_EQ(VirtualQuery(Page(2), &info, sizeof info), sizeof info);
        EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE | PAGE_GUARD));
    }
    std::uint8_t* FBase = nullptr;
};

struct RangeCase {
    std::size_t page;
    std::size_t offset;
    std::size_t size;
    bool valid;
    const char* what;
};

inline constexpr RangeCase kRanges[] = {
    {0, 0, kPage, true, "a whole read-write page"},
    {0, 0, 1, true, "one byte"},
    {0, 100, 0, true, "no bytes: the page itself"},
    {0, kPage - 8, 16, true, "straddling two readable regions"},
    {0, 0, 2 * kPage, true, "two readable regions whole"},
    {1, kPage - 8, 16, false, "straddling into a guard page"},
    {1, 0, kPage + 1, false, "one byte too far"},
    {2, 0, 1, false, "a guard page"},
    {3, 0, 1, false, "reserved, not committed"},
    {4, 0, 1, false, "no access"},
    {5, 0, kPage, true, "execute-read"},
    {5, kPage - 1, 2, false, "past the reservation's end"},
};

// Ranges that wrap past the top of the address space, or start where nothing is.
struct WrapCase {
    std::uintptr_t address;
    std::size_t size;
    const char* what;
};

inline constexpr WrapCase kUnreadable[] = {
    {0, 1, "null"},
    {0, 0, "null, no bytes"},
    {0xFFFFF000u, 0x2000, "wraps past 4 GB"},
    {0x00010000u, 0xFFFFFFFFu, "wraps from low memory"},
    {0xFFFFFFFFu, 1, "the last byte of the address space"},
};

}  // namespace testsupport
