// Checked memory ranges and import-thunk targets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "crash/engine/ECore.h"
#include "tests/support/MemoryPages.h"

namespace crash {
namespace {

using testsupport::kPage;
using testsupport::kRanges;
using testsupport::RangeCase;
// The pages of every kind, as the runtime's checked reader is tested on them:
// these are its thin callers.
using Memory = testsupport::MemoryPages;

TEST_F(Memory, RangesOfEveryKind)
{
    for (const RangeCase& c : kRanges) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(IsValidBlockAddr(At(c.page, c.offset), c.size), c.valid);
    }
    // Reading the guard page's state must not have spent its guard.
    ExpectGuardKept();
}

TEST_F(Memory, ARegionCacheAnswersTheSame)
{
    TValidRegionCache cache;
    for (int pass = 0; pass < 2; ++pass) {
        for (const RangeCase& c : kRanges) {
            SCOPED_TRACE(std::string(c.what) + " pass " + std::to_string(pass));
            EXPECT_EQ(cache.IsValidBlockAddr(At(c.page, c.offset), c.size), c.valid);
        }
    }
}

// The first pages are readable, so only the wrap guard can refuse these.
TEST_F(Memory, RangesFromAReadablePageThatWrapPastTheTop)
{
    const struct {
        std::uintptr_t address;
        std::size_t size;
        const char* what;
    } kWraps[] = {
        {At(0), 0xFFFFFFFFu, "the whole address space less one byte"},
        {At(0), 0u - At(0) + 1, "one byte past the top"},
    };
    for (const auto& c : kWraps) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(IsValidBlockAddr(c.address, c.size));
        TValidRegionCache cache;
        EXPECT_FALSE(cache.IsValidBlockAddr(c.address, c.size));
        // Once the page is in the cache, the wrap must still be refused.
        EXPECT_TRUE(cache.IsValidBlockAddr(c.address, 1));
        EXPECT_FALSE(cache.IsValidBlockAddr(c.address, c.size));
    }
}

TEST(MemoryCheck, NullWrapAndCode)
{
    for (const auto& c : testsupport::kUnreadable) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(IsValidBlockAddr(c.address, c.size));
        TValidRegionCache cache;
        EXPECT_FALSE(cache.IsValidBlockAddr(c.address, c.size));
    }
    EXPECT_TRUE(IsValidBlockAddr(reinterpret_cast<const void*>(&IsGreaterVersion), 16));
    int local = 0;
    EXPECT_TRUE(IsValidBlockAddr(&local, sizeof local));
}

TEST(MemoryCheck, FreedMemoryReadsAsInvalidAtOnce)
{
    void* block = VirtualAlloc(nullptr, kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(block, nullptr);
    {
        TValidRegionCache walk;
        EXPECT_TRUE(walk.IsValidBlockAddr(reinterpret_cast<std::uintptr_t>(block), 64));
    }
    EXPECT_TRUE(IsValidBlockAddr(block, 64));
    ASSERT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_FALSE(IsValidBlockAddr(block, 64));
    TValidRegionCache nextWalk;
    EXPECT_FALSE(nextWalk.IsValidBlockAddr(reinterpret_cast<std::uintptr_t>(block), 64));
}

// A jump through a slot: FF 25 and the slot's address.
void PutThunk(std::uint8_t* at, std::uintptr_t slot)
{
    at[0] = 0xFF;
    at[1] = 0x25;
    const auto address = static_cast<std::uint32_t>(slot);
    std::memcpy(at + 2, &address, sizeof address);
    at[6] = at[7] = 0x90;
}

TEST_F(Memory, ThunksLeadToTheirTarget)
{
    std::uint8_t* code = Page(0);
    const std::uintptr_t slot = At(0, 256);
    const std::uint32_t target = 0x12345678;
    std::memcpy(Page(0) + 256, &target, sizeof target);

    PutThunk(code, slot);
    EXPECT_EQ(ConvertAddress(At(0)), target);

    PutThunk(code + 16, At(3));  // the slot lies in reserved memory
    EXPECT_EQ(ConvertAddress(At(0, 16)), At(0, 16));

    code[32] = 0xFF;  // another instruction
    code[33] = 0x15;
    EXPECT_EQ(ConvertAddress(At(0, 32)), At(0, 32));

    EXPECT_EQ(ConvertAddress(At(3)), At(3));  // unreadable
    EXPECT_EQ(ConvertAddress(0), 0u);
}

// A jump at the end of the read-only page, with the guard page right behind:
// the 8 bytes of a thunk entry are not all readable, so nothing is followed and
// nothing of the guard page is read (which would spend its guard).
TEST_F(Memory, AThunkAtThePageEndIsNotFollowed)
{
    const std::uint32_t target = 0x12345678;
    std::memcpy(Page(0) + 256, &target, sizeof target);
    const auto slot = static_cast<std::uint32_t>(At(0, 256));
    std::uint8_t jump[6] = {0xFF, 0x25};
    std::memcpy(jump + 2, &slot, sizeof slot);

    static constexpr struct {
        std::size_t left;  // bytes between the jump and the page's end
        const char* what;
    } kCases[] = {
        {6, "the jump fits, its 8-byte entry does not"},
        {4, "two bytes of the slot on the page"},
        {2, "only the opcode on the page"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        std::uint8_t* at = Page(1) + kPage - c.left;
        DWORD previous = 0;
        ASSERT_TRUE(VirtualProtect(Page(1), kPage, PAGE_READWRITE, &previous));
        std::memcpy(at, jump, std::min(c.left, sizeof jump));
        ASSERT_TRUE(VirtualProtect(Page(1), kPage, PAGE_READONLY, &previous));
        EXPECT_EQ(ConvertAddress(reinterpret_cast<std::uintptr_t>(at)), reinterpret_cast<std::uintptr_t>(at));
    }
    ExpectGuardKept();
}

}  // namespace
}  // namespace crash
