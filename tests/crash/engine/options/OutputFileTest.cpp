// Where the options put the log file and other output files.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "crash/engine/ECore.h"
#include "crash/engine/EOptions.h"
#include "tests/crash/engine/options/CountingOptions.h"

namespace crash {
namespace {

using test::MakeOptions;

bool FolderExists(const std::string& folder)
{
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class OutputFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* out = std::getenv("VOLUMETRA_TEST_OUT");
        ASSERT_NE(out, nullptr);
        // A folder per case: the cases run in parallel processes, and two
        // writability checks of one file at the same time could disturb
        // each other.
        FScratch = std::string(out) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::CreateDirectoryA(FScratch.c_str(), nullptr);
        FOptions = MakeOptions(&FStores);
    }

    int FStores = 0;
    std::string FScratch;
    std::unique_ptr<test::CountingOptions> FOptions;
};

TEST_F(OutputFiles, FollowTheOutputPath)
{
    // Scratch-relative: "@" stands for the scratch folder.
    static constexpr struct {
        const char* what;
        const char* outputPath;
        const char* fileName;
        const char* expected;
    } kCases[] = {
        {"folder", "@\\logs", "D:\\x\\prog.vlf", "@\\logs\\prog.vlf"},
        {"folder with a backslash", "@\\logs\\", "D:\\x\\prog.vlf", "@\\logs\\prog.vlf"},
        {"folders that do not exist yet", "@\\new\\deeper", "prog.vlf", "@\\new\\deeper\\prog.vlf"},
        {"full log name", "@\\full\\app.vlf", "D:\\x\\prog.vlf", "@\\full\\app.vlf"},
        {"full log name in capitals", "@\\full\\APP.VLF", "D:\\x\\other.txt", "@\\full\\APP.VLF"},
        {"a folder named like a log", "@\\dir.vlf.d", "D:\\x\\prog.vlf", "@\\dir.vlf.d\\prog.vlf"},
        {"empty: the file's own folder", "", "@\\own\\prog.vlf", "@\\own\\prog.vlf"},
    };
    const auto resolve = [this](std::string text) {
        if (const auto at = text.find('@'); at != std::string::npos) text.replace(at, 1, FScratch);
        return text;
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        FOptions->SetOutputPath(resolve(c.outputPath));
        const std::string result = FOptions->OutputFile(resolve(c.fileName));
        EXPECT_EQ(result, resolve(c.expected));
        EXPECT_TRUE(FolderExists(result.substr(0, result.find_last_of('\\'))));
    }
}

TEST_F(OutputFiles, ABareNameStaysInTheCurrentFolder)
{
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(FScratch.c_str()));
    FOptions->SetOutputPath("");
    EXPECT_EQ(FOptions->OutputFile("prog.vlf"), "prog.vlf");
    ::SetCurrentDirectoryA(previous);
}

// A relative output path counts from the current folder and stays relative.
TEST_F(OutputFiles, ARelativeOutputPathStaysRelative)
{
    static constexpr struct {
        const char* outputPath;
        const char* fileName;
        const char* expected;
    } kCases[] = {
        {"logs", "D:\\x\\prog.vlf", "logs\\prog.vlf"},
        {"logs\\deeper\\", "prog.vlf", "logs\\deeper\\prog.vlf"},
        {"full\\app.vlf", "D:\\x\\prog.vlf", "full\\app.vlf"},
    };
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(FScratch.c_str()));
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.outputPath);
        FOptions->SetOutputPath(c.outputPath);
        const std::string result = FOptions->OutputFile(c.fileName);
        EXPECT_EQ(result, c.expected);
        const std::string folder = result.substr(0, result.find_last_of('\\'));
        EXPECT_TRUE(FolderExists(FScratch + "\\" + folder)) << folder;
    }
    ::SetCurrentDirectoryA(previous);
}

TEST_F(OutputFiles, AnUnwritableFolderFallsBackToAFolderNamedAfterTheProgramInTheUsersFolder)
{
    // Wine: the prefix has drives C: and Z: only.
    FOptions->SetOutputPath("Q:\\nowhere");
    const std::string result = FOptions->OutputFile("D:\\x\\prog.vlf");
    EXPECT_NE(result.find("\\VexlorLog\\"), std::string::npos) << result;
    EXPECT_TRUE(result.ends_with("\\prog.vlf")) << result;

    // The logs of several programs meet in the user's folder: this program's
    // go into a folder of its own there, named after it without ".exe".
    char module[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
    std::string program = module;
    program = program.substr(program.find_last_of('\\') + 1);
    ASSERT_TRUE(program.ends_with(".exe")) << program;
    program.resize(program.size() - 4);
    const std::string folder = IncludeLastBackslash(GetUserApplicationsPath()) + "VexlorLog\\" + program;
    EXPECT_EQ(result, folder + "\\prog.vlf");
    EXPECT_TRUE(FolderExists(folder)) << folder;
}

TEST_F(OutputFiles, LogFileIsNamedAfterTheModule)
{
    int stores = 0;
    const auto hosted = MakeOptions(&stores, "D:\\bin\\prog.vshost.exe");
    hosted->SetOutputPath(FScratch);
    EXPECT_EQ(hosted->OutputLogFile(""), FScratch + "\\prog.vlf");
    EXPECT_EQ(hosted->OutputLogFile("D:\\bin\\base.dat"), FScratch + "\\base.vlf");
    EXPECT_EQ(hosted->OutputLogFile("D:\\bin\\noext"), FScratch + "\\noext.vlf");
}

TEST_F(OutputFiles, LogFileCarriesTheComputerNameWhenAsked)
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(::GetComputerNameA(name, &size));
    FOptions->SetOutputPath(FScratch);
    FOptions->SetLogOptions({loAddComputerNameInLogFileName});
    EXPECT_EQ(FOptions->OutputLogFile("D:\\bin\\prog.exe"),
              InsertComputerNameInFileName(FScratch + "\\prog.vlf", std::string(name, size)));
    EXPECT_NE(FOptions->OutputLogFile("D:\\bin\\prog.exe"), FScratch + "\\prog.vlf");
}

TEST(ComputerNameInFileName, ReplacesCharactersThatNoFileNameHolds)
{
    static constexpr struct {
        const char* file;
        const char* computer;
        const char* expected;
    } kCases[] = {
        {"C:\\Logs\\prog.vlf", "HOST", "C:\\Logs\\prog_HOST.vlf"},
        {"C:\\Logs\\prog.vlf", "A:B", "C:\\Logs\\prog_A_B.vlf"},
        {"C:\\Logs\\prog.vlf", "\"*/:<>?\\|", "C:\\Logs\\prog__________.vlf"},
        {"C:\\Logs\\prog.vlf", "", "C:\\Logs\\prog.vlf"},
        {"C:\\Logs.d\\prog", "HOST", "C:\\Logs.d\\prog_HOST"},
        {"C:\\Logs\\a.b.vlf", "HOST", "C:\\Logs\\a.b_HOST.vlf"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.computer);
        EXPECT_EQ(InsertComputerNameInFileName(c.file, c.computer), c.expected);
    }
}

}  // namespace
}  // namespace crash
