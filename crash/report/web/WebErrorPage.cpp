// The web error page: the page from the template, and its writing to the web
// server.
#include "crash/report/web/WebErrorPage.h"

#include <cstdio>
#include <random>

#include "crash/engine/ECore.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/Handles.h"
#include "rtl/Streams.h"
#include "rtl/SyncObjs.h"

namespace crash {

namespace {

constexpr std::string_view kStatusText = "500 Error";

struct TPageState {
    rtl::TCriticalSection Lock;
    std::string IDComment;
    std::string LastPage;
    bool GeneratorSeeded = false;
    std::mt19937 Generator;
};

TPageState& PageState()
{
    static TPageState state;
    return state;
}

volatile LONG WritingPage = 0;

// Raised while the page goes to the server.
class TWritingPageFlag {
public:
    TWritingPageFlag() noexcept { ::InterlockedIncrement(&WritingPage); }
    ~TWritingPageFlag() { ::InterlockedDecrement(&WritingPage); }
    TWritingPageFlag(const TWritingPageFlag&) = delete;
    TWritingPageFlag& operator=(const TWritingPageFlag&) = delete;
};

// The tag and the title are plain ASCII: an ASCII fold finds them in a page of
// any code page without touching its other bytes.
std::string AsciiLower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::uint32_t RandomNumber()
{
    TPageState& state = PageState();
    if (!state.GeneratorSeeded) {
        std::random_device device;
        std::seed_seq seed{device(), device(), static_cast<unsigned>(::GetTickCount()),
                           static_cast<unsigned>(::GetCurrentProcessId())};
        state.Generator.seed(seed);
        state.GeneratorSeeded = true;
    }
    return static_cast<std::uint32_t>(state.Generator());
}

std::string PageHeader(const std::string& page, bool withStatus)
{
    std::string header;
    if (withStatus) header = "Status: " + std::string(kStatusText) + "\r\n";
    header += "Content-Type: text/html\r\n";
    header += "Content-Length: " + std::to_string(page.size()) + "\r\n";
    header += "Content:\r\n\r\n";
    return header;
}

bool WriteAll(HANDLE handle, std::string_view data)
{
    while (!data.empty()) {
        DWORD written = 0;
        if (!::WriteFile(handle, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) || written == 0)
            return false;
        data.remove_prefix(written);
    }
    return true;
}

bool WriteISAPIPage(const std::string& page, EXTENSION_CONTROL_BLOCK* ecb)
{
    if (!ecb) {
        SetLastVexlorLogError(eeShowError, "ISAPI: ServerECB = nil");
        return false;
    }
    const std::string header = PageHeader(page, false);
    std::string status(kStatusText);
    ecb->dwHttpStatusCode = 500;
    const TWritingPageFlag writing;
    DWORD statusSize = static_cast<DWORD>(status.size() + 1);
    // The header request takes the status text and its size, and the
    // header text where the data type would stand.
    if (!ecb->ServerSupportFunction || !ecb->WriteClient ||
        !ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, status.data(), &statusSize,
                                    reinterpret_cast<LPDWORD>(const_cast<char*>(header.c_str())))) {
        SetLastVexlorLogError(eeShowError, "ISAPI: Cannot send the response header.");
        return false;
    }
    DWORD length = static_cast<DWORD>(page.size());
    if (!ecb->WriteClient(ecb->ConnID, const_cast<char*>(page.data()), &length, HSE_IO_SYNC) || length != page.size()) {
        SetLastVexlorLogError(eeShowError, "ISAPI: Cannot write the page to the client.");
        return false;
    }
    return true;
}

bool WriteCGIPage(const std::string& page)
{
    const TWritingPageFlag writing;
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE || !WriteAll(output, PageHeader(page, true)) ||
        !WriteAll(output, page)) {
        SetLastVexlorLogError(eeShowError, "CGI: Cannot write in the ouput file.");
        return false;
    }
    return true;
}

bool WriteWinCGIPage(const std::string& page, const std::string& outputFile)
{
    try {
        const bool exists = ::GetFileAttributesA(outputFile.c_str()) != INVALID_FILE_ATTRIBUTES;
        rtl::TFileStream file(outputFile, exists ? rtl::fmOpenWrite | rtl::fmShareDenyWrite : rtl::fmCreate);
        const std::string header = PageHeader(page, true);
        file.WriteBuffer(header.data(), header.size());
        file.WriteBuffer(page.data(), page.size());
        // An earlier, longer answer in the file must not trail the page.
        if (!::SetEndOfFile(file.Handle())) throw rtl::EWriteError("Cannot cut the output file.");
    } catch (...) {
        SetLastVexlorLogErrorFromException(eeShowError, "WinCGI");
        return false;
    }
    return true;
}

bool WebErrorPageStep(TReportContext& context, const std::string& message)
{
    return ShowWebErrorPage(context.TopText + message, WebServerTargetStep(), ReportOptions());
}

}  // namespace

std::string BuildHTMLPage(const std::string& body, const TVexlorModuleOptions& options)
{
    std::string layout = options.HTMLLayout();
    if (rtl::Trim(OneString(layout)).empty()) layout = std::string(kDefaultHTMLLayout);

    const std::string lowerTag = AsciiLower(kHTMLTag);
    if (const std::size_t tag = AsciiLower(layout).find(lowerTag); tag != std::string::npos)
        layout.replace(tag, kHTMLTag.size(), kHTMLTag);

    const std::string lower = AsciiLower(layout);
    const std::size_t open = lower.find("<title>");
    const std::size_t close = lower.find("</title>");
    if (open == std::string::npos || (close != std::string::npos && close < open)) {
        // The caption may carry the exception's message: one line, escaped.
        const std::string caption(rtl::Trim(OneString(options.GetCustomizedExpandedTexts(mtDialog_Caption))));
        layout = "<title>" + HTMLEscapeText(caption) + "</title>" + layout;
    }

    char comment[64];
    std::string page = QuickStringReplace(layout, kHTMLTag, body);
    {
        TPageState& state = PageState();
        const rtl::TCriticalSectionLock lock(state.Lock);
        std::snprintf(comment, sizeof comment, "<!-- VexlorLog ID: %08X -->", static_cast<unsigned>(RandomNumber()));
        state.IDComment = comment;
    }
    page += comment;
    return page;
}

std::string GenerateHTML(const std::string& text, bool addButton, const TVexlorModuleOptions& options)
{
    std::string body = HTMLEscapeText(text);
    if (addButton) body += kHTMLOkButton;
    return BuildHTMLPage(body, options);
}

std::string LastHTMLPageIDComment()
{
    TPageState& state = PageState();
    const rtl::TCriticalSectionLock lock(state.Lock);
    return state.IDComment;
}

bool WriteWebErrorPage(const std::string& page, const TWebServerTarget& target)
{
    switch (target.Kind) {
    case wakISAPI: return WriteISAPIPage(page, target.ServerECB);
    case wakCGI: return WriteCGIPage(page);
    case wakWinCGI: return WriteWinCGIPage(page, target.WinCGIOutputFile);
    case wakNone: break;
    }
    return true;
}

bool WritingWebErrorPage() noexcept
{
    return WritingPage != 0;
}

bool ShowWebErrorPage(const std::string& pageText, const TWebServerTarget& target, const TVexlorModuleOptions& options)
{
    if (target.Kind == wakNone) return false;
    std::string page = GenerateHTML(pageText, true, options);
    if (AsciiLower(page).find(AsciiLower(kHTMLOkButton)) == std::string::npos) page += kHTMLOkButton;
    {
        TPageState& state = PageState();
        const rtl::TCriticalSectionLock lock(state.Lock);
        state.LastPage = page;
    }
    return WriteWebErrorPage(page, target);
}

std::string LastWebErrorPage()
{
    TPageState& state = PageState();
    const rtl::TCriticalSectionLock lock(state.Lock);
    return state.LastPage;
}

bool IsDirectory(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WriteTextFile(const std::string& text, const std::string& fileName)
{
    const std::size_t slash = fileName.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = fileName.substr(0, slash);
        if (!IsDirectory(folder) && !ForceDirectoriesEx(folder)) return false;
    }
    rtl::FileHandle file(::CreateFileA(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const bool written = WriteAll(file.Get(), text);
    return file.Close() && written;
}

void RegisterWebErrorPageSteps() noexcept
{
    ReportSteps.ShowWebErrorPage.Set(&WebErrorPageStep);
}

}  // namespace crash
