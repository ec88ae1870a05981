// The application-kind tests: a console test program, a windowed child
// started as a WinCGI program would be, and libraries with and without the
// web server's extension entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/report/appkind/ApplicationKind.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"
#include "tests/support/TestFolders.h"

namespace crash {
namespace {

std::string Scratch()
{
    return rtl::WideToAnsi(testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT"));
}

std::string Beside(const char* name)
{
    std::string own = rtl::ModuleFileNameAnsi(nullptr);
    return own.substr(0, own.find_last_of('\\') + 1) + name;
}

void WriteFileText(const std::string& fileName, const std::string& text)
{
    HANDLE file = CreateFileA(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << fileName;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// Runs the windowed child with the parameters; what it says of itself.
std::string RunGuiChild(const std::string& parameters)
{
    const std::string program = Beside("AppKindGuiChild.exe");
    const std::string out = Scratch() + "\\appkind-result.txt";
    DeleteFileA(out.c_str());
    SetEnvironmentVariableA("VOLUMETRA_CHILD_OUT", out.c_str());
    std::string command = "\"" + program + "\" " + parameters;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return "<not started>";
    const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!ended) return "<hung>";
    HANDLE file = CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<no result>";
    char buffer[256];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

TEST(ApplicationKind, ConsoleProgram)
{
    SetEnvironmentVariableA("REQUEST_METHOD", nullptr);
    EXPECT_TRUE(IsConsoleApplication());
    EXPECT_FALSE(IsCGIApplication());
    EXPECT_FALSE(IsWinCGIApplication());  // never for a console program
    EXPECT_FALSE(IsISAPIApplication());   // a program, not a library
    EXPECT_FALSE(IsIntraWebApplication());
    EXPECT_FALSE(IsWebApplication());
    EXPECT_FALSE(IsGUIApplication());
}

TEST(ApplicationKind, CgiByTheRequestMethodVariable)
{
    static constexpr const char* kValues[] = {"GET", ""};  // empty counts too
    for (const char* value : kValues) {
        SCOPED_TRACE(value);
        ASSERT_TRUE(SetEnvironmentVariableA("REQUEST_METHOD", value));
        EXPECT_TRUE(IsCGIApplication());
        EXPECT_TRUE(IsWebApplication());
        EXPECT_FALSE(IsGUIApplication());
    }
    SetEnvironmentVariableA("REQUEST_METHOD", nullptr);
    EXPECT_FALSE(IsCGIApplication());
}

TEST(ApplicationKind, WindowedProgramAndWinCgi)
{
    const std::string scratch = Scratch();
    const std::string output = scratch + "\\wincgi-output.txt";
    const std::string thirdOutput = scratch + "\\wincgi-third.txt";
    WriteFileText(output, "");
    WriteFileText(thirdOutput, "");
    const std::string good = scratch + "\\wincgi-good.ini";
    WriteFileText(good, "[CGI]\r\nRequest Method=GET\r\n[System]\r\nOutput File=" + output + "\r\n");
    const std::string noOutputName = scratch + "\\wincgi-nooutput.ini";
    WriteFileText(noOutputName, "[CGI]\r\nRequest Method=POST\r\n");
    const std::string missingOutput = scratch + "\\wincgi-missing.ini";
    WriteFileText(missingOutput,
                  "[CGI]\r\nRequest Method=GET\r\n[System]\r\nOutput File=" + scratch + "\\no-such.txt\r\n");
    const std::string noMethod = scratch + "\\wincgi-nomethod.ini";
    WriteFileText(noMethod, "[CGI]\r\nRequest Method=\r\n[System]\r\nOutput File=" + output + "\r\n");
    const std::string large = scratch + "\\wincgi-large.ini";
    WriteFileText(large, "[CGI]\r\nRequest Method=GET\r\n[System]\r\nOutput File=" + output + "\r\n[Padding]\r\n" +
                             std::string(102400, ';') + "\r\n");

    // The server may hand over a read-only profile.
    const std::string readOnly = scratch + "\\wincgi-readonly.ini";
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteFileText(readOnly, "[CGI]\r\nRequest Method=GET\r\n[System]\r\nOutput File=" + output + "\r\n");
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));

    const std::string kGui = "console=0 cgi=0 wincgi=0 isapi=0 web=0 gui=1";
    const std::string kWinCgi = "console=0 cgi=0 wincgi=1 isapi=0 web=1 gui=0";
    const struct {
        std::string parameters;
        const std::string& kind;
    } kCases[] = {
        {"", kGui},
        {"\"" + good + "\"", kWinCgi},
        {"\"" + readOnly + "\"", kWinCgi},
        {"\"" + noOutputName + "\" content.dat \"" + thirdOutput + "\"", kWinCgi},  // third parameter names it
        {"\"" + noOutputName + "\"", kGui},                                         // no output file named
        {"\"" + missingOutput + "\"", kGui},                                        // output file missing
        {"\"" + noMethod + "\"", kGui},                                             // empty request method
        {"\"" + large + "\"", kGui},                                                // longer than 102400 bytes
        {"\"" + scratch + "\\no-such.ini\"", kGui},
        {"\"" + scratch + "\\wincgi-*.ini\"", kGui},  // a pattern is no file
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.parameters);
        EXPECT_EQ(RunGuiChild(c.parameters), c.kind);
    }
}

TEST(ApplicationKind, IsapiLibraryExportsTheExtensionEntry)
{
    static constexpr struct {
        const wchar_t* library;
        int answers;
    } kCases[] = {
        {L"AppKindIsapi.dll", 1 | 2 | 8},  // ISAPI, so web; the host program is a console one
        {L"AppKindPlain.dll", 8},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(rtl::WideToAnsi(c.library));
        const rtl::LibraryHandle library(
            LoadLibraryW(rtl::AnsiToWide(Beside(rtl::WideToAnsi(c.library).c_str())).c_str()));
        ASSERT_TRUE(library);
        auto* answers = rtl::EntryPoint<int WINAPI()>(library.Get(), "AppKindAnswers");
        ASSERT_NE(answers, nullptr);
        EXPECT_EQ(answers(), c.answers);
    }
}

TEST(ApplicationKind, OpenableFiles)
{
    const std::string file = Scratch() + "\\openable.txt";
    WriteFileText(file, "x");
    EXPECT_TRUE(IsOpenableFile(file));
    // Open for writing elsewhere: reading with every kind of sharing still works.
    HANDLE writer = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(IsOpenableFile(file));
    CloseHandle(writer);
    EXPECT_FALSE(IsOpenableFile(Scratch()));  // a folder
    EXPECT_FALSE(IsOpenableFile(Scratch() + "\\openable.tx?"));
    EXPECT_FALSE(IsOpenableFile(Scratch() + "\\missing.txt"));
    EXPECT_FALSE(IsOpenableFile(""));
}

}  // namespace
}  // namespace crash
