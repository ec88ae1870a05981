// The options cipher: a 64-bit block cipher with a 128-bit key, chained block
// by block, with which the library's embedded data (options, debug data) and the
// log's XML copy are enciphered.
//
// Source and destination may be the same buffer (or must not overlap at all);
// the output is as long as the input. No heap, no locks, no failures.
// Threads: the functions with a TCipherContext are safe on any number of threads
// (a context is only read). The three without one share the process-default key:
// InitKey must not run while another thread enciphers or deciphers with it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace crash {

// The key text of the library's embedded data; the build step that embeds them
// enciphers with the same text.
inline constexpr std::string_view kEmbeddedDataKey = "Vx.EmbeddedData/6.1";

// A key: the MD5 digest of the key text as four big-endian words.
struct TCipherContext {
    std::uint32_t FKey[4] = {};
};

void InitKey(TCipherContext& context, std::string_view key) noexcept;
void Encrypt(const TCipherContext& context, const void* source, void* dest, std::size_t count) noexcept;
void Decrypt(const TCipherContext& context, const void* source, void* dest, std::size_t count) noexcept;

// The same over the process-default key (all zero until the first InitKey).
void InitKey(const std::string& key) noexcept;
void Encrypt(const void* source, void* dest, std::size_t count) noexcept;
void Decrypt(const void* source, void* dest, std::size_t count) noexcept;

}  // namespace crash
