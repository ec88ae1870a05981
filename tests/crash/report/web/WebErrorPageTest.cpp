// The web error page: the page from its template, and its writing for WinCGI,
// CGI (the standard output handle) and ISAPI (a fake control block).
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/report/web/WebErrorPage.h"
#include "tests/support/TestFolders.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {
namespace {

std::unique_ptr<TVexlorModuleOptions> Options(const std::string& layout)
{
    auto options = TVexlorModuleOptions::Create("");
    options->SetHTMLLayout(layout);
    options->SetCustomizedTexts(mtDialog_Caption, "Failure");
    return options;
}

std::string OutFolder()
{
    return rtl::WideToAnsi(testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT"));
}

std::string ReadWhole(const std::string& name)
{
    std::string data;
    HANDLE file =
        CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) data.append(buffer, read);
    CloseHandle(file);
    return data;
}

bool WriteFileText(const std::string& name, const std::string& text)
{
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

std::string Header(std::size_t length, bool status)
{
    return std::string(status ? "Status: 500 Error\r\n" : "") +
           "Content-Type: text/html\r\nContent-Length: " + std::to_string(length) + "\r\nContent:\r\n\r\n";
}

// The page without its identifier comment, which is random.
std::string WithoutID(const std::string& page)
{
    const std::size_t id = page.rfind("<!-- VexlorLog ID: ");
    EXPECT_NE(id, std::string::npos);
    EXPECT_EQ(page.size() - id, 31u);
    return page.substr(0, id);
}

TEST(HTMLPage, FillsTheTemplate)
{
    struct Case {
        const char* what;
        std::string layout;
        std::string page;  // before the identifier comment
    } cases[] = {
        {"tag in lower case, no title", "<html><body><%html_tag%></body></html>",
         "<title>Failure</title><html><body>REPORT</body></html>"},
        {"own title, tag twice", "<TITLE>Mine</Title><%HTML_TAG%>|<%HTML_TAG%>", "<TITLE>Mine</Title>REPORT|REPORT"},
        {"a closing title before the title", "</title><title><%HTML_TAG%>",
         "<title>Failure</title></title><title>REPORT"},
        {"only the first tag in another case is made whole", "<%Html_Tag%>,<%html_tag%>,<%HTML_TAG%><title></title>",
         "REPORT,<%html_tag%>,REPORT<title></title>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(WithoutID(BuildHTMLPage("REPORT", *Options(c.layout))), c.page);
    }
}

TEST(HTMLPage, AnEmptyOrBlankLayoutGivesTheDefaultTemplate)
{
    const std::string expected =
        "<title>Failure</title>" + QuickStringReplace(std::string(kDefaultHTMLLayout), "<%HTML_TAG%>", "REPORT");
    for (const std::string layout : {"", " \r\n\t \r\n "}) {
        EXPECT_EQ(WithoutID(BuildHTMLPage("REPORT", *Options(layout))), expected);
    }
}

TEST(HTMLPage, TheCaptionBecomesOneEscapedLine)
{
    auto options = Options("<%HTML_TAG%>");
    options->SetCustomizedTexts(mtDialog_Caption, "\xCE\xF8\xE8\xE1\xEA\xE0\r\n </title><b>&  x");
    EXPECT_EQ(WithoutID(BuildHTMLPage("R", *options)),
              "<title>\xCE\xF8\xE8\xE1\xEA\xE0&nbsp;&nbsp;&lt;/title&gt;&lt;b&gt;&amp;&nbsp;&nbsp;x</title>R");
}

TEST(HTMLPage, EachPageGetsItsOwnIdentifier)
{
    auto options = Options("<title>t</title><%HTML_TAG%>");
    const std::string first = BuildHTMLPage("R", *options);
    EXPECT_EQ(LastHTMLPageIDComment(), first.substr(17));
    const std::string second = BuildHTMLPage("R", *options);
    EXPECT_EQ(LastHTMLPageIDComment(), second.substr(17));
    EXPECT_NE(first, second);
    for (const std::string& page : {first, second}) {
        ASSERT_EQ(page.size(), 48u) << page;
        EXPECT_EQ(page.substr(0, 36), "<title>t</title>R<!-- VexlorLog ID: ");
        EXPECT_EQ(page.substr(44), " -->");
        EXPECT_EQ(page.substr(36, 8).find_first_not_of("0123456789ABCDEF"), std::string::npos) << page;
    }
}

TEST(HTMLPage, GenerateHTMLEscapesTheTextAndAddsTheButton)
{
    auto options = Options("[<%HTML_TAG%>]<title>t</title>");
    EXPECT_EQ(WithoutID(GenerateHTML("a<b\r\nc", false, *options)), "[a&lt;b<br>\r\nc]<title>t</title>");
    EXPECT_EQ(WithoutID(GenerateHTML("x", true, *options)), "[x" + std::string(kHTMLOkButton) + "]<title>t</title>");
}

TEST(WinCGIPage, OverwritesTheOutputFileAndCutsIt)
{
    const std::string output = OutFolder() + "\\wincgi-output.txt";
    ASSERT_TRUE(WriteFileText(output, std::string(5000, 'o')));
    TWebServerTarget target;
    target.Kind = wakWinCGI;
    target.WinCGIOutputFile = output;
    const std::string page = "<html>\xCE\xF8</html>";
    ASSERT_TRUE(WriteWebErrorPage(page, target));
    EXPECT_EQ(ReadWhole(output), Header(page.size(), true) + page);

    DeleteFileA(output.c_str());
    ASSERT_TRUE(WriteWebErrorPage("p", target));
    EXPECT_EQ(ReadWhole(output), Header(1, true) + "p");

    ClearLastVexlorLogError();
    target.WinCGIOutputFile = OutFolder() + "\\no such folder\\out.txt";
    EXPECT_FALSE(WriteWebErrorPage("p", target));
    EXPECT_EQ(GetLastVexlorLogErrorMsg().substr(0, 9), "[WinCGI] ") << GetLastVexlorLogErrorMsg();
}

TEST(CGIPage, GoesToTheStandardOutputHandle)
{
    const std::string output = OutFolder() + "\\cgi-output.txt";
    HANDLE file = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
    TWebServerTarget target;
    target.Kind = wakCGI;
    const bool written = WriteWebErrorPage("<p>page</p>", target);
    SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
    ClearLastVexlorLogError();
    const bool writtenNowhere = WriteWebErrorPage("<p>page</p>", target);
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    CloseHandle(file);
    EXPECT_TRUE(written);
    EXPECT_EQ(ReadWhole(output), Header(11, true) + "<p>page</p>");
    EXPECT_FALSE(writtenNowhere);
    EXPECT_EQ(GetLastVexlorLogErrorMsg(), "CGI: Cannot write in the ouput file.");
}

// A server's side of one request: what the extension sent through the
// control block.
struct TFakeServer {
    std::vector<DWORD> Requests;
    std::string StatusText;
    DWORD StatusSize = 0;
    std::string HeaderText;
    std::string Written;
    bool FlagDuringSupport = false;
    bool FlagDuringWrite = false;
    BOOL SupportAnswer = TRUE;
};
TFakeServer* Server = nullptr;

BOOL WINAPI FakeSupport(HCONN conn, DWORD request, LPVOID buffer, LPDWORD size, LPDWORD dataType)
{
    EXPECT_EQ(conn, reinterpret_cast<HCONN>(0x1234));
    Server->Requests.push_back(request);
    Server->StatusText = static_cast<const char*>(buffer);
    Server->StatusSize = *size;
    Server->HeaderText = reinterpret_cast<const char*>(dataType);
    Server->FlagDuringSupport = WritingWebErrorPage();
    return Server->SupportAnswer;
}

BOOL WINAPI FakeWriteClient(HCONN conn, LPVOID buffer, LPDWORD bytes, DWORD reserved)
{
    EXPECT_EQ(conn, reinterpret_cast<HCONN>(0x1234));
    EXPECT_EQ(reserved, static_cast<DWORD>(HSE_IO_SYNC));
    Server->Written.assign(static_cast<const char*>(buffer), *bytes);
    Server->FlagDuringWrite = WritingWebErrorPage();
    return TRUE;
}

TEST(ISAPIPage, SendsTheHeaderAndThePageThroughTheControlBlock)
{
    TFakeServer server;
    Server = &server;
    EXTENSION_CONTROL_BLOCK ecb = {};
    ecb.cbSize = sizeof ecb;
    ecb.ConnID = reinterpret_cast<HCONN>(0x1234);
    ecb.dwHttpStatusCode = 200;
    ecb.ServerSupportFunction = FakeSupport;
    ecb.WriteClient = FakeWriteClient;
    TWebServerTarget target;
    target.Kind = wakISAPI;
    target.ServerECB = &ecb;
    const std::string page = "<html>\xCE\xF8 error</html>";

    EXPECT_TRUE(WriteWebErrorPage(page, target));
    EXPECT_EQ(ecb.dwHttpStatusCode, 500u);
    EXPECT_EQ(server.Requests, std::vector<DWORD>{HSE_REQ_SEND_RESPONSE_HEADER});
    EXPECT_EQ(HSE_REQ_SEND_RESPONSE_HEADER, 3);
    EXPECT_EQ(server.StatusText, "500 Error");
    EXPECT_EQ(server.StatusSize, 10u);
    EXPECT_EQ(server.HeaderText, Header(page.size(), false));
    EXPECT_EQ(server.Written, page);
    EXPECT_TRUE(server.FlagDuringSupport && server.FlagDuringWrite);
    EXPECT_FALSE(WritingWebErrorPage());

    server.SupportAnswer = FALSE;
    server.Written.clear();
    EXPECT_FALSE(WriteWebErrorPage(page, target));
    EXPECT_EQ(server.Written, "");
    EXPECT_FALSE(WritingWebErrorPage());

    target.ServerECB = nullptr;
    ClearLastVexlorLogError();
    EXPECT_FALSE(WriteWebErrorPage(page, target));
    EXPECT_EQ(GetLastVexlorLogErrorMsg(), "ISAPI: ServerECB = nil");
    Server = nullptr;
}

TEST(ISAPIPage, AServerExtensionAnswersWithThePage)
{
    std::wstring path = rtl::ModuleFileName();
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"WebErrorISAPI.dll";
    HMODULE library = LoadLibraryW(path.c_str());
    ASSERT_NE(library, nullptr) << GetLastError();
    using TProc = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
    const auto proc = reinterpret_cast<TProc>(GetProcAddress(library, "HttpExtensionProc"));
    ASSERT_NE(proc, nullptr);
    TFakeServer server;
    Server = &server;
    EXTENSION_CONTROL_BLOCK ecb = {};
    ecb.cbSize = sizeof ecb;
    ecb.ConnID = reinterpret_cast<HCONN>(0x1234);
    ecb.dwHttpStatusCode = 200;
    ecb.lpszQueryString = const_cast<char*>("tank=3");
    ecb.ServerSupportFunction = FakeSupport;
    ecb.WriteClient = FakeWriteClient;
    EXPECT_EQ(proc(&ecb), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    Server = nullptr;
    FreeLibrary(library);
    EXPECT_EQ(ecb.dwHttpStatusCode, 500u);
    EXPECT_EQ(server.Requests, std::vector<DWORD>{HSE_REQ_SEND_RESPONSE_HEADER});
    EXPECT_EQ(server.StatusText, "500 Error");
    EXPECT_EQ(server.HeaderText, Header(server.Written.size(), false));
    EXPECT_EQ(server.Written.substr(0, 38), "<title>Extension failure</title><html>") << server.Written;
    EXPECT_NE(server.Written.find("The request failed: &lt;tank=3&gt;" + std::string(kHTMLOkButton)),
              std::string::npos);
}

TEST(WebErrorPage, OnlyAWebApplicationGetsAPage)
{
    auto options = Options("<%HTML_TAG%><title>t</title>");
    const std::string output = OutFolder() + "\\show-output.txt";
    ASSERT_TRUE(WriteFileText(output, "old"));
    TWebServerTarget target;
    target.WinCGIOutputFile = output;
    EXPECT_FALSE(ShowWebErrorPage("top\r\nmessage", target, *options));
    EXPECT_EQ(ReadWhole(output), "old");

    target.Kind = wakWinCGI;
    EXPECT_TRUE(ShowWebErrorPage("top\r\n<message>", target, *options));
    const std::string page = LastWebErrorPage();
    EXPECT_EQ(WithoutID(page), "top<br>\r\n&lt;message&gt;" + std::string(kHTMLOkButton) + "<title>t</title>");
    EXPECT_EQ(ReadWhole(output), Header(page.size(), true) + page);
    // Nothing else writes a page outside a report: a second call makes a new
    // one.
    EXPECT_TRUE(ShowWebErrorPage("again", target, *options));
    EXPECT_NE(LastWebErrorPage(), page);
}

TEST(WebErrorPage, TheStepFillsItsSlot)
{
    ReportSteps.ShowWebErrorPage.Set(nullptr);
    RegisterWebErrorPageSteps();
    EXPECT_TRUE(static_cast<bool>(ReportSteps.ShowWebErrorPage));
    ReportSteps.ShowWebErrorPage.Set(nullptr);
}

TEST(WebFiles, WriteTextFileMakesItsFolders)
{
    const std::string folder = OutFolder() + "\\text-files\\a\\b";
    const std::string name = folder + "\\page.html";
    DeleteFileA(name.c_str());
    RemoveDirectoryA(folder.c_str());
    EXPECT_FALSE(IsDirectory(folder));
    EXPECT_TRUE(WriteTextFile("<html>\xCE</html>", name));
    EXPECT_TRUE(IsDirectory(folder));
    EXPECT_FALSE(IsDirectory(name));
    EXPECT_EQ(ReadWhole(name), "<html>\xCE</html>");
    EXPECT_TRUE(WriteTextFile("x", name));
    EXPECT_EQ(ReadWhole(name), "x");
    EXPECT_FALSE(WriteTextFile("x", OutFolder() + "\\bad|name.html"));
    EXPECT_FALSE(IsDirectory(OutFolder() + "\\missing-folder"));
}

}  // namespace
}  // namespace crash
