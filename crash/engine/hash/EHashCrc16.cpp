// CRC-16/XMODEM, table-driven.
#include <array>

#include "crash/engine/EHash.h"

namespace crash {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrc16Table()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrc16Table = MakeCrc16Table();
static_assert(kCrc16Table[1] == 0x1021 && kCrc16Table[2] == 0x2042);

}  // namespace

std::uint16_t GetCRC16(std::string_view text) noexcept
{
    std::uint16_t crc = 0;
    for (char c : text)
        crc = static_cast<std::uint16_t>(kCrc16Table[((crc >> 8) ^ static_cast<std::uint8_t>(c)) & 0xFF] ^ (crc << 8));
    return crc;
}

}  // namespace crash
