// Base64 encoding and decoding.
#include "crash/engine/EBase64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace crash {
namespace {

constexpr std::uint8_t kGuard = 0xA5;

TEST(Base64, KnownTextsBothWays)
{
    static constexpr struct {
        const char* plain;
        const char* encoded;
    } kCases[] = {
        {"", ""},
        {"a", "YQ=="},
        {"ab", "YWI="},
        {"abc", "YWJj"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xFF\xFE\xFD", "//79"},  // high bytes reach the last two letters
        {"\xFB\xFF", "+/8="},
        {"\x80", "gA=="},
        {"\xCF\xF0\xE8\xE2\xE5\xF2", "z/Do4uXy"},  // "Привет" in code page 1251
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.encoded);
        const std::string plain = c.plain;
        const std::string encoded = c.encoded;
        EXPECT_EQ(Base64EncodeString(plain), encoded);
        EXPECT_EQ(Base64EncodeToString(plain.data(), plain.size()), encoded);
        EXPECT_EQ(CalcEncodedSize(plain.size()), encoded.size());
        EXPECT_EQ(CalcDecodedSize(encoded.data(), encoded.size()), plain.size());
        EXPECT_EQ(Base64DecodeString(encoded), plain);
    }
}

TEST(Base64, EveryByteValueRoundTripsWithinItsSize)
{
    std::vector<std::uint8_t> bytes(256);
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(255 - i);
    // Every tail length, so that both padded forms see high bytes.
    for (std::size_t count = 253; count <= 256; ++count) {
        SCOPED_TRACE(count);
        std::vector<char> text(CalcEncodedSize(count) + 4, static_cast<char>(kGuard));
        ASSERT_EQ(Base64Encode(bytes.data(), count, text.data()), CalcEncodedSize(count));
        EXPECT_EQ(std::string(text.end() - 4, text.end()), std::string(4, static_cast<char>(kGuard)));

        const std::size_t length = CalcEncodedSize(count);
        ASSERT_EQ(CalcDecodedSize(text.data(), length), count);
        std::vector<std::uint8_t> back(count + 4, kGuard);
        ASSERT_EQ(Base64Decode(text.data(), length, back.data()), count);
        EXPECT_EQ(std::vector<std::uint8_t>(back.begin(), back.begin() + count),
                  std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + count));
        EXPECT_EQ(std::vector<std::uint8_t>(back.begin() + count, back.end()), std::vector<std::uint8_t>(4, kGuard));
    }
}

TEST(Base64, LengthNotMultipleOfFourDecodesToNothing)
{
    static constexpr const char* kTexts[] = {"Y", "YW", "YWJ", "YWJjY", "YWJjYWI", "YQ=", "YQ==="};
    for (const char* text : kTexts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(CalcDecodedSize(text, std::strlen(text)), 0u);
        std::uint8_t untouched = kGuard;
        EXPECT_EQ(Base64Decode(text, std::strlen(text), &untouched), 0u);
        EXPECT_EQ(untouched, kGuard);
        EXPECT_EQ(Base64DecodeString(text), "");
    }
}

// A misplaced "=" ends the data: never more bytes than CalcDecodedSize, and
// the string form carries only the bytes decoded, no filler.
TEST(Base64, MisplacedPaddingYieldsFewerBytes)
{
    static constexpr struct {
        const char* text;
        std::size_t sizeBound;  // CalcDecodedSize
        const char* decoded;
    } kCases[] = {
        {"YQ=A", 1, "a"}, {"Y=QA", 3, ""},      {"Y===", 1, ""},         {"====", 1, ""},
        {"=WJj", 3, ""},  {"YQ==YWJj", 6, "a"}, {"YWJjYQ=A", 4, "abca"}, {"YWJj====", 4, "abc"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        const std::size_t length = std::strlen(c.text);
        ASSERT_EQ(CalcDecodedSize(c.text, length), c.sizeBound);
        std::vector<std::uint8_t> out(c.sizeBound + 4, kGuard);
        const std::size_t written = Base64Decode(c.text, length, out.data());
        EXPECT_EQ(written, std::strlen(c.decoded));
        EXPECT_EQ(std::string(out.begin(), out.begin() + written), c.decoded);
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + c.sizeBound, out.end()),
                  std::vector<std::uint8_t>(4, kGuard));
        EXPECT_EQ(Base64DecodeString(c.text), c.decoded);
    }
}

// Every byte outside the alphabet, 0x80-0xFF included, decodes as zero bits
// in its place and disturbs nothing around it.
TEST(Base64, ByteOutsideAlphabetCountsAsZeroBits)
{
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    for (int value = 0; value < 256; ++value) {
        const char c = static_cast<char>(value);
        if (alphabet.find(c) != std::string::npos) continue;
        SCOPED_TRACE(value);
        for (std::size_t position = 0; position < 4; ++position) {
            std::string text = "YWJjZGVm";
            std::string expected = text;
            text[4 + position] = c;
            expected[4 + position] = 'A';
            EXPECT_EQ(Base64DecodeString(text), Base64DecodeString(expected));
        }
    }
}

}  // namespace
}  // namespace crash
