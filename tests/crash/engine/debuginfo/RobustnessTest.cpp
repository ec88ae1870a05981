// Every fixture cut at every length, and with random changes, each copy
// ending right before an unreadable page: the readers must not read past the
// data, fail or raise; what they cannot read gives false or empty answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/crash/engine/debuginfo/DebugInfoTestSupport.h"
#include "tests/crash/engine/debuginfo/HandFixtures.h"

namespace crash::test {
namespace {

std::string_view View(const unsigned char* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// The offsets every lookup round asks about.
std::vector<std::uint32_t> Probes()
{
    std::vector<std::uint32_t> vas;
    for (const auto& a : fixtures::kMapAnswers) vas.push_back(a.Va);
    vas.push_back(0xFFFFFFFF);
    vas.push_back(0x7FFFFFFF);
    return vas;
}

template <class TScanner>
void LookEverywhere(const TScanner& scanner)
{
    static const std::vector<std::uint32_t> kProbes = Probes();
    for (std::uint32_t va : kProbes) {
        TVLLocationInfo info;
        if (LocationAt(scanner, va, info)) {
            ASSERT_FALSE(info.UnitName.empty());
        }
        std::int32_t offset = 0;
        scanner.ProcNameFromAddr(va, offset);
        scanner.LineNumberFromAddr(va, offset);
        scanner.SourceNameFromAddr(va);
        scanner.ModuleStartFromAddr(va);
    }
}

void CheckMap(std::string_view text)
{
    TGuardedCopy copy(text);
    TVLMapScanner scanner(copy.Text());
    LookEverywhere(scanner);
    TVLMapParser parser(copy.Text());
    int items = 0;
    parser.OnSegmentItem = [&](const TVLMapAddress&, std::uint32_t, const std::string&, const std::string&) {
        ++items;
    };
    parser.OnLineNumbers = [&](std::int32_t, const TVLMapAddress&) { ++items; };
    ASSERT_TRUE(parser.Parse());
}

// Cached and walked scanners over the same block answer alike, whatever the
// block holds.
void CheckJdbg(const std::uint8_t* data, std::size_t size, bool expectValid)
{
    TVLBinDebugScanner walked(data, size, false), cached(data, size, true);
    ASSERT_EQ(walked.ValidFormat(), expectValid);
    if (!expectValid) {
        TVLLocationInfo info;
        ASSERT_FALSE(LocationAt(walked, 0x40, info));
        ASSERT_FALSE(LocationAt(cached, 0x40, info));
        return;
    }
    LookEverywhere(walked);
    static const std::vector<std::uint32_t> kProbes = Probes();
    for (std::uint32_t va : kProbes) {
        std::int32_t o1 = 0, o2 = 0;
        ASSERT_EQ(walked.ProcNameFromAddr(va, o1), cached.ProcNameFromAddr(va, o2)) << va;
        ASSERT_EQ(o1, o2);
        ASSERT_EQ(walked.LineNumberFromAddr(va, o1), cached.LineNumberFromAddr(va, o2)) << va;
        ASSERT_EQ(o1, o2);
    }
    walked.ModuleName();
}

void CheckTd32(const std::uint8_t* data, std::size_t size, bool expectValid)
{
    TVLTD32InfoScanner scanner(data, size);
    const bool analysed = scanner.Analyse();
    if (!expectValid) {
        ASSERT_FALSE(analysed);
        TVLLocationInfo info;
        ASSERT_FALSE(LocationAt(scanner, 0x40, info));
        return;
    }
    LookEverywhere(scanner);
}

TEST(Robustness, MapsCutAtEveryLength)
{
    for (const std::string_view text : {kHandMapText, TextOf(fixtures::kMapText), TextOf(fixtures::kMapTextLowerH)}) {
        for (std::size_t cut = 0; cut <= text.size(); ++cut) {
            SCOPED_TRACE(cut);
            CheckMap(text.substr(0, cut));
            if (HasFatalFailure()) return;
        }
    }
}

TEST(Robustness, JdbgCutAtEveryLength)
{
    // Every cut that keeps the header and a length that is a multiple of 4 is
    // valid without a checksum; with one, only those that cut zero words
    // (padding) away.
    std::vector<std::uint8_t> open(std::begin(fixtures::kJdbgBlockXorOpen), std::end(fixtures::kJdbgBlockXorOpen));
    const struct {
        std::vector<std::uint8_t> block;
        bool checksum;
    } kBlocks[] = {
        {{std::begin(kHandBlock), std::end(kHandBlock)}, true},
        {{std::begin(fixtures::kJdbgBlock), std::end(fixtures::kJdbgBlock)}, true},
        {open, false},
    };
    for (const auto& b : kBlocks) {
        for (std::size_t cut = 0; cut <= b.block.size(); ++cut) {
            SCOPED_TRACE(cut);
            TGuardedCopy copy(View(b.block.data(), cut));
            const bool zeroWordsCut = std::all_of(b.block.begin() + static_cast<std::ptrdiff_t>(cut), b.block.end(),
                                                  [](std::uint8_t byte) { return byte == 0; });
            const bool valid = cut >= 35 && cut % 4 == 0 && (!b.checksum || zeroWordsCut);
            CheckJdbg(copy.Data(), copy.Size(), valid);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(Robustness, Td32CutAtEveryLength)
{
    for (const std::string_view data :
         {TextOf(kHandTd32), TextOf(fixtures::kTd32Data), TextOf(fixtures::kTd32DataFB0A)}) {
        for (std::size_t cut = 0; cut <= data.size(); ++cut) {
            SCOPED_TRACE(cut);
            TGuardedCopy copy(data.substr(0, cut));
            CheckTd32(copy.Data(), copy.Size(), cut == data.size());
            if (HasFatalFailure()) return;
        }
    }
}

// Up to eight bytes of the data set to random values, the last keep bytes
// left as they are.
std::string Changed(std::string_view data, std::mt19937& random, std::size_t keep)
{
    std::string changed(data);
    if (changed.size() <= keep) return changed;
    std::uniform_int_distribution<std::size_t> where(0, changed.size() - keep - 1);
    std::uniform_int_distribution<int> count(1, 8), value(0, 255), special(0, 3);
    for (int i = count(random); i > 0; --i) {
        // Now and then a value that makes counts and offsets large.
        const int kind = special(random);
        changed[where(random)] = static_cast<char>(kind == 0 ? 0xFF : kind == 1 ? 0x7F : value(random));
    }
    return changed;
}

TEST(Robustness, RandomChanges)
{
    std::mt19937 random(18);
    constexpr int kRounds = 600;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        CheckMap(Changed(TextOf(fixtures::kMapText), random, 0));
        // The block's checksum flag cleared, so that the changes reach the lists.
        std::string block = Changed(TextOf(fixtures::kJdbgBlock), random, 0);
        block[4] = 1;
        block.replace(0, 4, "JDBG");
        block[33] = 0;
        TGuardedCopy jdbg(block);
        CheckJdbg(jdbg.Data(), jdbg.Size(), true);
        // The signatures at the end kept, so that the changes reach the parser.
        const std::string td32 = Changed(TextOf(fixtures::kTd32Data), random, 8);
        TGuardedCopy copy(td32);
        TVLTD32InfoScanner scanner(copy.Data(), copy.Size());
        if (scanner.Analyse()) LookEverywhere(scanner);
        if (HasFatalFailure()) return;
    }
}

TEST(Robustness, ChecksumCatchesChanges)
{
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        const std::string block = Changed(TextOf(fixtures::kJdbgBlock), random, 0);
        if (block == TextOf(fixtures::kJdbgBlock)) continue;
        TGuardedCopy copy(block);
        TVLBinDebugScanner scanner(copy.Data(), copy.Size(), true);
        // A change that clears the flag, or leaves the words' sum alone,
        // passes; every other fails the check.
        if (copy.Data()[33] != 0) {
            std::uint32_t sum = 0;
            for (std::size_t at = 0; at < copy.Size(); at += 4) {
                std::uint32_t w;
                std::memcpy(&w, copy.Data() + at, 4);
                sum += w;
            }
            std::uint32_t stored;
            std::memcpy(&stored, copy.Data() + 29, 4);
            sum -= stored;
            const bool sumHolds = ((sum >> 8) | (sum << 24)) == stored;
            const bool headerHolds = std::memcmp(copy.Data(), "JDBG\x01", 5) == 0;
            EXPECT_EQ(scanner.ValidFormat(), sumHolds && headerHolds) << round;
        }
        LookEverywhere(scanner);
    }
}

}  // namespace
}  // namespace crash::test
