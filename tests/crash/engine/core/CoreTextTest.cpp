// Text splitting, replacing, versions and path pieces of the core utilities.
#include <gtest/gtest.h>

#include "crash/engine/ECore.h"
#include "crash/engine/core/ECoreInternal.h"

namespace crash {
namespace {

// items shown as "[a][b]" so that empty items are visible.
std::string Items(const std::vector<std::string>& items)
{
    std::string text;
    for (const auto& item : items) text += "[" + item + "]";
    return text;
}

TEST(ExtractList, SplitsTrimsAndKeepsEmptyItemsOnRequest)
{
    static constexpr struct {
        const char* text;
        const char* separators;
        bool raw;
        bool addEmpty;
        const char* items;
    } kCases[] = {
        {"a; ;b", ";", false, false, "[a][b]"},
        {"a; ;b", ";", false, true, "[a][][b]"},
        {"  a ; b  ", ";", false, false, "[a][b]"},
        {"a;b;", ";", false, false, "[a][b]"},  // trailing separator
        {"a;b;", ";", false, true, "[a][b]"},   // the rest is never added empty
        {";a", ";", false, true, "[][a]"},
        {"a,b;c", ",;", false, false, "[a][b][c]"},
        {"a;;b", ";", true, false, "[a;][;][b]"},  // raw: a piece keeps its separator
        {" a;b ", ";", true, false, "[ a;][b ]"},  // raw: nothing trimmed
        {"", ";", false, true, ""},
        {"   ", ";", false, true, ""},
        {"abc", ";", false, false, "[abc]"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.text) + " raw=" + std::to_string(c.raw) + " empty=" + std::to_string(c.addEmpty));
        std::vector<std::string> items;
        ExtractList(c.text, items, MakeCharSet(c.separators), c.raw, c.addEmpty);
        EXPECT_EQ(Items(items), c.items);
    }
}

TEST(ExtractList, AppendsToTheGivenList)
{
    std::vector<std::string> items{"x"};
    ExtractList("a;b", items, MakeCharSet(";"));
    EXPECT_EQ(Items(items), "[x][a][b]");
}

TEST(ExtractStringsEx, SkipsLeadingSeparatorsAndKeepsInnerEmptyItems)
{
    static constexpr struct {
        const char* text;
        const char* items;
    } kCases[] = {
        {";;a;;b;", "[a][][b]"},
        {"a; ;b", "[a][][b]"},
        {" a ; b ", "[a][b]"},
        {"a;b; ", "[a][b]"},  // last piece empty after trimming
        {";;;", ""},
        {"", ""},
        {"a", "[a]"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> items;
        ExtractStringsEx(MakeCharSet(";"), c.text, items);
        EXPECT_EQ(Items(items), c.items);
    }
}

TEST(PosEx, FindsFromTheOffset)
{
    static constexpr struct {
        const char* sub;
        const char* text;
        std::size_t offset;
        std::size_t position;
    } kCases[] = {
        {"b", "abcabc", 1, 2},  {"b", "abcabc", 3, 5}, {"bc", "abcabc", 5, 5},
        {"bc", "abcabc", 6, 0},                                             // beyond the last possible start
        {"b", "abc", 4, 0},                                                 // beyond the text
        {"a", "abc", 0, 0},     {"", "abc", 1, 0},     {"B", "abc", 1, 0},  // byte for byte
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.sub) + " in " + c.text + " from " + std::to_string(c.offset));
        EXPECT_EQ(PosEx(c.sub, c.text, c.offset), c.position);
    }
}

TEST(QuickStringReplace, ReplacesLeftToRightWithoutOverlap)
{
    static constexpr struct {
        const char* text;
        const char* from;
        const char* to;
        const char* result;
    } kCases[] = {
        {"a-b-c", "-", "--", "a--b--c"},  // growing
        {"a--b--c", "--", "-", "a-b-c"},  // shrinking
        {"x--y", "--", "", "xy"},
        {"aaaa", "aa", "b", "bb"},  // overlapping candidates
        {"aaa", "aa", "b", "ba"},
        {"ab", "a", "aa", "aab"},     // the new text is not searched again
        {"AbAB", "ab", "x", "AbAB"},  // case-sensitive
        {"abc", "abc", "longer text", "longer text"},
        {"xyz", "q", "r", "xyz"},
        {"", "a", "b", ""},
        {"keep", "", "x", "keep"},  // an empty search text changes nothing
        {"\xCE\xF8\xE8\xE1\xEA\xE0!", "\xE8\xE1", "..", "\xCE\xF8..\xEA\xE0!"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.from + " / " + c.to);
        EXPECT_EQ(QuickStringReplace(c.text, c.from, c.to), c.result);
    }
}

TEST(QuickStringReplace, HandlesWholeReportSizedTexts)
{
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line\r\n";
    const std::string result = QuickStringReplace(text, "\r\n", "\r\n\t");
    EXPECT_EQ(result.size(), text.size() + 20000);
    EXPECT_EQ(QuickStringReplace(result, "\r\n\t", "\r\n"), text);
}

TEST(TextServices, OneStringAndHostedFileNames)
{
    EXPECT_EQ(OneString("a\r\nb"), "a b");
    EXPECT_EQ(OneString("\tx\t"), " x ");
    EXPECT_EQ(OneString(std::string("a\x01\x02\x1F", 4)), "a ");
    EXPECT_EQ(OneString("a b  c"), "a b  c");  // blanks are not characters below 32
    EXPECT_EQ(OneString(""), "");
    EXPECT_EQ(DotNetHostedFile("C:\\app\\Tool.vshost.exe"), "C:\\app\\Tool.exe");
    EXPECT_EQ(DotNetHostedFile("Tool.exe"), "Tool.exe");
}

TEST(StringToUtf8, ConvertsFromTheAnsiCodePage)
{
    ASSERT_EQ(GetACP(), 1251u);
    EXPECT_EQ(StringToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2"), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");  // Привет
    EXPECT_EQ(StringToUtf8("plain"), "plain");
    EXPECT_EQ(StringToUtf8("\x88"), "\xE2\x82\xAC");  // the euro sign: three bytes
    EXPECT_EQ(StringToUtf8(""), "");
}

TEST(IsGreaterVersion, ComparesNormalisedParts)
{
    static constexpr struct {
        const char* a;
        const char* b;
        bool bIsGreater;
    } kCases[] = {
        {"6.1", "6.1.1", true},
        {"6.1.1", "6.1", false},
        {"6.1", "6.1", false},
        {"6.1", "6.1.0.0", false},  // missing parts count as zero
        {"6.01", "6.1", false},     // padding makes these equal
        {"", "1.0", false},
        {"1.0", "", false},
        {"9", "10", true},
        {"10", "9", false},
        {"1.9.9", "1.10", true},
        {"6.1 RC 1", "6.1", true},  // a release after its candidate
        {"6.1", "6.1 RC 1", false},
        {"6.1 RC 1", "6.1 RC 2", true},
        {"6.1 RC 2", "6.1.1", true},
        {"1.2.3.4", "1.2.3.4.1", true},
        {"1.0.0.99999", "1.0.0.100000", true},  // wider than five digits
        {"1.0.0.100000", "1.0.0.99999", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string("A=") + c.a + " B=" + c.b);
        EXPECT_EQ(IsGreaterVersion(c.a, c.b), c.bIsGreater);
    }
}

TEST(PathPieces, BackslashesAndJoins)
{
    EXPECT_EQ(IncludeLastBackslash(""), "\\");
    EXPECT_EQ(IncludeLastBackslash("C:\\a"), "C:\\a\\");
    EXPECT_EQ(IncludeLastBackslash("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(ExcludeLastBackslash("C:\\a\\"), "C:\\a");
    EXPECT_EQ(ExcludeLastBackslash("C:\\a\\\\"), "C:\\a\\");  // only one goes
    EXPECT_EQ(ExcludeLastBackslash("C:\\a"), "C:\\a");
    EXPECT_EQ(ExcludeLastBackslash(""), "");

    static constexpr struct {
        const char* folder;
        const char* name;
        const char* joined;
    } kJoins[] = {
        {"C:\\x", "y.log", "C:\\x\\y.log"},
        {"C:\\x\\", "y.log", "C:\\x\\y.log"},
        {"C:\\x\\", "\\y.log", "C:\\x\\y.log"},
        {"\\", "VexlorLog", "\\VexlorLog"},  // an unknown user folder: the drive's root,
        {"", "VexlorLog", "\\VexlorLog"},    // never a network path
    };
    for (const auto& c : kJoins) {
        SCOPED_TRACE(std::string(c.folder) + " + " + c.name);
        EXPECT_EQ(core::JoinPath(c.folder, c.name), c.joined);
    }
    EXPECT_EQ(core::LibraryFolderIn("\\"), "\\VexlorLog");
    EXPECT_EQ(core::LibraryFolderIn("C:\\Users\\u\\AppData\\Roaming"), "C:\\Users\\u\\AppData\\Roaming\\VexlorLog");

    EXPECT_EQ(core::ExtractFilePath("C:\\a\\b.ini"), "C:\\a\\");
    EXPECT_EQ(core::ExtractFilePath("C:b.ini"), "C:");
    EXPECT_EQ(core::ExtractFilePath("b.ini"), "");
    EXPECT_EQ(core::ExtractFileName("C:\\a\\b.ini"), "b.ini");
    EXPECT_EQ(core::ExtractFileName("C:\\a\\"), "");

    static constexpr struct {
        const char* name;
        const char* extension;
        const char* changed;
    } kExtensions[] = {
        {"C:\\App\\Lib.dll", ".map", "C:\\App\\Lib.map"},
        {"C:\\App\\Lib", ".map", "C:\\App\\Lib.map"},
        {"C:\\App.v2\\Lib", ".tds", "C:\\App.v2\\Lib.tds"},  // a folder's dot is not the extension's
        {"C:\\App\\Lib.tar.gz", ".jdbg", "C:\\App\\Lib.tar.jdbg"},
        {"Lib.dll", "", "Lib"},
        {"", ".map", ".map"},
    };
    for (const auto& c : kExtensions) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChangeFileExt(c.name, c.extension), c.changed);
    }
}

}  // namespace
}  // namespace crash
