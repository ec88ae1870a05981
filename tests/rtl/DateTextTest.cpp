// Date texts in the runtime's date format language.
#include <gtest/gtest.h>

#include "rtl/SysUtils.h"

namespace {

std::wstring LocaleText(LCTYPE type)
{
    wchar_t text[80] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, 80);
    return text;
}

TEST(FormatDateTime, TokensOfTheFormatLanguage)
{
    // Tuesday, 8 December 2026, 07:05:33.009
    const SYSTEMTIME time = {2026, 12, 2, 8, 7, 5, 33, 9};
    const std::wstring december = LocaleText(LOCALE_SABBREVMONTHNAME12);
    ASSERT_FALSE(december.empty());

    static constexpr struct {
        const wchar_t* format;
        const wchar_t* text;  // "<mmm>" and "<mmmm>" stand for the locale's names
    } kCases[] = {
        {L"dd.mm.yyyy", L"08.12.2026"},
        {L"d/m/yy", L"8/12/26"},
        {L"hh:nn:ss.zzz", L"07:05:33.009"},
        {L"hh.mm", L"07.05"},  // m right after an hour means minutes
        {L"h.m", L"7.5"},
        {L"mm hh", L"12 07"},
        {L"'dd' \"mm\"", L"dd mm"},  // quoted text is literal
        {L"mmm", L"<mmm>"},
        {L"mmmm", L"<mmmm>"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(rtl::WideToAnsi(c.format));
        std::wstring expected = c.text;
        if (expected == L"<mmm>") expected = december;
        if (expected == L"<mmmm>") expected = LocaleText(LOCALE_SMONTHNAME12);
        EXPECT_EQ(rtl::FormatDateTime(c.format, time), expected);
    }
}

TEST(FormatDateTime, TableFileTimeStamp)
{
    const SYSTEMTIME time = {2026, 12, 2, 8, 7, 5, 33, 0};
    EXPECT_EQ(rtl::FormatDateTime(L"dd.mmm.yy_hh.mm.ss", time),
              L"08." + LocaleText(LOCALE_SABBREVMONTHNAME12) + L".26_07.05.33");
    // Every month name of the locale, not one hard-wired list.
    for (WORD month = 1; month <= 12; ++month) {
        SYSTEMTIME other = time;
        other.wMonth = month;
        EXPECT_EQ(rtl::FormatDateTime(L"mmm", other), LocaleText(LOCALE_SABBREVMONTHNAME1 + month - 1));
    }
}

}  // namespace
