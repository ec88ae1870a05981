// INI values through the working-file placement.
#include <gtest/gtest.h>

#include "crash/engine/ECore.h"

namespace crash {
namespace {

class Ini : public ::testing::Test {
protected:
    void SetUp() override
    {
        char out[MAX_PATH];
        ASSERT_GT(GetEnvironmentVariableA("VOLUMETRA_TEST_OUT", out, MAX_PATH), 0u);
        // Each test has its own file: the tests run side by side.
        FFile = std::string(out) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
        DeleteFileA(FFile.c_str());
    }
    void TearDown() override { DeleteFileA(FFile.c_str()); }
    std::string FFile;
};

TEST_F(Ini, ValuesRoundTrip)
{
    EXPECT_TRUE(WriteString(FFile, "Main", "Text", "\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5 value"));
    EXPECT_TRUE(WriteInteger(FFile, "Main", "Number", -42));
    EXPECT_TRUE(WriteBool(FFile, "Main", "On", true));
    EXPECT_TRUE(WriteBool(FFile, "Main", "Off", false));
    EXPECT_EQ(ReadString(FFile, "Main", "Text", "d"), "\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5 value");
    EXPECT_EQ(ReadInteger(FFile, "Main", "Number", 7), -42);
    EXPECT_TRUE(ReadBool(FFile, "Main", "On", false));
    EXPECT_FALSE(ReadBool(FFile, "Main", "Off", true));
    EXPECT_EQ(ReadString(FFile, "Main", "Absent", "default"), "default");
    EXPECT_EQ(ReadString(FFile, "Other", "Text", ""), "");
}

// The profile functions trim blanks off a default and cut it at the buffer;
// a default is the caller's text and comes back whole.
TEST_F(Ini, AnAbsentKeyGivesTheDefaultAsItStands)
{
    ASSERT_TRUE(WriteString(FFile, "Main", "Empty", ""));
    ASSERT_TRUE(WriteString(FFile, "Main", "Text", "v"));
    const std::string long3000(3000, 'L');
    const struct {
        const char* section;
        const char* key;
        std::string defaultText;
        std::string read;
    } kCases[] = {
        {"Main", "Absent", "Name:  ", "Name:  "},
        {"Main", "Absent", "  lead", "  lead"},
        {"Main", "Absent", "\"quoted\"", "\"quoted\""},
        {"Main", "Absent", long3000, long3000},
        {"Main", "Absent", "", ""},
        {"Other", "Text", "Name:  ", "Name:  "},  // no such section
        {"Main", "Empty", "Name:  ", ""},         // present and empty stays empty
        {"Main", "Text", "Name:  ", "v"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key + " default " +
                     testing::PrintToString(c.defaultText.substr(0, 10)));
        EXPECT_EQ(ReadString(FFile, c.section, c.key, c.defaultText), c.read);
    }
    // A file that is not there yet reads the same.
    const std::string missing = FFile + ".absent.ini";
    DeleteFileA(missing.c_str());
    EXPECT_EQ(ReadString(missing, "Main", "Text", "Name:  "), "Name:  ");
}

TEST_F(Ini, NumbersAsTheRuntimeReadsThem)
{
    static constexpr struct {
        const char* stored;
        int value;    // read with the default 7
        bool isTrue;  // read as Boolean with the default false
    } kCases[] = {
        {"12", 12, false},   {"1", 1, true},     {"2", 2, false},  // only 1 is true
        {"-5", -5, false},   {"$1F", 31, false}, {"0x10", 16, false},       {"abc", 7, false},
        {"12abc", 7, false}, {"", 7, false},     {"99999999999", 7, false}, {"-2147483648", -2147483647 - 1, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.stored);
        ASSERT_TRUE(WriteString(FFile, "N", "K", c.stored));
        EXPECT_EQ(ReadInteger(FFile, "N", "K", 7), c.value);
        EXPECT_EQ(ReadBool(FFile, "N", "K", false), c.isTrue);
    }
    EXPECT_TRUE(ReadBool(FFile, "N", "Absent", true));
}

TEST_F(Ini, BareNamesLiveInTheLibraryFolder)
{
    const std::string name = "core-test-values.ini";
    const std::string placed = GetLibraryDefaultFolder() + "\\" + name;
    DeleteFileA(placed.c_str());
    ASSERT_TRUE(ForceDirectoriesEx(GetLibraryDefaultFolder()));
    EXPECT_TRUE(WriteString(name, "S", "K", "v"));
    EXPECT_NE(GetFileAttributesA(placed.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadString(placed, "S", "K", ""), "v");
    EXPECT_EQ(ReadString(name, "S", "K", ""), "v");
    DeleteFileA(placed.c_str());
}

}  // namespace
}  // namespace crash
