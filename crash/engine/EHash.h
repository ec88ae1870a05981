// Hashes of the crash reporter: CRC-16/XMODEM (exception identifiers) and MD5
// (the options cipher's key).
//
// Pure functions of their input: any thread, any zone (no heap, no locks).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace crash {

// CRC-16/XMODEM of the bytes: polynomial 0x1021, initial value 0, no reflection,
// no final XOR. Empty text gives 0.
std::uint16_t GetCRC16(std::string_view text) noexcept;

// The MD5 digest (RFC 1321) of count bytes at data into digest. data may be null
// when count is 0.
void GetMD5(std::uint8_t (&digest)[16], const void* data, std::size_t count) noexcept;

}  // namespace crash
