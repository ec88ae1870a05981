// Usable-file tests, folder creation, long names and the working files.
#include <gtest/gtest.h>

#include <fstream>
#include <shlobj.h>

#include "crash/engine/ECore.h"
#include "crash/engine/core/ECoreInternal.h"
#include "rtl/Libraries.h"
#include "tests/support/DebugLines.h"

namespace crash {
namespace {

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// The user's folder as the shell reports it: where the fallback must lead.
std::string ShellAppData()
{
    char path[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path), S_OK);
    return path;
}

std::string ProgramName()
{
    std::string name = core::ExtractFileName(rtl::ModuleFileNameAnsi());
    return name.substr(0, name.rfind('.'));
}

using testsupport::DebugLines;

// A drive letter that this machine does not have.
std::string MissingDrive()
{
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y'; ++letter)
        if (!(drives & (1u << (letter - 'A')))) return std::string(1, letter) + ":";
    return {};
}

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        char out[MAX_PATH];
        ASSERT_GT(GetEnvironmentVariableA("VOLUMETRA_TEST_OUT", out, MAX_PATH), 0u);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        FDir = std::string(out) + "\\" + info->name();
        ASSERT_TRUE(ForceDirectoriesEx(FDir));
        FFallback = core::LibraryFolderIn(ShellAppData());
    }
    std::string FDir;
    std::string FFallback;
};

TEST_F(Files, WritableTestLeavesNoTraceOfAFileItMade)
{
    const std::string absent = FDir + "\\absent.txt";
    EXPECT_TRUE(IsWritableFile(absent));
    EXPECT_FALSE(Exists(absent));
    EXPECT_FALSE(IsWritableFile(FDir + "\\missing folder\\x.txt"));
    EXPECT_FALSE(Exists(FDir + "\\missing folder"));
    EXPECT_FALSE(IsWritableFile(FDir));  // a folder is no file
    EXPECT_FALSE(IsWritableFile(""));
}

TEST_F(Files, WritableTestNeverDeletesOrChangesAFileItDidNotMake)
{
    const std::string existing = FDir + "\\existing.txt";
    WriteAll(existing, "content");
    EXPECT_TRUE(IsWritableFile(existing));
    EXPECT_EQ(ReadAll(existing), "content");

    // Held open by someone who shares nothing: not usable, and still there.
    const std::string locked = FDir + "\\locked.txt";
    HANDLE holder = CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(IsWritableFile(locked));
    EXPECT_FALSE(IsReadableFile(locked));
    CloseHandle(holder);
    EXPECT_TRUE(Exists(locked));
}

TEST_F(Files, ReadableTest)
{
    const std::string file = FDir + "\\readable.txt";
    DeleteFileA(file.c_str());  // the scratch folder outlives a run
    EXPECT_FALSE(IsReadableFile(file));
    WriteAll(file, "x");
    EXPECT_TRUE(IsReadableFile(file));
    EXPECT_FALSE(IsReadableFile(""));
}

TEST_F(Files, ForceDirectoriesMakesTheWholeChain)
{
    EXPECT_TRUE(ForceDirectoriesEx(FDir + "\\a\\b\\c\\"));
    EXPECT_TRUE(Exists(FDir + "\\a\\b\\c"));
    EXPECT_TRUE(ForceDirectoriesEx(FDir + "\\a\\b"));  // already there
    EXPECT_FALSE(ForceDirectoriesEx(""));

    SetEnvironmentVariableA("VLTEST_DIR", FDir.c_str());
    EXPECT_TRUE(ForceDirectoriesEx("%VLTEST_DIR%\\expanded"));
    EXPECT_TRUE(Exists(FDir + "\\expanded"));
    SetEnvironmentVariableA("VLTEST_DIR", nullptr);

    WriteAll(FDir + "\\blocker", "a file where a folder should go");
    EXPECT_FALSE(ForceDirectoriesEx(FDir + "\\blocker\\sub"));
    const std::string drive = MissingDrive();
    ASSERT_FALSE(drive.empty());
    EXPECT_FALSE(ForceDirectoriesEx(drive + "\\x\\y"));
}

TEST_F(Files, LongNamesFollowTheDisk)
{
    ASSERT_TRUE(ForceDirectoriesEx(FDir + "\\Long Folder Name"));
    const std::string longFile = FDir + "\\Long Folder Name\\Some Long File.text";
    WriteAll(longFile, "x");
    const std::string longPath = GetLongNameFromShort(longFile);
    EXPECT_EQ(GetLongNameFromShort(longPath), longPath);

    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(longFile.c_str(), shortPath, MAX_PATH), 0u);
    if (std::string(shortPath).find('~') != std::string::npos) {
        EXPECT_EQ(GetLongNameFromShort(shortPath), longPath) << shortPath;
    }

    // The names come as the disk spells them; what is not found stays as given.
    // The drive and its backslash are taken as given.
    auto lowerAfterRoot = [](std::string path) {
        CharLowerBuffA(path.data() + 3, static_cast<DWORD>(path.size() - 3));
        return path;
    };
    const std::string lower = lowerAfterRoot(longPath);
    EXPECT_EQ(GetLongNameFromShort(lower), longPath);
    const std::string folder = longPath.substr(0, longPath.rfind('\\'));
    const std::string lowerFolder = lowerAfterRoot(folder);
    EXPECT_EQ(GetLongNameFromShort(lowerFolder + "\\absent\\More.txt"), folder + "\\absent\\More.txt");
    EXPECT_EQ(GetLongNameFromShort(lowerFolder + "\\*.text"), folder + "\\*.text");
    EXPECT_EQ(GetLongNameFromShort("relative\\name"), "relative\\name");
}

TEST_F(Files, WorkingFileStaysWhereItIsUsable)
{
    SetEnvironmentVariableA("VLTEST_DIR", FDir.c_str());
    std::string file = "%VLTEST_DIR%\\usable.log";
    EXPECT_TRUE(GetWorkingFile(file, true, false));
    EXPECT_EQ(file, FDir + "\\usable.log");
    SetEnvironmentVariableA("VLTEST_DIR", nullptr);
    EXPECT_FALSE(Exists(file));
}

TEST_F(Files, WorkingFileFallsBackToTheUsersFolder)
{
    const std::string drive = MissingDrive();
    ASSERT_FALSE(drive.empty());
    static constexpr struct {
        const char* preferred;  // below FDir, or on a missing drive when it starts with ":"
        bool useModuleFolder;
    } kCases[] = {
        {"\\missing folder\\fallback.log", false},
        {":\\nowhere\\fallback.log", false},
        {"\\missing folder\\fallback.log", true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.preferred) + " module folder=" + std::to_string(c.useModuleFolder));
        std::string file = c.preferred[0] == ':' ? drive + (c.preferred + 1) : FDir + c.preferred;
        const std::string folder = c.useModuleFolder ? FFallback + "\\" + ProgramName() : FFallback;
        EXPECT_TRUE(GetWorkingFile(file, c.useModuleFolder, false));
        EXPECT_EQ(file, folder + "\\fallback.log");
        EXPECT_TRUE(Exists(folder));
    }
}

TEST_F(Files, WorkingFileForReadingMustExist)
{
    const std::string absent = FDir + "\\missing folder\\absent-" + ProgramName() + ".log";
    std::string file = absent;
    EXPECT_FALSE(GetWorkingFile(file, false, true));
    EXPECT_EQ(file, absent);

    // Present in the fallback folder only: found there.
    ASSERT_TRUE(ForceDirectoriesEx(FFallback));
    const std::string name = "present-" + ProgramName() + ".log";
    WriteAll(FFallback + "\\" + name, "x");
    file = FDir + "\\missing folder\\" + name;
    EXPECT_TRUE(GetWorkingFile(file, false, true));
    EXPECT_EQ(file, FFallback + "\\" + name);
    DeleteFileA((FFallback + "\\" + name).c_str());
}

TEST_F(Files, WorkingFileWithNoPlaceAtAllWarns)
{
    SetEnvironmentVariableA("VLTEST_DIR", FDir.c_str());
    std::string file = "%VLTEST_DIR%\\bad*name.log";  // a name no folder can hold
    DebugLines lines;
    DebugLines::Lines().clear();
    EXPECT_FALSE(GetWorkingFile(file, false, false));
    EXPECT_EQ(file, FDir + "\\bad*name.log");  // expanded all the same
    ASSERT_EQ(DebugLines::Lines().size(), 1u);
    EXPECT_EQ(DebugLines::Lines()[0],
              "[WARNING] - Code: eeLogError - Address: 00000000 - Message: \"Cannot find a writable place for \"" +
                  file + "\".\"");

    // Looking for a file to read that is nowhere is no failure of ours.
    DebugLines::Lines().clear();
    EXPECT_FALSE(GetWorkingFile(file, false, true));
    EXPECT_TRUE(DebugLines::Lines().empty());
    SetEnvironmentVariableA("VLTEST_DIR", nullptr);
}

TEST_F(Files, WorkingDirEndsWithABackslash)
{
    std::string folder = FDir;
    EXPECT_TRUE(GetWorkingDir(folder, false, false));
    EXPECT_EQ(folder, FDir + "\\");
    EXPECT_FALSE(Exists(FDir + "\\X"));

    folder = FDir + "\\missing folder\\";
    EXPECT_TRUE(GetWorkingDir(folder, false, false));
    EXPECT_EQ(folder, FFallback + "\\");
}

TEST_F(Files, UserFolders)
{
    EXPECT_EQ(GetUserApplicationsPath(), ShellAppData());
    char local[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local), S_OK);
    EXPECT_EQ(GetLocalUserApplicationsPath(), local);
    EXPECT_EQ(GetLibraryDefaultFolder(), FFallback);

    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    EXPECT_EQ(Real_GetMainModuleFileName(), program);
}

}  // namespace
}  // namespace crash
