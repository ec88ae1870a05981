// Whole numbers read out of 8-bit text by a pattern, as scanf reads them but
// without its undefined cases: digits beyond the range of the field saturate,
// as strtol defines it, where scanf may store anything.
#pragma once
#include <initializer_list>
#include <string_view>

namespace rtl {

// Where one field of a scan goes: "%d" takes an int, "%u" an unsigned.
class ScanField {
public:
    // Implicit, so that the fields are listed as in a scanf call.
    ScanField(int& value) noexcept : FInt(&value) {}
    ScanField(unsigned& value) noexcept : FUnsigned(&value) {}

    // Converts the field of `kind` ('d' or 'u') that starts at `pos`; on
    // success stores it and moves `pos` past its digits. False, with nothing
    // stored, for no digits or a kind that does not fit the value.
    bool Convert(char kind, const char*& pos, const char* end) const noexcept;

private:
    int* FInt = nullptr;            // weak
    unsigned* FUnsigned = nullptr;  // weak
};

// Reads `text` by `pattern` and answers how many fields converted, in order.
// The pattern holds:
//   %d     a field: blanks skipped, an optional sign, decimal digits; digits
//          beyond the range of int give INT_MAX, or INT_MIN after a "-"
//   %u     a field: blanks skipped, an optional "+", decimal digits; beyond
//          the range of unsigned they give UINT_MAX ("-" does not convert)
//   blank  skips any blanks of the text, none included
//   other  must be the text's next character
// Blanks are space, tab, line feed, vertical tab, form feed and carriage
// return. The scan stops at the first character or field that does not match
// (a zero byte matches nothing, so the text ends at one); that field and the
// ones after it keep their values. What follows the pattern's last match is
// not looked at. A conversion with no field left to take it stops the scan as
// well. Any thread; never raises.
int ScanFields(std::string_view text, std::string_view pattern, std::initializer_list<ScanField> fields) noexcept;

}  // namespace rtl
