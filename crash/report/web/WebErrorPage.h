// The web error page: a web application answers the failed request with an
// HTML page holding the report, written the way its server interface expects
// (CGI: standard output; WinCGI: the request's output file; ISAPI: the
// request's control block), and two small file helpers.
//
// Which interface applies is decided by the application-kind tests; these
// functions take it as a TWebServerTarget. Failure: nothing here raises; a
// page that cannot be written records the crash reporter's last error and
// answers false. Threads: the report thread (or whichever thread calls);
// the page identifier is kept under a lock. Zone: report (allocates).
#pragma once
#include <windows.h>
#include <httpext.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "crash/engine/ReportSteps.h"

namespace crash {

class TVexlorModuleOptions;

// The server interface a web application answers through.
enum TWebApplicationKind : std::uint8_t { wakNone, wakISAPI, wakCGI, wakWinCGI };

struct TWebServerTarget {
    TWebApplicationKind Kind = wakNone;
    // WinCGI: the request's output file.
    std::string WinCGIOutputFile;
    // ISAPI: the control block of the request being served (weak).
    EXTENSION_CONTROL_BLOCK* ServerECB = nullptr;
};

// The page's OK button, which takes the browser back to the previous page.
inline constexpr std::string_view kHTMLOkButton =
    "<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
    "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">";

// The template's place holder of the report.
inline constexpr std::string_view kHTMLTag = "<%HTML_TAG%>";

// The options' page template (the default one when it is empty or blank)
// with every place holder replaced by body, after the first place holder
// found in any case was written as kHTMLTag. A template without a title, or
// whose "</title>" stands before its "<title>", gets "<title>" + the
// customised dialog caption (expanded, made one line, HTML-escaped) +
// "</title>" in front. The page ends with "<!-- VexlorLog ID: XXXXXXXX -->",
// XXXXXXXX eight upper-case hexadecimal digits of a random number; that
// comment is remembered (LastHTMLPageIDComment).
std::string BuildHTMLPage(const std::string& body, const TVexlorModuleOptions& options);

// The page of a report text: the text HTML-escaped, with addButton followed by
// kHTMLOkButton, through BuildHTMLPage.
std::string GenerateHTML(const std::string& text, bool addButton, const TVexlorModuleOptions& options);

// The identifier comment of the last page made; empty before the first.
std::string LastHTMLPageIDComment();

// Writes the page to the server, preceded by its header
// ("Status: 500 Error" for CGI and WinCGI, then Content-Type text/html,
// Content-Length and an empty "Content:" line):
//  - CGI: to the standard output handle;
//  - WinCGI: into the output file from its start, the file cut after the page;
//  - ISAPI: status 500, the header sent through the control block's support
//    function (status text "500 Error"), the page through its WriteClient;
//  - no web application: nothing, true.
// False, with the last error recorded, when the page could not be written
// whole (a missing control block: "ISAPI: ServerECB = nil").
bool WriteWebErrorPage(const std::string& page, const TWebServerTarget& target);

// True while WriteWebErrorPage writes to the server: a capture of the pages
// the program writes must not take the error page for the program's own.
bool WritingWebErrorPage() noexcept;

// The page of pageText (the dialog's top text and the message) with the OK
// button, written to the server. False, and nothing done, when target is no
// web application; else WriteWebErrorPage's answer. The page made is kept
// (LastWebErrorPage).
bool ShowWebErrorPage(const std::string& pageText, const TWebServerTarget& target, const TVexlorModuleOptions& options);
// The page the last ShowWebErrorPage made; empty before the first.
std::string LastWebErrorPage();

// True when the path's attributes can be read and say that it is a folder.
bool IsDirectory(const std::string& path);

// Creates the file's folder when it is missing, creates (or truncates) the
// file and writes text; true when the whole text was written and the file
// closed.
bool WriteTextFile(const std::string& text, const std::string& fileName);

// ---- Start-up ----

// The server interface of the module, from the application-kind tests; an
// empty slot means no web application.
inline TReportStep<TWebServerTarget()> WebServerTargetStep;

// Fills the pipeline's web-page step: the context's top text and the message,
// with the report's options, through ShowWebErrorPage and WebServerTargetStep.
void RegisterWebErrorPageSteps() noexcept;

}  // namespace crash
