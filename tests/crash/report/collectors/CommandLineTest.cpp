// The command-line parameters item of programs started by full, relative,
// short and quoted names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"
#include "tests/support/TestFolders.h"

namespace {

std::string Scratch()
{
    return rtl::WideToAnsi(testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT"));
}

// A copy of the child in folder (made as needed); its full name.
std::string PlaceChild(const std::string& folder)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string source = rtl::ModuleFileNameAnsi(nullptr);
    source = source.substr(0, source.find_last_of('\\') + 1) + "CmdLineChild.exe";
    const std::string target = folder + "\\CmdLineChild.exe";
    EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE)) << source << " -> " << target;
    return target;
}

// Starts the child with the command line as it stands; what it read, or
// "<failed>".
std::string RunWithCommandLine(const std::string& program, std::string commandLine, const std::string& folder)
{
    const std::string out = Scratch() + "\\cmdline-result.txt";
    DeleteFileA(out.c_str());
    SetEnvironmentVariableA("VOLUMETRA_CHILD_OUT", out.c_str());
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return "<failed>";
    const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    if (!ended) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!ended || code != 0) return "<failed>";
    HANDLE file = CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<failed>";
    char buffer[1024];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

TEST(CommandLine, ParametersOfEveryKindOfStart)
{
    const std::string scratch = Scratch();
    const std::string blankFolder = scratch + "\\dir with blanks";
    const std::string plainFolder = scratch + "\\plain";
    const std::string blankChild = PlaceChild(blankFolder);
    const std::string plainChild = PlaceChild(plainFolder);
    char shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(blankChild.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_EQ(std::string(shortName).find(' '), std::string::npos) << shortName;

    const struct {
        const std::string& program;
        std::string line;
        const std::string& folder;
        const char* parameters;
    } kCases[] = {
        // Quoted full name, two switches.
        {blankChild, "\"" + blankChild + "\" /log /quiet", blankFolder, "/log /quiet"},
        // Unquoted relative name without extension: the name is shorter than
        // the full file name, so cutting at its length would lose "-x".
        {plainChild, "plain\\CmdLineChild -x \"two words\"", scratch, "-x \"two words\""},
        // Bare name in its own folder.
        {plainChild, "CmdLineChild.exe /a", plainFolder, "/a"},
        // The short name of a path with blanks.
        {blankChild, std::string(shortName) + " /short", blankFolder, "/short"},
        // A quoted path with blanks and nothing after it.
        {blankChild, "\"" + blankChild + "\"", blankFolder, ""},
        {plainChild, "CmdLineChild.exe", plainFolder, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(RunWithCommandLine(c.program, c.line, c.folder), c.parameters);
    }
}

}  // namespace
