// A bounded reader of bytes, for tables the program parses: the exception
// tables of its own image, the debug information it reads from files.
//
// Every read is checked against the end first. A read that does not fit is a
// result, never a read: it answers false, leaves the value zero and the
// position where it was, and marks the cursor failed, so that a parser may read
// a whole record and ask Failed() once. Every later read of a failed cursor
// fails too. Zone: safe in hooks (no heap, no locks, nothing raised).
//
// The caller vouches that the bytes from start to end may be read (a buffer it
// owns, or memory it saw checked); the cursor reads nothing outside them, except
// the pointer an indirect encoding names, which goes through the checked reader.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <type_traits>

namespace rtl {

// Pointer encodings of exception tables: the value's format in the low four
// bits, what it is relative to in the next three, and a flag for a value that
// is the address of the pointer.
constexpr std::uint8_t kEhPeAbsPtr = 0x00, kEhPeUleb128 = 0x01, kEhPeUdata2 = 0x02, kEhPeUdata4 = 0x03,
                       kEhPeUdata8 = 0x04, kEhPeSleb128 = 0x09, kEhPeSdata2 = 0x0A, kEhPeSdata4 = 0x0B,
                       kEhPeSdata8 = 0x0C;
constexpr std::uint8_t kEhPePcRel = 0x10, kEhPeTextRel = 0x20, kEhPeDataRel = 0x30, kEhPeFuncRel = 0x40,
                       kEhPeAligned = 0x50;
constexpr std::uint8_t kEhPeIndirect = 0x80, kEhPeOmit = 0xFF;

// What the text-, data- and function-relative encodings are relative to; a
// base of 0 is one the reader does not know, and a value in that encoding fails.
struct EncodedBases {
    std::uintptr_t Text = 0;
    std::uintptr_t Data = 0;
    std::uintptr_t Function = 0;
};

// The size of a value of the encoding's format; 0 for the LEB128 formats,
// whose size depends on the value, and for an unknown format.
std::size_t EncodedValueSize(std::uint8_t encoding) noexcept;

class ByteCursor {
public:
    // A cursor over no bytes.
    ByteCursor() noexcept = default;
    // Over `size` bytes from `data`; a failed empty cursor for null data or a
    // range that wraps past the top of the address space.
    ByteCursor(const void* data, std::size_t size) noexcept;

    std::size_t Size() const noexcept { return static_cast<std::size_t>(FEnd - FStart); }
    std::size_t Offset() const noexcept { return static_cast<std::size_t>(FPos - FStart); }
    std::size_t Remaining() const noexcept { return static_cast<std::size_t>(FEnd - FPos); }
    bool AtEnd() const noexcept { return FPos == FEnd; }
    bool Failed() const noexcept { return FFailed; }
    const std::uint8_t* Position() const noexcept { return FPos; }

    // A cursor over the same bytes, at `offset` from their start; a failed one
    // when the offset lies past the end or this cursor has failed.
    ByteCursor At(std::size_t offset) const noexcept;
    // A cursor over the next `count` bytes alone, which this one moves past;
    // a failed one (and this one failed) when fewer remain.
    ByteCursor Split(std::size_t count) noexcept;
    // Moves to `offset` from the start; false past the end.
    bool Seek(std::size_t offset) noexcept;
    bool Skip(std::size_t count) noexcept;
    // The next `count` bytes in place.
    bool Take(std::size_t count, const std::uint8_t*& bytes) noexcept;
    bool Read(void* out, std::size_t count) noexcept;

    // A value of fixed size, in the byte order of the machine.
    template <class T>
    bool Read(T& value) noexcept
    {
        static_assert(std::is_trivially_copyable_v<T>);
        value = T{};
        return Read(&value, sizeof value);
    }

    // LEB128 numbers. Redundant high groups are allowed (assemblers pad with
    // them); a number whose value does not fit in T fails, as does one cut off
    // by the end.
    template <class T>
    bool ReadUleb128(T& value) noexcept
    {
        static_assert(std::is_integral_v<T> && std::is_unsigned_v<T> && sizeof(T) <= 8);
        std::uint64_t bits = 0;
        value = 0;
        if (!ReadLeb128(false, 8 * sizeof(T), bits)) return false;
        value = static_cast<T>(bits);
        return true;
    }
    template <class T>
    bool ReadSleb128(T& value) noexcept
    {
        static_assert(std::is_integral_v<T> && std::is_signed_v<T> && sizeof(T) <= 8);
        std::uint64_t bits = 0;
        value = 0;
        if (!ReadLeb128(true, 8 * sizeof(T), bits)) return false;
        value = static_cast<T>(static_cast<std::int64_t>(bits));
        return true;
    }

    // A zero-terminated string, without its zero; fails when no zero comes
    // before the end.
    bool ReadCString(std::string_view& text) noexcept;

    // A pointer in an exception table's encoding (kEhPe*). The pc-relative form
    // is relative to the address of the value itself; a value of 0 stays 0 in
    // every form, as the C++ runtime reads it; kEhPeOmit reads nothing and gives
    // 0. An unknown format or application, a base `bases` lacks, a value that
    // does not fit a pointer, or an indirect pointer that is not readable fails.
    bool ReadEncoded(std::uint8_t encoding, std::uintptr_t& value, const EncodedBases& bases = {}) noexcept;

private:
    bool Fail() noexcept
    {
        FFailed = true;
        return false;
    }
    bool ReadLeb128(bool isSigned, unsigned width, std::uint64_t& bits) noexcept;

    const std::uint8_t* FStart = nullptr;
    const std::uint8_t* FPos = nullptr;
    const std::uint8_t* FEnd = nullptr;
    bool FFailed = false;
};

}  // namespace rtl
