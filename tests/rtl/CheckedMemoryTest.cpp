// The checked reader: which pages may be read, and copies that never touch
// what the rule refuses.
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "rtl/CheckedMemory.h"
#include "rtl/SysUtils.h"
#include "tests/support/MemoryPages.h"

namespace {

using testsupport::kPage;
using testsupport::kRanges;
using testsupport::kUnreadable;
using CheckedPages = testsupport::MemoryPages;

TEST(CheckedMemory, OnlyPlainReadableProtectionsPass)
{
    static constexpr struct {
        DWORD protect;
        bool readable;
        const char* what;
    } kCases[] = {
        {PAGE_READONLY, true, "read-only"},
        {PAGE_READWRITE, true, "read-write"},
        {PAGE_WRITECOPY, true, "write-copy"},
        {PAGE_EXECUTE, true, "execute: x86 cannot refuse the read"},
        {PAGE_EXECUTE_READ, true, "execute-read"},
        {PAGE_EXECUTE_READWRITE, true, "execute-read-write"},
        {PAGE_EXECUTE_WRITECOPY, true, "execute-write-copy"},
        {PAGE_NOACCESS, false, "no access"},
        {0, false, "no protection (reserved or free)"},
        {PAGE_READWRITE | PAGE_GUARD, false, "guard"},
        {PAGE_EXECUTE_READ | PAGE_GUARD, false, "guard on code"},
        // Wine drops these modifiers from what VirtualQuery reports, so only
        // the rule itself can be shown refusing them.
        {PAGE_READWRITE | PAGE_NOCACHE, false, "no-cache"},
        {PAGE_READONLY | PAGE_WRITECOMBINE, false, "write-combine"},
        {PAGE_READONLY | PAGE_READWRITE, false, "two protections at once"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rtl::IsReadableProtection(c.protect), c.readable) << std::hex << c.protect;
    }
}

// Each range is checked and copied, without a cache and through one cache
// twice (the second pass answered from the regions the first one found).
TEST_F(CheckedPages, RangesOfEveryKindAreCopiedExactlyWhenReadable)
{
    rtl::ReadableRegionCache cache;
    rtl::ReadableRegionCache* const kCaches[] = {nullptr, &cache, &cache};
    static std::uint8_t copy[2 * kPage];
    for (rtl::ReadableRegionCache* regions : kCaches) {
        for (const auto& c : kRanges) {
            SCOPED_TRACE(std::string(c.what) + (regions ? " (cached)" : ""));
            const auto* from = reinterpret_cast<const void*>(At(c.page, c.offset));
            EXPECT_EQ(rtl::IsReadableMemory(from, c.size, regions), c.valid);
            std::memset(copy, 0xEE, sizeof copy);
            ASSERT_LE(c.size, sizeof copy);
            EXPECT_EQ(rtl::ReadMemory(from, copy, c.size, regions), c.valid);
            if (c.valid) {
                EXPECT_EQ(std::memcmp(copy, from, c.size), 0);
            } else {
                EXPECT_EQ(copy[0], 0xEE) << "a refused read copied something";
            }
            std::memset(copy, 0xEE, sizeof copy);
            EXPECT_EQ(rtl::ReadMemoryCatchable(from, copy, c.size, regions), c.valid);
            EXPECT_EQ(c.valid ? std::memcmp(copy, from, c.size) == 0 : copy[0] == 0xEE, true);
        }
    }
    ExpectGuardKept();
}

TEST_F(CheckedPages, ExtentsAndPrefixesStopWhereReadingMust)
{
    static constexpr struct {
        std::size_t page;
        std::size_t offset;
        std::size_t limit;
        std::size_t extent;
        const char* what;
    } kCases[] = {
        {0, 100, 16, 16, "within a page: the limit"},
        {0, 100, 3 * kPage, 2 * kPage - 100, "up to the guard page"},
        {1, kPage - 3, 8, 3, "three bytes before the guard page"},
        {2, 0, 8, 0, "at the guard page"},
        {3, 0, 8, 0, "reserved"},
        {5, 10, kPage, kPage - 10, "to the reservation's end"},
        {0, 0, 0, 0, "no bytes wanted"},
    };
    std::uint8_t copy[3 * kPage];
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const auto* from = reinterpret_cast<const std::uint8_t*>(At(c.page, c.offset));
        EXPECT_EQ(rtl::ReadableExtent(from, c.limit), c.extent);
        rtl::ReadableRegionCache cache;
        EXPECT_EQ(rtl::ReadableExtent(from, c.limit, &cache), c.extent);
        std::memset(copy, 0xEE, sizeof copy);
        ASSERT_EQ(rtl::ReadMemoryPrefix(from, copy, c.limit), c.extent);
        EXPECT_EQ(std::memcmp(copy, from, c.extent), 0);
        EXPECT_EQ(copy[c.extent], 0xEE) << "copied past the readable stretch";
    }
    ExpectGuardKept();
}

TEST_F(CheckedPages, NullAndRangesThatWrapAreRefused)
{
    for (const auto& c : kUnreadable) {
        SCOPED_TRACE(c.what);
        const auto* from = reinterpret_cast<const void*>(c.address);
        rtl::ReadableRegionCache cache;
        EXPECT_FALSE(rtl::IsReadableMemory(from, c.size));
        EXPECT_FALSE(rtl::IsReadableMemory(from, c.size, &cache));
    }
    // From a readable page, only the wrap can refuse these; once the page is
    // cached, too. An extent is clipped at the top instead.
    const auto* start = reinterpret_cast<const void*>(At(0));
    rtl::ReadableRegionCache cache;
    EXPECT_TRUE(rtl::IsReadableMemory(start, 1, &cache));
    EXPECT_FALSE(rtl::IsReadableMemory(start, 0xFFFFFFFFu, &cache));
    EXPECT_FALSE(rtl::IsReadableMemory(start, 0u - At(0) + 1, &cache));
    EXPECT_EQ(rtl::ReadableExtent(start, 0xFFFFFFFFu, &cache), 2 * kPage);
}

TEST(CheckedMemory, ReleasedMemoryIsRefusedAtOnce)
{
    auto* block = static_cast<std::uint32_t*>(VirtualAlloc(nullptr, kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    *block = 0x12345678;
    rtl::ReadableRegionCache cache;
    std::uint32_t value = 0;
    ASSERT_TRUE(rtl::ReadValue(block, value, &cache));
    EXPECT_EQ(value, 0x12345678u);
    ASSERT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    value = 0;
    EXPECT_FALSE(rtl::ReadValue(block, value));
    rtl::ReadableRegionCache newCache;
    EXPECT_FALSE(rtl::ReadValue(block, value, &newCache));
    EXPECT_EQ(value, 0u);
}

// A cache that still holds a region released since: the check passes, the
// copy faults, and the catchable copy lets the fault out as the runtime's
// EAccessViolation.
TEST(CheckedMemory, AFaultInACatchableCopyCanBeCaught)
{
    auto* block = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    rtl::ReadableRegionCache stale;
    std::uint8_t bytes[16];
    ASSERT_TRUE(rtl::ReadMemoryCatchable(block, bytes, sizeof bytes, &stale));
    ASSERT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_FALSE(rtl::ReadMemoryCatchable(block, bytes, sizeof bytes));  // checked afresh
    for (const bool prefix : {false, true}) {
        SCOPED_TRACE(prefix ? "prefix" : "whole");
        bool caught = false;
        try {
            if (prefix)
                rtl::ReadMemoryPrefixCatchable(block, bytes, sizeof bytes, &stale);
            else
                rtl::ReadMemoryCatchable(block, bytes, sizeof bytes, &stale);
        } catch (const rtl::EAccessViolation& e) {
            caught = true;
            EXPECT_EQ(e.AccessAddress(), block);
        }
        EXPECT_TRUE(caught);
    }
}

TEST(CheckedMemory, AnExecuteOnlyPageIsReadAndCopied)
{
    auto* page = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(page, nullptr);
    page[0] = 0xC3;
    DWORD previous = 0;
    ASSERT_TRUE(VirtualProtect(page, kPage, PAGE_EXECUTE, &previous));
    MEMORY_BASIC_INFORMATION info;
    ASSERT_EQ(VirtualQuery(page, &info, sizeof info), sizeof info);
    ASSERT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE));
    std::uint8_t code = 0;
    EXPECT_TRUE(rtl::ReadValue(page, code));
    EXPECT_EQ(code, 0xC3);
    VirtualFree(page, 0, MEM_RELEASE);
}

}  // namespace
