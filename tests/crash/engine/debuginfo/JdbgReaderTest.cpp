// Binary JDBG data: a block written out by hand, the block's check, its
// numbers and names, and the generated blocks with the answers computed for
// them, cached and not.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/crash/engine/debuginfo/DebugInfoTestSupport.h"
#include "tests/crash/engine/debuginfo/HandFixtures.h"

namespace crash::test {
namespace {

std::vector<std::uint8_t> HandBlock()
{
    return {std::begin(kHandBlock), std::end(kHandBlock)};
}

TEST(JdbgScanner, ReadsTheBlockWrittenByHand)
{
    for (const bool cached : {false, true}) {
        SCOPED_TRACE(cached ? "cached" : "walked");
        TVLBinDebugScanner scanner(kHandBlock, sizeof kHandBlock, cached);
        ASSERT_TRUE(scanner.ValidFormat());
        EXPECT_EQ(scanner.ModuleName(), "Mod");
        static constexpr struct {
            std::uint32_t va;
            const char* unit;
            const char* procedure;
            std::int32_t line;
            std::int32_t procOffsetLine;
            const char* source;
        } kCases[] = {
            {0x10, "Alpha", "TAlpha.Run", 7, 0, "a.pas"},
            {0x30, "Alpha", "TAlpha.Run", 8, 1, "a.pas"},
            {0x44, "Alpha", "Helper", 12, 0, "a.pas"},  // a second name of 0: the first alone
            // Beta's first symbol and line lie above 0x84: those before are
            // Alpha's and do not count.
            {0x80, "Beta", "", 0, 0,
             "\xAA"
             "b.pas"},
            {0x84, "Beta", "", 0, 0,
             "\xAA"
             "b.pas"},
            {0x90, "Beta", "@Init", 30, 0,
             "\xAA"
             "b.pas"},
            {0x1000, "Beta", "@Init", 30, 0,
             "\xAA"
             "b.pas"},  // units have no end
        };
        for (const auto& c : kCases) {
            SCOPED_TRACE(testing::Message() << "va 0x" << std::hex << c.va);
            TVLLocationInfo info;
            ASSERT_TRUE(LocationAt(scanner, c.va, info));
            EXPECT_EQ(info.UnitName, c.unit);
            EXPECT_EQ(info.ProcedureName, c.procedure);
            EXPECT_EQ(info.LineNumber, c.line);
            EXPECT_EQ(info.ProcOffsetLine, c.procOffsetLine);
            EXPECT_EQ(info.SourceName, c.source);
        }
        std::int32_t offset = 0;
        EXPECT_EQ(scanner.ProcNameFromAddr(0x30, offset), "TAlpha.Run");
        EXPECT_EQ(offset, 0x20);
        EXPECT_EQ(scanner.LineNumberFromAddr(0x30, offset), 8);
        EXPECT_EQ(offset, 0x10);
        TVLLocationInfo info;
        EXPECT_FALSE(LocationAt(scanner, 0x0F, info));
        EXPECT_EQ(scanner.ModuleStartFromAddr(0x0F), kNoModuleStart);
        EXPECT_EQ(scanner.ModuleStartFromAddr(0x84), 0x80u);
    }
}

TEST(JdbgScanner, BlockCheck)
{
    const auto withFlagClear = [](std::vector<std::uint8_t> block) {
        block[33] = 0;
        return block;
    };
    const auto badSum = [](std::vector<std::uint8_t> block) {
        block[29] ^= 1;
        return block;
    };
    const auto grown = [](std::vector<std::uint8_t> block, std::size_t by) {
        block.resize(block.size() + by);
        return block;
    };
    const auto prefix = [](std::size_t size) {
        return std::vector<std::uint8_t>(std::begin(kHandBlock), std::begin(kHandBlock) + size);
    };
    std::vector<std::uint8_t> wrongSignature = HandBlock(), version2 = HandBlock();
    wrongSignature[3] = 'H';
    version2[4] = 2;
    const struct {
        const char* what;
        std::vector<std::uint8_t> block;
        bool valid;
    } kCases[] = {
        {"as written", HandBlock(), true},
        {"checksum wrong, flag set", badSum(HandBlock()), false},
        {"checksum wrong, flag clear", withFlagClear(badSum(HandBlock())), true},
        {"a length not a multiple of 4", grown(withFlagClear(HandBlock()), 1), false},
        {"four more zero bytes, flag clear", grown(withFlagClear(HandBlock()), 4), true},
        {"wrong signature", withFlagClear(wrongSignature), false},
        {"version 2", withFlagClear(version2), false},
        {"32 bytes", prefix(32), false},
        {"36 bytes", withFlagClear(prefix(36)), true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TVLBinDebugScanner::IsValidBlock(c.block.data(), c.block.size()), c.valid);
        TVLBinDebugScanner scanner(c.block.data(), c.block.size(), true);
        EXPECT_EQ(scanner.ValidFormat(), c.valid);
        if (!c.valid) {
            EXPECT_EQ(scanner.ModuleNameFromAddr(0x10), "");
        }
    }
}

TEST(JdbgScanner, Numbers)
{
    static constexpr struct {
        unsigned char bytes[6];
        std::size_t size;
        std::size_t length;
        std::uint32_t value;
    } kCases[] = {
        {{0x05}, 1, 1, 5},
        {{0x80, 0x01}, 2, 2, 0x80},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x07}, 5, 5, 0x7FFFFFFF},
        {{0xED, 0xFF, 0xFF, 0xFF, 0x0F}, 5, 5, 0xFFFFFFED},  // a negative delta
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, 5, 5, 0xFFFFFFFF},  // bits past 32 dropped
        {{0x80, 0x80, 0x80, 0x80, 0x80, 0x01}, 6, 0, 0},     // longer than five bytes
        {{0x80, 0x80}, 2, 0, 0},                             // cut by the end
        {{0x00}, 0, 0, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "first byte 0x" << std::hex << int{c.bytes[0]} << ", " << c.size);
        std::uint32_t value = 1234;
        EXPECT_EQ(ReadJdbgValue(c.bytes, c.size, value), c.length);
        EXPECT_EQ(value, c.value);
    }
}

TEST(JdbgScanner, NameForms)
{
    const unsigned char* words = kHandBlock + 83;
    const std::size_t size = sizeof kHandBlock - 83;
    static constexpr struct {
        std::uint32_t ref;
        const char* name;
    } kCases[] = {
        {1, "Alpha"},
        {19, "Run"},
        {30, "@Init"},
        {35, "a.pas"},
        {42, "\xAA"
             "b.pas"},
        {50, "Mod"},
        {0, ""},   // no name
        {54, ""},  // past the area
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.ref);
        EXPECT_EQ(JdbgNameFromRef(words, size, c.ref), c.name);
    }
    // Cut inside its bytes, a name ends with its last whole character: "p"
    // would need two bits of the byte the cut took.
    EXPECT_EQ(JdbgNameFromRef(words, 3, 1), "Al");
    const unsigned char unterminated[] = {0x01, 0xCB, 0xCB};
    EXPECT_EQ(JdbgNameFromRef(unterminated, sizeof unterminated, 1), "aa");
    // 255 characters at most, even with more bytes and no end code.
    std::vector<unsigned char> endless(1 + 300, 0xFF);
    endless[0] = 0;
    EXPECT_EQ(JdbgNameFromRef(endless.data(), endless.size(), 1), std::string(255, '_'));
}

TEST(JdbgScanner, GeneratedBlocks)
{
    for (const bool cached : {false, true}) {
        SCOPED_TRACE(cached ? "cached" : "walked");
        TVLBinDebugScanner scanner(fixtures::kJdbgBlock, sizeof fixtures::kJdbgBlock, cached);
        ASSERT_TRUE(scanner.ValidFormat());
        EXPECT_EQ(scanner.ModuleName(), "FixtureModule");
        ExpectFixtureAnswers(scanner, fixtures::kJdbgAnswers);
        // Names XORed throughout, no checksum, and a line list that ends at the
        // end of the block with no end mark.
        TVLBinDebugScanner open(fixtures::kJdbgBlockXorOpen, sizeof fixtures::kJdbgBlockXorOpen, cached);
        ASSERT_TRUE(open.ValidFormat());
        ExpectFixtureAnswers(open, fixtures::kJdbgAnswers);
    }
}

TEST(JdbgScanner, CachedAnswersEqualWalkedOnes)
{
    // (Lists that do not rise, where the cache cannot halve, come with the
    // random changes of the robustness test.)
    const struct {
        const char* what;
        const std::uint8_t* data;
        std::size_t size;
    } kBlocks[] = {
        {"hand", kHandBlock, sizeof kHandBlock},
        {"generated", fixtures::kJdbgBlock, sizeof fixtures::kJdbgBlock},
        {"open", fixtures::kJdbgBlockXorOpen, sizeof fixtures::kJdbgBlockXorOpen},
    };
    for (const auto& b : kBlocks) {
        SCOPED_TRACE(b.what);
        TVLBinDebugScanner walked(b.data, b.size, false), cached(b.data, b.size, true);
        for (std::uint32_t va = 0; va < 0x800; ++va) {
            std::int32_t o1 = 0, o2 = 0;
            ASSERT_EQ(walked.ProcNameFromAddr(va, o1), cached.ProcNameFromAddr(va, o2)) << va;
            ASSERT_EQ(o1, o2) << va;
            ASSERT_EQ(walked.LineNumberFromAddr(va, o1), cached.LineNumberFromAddr(va, o2)) << va;
            ASSERT_EQ(o1, o2) << va;
        }
    }
}

}  // namespace
}  // namespace crash::test
