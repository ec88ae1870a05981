// Pattern scans of whole numbers.
#include "rtl/TextScan.h"

#include <charconv>
#include <limits>

namespace rtl {
namespace {

bool IsBlank(char c) noexcept
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(const char* pos, const char* end) noexcept
{
    return pos != end && *pos >= '0' && *pos <= '9';
}

// from_chars reads a "-" for signed types only, and never a "+". Digits
// beyond the type's range give its nearest end, as strtol defines it.
template <class Number>
bool ConvertNumber(const char*& pos, const char* end, Number& value) noexcept
{
    const char* first = pos;
    if (first != end && *first == '+') {
        ++first;
        if (!IsDigit(first, end)) return false;  // "+-5" is no number
    }
    Number number{};
    const auto [last, error] = std::from_chars(first, end, number);
    if (error == std::errc::result_out_of_range)
        number = *first == '-' ? std::numeric_limits<Number>::min() : std::numeric_limits<Number>::max();
    else if (error != std::errc())
        return false;
    value = number;
    pos = last;
    return true;
}

}  // namespace

bool ScanField::Convert(char kind, const char*& pos, const char* end) const noexcept
{
    if (kind == 'd' && FInt != nullptr) return ConvertNumber(pos, end, *FInt);
    if (kind == 'u' && FUnsigned != nullptr) return ConvertNumber(pos, end, *FUnsigned);
    return false;
}

int ScanFields(std::string_view text, std::string_view pattern, std::initializer_list<ScanField> fields) noexcept
{
    const char* pos = text.data();
    const char* const end = pos + text.size();
    const auto skipBlanks = [&] {
        while (pos != end && IsBlank(*pos)) ++pos;
    };
    const ScanField* field = fields.begin();
    int converted = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (IsBlank(c)) {
            skipBlanks();
        } else if (c != '%') {
            if (pos == end || *pos != c) break;
            ++pos;
        } else {
            if (++i == pattern.size() || field == fields.end()) break;
            skipBlanks();
            if (!field->Convert(pattern[i], pos, end)) break;
            ++field;
            ++converted;
        }
    }
    return converted;
}

}  // namespace rtl
