// Identifiers of the crash reporter's customisable texts (TMessageType) and of
// the report-header items (TShowOption), and the bit-set type of its options.
//
// Constant data and value types only: usable from any thread and zone, nothing
// here allocates except TCustomizedTexts' strings.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "crash/engine/lang/MessageTextTable.h"

namespace crash {

// A set of the members of enumeration E, whose ordinals run 0 .. Count-1. Member
// n is bit n; the stored form is the smallest whole number of bytes, bit n in
// byte n / 8 at bit n % 8 (the options stream's layout).
template <typename E, std::size_t Count>
class EnumSet {
    static_assert(Count > 0 && Count <= 64);

public:
    static constexpr std::size_t kCount = Count;
    static constexpr std::size_t kByteCount = (Count + 7) / 8;
    using Bytes = std::array<std::uint8_t, kByteCount>;

    constexpr EnumSet() noexcept = default;
    constexpr EnumSet(std::initializer_list<E> members) noexcept
    {
        for (E member : members) Include(member);
    }

    // Every member of the enumeration.
    static constexpr EnumSet All() noexcept { return EnumSet(kAllBits); }

    // From the stored form; bits beyond the last member are dropped, so that a
    // damaged stream cannot yield members that do not exist.
    static constexpr EnumSet FromBytes(const Bytes& bytes) noexcept
    {
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < kByteCount; ++i) bits |= std::uint64_t{bytes[i]} << (8 * i);
        return EnumSet(bits & kAllBits);
    }
    constexpr Bytes ToBytes() const noexcept
    {
        Bytes bytes{};
        for (std::size_t i = 0; i < kByteCount; ++i) bytes[i] = static_cast<std::uint8_t>(FBits >> (8 * i));
        return bytes;
    }

    // A member outside the enumeration's range is never contained and cannot
    // be included.
    constexpr bool Contains(E member) const noexcept
    {
        const auto n = static_cast<std::size_t>(member);
        return n < Count && ((FBits >> n) & 1u) != 0;
    }
    constexpr void Include(E member) noexcept
    {
        const auto n = static_cast<std::size_t>(member);
        if (n < Count) FBits |= std::uint64_t{1} << n;
    }
    constexpr void Exclude(E member) noexcept
    {
        const auto n = static_cast<std::size_t>(member);
        if (n < Count) FBits &= ~(std::uint64_t{1} << n);
    }
    constexpr bool Empty() const noexcept { return FBits == 0; }
    constexpr std::uint64_t Bits() const noexcept { return FBits; }

    friend constexpr EnumSet operator+(EnumSet a, EnumSet b) noexcept { return EnumSet(a.FBits | b.FBits); }
    friend constexpr EnumSet operator-(EnumSet a, EnumSet b) noexcept { return EnumSet(a.FBits & ~b.FBits); }
    friend constexpr EnumSet operator*(EnumSet a, EnumSet b) noexcept { return EnumSet(a.FBits & b.FBits); }
    friend constexpr bool operator==(const EnumSet&, const EnumSet&) noexcept = default;

private:
    static constexpr std::uint64_t kAllBits = Count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << Count) - 1;
    constexpr explicit EnumSet(std::uint64_t bits) noexcept : FBits(bits) {}

    std::uint64_t FBits = 0;
};

// The customisable texts, in stored order (see MessageTextTable.h).
enum TMessageType : std::uint8_t {
#define VEXLOR_MESSAGE_ENUMERATOR(name, text) name,
    VEXLOR_MESSAGE_TYPES(VEXLOR_MESSAGE_ENUMERATOR)
#undef VEXLOR_MESSAGE_ENUMERATOR
};

inline constexpr std::size_t kMessageTypeCount = 0
#define VEXLOR_MESSAGE_COUNT(name, text) +1
    VEXLOR_MESSAGE_TYPES(VEXLOR_MESSAGE_COUNT)
#undef VEXLOR_MESSAGE_COUNT
    ;
static_assert(kMessageTypeCount == 157);

// One text per identifier, indexed by TMessageType.
using TCustomizedTexts = std::array<std::string, kMessageTypeCount>;

// The items the report header may show, in stored order.
enum TShowOption : std::uint8_t {
#define VEXLOR_SHOW_OPTION_ENUMERATOR(name, header, label) name,
    VEXLOR_SHOW_OPTIONS(VEXLOR_SHOW_OPTION_ENUMERATOR)
#undef VEXLOR_SHOW_OPTION_ENUMERATOR
};

inline constexpr std::size_t kShowOptionCount = 0
#define VEXLOR_SHOW_OPTION_COUNT(name, header, label) +1
    VEXLOR_SHOW_OPTIONS(VEXLOR_SHOW_OPTION_COUNT)
#undef VEXLOR_SHOW_OPTION_COUNT
    ;
static_assert(kShowOptionCount == 48);

using TShowOptions = EnumSet<TShowOption, kShowOptionCount>;
static_assert(TShowOptions::kByteCount == 6);

// The text that labels a report-header item, and the header of its section.
// soCustomData is labelled by the custom information section's header.
constexpr TMessageType ShowOptionLabel(TShowOption option) noexcept
{
    constexpr TMessageType kLabels[] = {
#define VEXLOR_SHOW_OPTION_LABEL(name, header, label) label,
        VEXLOR_SHOW_OPTIONS(VEXLOR_SHOW_OPTION_LABEL)
#undef VEXLOR_SHOW_OPTION_LABEL
    };
    return option < kShowOptionCount ? kLabels[option] : mtLog_CustInfoHeader;
}
constexpr TMessageType ShowOptionSection(TShowOption option) noexcept
{
    constexpr TMessageType kSections[] = {
#define VEXLOR_SHOW_OPTION_SECTION(name, header, label) header,
        VEXLOR_SHOW_OPTIONS(VEXLOR_SHOW_OPTION_SECTION)
#undef VEXLOR_SHOW_OPTION_SECTION
    };
    return option < kShowOptionCount ? kSections[option] : mtLog_CustInfoHeader;
}

}  // namespace crash
