// The options cipher: 32-round block function, chaining and the tail.
#include "crash/engine/EEncrypt.h"

#include <cstring>

#include "crash/engine/EHash.h"

namespace crash {

namespace {

constexpr std::uint32_t kDelta = 0x9E3779B9;
constexpr std::uint32_t kDecipherSum = 0xC6EF3720;  // 32 times kDelta
constexpr int kRounds = 32;
constexpr std::size_t kBlock = 8;

// The chaining block restarts at all ones with every call, so that the same
// input always gives the same output.
constexpr std::uint8_t kChainStart[kBlock] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

TCipherContext gDefaultContext;

std::uint32_t LoadBig(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

void StoreBig(std::uint32_t value, std::uint8_t* bytes)
{
    bytes[0] = static_cast<std::uint8_t>(value >> 24);
    bytes[1] = static_cast<std::uint8_t>(value >> 16);
    bytes[2] = static_cast<std::uint8_t>(value >> 8);
    bytes[3] = static_cast<std::uint8_t>(value);
}

void EncipherBlock(const std::uint32_t (&k)[4], std::uint8_t* block)
{
    std::uint32_t v0 = LoadBig(block);
    std::uint32_t v1 = LoadBig(block + 4);
    std::uint32_t sum = 0;
    for (int round = 0; round < kRounds; ++round) {
        sum += kDelta;
        v0 += (v1 << 4) + (v1 ^ k[0]) + ((v1 >> 5) ^ sum) + k[1];
        v1 += (v0 << 4) + (v0 ^ k[2]) + ((v0 >> 5) ^ sum) + k[3];
    }
    StoreBig(v0, block);
    StoreBig(v1, block + 4);
}

void DecipherBlock(const std::uint32_t (&k)[4], std::uint8_t* block)
{
    std::uint32_t v0 = LoadBig(block);
    std::uint32_t v1 = LoadBig(block + 4);
    std::uint32_t sum = kDecipherSum;
    for (int round = 0; round < kRounds; ++round) {
        v1 -= (v0 << 4) + (v0 ^ k[2]) + ((v0 >> 5) ^ sum) + k[3];
        v0 -= (v1 << 4) + (v1 ^ k[0]) + ((v1 >> 5) ^ sum) + k[1];
        sum -= kDelta;
    }
    StoreBig(v0, block);
    StoreBig(v1, block + 4);
}

// Both directions end alike: the chaining block enciphered once more gives the
// bytes that mask a tail shorter than a block.
void MaskTail(const std::uint32_t (&k)[4], std::uint8_t* chain, const std::uint8_t* source, std::uint8_t* dest,
              std::size_t count)
{
    EncipherBlock(k, chain);
    for (std::size_t i = 0; i < count; ++i) dest[i] = source[i] ^ chain[i];
}

}  // namespace

void InitKey(TCipherContext& context, std::string_view key) noexcept
{
    std::uint8_t digest[16];
    GetMD5(digest, key.data(), key.size());
    for (int i = 0; i < 4; ++i) context.FKey[i] = LoadBig(digest + 4 * i);
}

void Encrypt(const TCipherContext& context, const void* source, void* dest, std::size_t count) noexcept
{
    const auto* from = static_cast<const std::uint8_t*>(source);
    auto* to = static_cast<std::uint8_t*>(dest);
    std::uint8_t chain[kBlock];
    std::memcpy(chain, kChainStart, kBlock);
    std::size_t done = 0;
    for (; count - done >= kBlock; done += kBlock) {
        for (std::size_t i = 0; i < kBlock; ++i) chain[i] ^= from[done + i];
        EncipherBlock(context.FKey, chain);
        std::memcpy(to + done, chain, kBlock);
    }
    if (done < count) MaskTail(context.FKey, chain, from + done, to + done, count - done);
}

void Decrypt(const TCipherContext& context, const void* source, void* dest, std::size_t count) noexcept
{
    const auto* from = static_cast<const std::uint8_t*>(source);
    auto* to = static_cast<std::uint8_t*>(dest);
    std::uint8_t chain[kBlock];
    std::memcpy(chain, kChainStart, kBlock);
    std::size_t done = 0;
    for (; count - done >= kBlock; done += kBlock) {
        std::uint8_t block[kBlock];
        std::memcpy(block, from + done, kBlock);  // kept: the output may overwrite it
        std::uint8_t plain[kBlock];
        std::memcpy(plain, block, kBlock);
        DecipherBlock(context.FKey, plain);
        for (std::size_t i = 0; i < kBlock; ++i) to[done + i] = plain[i] ^ chain[i];
        std::memcpy(chain, block, kBlock);
    }
    if (done < count) MaskTail(context.FKey, chain, from + done, to + done, count - done);
}

void InitKey(const std::string& key) noexcept
{
    InitKey(gDefaultContext, key);
}

void Encrypt(const void* source, void* dest, std::size_t count) noexcept
{
    Encrypt(gDefaultContext, source, dest, count);
}

void Decrypt(const void* source, void* dest, std::size_t count) noexcept
{
    Decrypt(gDefaultContext, source, dest, count);
}

}  // namespace crash
