// A console program that a web server starts as CGI: it raises in its main
// thread, catches the exception and answers with the error page. Without
// REQUEST_METHOD it is no CGI program and writes no page (exit code 3).
#include <windows.h>

#include <cstdio>
#include <string>

#include "crash/engine/EOptions.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/report/web/WebErrorPage.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

// The caption the page's title must show: Cyrillic (code page 1251) and what
// would end the title early.
const char kCaption[] = "\xCE\xF8\xE8\xE1\xEA\xE0 </title><b>&";
const char kMessage[] = "\xD2\xE0\xED\xEA \xB9"
                        "3: level <sensor> & \"pump\" failed";

// A variable that exists with an empty value counts: GetEnvironmentVariable
// answers 0 for both, and only a missing one sets ERROR_ENVVAR_NOT_FOUND.
bool HasRequestMethod()
{
    char value[2];
    ::SetLastError(ERROR_SUCCESS);
    if (::GetEnvironmentVariableA("REQUEST_METHOD", value, sizeof value) > 0) return true;
    return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

void RaiseInMainThread()
{
    throw rtl::Exception(kMessage);
}

}  // namespace

int main()
{
    const rtl::TProgramStartup programStartup;
    auto options = crash::TVexlorModuleOptions::Create("");
    options->SetCustomizedTexts(crash::mtDialog_Caption, kCaption);
    crash::TWebServerTarget target;
    target.Kind = HasRequestMethod() ? crash::wakCGI : crash::wakNone;
    try {
        RaiseInMainThread();
    } catch (const rtl::Exception& e) {
        const std::string top = options->GetCustomizedExpandedTexts(crash::mtDialog_ErrorMsgCaption) + "\r\n\r\n";
        const bool written = crash::ShowWebErrorPage(top + e.Message(), target, *options);
        if (target.Kind == crash::wakNone) {
            std::fprintf(stderr, "WebErrorCGI: no REQUEST_METHOD, no page\n");
            return 3;
        }
        if (!written) {
            std::fprintf(stderr, "WebErrorCGI: %s\n", crash::GetLastVexlorLogErrorMsg().c_str());
            return 1;
        }
        return 0;
    }
    return 2;
}
