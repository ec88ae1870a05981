// The tests' Wine runs in the Russian locale: text files and labels rely on it.
#include <windows.h>

#include <gtest/gtest.h>

TEST(Locale, AnsiCodePageIs1251)
{
    // Wine takes the ANSI code page from the host locale; without ru_RU.UTF-8
    // generated on the host it is 1252 and Cyrillic becomes "?".
    EXPECT_EQ(GetACP(), 1251u) << "generate the ru_RU.UTF-8 locale (scripts/setup)";
}

TEST(Locale, CyrillicRoundTripsThroughTheCodePage)
{
    const wchar_t text[] = L"Волюметра";
    char bytes[32] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    ASSERT_EQ(length, 10);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xC2u);  // "В" in code page 1251
}
