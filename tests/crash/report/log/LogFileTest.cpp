// The crash log on files written by hand: loading, saving, appending, the
// items of an entry and the corruption test.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/report/log/LogFile.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"
#include "tests/support/TestFolders.h"

namespace crash {
namespace {

const std::string kSep = "\r\n\r\n\r\n\r\n";

// An entry as a report writes it, in the file's bytes. The message has a
// second line, a value with ": " and a byte that code page 1251 leaves
// undefined (0x98), beside Cyrillic.
const std::string kEntry1 = "VexlorLog 6.1.01 RC 1\r\n"
                            "\r\n"
                            "  1.1 Start Date  : 11.12.2026\r\n"
                            "  1.3 Version     : 1.0.0.1\r\n"
                            "\r\n"
                            "  2.1 Date        : 11.12.2026\r\n"
                            "  2.2 Address     : 00401000\r\n"
                            "  2.5 Type        : EAccessViolation\r\n"
                            "  2.6 Message     : \xce\xf8\xe8\xe1\xea\xe0 \x98:_read of 00000000.\r\n"
                            "                    .\r\n"
                            "                    second line\r\n"
                            "  2.7 ID          : 1A2B\r\n"
                            "\r\n"
                            "Call Stack Information:\r\n"
                            "----------------\r\n"
                            "|Address |Module |\r\n"
                            "----------------";

const std::string kEntry2 = "VexlorLog 6.1.01 RC 1\r\n"
                            "\r\n"
                            "  1.3 Version     : 1.0.0.2\r\n"
                            "\r\n"
                            "  2.2 Address     : 00402000\r\n"
                            "  2.7 ID          : 3C4D\r\n"
                            "  2.8 Count       : 4\r\n"
                            "\r\n"
                            "----------------\r\n"
                            "|Address |Module |\r\n"
                            "----------------";

// Items 2.1 to 2.7 without a count.
const std::string kEntry3 = "VexlorLog 6.0.00\r\n"
                            "\r\n"
                            "  2.1 Date                   : 10.12.2026\r\n"
                            "  2.7 Exception ID           : 3C4D\r\n"
                            "\r\n"
                            "-\r\n"
                            "|";

std::string Stored(const std::string& entry)
{
    return entry + "\r\n\r\n\r\n";
}

std::string ScratchFile(const char* name)
{
    return rtl::WideToAnsi(testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT")) + "\\" + name;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    DeleteFileA(path.c_str());
    if (bytes.empty() && path.find("missing") != std::string::npos) return;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

std::vector<std::string> Entries(const TLogFile& log)
{
    std::vector<std::string> entries;
    for (int i = 0; i < log.Count(); ++i) entries.push_back(log.GetItem(i));
    return entries;
}

TEST(LogFile, LoadsFilesWrittenByOthers)
{
    std::string lf = kEntry1, cr = kEntry1;
    for (std::string* text : {&lf, &cr}) {
        std::string::size_type at = 0;
        while ((at = text->find("\r\n", at)) != std::string::npos) text->erase(at + (text == &lf ? 0 : 1), 1), ++at;
    }
    static const std::vector<std::string> none;
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> entries;
    } kCases[] = {
        {"fewer than 8 bytes", "VexlorL", none},
        {"empty file", "", none},
        {"two entries", kEntry1 + kSep + kEntry2 + kSep, {Stored(kEntry1), Stored(kEntry2)}},
        {"no final separator", kEntry1 + kSep + kEntry2, {Stored(kEntry1), Stored(kEntry2)}},
        {"lone LF line breaks", lf + "\n\n\n\n", {Stored(kEntry1)}},
        {"lone CR line breaks", cr + "\r\r\r\r", {Stored(kEntry1)}},
        {"a chunk without a call-stack table",
         "VexlorLog 6\r\n  2.7 ID : 1\r\n" + kSep + kEntry2 + kSep,
         {Stored(kEntry2)}},
        {"an entry ending with its own line break",
         kEntry1 + "\r\n" + kSep + kEntry2 + kSep,
         {Stored(kEntry1), Stored(kEntry2)}},
        {"a separator first", kSep + kEntry2 + kSep, {Stored(kEntry2)}},
        {"only separators", kSep + kSep, none},
    };
    const std::string path = ScratchFile("load.vlf");
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, c.bytes);
        TLogFile log(path, true);
        EXPECT_EQ(Entries(log), c.entries);
        for (int i = 0; i < log.Count(); ++i) EXPECT_FALSE(log.GetCorruptedLog(i)) << i;
    }
}

TEST(LogFile, ParsingDropsWhatFollowsTheLastSeparator)
{
    TLogFile log("", false);
    log.ParseBuffer(kEntry2 + kSep + "VexlorLog 6\r\n-\r\n|");
    EXPECT_EQ(Entries(log), std::vector<std::string>{Stored(kEntry2)});
    // Loading a file closes its last entry first, so there it is kept.
    const std::string path = ScratchFile("tail.vlf");
    WriteBytes(path, kEntry2 + kSep + "VexlorLog 6\r\n-\r\n|");
    EXPECT_EQ(TLogFile(path, true).Count(), 2);
}

TEST(LogFile, SavesTheBytesItLoaded)
{
    const std::string path = ScratchFile("roundtrip.vlf");
    const std::string bytes = kEntry1 + kSep + kEntry2 + kSep;
    WriteBytes(path, bytes);
    {
        TLogFile log(path, false);
        ASSERT_EQ(log.Count(), 2);
        EXPECT_EQ(log.Text(), Stored(kEntry1) + "\r\n" + Stored(kEntry2) + "\r\n");
        log.Save();
    }
    EXPECT_EQ(ReadFileBytes(path), bytes);
    EXPECT_FALSE(IsReadableFile(path + ".tmp"));
}

TEST(LogFile, AMissingFileIsAnEmptyLogMadeByTheFirstSave)
{
    const std::string path = ScratchFile("missing.vlf");
    DeleteFileA(path.c_str());
    TLogFile log(path, false);
    EXPECT_EQ(log.Count(), 0);
    EXPECT_EQ(log.SaveToText(), "");
    log.Append(kEntry2, -1);
    log.Save();
    EXPECT_EQ(ReadFileBytes(path), kEntry2 + kSep);
}

TEST(LogFile, AppendKeepsAtMostMaxNumEntries)
{
    const struct {
        int maxNum;
        int before;
        int after;
    } kCases[] = {{3, 5, 3}, {-1, 5, 6}, {0, 5, 1}, {0, 0, 1}, {10, 10, 10}, {10, 3, 4}, {1, 2, 1}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "MaxNum " << c.maxNum << ", " << c.before << " entries");
        TLogFile log("", false);
        for (int i = 0; i < c.before; ++i) log.Append(kEntry3 + "\r\n  old " + std::to_string(i), -1);
        log.Append(kEntry2, c.maxNum);
        ASSERT_EQ(log.Count(), c.after);
        EXPECT_EQ(log.GetItem(c.after - 1), Stored(kEntry2));
        // The survivors are the newest old entries, oldest first.
        for (int i = 0; i + 1 < c.after; ++i)
            EXPECT_EQ(log.GetItem(i), Stored(kEntry3 + "\r\n  old " + std::to_string(c.before - c.after + 1 + i)));
    }
}

TEST(LogFile, SeveralAppendsOnOneOpenLogAfterAnEntryEndingWithALineBreak)
{
    const std::string path = ScratchFile("appends.vlf");
    DeleteFileA(path.c_str());
    TLogFile log(path, false);
    log.Append(kEntry1 + "\r\n", -1);
    log.Save();
    log.Append(kEntry2, -1);
    log.Save();
    log.Append(kEntry3 + "\r\n\r\n", -1);
    log.Save();
    log.Append(kEntry2, -1);
    log.Save();
    EXPECT_EQ(ReadFileBytes(path), kEntry1 + kSep + kEntry2 + kSep + kEntry3 + kSep + kEntry2 + kSep);
    TLogFile reloaded(path, true);
    EXPECT_EQ(Entries(reloaded), Entries(log));
    for (int i = 0; i < reloaded.Count(); ++i) {
        EXPECT_FALSE(reloaded.GetCorruptedLog(i)) << i;
        EXPECT_EQ(reloaded.GetLogVersion(i), i == 2 ? "6.0.00" : "6.1.01 RC 1") << i;
    }
}

TEST(LogFile, ReadsItemValuesBackFromTheirStoredForm)
{
    TLogFile log("", false);
    log.Append(kEntry1, -1);
    log.Append(kEntry2, -1);
    const struct {
        const char* item;
        int entry;
        std::string value;
    } kCases[] = {
        {"2.6", 0, "\xce\xf8\xe8\xe1\xea\xe0 \x98: read of 00000000.\r\n \r\nsecond line"},
        {"2.7", 0, "1A2B"},
        {"1.1", 0, "11.12.2026"},
        {"2.8", 1, "4"},
        {"2.8", 0, ""},
        {"2.7", 2, ""},
        {"2.7", -1, ""},
        {"2", 0, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.item << " of " << c.entry);
        EXPECT_EQ(log.GetItemValue(c.item, c.entry), c.value);
    }
}

TEST(LogFile, FindItemAnswersTheNewestEntryHoldingAPair)
{
    TLogFile log("", false);
    log.Append(kEntry2, -1);
    log.Append(kEntry1, -1);
    log.Append(kEntry3, -1);
    EXPECT_EQ(log.FindItem({"2.7"}, {"3C4D"}), 2);
    EXPECT_EQ(log.FindItem({"2.7"}, {"1A2B"}), 1);
    EXPECT_EQ(log.FindItem({"2.7"}, {"1A2"}), -1);
    EXPECT_EQ(log.FindItem({"2.7"}, {"FFFF"}), -1);
    EXPECT_EQ(log.FindItem({"2.2", "2.7"}, {"00401000", "FFFF"}), 1);
    EXPECT_EQ(log.FindItem({"2.6"}, {"\xce\xf8\xe8\xe1\xea\xe0 \x98: read of 00000000.\r\n\r\nsecond line"}), 1);
    EXPECT_EQ(log.FindItem({"2.7"}, {"1A2B", "x"}), -1);
}

TEST(LogFile, SetItemValueChangesOrInsertsOneItem)
{
    TLogFile log("", false);
    log.Append(kEntry2, -1);
    log.Append(kEntry3, -1);
    log.SetItemValue("2.8", "5", 0, "Count");
    std::string expected = Stored(kEntry2);
    expected.replace(expected.find("Count       : 4"), 15, "Count       : 5");
    EXPECT_EQ(log.GetItem(0), expected);

    log.SetItemValue("2.8", "3", 1, "Count");
    std::string inserted = Stored(kEntry3);
    inserted.insert(inserted.find("\r\n\r\n-") + 2, "  2.8 Count                  : 3\r\n");
    EXPECT_EQ(log.GetItem(1), inserted);
    EXPECT_EQ(log.GetItemValue("2.8", 1), "3");
    EXPECT_EQ(log.GetItemValue("2.7", 1), "3C4D");

    // Nothing for an item without a section number, one whose section has no
    // item, or an entry outside the list.
    log.SetItemValue("28", "1", 1, "Count");
    log.SetItemValue("3.1", "1", 1, "Count");
    log.SetItemValue("2.8", "1", 2, "Count");
    EXPECT_EQ(log.GetItem(1), inserted);
}

TEST(LogFile, SetItemValueStoresLineBreaksAndColonsSoTheyReadBack)
{
    const std::string values[] = {"first: second", "line one\r\nline two: x\r\nthree", "a\nb", "", "x:_y"};
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        TLogFile log("", false);
        log.Append(kEntry2, -1);
        log.Append(kEntry3, -1);
        for (int entry = 0; entry < 2; ++entry) {  // present item, then inserted item
            log.SetItemValue("2.8", value, entry, "Count");
            const std::string expected = value == "a\nb" ? "a\r\nb" : value == "x:_y" ? "x: y" : value;
            EXPECT_EQ(log.GetItemValue("2.8", entry), expected);
            EXPECT_EQ(log.GetItemValue("2.7", entry), "3C4D");
            EXPECT_EQ(log.FindItem({"2.8"}, {value}), entry);
            EXPECT_FALSE(log.GetCorruptedLog(entry));
        }
        const std::string path = ScratchFile("setitem.vlf");
        DeleteFileA(path.c_str());
        TLogFile saved(path, false);
        saved.Append(log.GetItem(0), -1);
        saved.Append(log.GetItem(1), -1);
        saved.Save();
        TLogFile reloaded(path, true);
        EXPECT_EQ(Entries(reloaded), Entries(saved));
    }
}

TEST(LogFile, CorruptionTest)
{
    const struct {
        const char* name;
        std::string entry;
        bool corrupted;
    } kCases[] = {
        {"a report", kEntry1, false},
        {"only the identifier", "VexlorLog 6\r\n\r\n  2.7 ID : 77AA\r\n\r\n-\r\n|", false},
        {"only the address", "VexlorLog 6\r\n\r\n  2.2 Address : 1\r\n\r\n-\r\n|", false},
        {"no value of the four", "VexlorLog 6\r\n\r\n  2.1 Date : 1\r\n  2.7 ID : \r\n\r\n-\r\n|", true},
        {"another first line", "Vexlorlog 6\r\n\r\n  2.7 ID : 77AA\r\n\r\n-\r\n|", true},
        {"an empty first line", "\r\nVexlorLog 6\r\n\r\n  2.7 ID : 77AA\r\n\r\n-\r\n|", true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        TLogFile log("", false);
        log.Append(c.entry, -1);
        EXPECT_EQ(log.GetCorruptedLog(0), c.corrupted);
    }
    TLogFile log("", false);
    EXPECT_FALSE(log.GetCorruptedLog(0));
    EXPECT_EQ(log.GetLogVersion(0), "");
}

TEST(LogFile, NormalizeLineBreaks)
{
    EXPECT_EQ(NormalizeLineBreaks("a\rb\nc\r\nd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(NormalizeLineBreaks("\na\n"), "\na\r\n");
    EXPECT_EQ(NormalizeLineBreaks("\r\r\n\n"), "\r\n\r\n\r\n");
    EXPECT_EQ(NormalizeLineBreaks("plain"), "plain");
}

TEST(LogFile, RewritesInPlaceWhenTheLogCannotBeReplaced)
{
    const std::string path = ScratchFile("held.vlf");
    WriteBytes(path, kEntry1 + kSep);
    TLogFile log(path, false);
    log.Append(kEntry2, -1);
    // Another program holds the log open, sharing reading and writing but not
    // its deletion: the log cannot be replaced, only rewritten.
    HANDLE holder =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ClearLastVexlorLogError();
    log.Save();
    CloseHandle(holder);
    EXPECT_EQ(ReadFileBytes(path), kEntry1 + kSep + kEntry2 + kSep);
    EXPECT_EQ(GetLastVexlorLogErrorCode(), eeLogError);
    EXPECT_NE(GetLastVexlorLogErrorMsg().find("rewritten in place"), std::string::npos) << GetLastVexlorLogErrorMsg();
    EXPECT_FALSE(IsReadableFile(path + ".tmp"));
}

TEST(LogFile, ALogWithoutAFileCannotBeSaved)
{
    TLogFile log("", false);
    log.Append(kEntry2, 1);
    EXPECT_THROW(log.Save(), rtl::EFCreateError);
    EXPECT_THROW(log.GetItem(1), rtl::Exception);
    EXPECT_THROW(log.DeleteItem(-1), rtl::Exception);
    log.DeleteItem(0);
    EXPECT_EQ(log.Count(), 0);
}

}  // namespace
}  // namespace crash
