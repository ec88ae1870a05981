// The bounded byte reader. Lengths are compared with what remains before any
// pointer moves, so no pointer is ever formed past the end.
#include "rtl/ByteCursor.h"

#include <cstring>

#include "rtl/CheckedMemory.h"

namespace rtl {

std::size_t EncodedValueSize(std::uint8_t encoding) noexcept
{
    switch (encoding & 0x0F) {
    case kEhPeAbsPtr: return sizeof(std::uintptr_t);
    case kEhPeUdata2:
    case kEhPeSdata2: return 2;
    case kEhPeUdata4:
    case kEhPeSdata4: return 4;
    case kEhPeUdata8:
    case kEhPeSdata8: return 8;
    default: return 0;
    }
}

ByteCursor::ByteCursor(const void* data, std::size_t size) noexcept
{
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    if ((data == nullptr && size != 0) || size > std::numeric_limits<std::uintptr_t>::max() - start) {
        FFailed = true;
        return;
    }
    FStart = FPos = static_cast<const std::uint8_t*>(data);
    FEnd = FStart + size;
}

ByteCursor ByteCursor::At(std::size_t offset) const noexcept
{
    ByteCursor cursor = *this;
    if (FFailed || offset > Size()) {
        cursor.FFailed = true;
        return cursor;
    }
    cursor.FPos = FStart + offset;
    return cursor;
}

ByteCursor ByteCursor::Split(std::size_t count) noexcept
{
    ByteCursor part;
    const std::uint8_t* bytes = nullptr;
    if (!Take(count, bytes)) {
        part.FFailed = true;
        return part;
    }
    part.FStart = part.FPos = bytes;
    part.FEnd = bytes + count;
    return part;
}

bool ByteCursor::Seek(std::size_t offset) noexcept
{
    if (FFailed || offset > Size()) return Fail();
    FPos = FStart + offset;
    return true;
}

bool ByteCursor::Skip(std::size_t count) noexcept
{
    const std::uint8_t* bytes = nullptr;
    return Take(count, bytes);
}

bool ByteCursor::Take(std::size_t count, const std::uint8_t*& bytes) noexcept
{
    bytes = nullptr;
    if (FFailed || count > Remaining()) return Fail();
    bytes = FPos;
    FPos += count;
    return true;
}

bool ByteCursor::Read(void* out, std::size_t count) noexcept
{
    const std::uint8_t* bytes = nullptr;
    if (!Take(count, bytes)) return false;
    if (count != 0) std::memcpy(out, bytes, count);
    return true;
}

bool ByteCursor::ReadCString(std::string_view& text) noexcept
{
    text = {};
    if (FFailed) return false;
    const void* zero = std::memchr(FPos, 0, Remaining());
    if (zero == nullptr) return Fail();
    const std::size_t length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - FPos);
    text = std::string_view(reinterpret_cast<const char*>(FPos), length);
    FPos += length + 1;
    return true;
}

// Each group of seven bits is placed at its shift; the bits at and above
// `width` (for a signed number: above width - 1, where the sign lies) must all
// be copies of what the number means there, 0 for an unsigned number and the
// sign for a signed one, or the value does not fit.
bool ByteCursor::ReadLeb128(bool isSigned, unsigned width, std::uint64_t& bits) noexcept
{
    bits = 0;
    if (FFailed) return false;
    const unsigned firstHigh = isSigned ? width - 1 : width;  // the first bit that must be a copy
    int high = isSigned ? -1 : 0;                             // what those bits hold; -1: not seen yet
    std::uint64_t value = 0;
    unsigned shift = 0;
    const std::uint8_t* at = FPos;
    std::uint8_t byte;
    do {
        if (at == FEnd) return Fail();
        byte = *at++;
        const unsigned payload = byte & 0x7Fu;
        if (shift < 64) value |= static_cast<std::uint64_t>(payload) << shift;
        if (shift + 7 > firstHigh) {
            for (unsigned bit = 0; bit < 7; ++bit) {
                if (shift + bit < firstHigh) continue;
                const int set = static_cast<int>((payload >> bit) & 1u);
                if (high < 0) high = set;
                if (set != high) return Fail();
            }
        }
        if (shift < 128) shift += 7;
    } while (byte & 0x80);
    if (isSigned && (byte & 0x40) != 0 && shift < 64) value |= ~std::uint64_t(0) << shift;
    FPos = at;
    bits = value;
    return true;
}

bool ByteCursor::ReadEncoded(std::uint8_t encoding, std::uintptr_t& value, const EncodedBases& bases) noexcept
{
    value = 0;
    if (FFailed) return false;
    if (encoding == kEhPeOmit) return true;
    const std::uint8_t* const start = FPos;
    auto restore = [&]() noexcept {
        FPos = start;
        return Fail();
    };
    if (encoding == kEhPeAligned) {
        // The pointer lies at the next address that is a multiple of its size.
        const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(FPos) % sizeof(std::uintptr_t);
        if (misalignment != 0 && !Skip(sizeof(std::uintptr_t) - misalignment)) return restore();
        return Read(value) || restore();
    }
    std::uintptr_t raw = 0;
    bool ok = false;
    switch (encoding & 0x0F) {
    case kEhPeAbsPtr: ok = Read(raw); break;
    case kEhPeUleb128: ok = ReadUleb128(raw); break;
    case kEhPeSleb128: {
        std::intptr_t number = 0;
        ok = ReadSleb128(number);
        raw = static_cast<std::uintptr_t>(number);
        break;
    }
    case kEhPeUdata2: {
        std::uint16_t number = 0;
        ok = Read(number);
        raw = number;
        break;
    }
    case kEhPeSdata2: {
        std::int16_t number = 0;
        ok = Read(number);
        raw = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(number));
        break;
    }
    case kEhPeUdata4: {
        std::uint32_t number = 0;
        ok = Read(number);
        raw = number;
        break;
    }
    case kEhPeSdata4: {
        std::int32_t number = 0;
        ok = Read(number);
        raw = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(number));
        break;
    }
    case kEhPeUdata8: {
        std::uint64_t number = 0;
        ok = Read(number) && number <= std::numeric_limits<std::uintptr_t>::max();
        raw = static_cast<std::uintptr_t>(number);
        break;
    }
    case kEhPeSdata8: {
        std::int64_t number = 0;
        ok = Read(number) && number >= std::numeric_limits<std::intptr_t>::min() &&
             number <= std::numeric_limits<std::intptr_t>::max();
        raw = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(number));
        break;
    }
    default: break;
    }
    if (!ok) return restore();
    if (raw == 0) return true;
    switch (encoding & 0x70) {
    case 0: break;
    case kEhPePcRel: raw += reinterpret_cast<std::uintptr_t>(start); break;
    case kEhPeTextRel:
        if (bases.Text == 0) return restore();
        raw += bases.Text;
        break;
    case kEhPeDataRel:
        if (bases.Data == 0) return restore();
        raw += bases.Data;
        break;
    case kEhPeFuncRel:
        if (bases.Function == 0) return restore();
        raw += bases.Function;
        break;
    default: return restore();
    }
    if ((encoding & kEhPeIndirect) != 0 && !ReadValue(reinterpret_cast<const void*>(raw), raw)) return restore();
    value = raw;
    return true;
}

}  // namespace rtl
