// Instruction-length decoding for the detours and for routine sizes.
#include "crash/engine/EHook.h"
#include "crash/engine/hook/HookInternals.h"

#include <algorithm>
#include <array>

#include "rtl/CheckedMemory.h"

namespace crash {
namespace {

using hook_detail::TAsmInfo;

// Opcode classes, written as the x86 opcode map is usually drawn: one row per
// high hexadecimal digit. 0 to 13: bytes after the opcode (11: a 32-bit
// immediate, 13: a 6-byte far pointer, both shorter with 66); 14: a ModRM byte
// follows; 15: not decoded.
constexpr const char* kOneByteClasses[16] = {
    "eeee1b00eeee1b0f", "eeee1b00eeee1b00", "eeee1bf0eeee1bf0", "eeee1bf0eeee1bf0",
    "0000000000000000", "0000000000000000", "00eeffffbe1e0000", "1111111111111111",
    "eeeeeeeeeeeeeeee", "0000000000d00000", "444400001b000000", "11111111bbbbbbbb",
    "ee20eeee30200100", "eeee1100eeeeeeee", "11111111bbd10000", "f0ff00ee000000ee",
};
constexpr const char* kTwoByteClasses[16] = {
    "eeeef00000fffe0f", "eeeeeeeeefffffff", "eeeeffffeeeeeeee", "000000ffffffffff",
    "eeeeeeeeeeeeeeee", "eeeeeeeeeeeeeeee", "eeeeeeeeeeeeffee", "eeeeeee0ffffffee",
    "bbbbbbbbbbbbbbbb", "eeeeeeeeeeeeeeee", "000eeeee000eeeee", "eeeeeeeeffeeeeee",
    "eeeeeeee00000000", "feeeeefeeeeeeeee", "eeeeeefeeeeeeeee", "feeeeeeeeeeeeeef",
};

constexpr std::uint8_t HexDigit(char c)
{
    return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10);
}

// One byte per opcode value: the one-byte class in the low four bits, the
// class after 0F in the high four.
constexpr std::array<std::uint8_t, 256> MakeClassTable()
{
    std::array<std::uint8_t, 256> table{};
    for (int op = 0; op < 256; ++op) {
        const std::uint8_t low = HexDigit(kOneByteClasses[op >> 4][op & 15]);
        const std::uint8_t high = HexDigit(kTwoByteClasses[op >> 4][op & 15]);
        table[op] = static_cast<std::uint8_t>(low | (high << 4));
    }
    return table;
}
constexpr std::array<std::uint8_t, 256> kClassTable = MakeClassTable();

constexpr std::uint8_t kModRM = 14;
constexpr std::uint8_t kNotDecoded = 15;

constexpr bool IsPrefix(std::uint8_t b)
{
    switch (b) {
    case 0x26:
    case 0x2E:
    case 0x36:
    case 0x3E:
    case 0x64:
    case 0x65:
    case 0x66:
    case 0x67:
    case 0xF0:
    case 0xF2:
    case 0xF3: return true;
    default: return false;
    }
}

constexpr bool TwoByteHasImm8(std::uint8_t op)
{
    switch (op) {
    case 0x70:
    case 0x71:
    case 0x72:
    case 0x73:
    case 0xA4:
    case 0xAC:
    case 0xBA:
    case 0xC2:
    case 0xC4:
    case 0xC5:
    case 0xC6: return true;
    default: return false;
    }
}

// An instruction is at most 15 bytes long; a longer run of prefixes is not
// code, and following it would read on without end.
constexpr std::size_t kMaxPrefixes = 14;
constexpr std::size_t kMaxInstructionLength = 15;

}  // namespace

namespace hook_detail {

bool DecodeAsm(const std::uint8_t* code, std::size_t available, TAsmInfo& info) noexcept
{
    info = TAsmInfo{};
    bool addressSize = false;
    std::size_t pos = 0;
    while (pos < available && IsPrefix(code[pos])) {
        if (code[pos] == 0x66) info.FOperandSize = true;
        if (code[pos] == 0x67) addressSize = true;
        if (++pos > kMaxPrefixes) return false;
    }
    if (pos >= available) {
        info.FDecoded = true;  // known so far, but cut short
        return false;
    }
    info.FPrefixes = static_cast<std::uint8_t>(pos);

    std::uint8_t op = code[pos];
    std::size_t opcodeLength = 1;
    std::uint8_t cls;
    if (op == 0x0F) {
        if (pos + 1 >= available) {
            info.FDecoded = true;
            return false;
        }
        op = code[pos + 1];
        opcodeLength = 2;
        info.FTwoByte = true;
        cls = kClassTable[op] >> 4;
    } else {
        cls = kClassTable[op] & 15;
    }
    info.FOpcode = op;
    if (cls == kNotDecoded) return false;
    info.FDecoded = true;

    std::size_t length = opcodeLength;
    if (cls == kModRM) {
        const std::size_t modrmAt = pos + opcodeLength;
        if (modrmAt >= available) return false;
        const std::uint8_t modrm = code[modrmAt];
        const unsigned mod = modrm >> 6;
        const unsigned reg = (modrm >> 3) & 7;
        const unsigned rm = modrm & 7;
        std::size_t addressing = 0;
        if (info.FTwoByte && op >= 0x20 && op <= 0x23) {
            // Moves to and from control and debug registers take a register
            // whatever the mod field says: no displacement follows.
        } else if (addressSize) {
            switch (mod) {
            case 0: addressing = rm == 6 ? 2 : 0; break;
            case 1: addressing = 1; break;
            case 2: addressing = 2; break;
            default: break;
            }
        } else {
            switch (mod) {
            case 0:
                if (rm == 4) {
                    if (modrmAt + 1 >= available) return false;
                    addressing = 1 + ((code[modrmAt + 1] & 7) == 5 ? 4 : 0);
                } else if (rm == 5) {
                    addressing = 4;
                }
                break;
            case 1: addressing = rm == 4 ? 2 : 1; break;
            case 2: addressing = rm == 4 ? 5 : 4; break;
            default: break;
            }
        }
        std::size_t immediate = 0;
        const std::size_t full = info.FOperandSize ? 2 : 4;
        if (info.FTwoByte) {
            if (TwoByteHasImm8(op)) immediate = 1;
        } else {
            switch (op) {
            case 0x6B:
            case 0x80:
            case 0x82:
            case 0x83:
            case 0xC0:
            case 0xC1:
            case 0xC6: immediate = 1; break;
            case 0xF6: immediate = reg == 0 ? 1 : 0; break;
            case 0x69:
            case 0x81:
            case 0xC7: immediate = full; break;
            case 0xF7: immediate = reg == 0 ? full : 0; break;
            default: break;
            }
        }
        length += 1 + addressing + immediate;
    } else {
        std::size_t follow = cls;
        if (follow > 6) follow -= info.FOperandSize ? 9 : 7;
        // The direct-offset moves take a 16-bit offset under the 67 prefix.
        if (!info.FTwoByte && op >= 0xA0 && op <= 0xA3 && addressSize) follow = 2;
        length += follow;
    }
    length += pos;
    if (length > available) return false;
    info.FLength = static_cast<std::uint8_t>(length);
    return true;
}

}  // namespace hook_detail

bool GetAsmSize(const void* code, std::uint8_t& size) noexcept
{
    TAsmInfo info;
    // The caller vouches for 15 bytes, the longest an instruction can be; a
    // longer prefix chain is not decoded rather than read past them.
    const bool decoded = hook_detail::DecodeAsm(static_cast<const std::uint8_t*>(code), kMaxInstructionLength, info);
    size = decoded ? info.FLength : 1;
    return decoded;
}

std::size_t GetFunctionSize(const void* address, std::size_t maxLength) noexcept
{
    if (maxLength == 0) return 0;
    const auto* code = static_cast<const std::uint8_t*>(address);
    // The routine is decoded from copies of its readable bytes, a window at a
    // time, refilled while less than the longest instruction is left in it.
    std::uint8_t window[256];
    std::size_t windowAt = 0;  // the routine's offset of window[0]
    std::size_t windowLength = 0;
    bool last = false;  // the window reaches the end of the readable bytes
    std::size_t pos = 0;
    while (pos < maxLength) {
        if (!last && windowAt + windowLength - pos < kMaxInstructionLength) {
            const std::size_t want = std::min(sizeof window, maxLength - pos);
            windowLength = rtl::ReadMemoryPrefix(code + pos, window, want);
            windowAt = pos;
            last = windowLength < want || want == maxLength - pos;
        }
        const std::size_t available = windowAt + windowLength - pos;
        if (available == 0) break;
        TAsmInfo info;
        if (!hook_detail::DecodeAsm(window + (pos - windowAt), available, info)) {
            if (info.FDecoded) break;  // the instruction runs past the readable bytes
            ++pos;                     // an unknown byte counts as one
            continue;
        }
        pos += info.FLength;
        if (!info.FTwoByte && hook_detail::IsReturnOpcode(info.FOpcode)) return pos;
    }
    return 1;
}

}  // namespace crash
