// Base64 encoding and decoding.
#include "crash/engine/EBase64.h"

#include <array>

namespace crash {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';

// Indexed by the unsigned byte, so that no input byte can reach outside it;
// bytes outside the alphabet decode as zero bits.
constexpr std::array<std::uint8_t, 256> kDecodeTable = [] {
    std::array<std::uint8_t, 256> table{};
    for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}();

}  // namespace

std::size_t CalcEncodedSize(std::size_t count) noexcept
{
    return (count + 2) / 3 * 4;
}

std::size_t CalcDecodedSize(const char* text, std::size_t length) noexcept
{
    if (length == 0 || length % 4 != 0) return 0;
    std::size_t size = length / 4 * 3;
    if (text[length - 2] == kPad)
        size -= 2;
    else if (text[length - 1] == kPad)
        size -= 1;
    return size;
}

std::size_t Base64Encode(const void* source, std::size_t count, char* dest) noexcept
{
    const auto* in = static_cast<const std::uint8_t*>(source);
    char* out = dest;
    std::size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const std::uint32_t group = (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | in[i + 2];
        *out++ = kAlphabet[(group >> 18) & 0x3F];
        *out++ = kAlphabet[(group >> 12) & 0x3F];
        *out++ = kAlphabet[(group >> 6) & 0x3F];
        *out++ = kAlphabet[group & 0x3F];
    }
    if (const std::size_t rest = count - i; rest != 0) {
        std::uint32_t group = std::uint32_t{in[i]} << 16;
        if (rest == 2) group |= std::uint32_t{in[i + 1]} << 8;
        *out++ = kAlphabet[(group >> 18) & 0x3F];
        *out++ = kAlphabet[(group >> 12) & 0x3F];
        *out++ = rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : kPad;
        *out++ = kPad;
    }
    return static_cast<std::size_t>(out - dest);
}

std::size_t Base64Decode(const char* source, std::size_t length, void* dest) noexcept
{
    if (length == 0 || length % 4 != 0) return 0;
    // Bytes that 0..4 characters of a group carry.
    static constexpr std::size_t kBytesOfChars[5] = {0, 0, 1, 2, 3};
    auto* out = static_cast<std::uint8_t*>(dest);
    for (std::size_t i = 0; i < length; i += 4) {
        std::uint32_t group = 0;
        std::size_t chars = 0;
        while (chars < 4 && source[i + chars] != kPad) {
            group |= std::uint32_t{kDecodeTable[static_cast<unsigned char>(source[i + chars])]} << (18 - 6 * chars);
            ++chars;
        }
        const std::size_t bytes = kBytesOfChars[chars];
        for (std::size_t b = 0; b < bytes; ++b) *out++ = static_cast<std::uint8_t>(group >> (16 - 8 * b));
        // Padding ends the data: whatever follows it is not Base64 of ours,
        // and stopping here keeps the output within CalcDecodedSize.
        if (chars < 4) break;
    }
    return static_cast<std::size_t>(out - static_cast<std::uint8_t*>(dest));
}

std::string Base64EncodeString(const std::string& text)
{
    return Base64EncodeToString(text.data(), text.size());
}

std::string Base64DecodeString(const std::string& text)
{
    std::string result(CalcDecodedSize(text.data(), text.size()), '\0');
    result.resize(Base64Decode(text.data(), text.size(), result.data()));
    return result;
}

std::string Base64EncodeToString(const void* source, std::size_t count)
{
    std::string result(CalcEncodedSize(count), '\0');
    Base64Encode(source, count, result.data());
    return result;
}

}  // namespace crash
