// MD5 (RFC 1321). Written here rather than taken from the system's crypto
// providers: the crash reporter needs it at start-up and in reports, where
// loading a provider DLL is neither cheap nor safe.
#include <cstring>

#include "crash/engine/EHash.h"

namespace crash {

namespace {

struct Md5State {
    std::uint32_t Words[4] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
};

constexpr std::uint32_t kSines[64] = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391,
};

constexpr unsigned kShifts[64] = {
    7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
    14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
    4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21,
};

constexpr std::uint32_t RotateLeft(std::uint32_t value, unsigned count)
{
    return (value << count) | (value >> (32 - count));
}

std::uint32_t LoadLittle(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void Transform(Md5State& state, const std::uint8_t* block)
{
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) m[i] = LoadLittle(block + 4 * i);
    std::uint32_t a = state.Words[0], b = state.Words[1], c = state.Words[2], d = state.Words[3];
    for (unsigned i = 0; i < 64; ++i) {
        std::uint32_t f;
        unsigned g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t next = b + RotateLeft(a + f + kSines[i] + m[g], kShifts[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state.Words[0] += a;
    state.Words[1] += b;
    state.Words[2] += c;
    state.Words[3] += d;
}

}  // namespace

void GetMD5(std::uint8_t (&digest)[16], const void* data, std::size_t count) noexcept
{
    Md5State state;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t left = count;
    for (; left >= 64; left -= 64, bytes += 64) Transform(state, bytes);

    // The tail, the 0x80 marker and the bit length fill one block, or two when
    // fewer than 9 bytes remain in the first.
    std::uint8_t tail[128] = {};
    if (left > 0) std::memcpy(tail, bytes, left);
    tail[left] = 0x80;
    const std::size_t tailSize = left < 56 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(count) * 8;
    for (int i = 0; i < 8; ++i) tail[tailSize - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Transform(state, tail);
    if (tailSize == 128) Transform(state, tail + 64);

    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state.Words[i] >> (8 * j));
}

}  // namespace crash
