// CRC-16/XMODEM and MD5 against known answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "HashVectors.h"
#include "crash/engine/EHash.h"

namespace crash {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = vectors::PatternByte(i);
    return data;
}

std::string Hex(const std::uint8_t (&digest)[16])
{
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

TEST(Crc16, CheckValueAndKnownAnswers)
{
    EXPECT_EQ(GetCRC16("123456789"), 0x31C3);
    EXPECT_EQ(GetCRC16(""), 0);
    for (const auto& c : vectors::kCrc16) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(GetCRC16(std::string_view(c.data, c.size)), c.crc);
    }
}

TEST(Md5, Rfc1321Suite)
{
    static constexpr struct {
        const char* message;
        const char* digest;
    } kCases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.message);
        std::uint8_t digest[16];
        GetMD5(digest, c.message, std::char_traits<char>::length(c.message));
        EXPECT_EQ(Hex(digest), c.digest);
    }
    std::uint8_t digest[16];
    GetMD5(digest, nullptr, 0);
    EXPECT_EQ(Hex(digest), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5, LengthsAroundTheBlockEdges)
{
    for (const auto& c : vectors::kMd5) {
        SCOPED_TRACE(c.size);
        const std::vector<std::uint8_t> data = Pattern(c.size);
        std::uint8_t digest[16];
        GetMD5(digest, data.data(), data.size());
        EXPECT_EQ(Hex(digest), c.digest);
    }
}

}  // namespace
}  // namespace crash
