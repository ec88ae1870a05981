// Number texts: the float format of litres, integers and the readers.
#include <climits>
#include <limits>

#include <gtest/gtest.h>

#include "rtl/SysUtils.h"

namespace {

// Expected texts are written with "."; the locale's separator replaces it.
std::wstring Localised(const wchar_t* text)
{
    std::wstring result = text;
    for (wchar_t& c : result)
        if (c == L'.') c = rtl::DecimalSeparator();
    return result;
}

TEST(FloatToStrF, LitresAtPrecisionFourWithThreeDecimals)
{
    static constexpr struct {
        double value;
        const wchar_t* text;
    } kCases[] = {
        {20, L"20.000"},
        {123.456, L"123.500"},  // four significant digits first
        {0, L"0.000"},
        {0.5, L"0.500"},
        {12.125, L"12.130"},  // an exact tie rounds away from zero
        {-12.125, L"-12.130"},
        {0.0005, L"0.001"},
        {0.0004, L"0.000"},
        {-0.0001, L"0.000"},  // no sign on a value that rounds to zero
        {1234.5678, L"1235.000"},
        {9999.4, L"9999.000"},
        {9999.6, L"1E004"},  // rounds up to five integer digits
        {10000, L"1E004"},   // more integer digits than the precision
        {12345.678, L"1.235E004"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(rtl::FloatToStrF(c.value, rtl::TFloatFormat::ffFixed, 4, 3), Localised(c.text));
    }
}

TEST(FloatToStrF, GeneralFormAndSpecialValues)
{
    static constexpr struct {
        double value;
        int precision;
        int digits;
        const wchar_t* text;
    } kCases[] = {
        {1.5, 15, 0, L"1.5"},       {1e20, 15, 0, L"1E20"}, {0.00001, 15, 0, L"0.00001"},
        {0.000001, 15, 0, L"1E-6"}, {-250, 15, 0, L"-250"}, {2.0 / 3.0, 4, 2, L"0.6667"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(rtl::FloatToStrF(c.value, rtl::TFloatFormat::ffGeneral, c.precision, c.digits), Localised(c.text));
    }
    EXPECT_EQ(rtl::FloatToStrF(std::numeric_limits<double>::quiet_NaN(), rtl::TFloatFormat::ffFixed, 4, 3), L"NAN");
    EXPECT_EQ(rtl::FloatToStrF(-std::numeric_limits<double>::infinity(), rtl::TFloatFormat::ffFixed, 4, 3), L"-INF");
}

TEST(IntegerText, WritesAndReads)
{
    EXPECT_EQ(rtl::IntToStr(0), L"0");
    EXPECT_EQ(rtl::IntToStr(-4001), L"-4001");
    EXPECT_EQ(rtl::IntToStr(INT_MIN), L"-2147483648");

    static constexpr struct {
        const wchar_t* text;
        bool valid;
        int value;
    } kCases[] = {
        {L"42", true, 42},
        {L"  42", true, 42},  // leading blanks are skipped
        {L"42 ", false, 0},   // nothing may follow the digits
        {L"-7", true, -7},
        {L"+7", true, 7},
        {L"0x3", true, 3},
        {L"0X1f", true, 31},
        {L"$10", true, 16},
        {L"-0x10", true, -16},
        {L"0xFFFFFFFF", true, -1},
        {L"2147483647", true, INT_MAX},
        {L"2147483648", false, 0},
        {L"-2147483648", true, INT_MIN},
        {L"-2147483649", false, 0},
        {L"0x100000000", false, 0},
        {L"", false, 0},
        {L"-", false, 0},
        {L"0x", false, 0},
        {L"$", false, 0},
        {L"0x0x1", false, 0},
        {L"\t42", false, 0},  // only spaces are skipped
        {L"word", false, 0},
        {L"12,5", false, 0},
        {L"12abc", false, 0},
        {L"Бак", false, 0},
    };
    // One grammar for 8-bit and UTF-16 texts: every case reads the same in both.
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "\"" << rtl::WideToAnsi(c.text) << "\"");
        int value = 12345;
        EXPECT_EQ(rtl::TryStrToInt(c.text, value), c.valid);
        if (c.valid) {
            EXPECT_EQ(value, c.value);
        }
        int narrowValue = 12345;
        EXPECT_EQ(rtl::TryStrToInt(rtl::WideToAnsi(c.text), narrowValue), c.valid) << "8-bit";
        if (c.valid) {
            EXPECT_EQ(narrowValue, c.value) << "8-bit";
        }
    }
    try {
        rtl::StrToInt(L"Бак");
        FAIL() << "no EConvertError";
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), rtl::WideToAnsi(L"'Бак' is not a valid integer value"));
    }
}

TEST(FloatReader, UsesTheLocaleSeparator)
{
    static constexpr struct {
        const wchar_t* text;  // "." stands for the locale's separator
        bool valid;
        double value;
    } kCases[] = {
        {L"12.5", true, 12.5},   {L" 3 ", true, 3},    {L"-0.25", true, -0.25}, {L"1E3", true, 1000},
        {L"2.5e-1", true, 0.25}, {L".5", true, 0.5},   {L".", false, 0},        {L"", false, 0},
        {L"1e", false, 0},       {L"1.2.3", false, 0}, {L"abc", false, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "\"" << rtl::WideToAnsi(Localised(c.text)) << "\"");
        double value = -1;
        EXPECT_EQ(rtl::TryStrToFloat(Localised(c.text), value), c.valid);
        if (c.valid) {
            EXPECT_DOUBLE_EQ(value, c.value);
        }
    }
    if (rtl::DecimalSeparator() != L'.') {
        double value = 0;
        EXPECT_FALSE(rtl::TryStrToFloat(L"12.5", value)) << "a point is not this locale's separator";
    }
    EXPECT_THROW(rtl::StrToFloat(L"x"), rtl::EConvertError);
}

TEST(TextConversion, CyrillicThroughTheAnsiCodePage)
{
    ASSERT_EQ(GetACP(), 1251u);
    const std::string bytes = rtl::WideToAnsi(L"Литры");
    ASSERT_EQ(bytes.size(), 5u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCBu);
    EXPECT_EQ(rtl::AnsiToWide(bytes), L"Литры");
}

TEST(SysErrorMessage, HasNoTrailingBreakOrStop)
{
    const std::wstring text = rtl::SysErrorMessage(ERROR_PATH_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'.');
    EXPECT_EQ(text.find(L'\n'), std::wstring::npos);
}

}  // namespace
