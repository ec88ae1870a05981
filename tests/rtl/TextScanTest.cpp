// Pattern scans of whole numbers: scanf's reading without its undefined cases.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>

#include "rtl/TextScan.h"

namespace {

TEST(ScanFields, CountsTheFieldsThatConvertUpToTheFirstMismatch)
{
    static constexpr int kOld = 777;  // what a field keeps when it does not convert
    using namespace std::string_view_literals;
    static constexpr struct {
        std::string_view text;
        const char* pattern;
        int converted;
        int a, b;
    } kCases[] = {
        {"A=1,2", "A=%d,%d", 2, 1, 2},
        {"A=1,2;rest", "A=%d,%d;", 2, 1, 2},      // text after the pattern is not looked at
        {"A=1,2", "A=%d,%d;", 2, 1, 2},           // nor is a literal after the last field
        {"A=-7,+8", "A=%d,%d", 2, -7, 8},         // signs
        {"A= \t-7,\r\n 8", "A=%d,%d", 2, -7, 8},  // blanks before a field
        {"A=- 7,8", "A=%d,%d", 0, kOld, kOld},    // but not between sign and digits
        {"A=+-7,8", "A=%d,%d", 0, kOld, kOld},
        {"A=-,8", "A=%d,%d", 0, kOld, kOld},
        {"A=1 ,2", "A=%d,%d", 1, 1, kOld},    // a literal matches itself only
        {"A=1 ,2", "A=%d ,%d", 2, 1, 2},      // a blank of the pattern skips blanks
        {"A=1,2", "A=%d ,%d", 2, 1, 2},       // ... none included
        {"A=12x,3", "A=%d,%d", 1, 12, kOld},  // a field ends at its last digit
        {"A=1,", "A=%d,%d", 1, 1, kOld},      // cut off after a separator
        {"A=", "A=%d,%d", 0, kOld, kOld},
        {"", "A=%d,%d", 0, kOld, kOld},
        {"B=1,2", "A=%d,%d", 0, kOld, kOld},
        {" A=1,2", "A=%d,%d", 0, kOld, kOld},  // literals are not preceded by blanks
        {"A=0x10,2", "A=%d,%d", 1, 0, kOld},   // decimal only
        {"A=007,-0", "A=%d,%d", 2, 7, 0},
        {"A=2147483647,-2147483648", "A=%d,%d", 2, INT_MAX, INT_MIN},
        {"A=2147483648,-2147483649", "A=%d,%d", 2, INT_MAX, INT_MIN},  // out of range: held at the end
        {"A=99999999999999999999999,1", "A=%d,%d", 2, INT_MAX, 1},
        {"A=1\0,2"sv, "A=%d,%d", 1, 1, kOld},  // the text ends at a zero byte
        {"A=1,2", "A=%d,%d,%d", 2, 1, 2},      // a third conversion with no field stops there
        {"A=1%2", "A=%d%%d", 1, 1, kOld},      // no "%%": an unknown conversion stops the scan
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.text) + " by " + c.pattern);
        int a = kOld, b = kOld;
        EXPECT_EQ(rtl::ScanFields(c.text, c.pattern, {a, b}), c.converted);
        EXPECT_EQ(a, c.a);
        EXPECT_EQ(b, c.b);
    }
}

TEST(ScanFields, UnsignedFieldsTakeNoMinus)
{
    static constexpr struct {
        const char* text;
        int converted;
        unsigned value;
    } kCases[] = {
        {"4294967295", 1, UINT_MAX},
        {"+12", 1, 12},
        {"4294967296", 1, UINT_MAX},  // out of range: held at the end
        {"-1", 0, 5},
        {"x", 0, 5},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        unsigned value = 5;
        EXPECT_EQ(rtl::ScanFields(c.text, "%u", {value}), c.converted);
        EXPECT_EQ(value, c.value);
    }
    // A conversion that does not fit its field is no conversion.
    int number = 5;
    unsigned count = 5;
    EXPECT_EQ(rtl::ScanFields("1 2", "%u %d", {number, count}), 0);
    EXPECT_EQ(number, 5);
    EXPECT_EQ(rtl::ScanFields("1 2", "%d %u", {number, count}), 2);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(count, 2u);
}

}  // namespace
