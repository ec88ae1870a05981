// INI files over the profile functions: reads with defaults, checked writes.
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "rtl/IniFiles.h"

namespace {

class IniFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t folder[MAX_PATH] = {};
        ASSERT_GT(GetEnvironmentVariableW(L"VOLUMETRA_TEST_OUT", folder, MAX_PATH), 0u);
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        FPath = std::wstring(folder) + L"\\" + rtl::AnsiToWide(info->name()) + L".ini";
        DeleteFileW(FPath.c_str());
    }
    void TearDown() override
    {
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, FPath.c_str());
        DeleteFileW(FPath.c_str());
    }
    std::string Bytes() const
    {
        std::ifstream file(rtl::WideToAnsi(FPath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    std::wstring FPath;
};

TEST_F(IniFileTest, RoundTripAndDefaults)
{
    {
        rtl::TIniFile ini(FPath);
        EXPECT_EQ(ini.ReadString(L"S", L"missing", L"def"), L"def") << "no file yet";
        ini.WriteString(L"S", L"text", L"Газель");
        ini.WriteString(L"S", L"empty", L"");
        ini.WriteInteger(L"S", L"number", -3);
    }
    rtl::TIniFile ini(FPath);
    EXPECT_EQ(ini.ReadString(L"S", L"text", L"def"), L"Газель");
    EXPECT_EQ(ini.ReadString(L"S", L"empty", L"def"), L"") << "a present empty value is not the default";
    EXPECT_EQ(ini.ReadString(L"S", L"missing", L"def"), L"def");
    EXPECT_EQ(ini.ReadInteger(L"S", L"number", 1), -3);
    // The file is 8-bit text of the ANSI code page: "Г" is 0xC3 in 1251.
    EXPECT_NE(Bytes().find("text=\xC3\xE0\xE7\xE5\xEB\xFC"), std::string::npos);
}

// The profile functions trim blanks and quotes off a default; a default is
// the caller's text and comes back whole.
TEST_F(IniFileTest, AnAbsentKeyGivesTheDefaultAsItStands)
{
    rtl::TIniFile ini(FPath);
    ini.WriteString(L"S", L"empty", L"");
    ini.WriteString(L"S", L"text", L"v");
    const std::wstring long5000(5000, L'L');
    const struct {
        const wchar_t* section;
        const wchar_t* ident;
        std::wstring defaultValue;
        std::wstring read;
    } kCases[] = {
        {L"S", L"absent", L"Name:  ", L"Name:  "},
        {L"S", L"absent", L"  lead", L"  lead"},
        {L"S", L"absent", L"\"quoted\"", L"\"quoted\""},
        {L"S", L"absent", long5000, long5000},
        {L"S", L"absent", L"", L""},
        {L"Other", L"text", L"Name:  ", L"Name:  "},  // no such section
        {L"S", L"empty", L"Name:  ", L""},            // present and empty stays empty
        {L"S", L"text", L"Name:  ", L"v"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(
            rtl::WideToAnsi(std::wstring(c.section) + L"/" + c.ident + L" default " + c.defaultValue.substr(0, 10)));
        EXPECT_EQ(ini.ReadString(c.section, c.ident, c.defaultValue), c.read);
    }
}

TEST_F(IniFileTest, ReadIntegerAcceptsDecimalAndHexOnly)
{
    static constexpr struct {
        const wchar_t* stored;
        int value;
    } kCases[] = {
        {L"9", 9},     {L"0", 0}, {L"-2", -2}, {L"0x3", 3},  {L"0X1A", 26},
        {L"word", 77}, {L"", 77}, {L"$3", 77}, {L"3 4", 77},
    };
    rtl::TIniFile ini(FPath);
    for (const auto& c : kCases) {
        SCOPED_TRACE(rtl::WideToAnsi(c.stored));
        ini.WriteString(L"S", L"n", c.stored);
        EXPECT_EQ(ini.ReadInteger(L"S", L"n", 77), c.value);
    }
    EXPECT_EQ(ini.ReadInteger(L"S", L"absent", 77), 77);
}

TEST_F(IniFileTest, RefusedWriteRaisesWithTheFileName)
{
    const std::wstring path = FPath.substr(0, FPath.rfind(L'\\')) + L"\\no-such-folder\\Volumetra.ini";
    rtl::TIniFile ini(path);
    try {
        ini.WriteString(L"SETTINGS", L"Impuls", L"200");
        FAIL() << "the write was not refused";
    } catch (const rtl::EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + rtl::WideToAnsi(path));
    }
    EXPECT_THROW(ini.WriteInteger(L"SETTINGS", L"NumberLLS", 1), rtl::EIniFileException);
}

}  // namespace
