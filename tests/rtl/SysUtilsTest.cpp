// Text helpers of the runtime: trimming.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "rtl/SysUtils.h"

namespace {

TEST(Trim, DropsBlanksAndControlCharactersAtBothEnds)
{
    using namespace std::string_view_literals;
    static constexpr struct {
        std::string_view text;
        std::string_view trimmed;
    } kCases[] = {
        {"abc", "abc"},
        {"  a b  ", "a b"},     // blanks inside stay
        {"\t\r\n a\x01", "a"},  // every character up to the blank
        {"\x01\x1F", ""},
        {"", ""},
        {"   ", ""},
        {"\0a\0"sv, "a"},                          // a zero byte is a control character too
        {"\xA0\xC4\xE0\xA0", "\xA0\xC4\xE0\xA0"},  // 8-bit letters and the no-break space are no blanks
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        EXPECT_EQ(rtl::Trim(c.text), c.trimmed);
        const std::wstring wide = rtl::AnsiToWide(c.text);
        EXPECT_EQ(rtl::Trim(std::wstring_view(wide)), rtl::AnsiToWide(c.trimmed)) << "UTF-16";
    }
    // A trimmed view lies inside the text it was taken from.
    const std::string text = "  x ";
    EXPECT_EQ(rtl::Trim(text).data(), text.data() + 2);
}

}  // namespace
