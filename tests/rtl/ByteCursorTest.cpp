// The bounded byte cursor: LEB128 numbers, encoded pointers and fixed-size
// reads at and past the end of their bytes.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "rtl/ByteCursor.h"

namespace {

using namespace std::string_view_literals;

std::string Hex(std::string_view bytes)
{
    std::string text;
    char part[4];
    for (unsigned char b : bytes) {
        std::snprintf(part, sizeof part, "%02X ", b);
        text += part;
    }
    return text;
}

rtl::ByteCursor Over(std::string_view bytes)
{
    return rtl::ByteCursor(bytes.data(), bytes.size());
}

enum class TWidth { U16, U32, S32, U64, S64 };

// Reads one number of the width; `value` as the 64-bit pattern of the result.
bool ReadNumber(rtl::ByteCursor& cursor, TWidth width, std::uint64_t& value)
{
    bool ok = false;
    switch (width) {
    case TWidth::U16: {
        std::uint16_t v = 1;
        ok = cursor.ReadUleb128(v);
        value = v;
        break;
    }
    case TWidth::U32: {
        std::uint32_t v = 1;
        ok = cursor.ReadUleb128(v);
        value = v;
        break;
    }
    case TWidth::S32: {
        std::int32_t v = 1;
        ok = cursor.ReadSleb128(v);
        value = static_cast<std::uint64_t>(static_cast<std::int64_t>(v));
        break;
    }
    case TWidth::U64: {
        std::uint64_t v = 1;
        ok = cursor.ReadUleb128(v);
        value = v;
        break;
    }
    case TWidth::S64: {
        std::int64_t v = 1;
        ok = cursor.ReadSleb128(v);
        value = static_cast<std::uint64_t>(v);
        break;
    }
    }
    return ok;
}

TEST(ByteCursor, Leb128NumbersFitTheirTypeOrFail)
{
    constexpr std::uint64_t kFails = 0;  // the value of a read that fails
    static constexpr struct {
        std::string_view bytes;
        TWidth width;
        bool ok;
        std::uint64_t value;  // as a 64-bit pattern; signed values sign-extended
        const char* what;
    } kCases[] = {
        {"\x02"sv, TWidth::U32, true, 2, "one byte"},
        {"\x80\x01"sv, TWidth::U32, true, 128, "two bytes"},
        {"\xE5\x8E\x26"sv, TWidth::U32, true, 624485, "three bytes"},
        {"\xFF\xFF\xFF\xFF\x0F"sv, TWidth::U32, true, 0xFFFFFFFFu, "five bytes, the largest 32-bit value"},
        {"\xFF\xFF\xFF\xFF\x1F"sv, TWidth::U32, false, kFails, "five bytes, bit 32 set"},
        {"\x80\x80\x80\x80\x80\x00"sv, TWidth::U32, true, 0, "six bytes padding a zero"},
        {"\x80\x80\x80\x80\x80\x01"sv, TWidth::U32, false, kFails, "six bytes, bit 35 set"},
        {"\xFF\xFF\x03"sv, TWidth::U16, true, 0xFFFF, "the largest 16-bit value"},
        {"\x80\x80\x04"sv, TWidth::U16, false, kFails, "bit 16 set"},
        {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01"sv, TWidth::U64, true, ~0ull, "ten bytes, the largest 64-bit value"},
        {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x02"sv, TWidth::U64, false, kFails, "ten bytes, bit 64 set"},
        {"\x7E"sv, TWidth::S32, true, static_cast<std::uint64_t>(-2), "minus two"},
        {"\xFF\x00"sv, TWidth::S32, true, 127, "127 needs a second byte for its sign"},
        {"\x80\x7F"sv, TWidth::S32, true, static_cast<std::uint64_t>(-128), "minus 128"},
        {"\xFF\xFF\xFF\xFF\x07"sv, TWidth::S32, true, 0x7FFFFFFF, "the largest 32-bit value"},
        {"\x80\x80\x80\x80\x78"sv, TWidth::S32, true, static_cast<std::uint64_t>(-2147483648ll), "the smallest"},
        {"\x80\x80\x80\x80\x08"sv, TWidth::S32, false, kFails, "one more than the largest"},
        {"\xFF\xFF\xFF\xFF\x77"sv, TWidth::S32, false, kFails, "one less than the smallest"},
        {"\xFF\xFF\xFF\xFF\x7F"sv, TWidth::S32, true, static_cast<std::uint64_t>(-1), "minus one padded to five bytes"},
        {"\x80\x80\x80\x80\x80\x80\x80\x80\x80\x7F"sv, TWidth::S64, true, 1ull << 63, "the smallest 64-bit value"},
        {"\x80\x80\x80\x80\x80\x80\x80\x80\x80\x01"sv, TWidth::S64, false, kFails, "2 to the 63rd"},
        {""sv, TWidth::U32, false, kFails, "no byte"},
        {"\x80"sv, TWidth::U32, false, kFails, "cut off after a continued byte"},
        {"\xFF\xFF\xFF"sv, TWidth::S32, false, kFails, "cut off after three"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.what) + ": " + Hex(c.bytes));
        rtl::ByteCursor cursor = Over(c.bytes);
        std::uint64_t value = 1;
        EXPECT_EQ(ReadNumber(cursor, c.width, value), c.ok);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(cursor.Failed(), !c.ok);
        // A number read whole ends the bytes here; a failed read moves nothing.
        EXPECT_EQ(cursor.Offset(), c.ok ? c.bytes.size() : 0u);
    }
}

TEST(ByteCursor, FixedReadsEndExactlyAtTheBoundary)
{
    const std::string_view bytes = "\x01\x02\x03\x04\x05\x06\x07"sv;
    static constexpr struct {
        std::size_t size;    // bytes the cursor is given
        std::size_t before;  // bytes skipped first
        std::size_t read;
        bool ok;
    } kCases[] = {
        {4, 0, 4, true},  {3, 0, 4, false}, {7, 3, 4, true}, {7, 4, 4, false},
        {0, 0, 1, false}, {0, 0, 0, true},  {7, 7, 0, true}, {7, 7, 1, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE("size " + std::to_string(c.size) + ", at " + std::to_string(c.before) + ", read " +
                     std::to_string(c.read));
        rtl::ByteCursor cursor(bytes.data(), c.size);
        ASSERT_TRUE(cursor.Skip(c.before));
        std::uint8_t out[8] = {};
        EXPECT_EQ(cursor.Read(out, c.read), c.ok);
        EXPECT_EQ(cursor.Offset(), c.ok ? c.before + c.read : c.before);
        if (c.ok) {
            EXPECT_EQ(cursor.AtEnd(), c.before + c.read == c.size);
            EXPECT_EQ(std::memcmp(out, bytes.data() + c.before, c.read), 0);
        }
    }
}

TEST(ByteCursor, AFailureStaysAndCarriesIntoNothingElse)
{
    rtl::ByteCursor cursor = Over("\x01\x02\x03"sv);
    std::uint32_t wide = 7;
    EXPECT_FALSE(cursor.Read(wide));
    EXPECT_EQ(wide, 0u);
    std::uint8_t narrow = 7;
    EXPECT_FALSE(cursor.Read(narrow)) << "a read that would fit still fails once the cursor failed";
    EXPECT_EQ(narrow, 0);
    EXPECT_TRUE(cursor.Failed());
    EXPECT_TRUE(cursor.At(0).Failed());

    // Cursors over parts of the same bytes.
    rtl::ByteCursor whole = Over("ab\0cd"sv);
    EXPECT_FALSE(whole.At(5).Failed());
    EXPECT_TRUE(whole.At(5).AtEnd());
    EXPECT_TRUE(whole.At(6).Failed());
    EXPECT_FALSE(whole.Failed()) << "a part past the end fails alone";
    std::string_view text;
    rtl::ByteCursor part = whole.Split(3);
    EXPECT_EQ(whole.Offset(), 3u);
    EXPECT_TRUE(part.ReadCString(text));
    EXPECT_EQ(text, "ab");
    EXPECT_TRUE(part.AtEnd());
    EXPECT_FALSE(whole.ReadCString(text)) << "\"cd\" has no zero before the end";
    EXPECT_TRUE(whole.Failed());
    rtl::ByteCursor shorter = Over("abc"sv);
    EXPECT_TRUE(shorter.Split(4).Failed());
    EXPECT_TRUE(shorter.Failed());
    EXPECT_TRUE(rtl::ByteCursor(nullptr, 4).Failed());
}

TEST(ByteCursor, EncodedPointersOfEveryFormAndApplication)
{
    const rtl::EncodedBases bases{0x1000, 0x2000, 0x3000};
    static constexpr struct {
        std::uint8_t encoding;
        std::string_view bytes;
        bool ok;
        std::uintptr_t value;
        bool pcRelative;  // the value is relative to the address of its bytes
        bool withBases;
        const char* what;
    } kCases[] = {
        {rtl::kEhPeAbsPtr, "\x78\x56\x34\x12"sv, true, 0x12345678, false, false, "absolute"},
        {rtl::kEhPeUdata2, "\xFE\xFF"sv, true, 0xFFFE, false, false, "unsigned 2 bytes"},
        {rtl::kEhPeSdata2, "\xFE\xFF"sv, true, static_cast<std::uintptr_t>(-2), false, false, "signed 2 bytes"},
        {rtl::kEhPeUdata4, "\x10\x00\x00\x80"sv, true, 0x80000010u, false, false, "unsigned 4 bytes"},
        {rtl::kEhPeSdata4, "\xFC\xFF\xFF\xFF"sv, true, static_cast<std::uintptr_t>(-4), false, false, "signed 4 bytes"},
        {rtl::kEhPeUdata8, "\x01\x00\x00\x00\x00\x00\x00\x00"sv, true, 1, false, false, "unsigned 8 bytes"},
        {rtl::kEhPeUdata8, "\x01\x00\x00\x00\x01\x00\x00\x00"sv, false, 0, false, false, "8 bytes beyond a pointer"},
        {rtl::kEhPeSdata8, "\xFC\xFF\xFF\xFF\xFF\xFF\xFF\xFF"sv, true, static_cast<std::uintptr_t>(-4), false, false,
         "signed 8 bytes"},
        {rtl::kEhPeSdata8, "\x00\x00\x00\x80\xFF\xFF\xFF\xFF"sv, true, 0x80000000u, false, false,
         "the smallest signed pointer in 8 bytes"},
        {rtl::kEhPeSdata8, "\xFF\xFF\xFF\x7F\xFF\xFF\xFF\xFF"sv, false, 0, false, false, "below it"},
        {rtl::kEhPeUleb128, "\xE5\x8E\x26"sv, true, 624485, false, false, "unsigned LEB128"},
        {rtl::kEhPeSleb128, "\x7C"sv, true, static_cast<std::uintptr_t>(-4), false, false, "signed LEB128"},
        {rtl::kEhPePcRel | rtl::kEhPeSdata4, "\x10\x00\x00\x00"sv, true, 16, true, false, "pc-relative"},
        {rtl::kEhPePcRel | rtl::kEhPeSdata4, "\xF0\xFF\xFF\xFF"sv, true, static_cast<std::uintptr_t>(-16), true, false,
         "pc-relative backwards"},
        {rtl::kEhPePcRel | rtl::kEhPeSdata4, "\x00\x00\x00\x00"sv, true, 0, false, false, "pc-relative 0 stays 0"},
        {rtl::kEhPeTextRel | rtl::kEhPeUdata2, "\x10\x00"sv, true, 0x1010, false, true, "text-relative"},
        {rtl::kEhPeDataRel | rtl::kEhPeUdata2, "\x10\x00"sv, true, 0x2010, false, true, "data-relative"},
        {rtl::kEhPeFuncRel | rtl::kEhPeUdata2, "\x10\x00"sv, true, 0x3010, false, true, "function-relative"},
        {rtl::kEhPeDataRel | rtl::kEhPeUdata2, "\x10\x00"sv, false, 0, false, false, "data-relative, base unknown"},
        {0x60 | rtl::kEhPeUdata2, "\x10\x00"sv, false, 0, false, true, "an unknown application"},
        {0x05, "\x10\x00\x00\x00"sv, false, 0, false, false, "an unknown format"},
        {rtl::kEhPeUdata4, "\x10\x00\x00"sv, false, 0, false, false, "cut off"},
        {rtl::kEhPeUleb128, "\x80\x80"sv, false, 0, false, false, "LEB128 cut off"},
        {rtl::kEhPeOmit, ""sv, true, 0, false, false, "omitted: nothing is read"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.what) + ": " + Hex(c.bytes));
        rtl::ByteCursor cursor = Over(c.bytes);
        std::uintptr_t value = 1;
        EXPECT_EQ(cursor.ReadEncoded(c.encoding, value, c.withBases ? bases : rtl::EncodedBases{}), c.ok);
        const std::uintptr_t expected = c.value + (c.pcRelative ? reinterpret_cast<std::uintptr_t>(c.bytes.data()) : 0);
        EXPECT_EQ(value, expected);
        EXPECT_EQ(cursor.Offset(), c.ok ? c.bytes.size() : 0u);
    }
    // The sizes by which a table of encoded values is indexed; none for the
    // forms whose size depends on the value.
    static constexpr struct {
        std::uint8_t encoding;
        std::size_t size;
    } kSizes[] = {
        {rtl::kEhPeAbsPtr, 4},
        {rtl::kEhPePcRel | rtl::kEhPeSdata4, 4},
        {rtl::kEhPeUdata2, 2},
        {rtl::kEhPeIndirect | rtl::kEhPeSdata8, 8},
        {rtl::kEhPeUleb128, 0},
        {rtl::kEhPeSleb128, 0},
        {0x05, 0},
    };
    for (const auto& c : kSizes) EXPECT_EQ(rtl::EncodedValueSize(c.encoding), c.size) << std::hex << int{c.encoding};
}

TEST(ByteCursor, IndirectAndAlignedPointersAreReadWhereTheyLie)
{
    // Indirect: the value is the address of the pointer, read by the checked
    // reader; one that points at no readable memory fails.
    const std::uintptr_t target = 0xCAFE0000;
    auto* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(reserved, nullptr);
    const struct {
        const void* slot;
        bool ok;
        const char* what;
    } kCases[] = {{&target, true, "a readable slot"}, {reserved, false, "a slot in reserved memory"}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const auto address = reinterpret_cast<std::uintptr_t>(c.slot);
        rtl::ByteCursor cursor(&address, sizeof address);
        std::uintptr_t value = 1;
        EXPECT_EQ(cursor.ReadEncoded(rtl::kEhPeIndirect | rtl::kEhPeAbsPtr, value), c.ok);
        EXPECT_EQ(value, c.ok ? target : 0u);
    }
    VirtualFree(reserved, 0, MEM_RELEASE);

    // Aligned: the pointer starts at the next multiple of its size.
    alignas(4) const std::uint8_t bytes[12] = {0xAA, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 0xBB};
    for (std::size_t start : {1u, 3u, 4u}) {
        SCOPED_TRACE("from offset " + std::to_string(start));
        rtl::ByteCursor cursor(bytes, sizeof bytes);
        ASSERT_TRUE(cursor.Skip(start));
        std::uintptr_t value = 0;
        EXPECT_TRUE(cursor.ReadEncoded(rtl::kEhPeAligned, value));
        EXPECT_EQ(value, 0x12345678u);
        EXPECT_EQ(cursor.Offset(), 8u);
    }
    rtl::ByteCursor shortCursor(bytes, 7);
    std::uintptr_t value = 0;
    ASSERT_TRUE(shortCursor.Skip(1));
    EXPECT_FALSE(shortCursor.ReadEncoded(rtl::kEhPeAligned, value)) << "the aligned pointer ends past the bytes";
    EXPECT_EQ(shortCursor.Offset(), 1u);
}

}  // namespace
