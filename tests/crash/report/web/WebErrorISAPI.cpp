// A web server extension (ISAPI) that answers its request with the error
// page, as a server extension that caught a failure would: the server calls
// HttpExtensionProc with the request's control block.
#include <windows.h>
#include <httpext.h>

#include <string>

#include "crash/engine/EOptions.h"
#include "crash/report/web/WebErrorPage.h"

extern "C" BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* version)
{
    version->dwExtensionVersion = MAKELONG(HSE_VERSION_MINOR, HSE_VERSION_MAJOR);
    lstrcpynA(version->lpszExtensionDesc, "Error page test extension", HSE_MAX_EXT_DLL_NAME_LEN);
    return TRUE;
}

extern "C" DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb)
{
    auto options = crash::TVexlorModuleOptions::Create("");
    options->SetCustomizedTexts(crash::mtDialog_Caption, "Extension failure");
    crash::TWebServerTarget target;
    target.Kind = crash::wakISAPI;
    target.ServerECB = ecb;
    const std::string text = "The request failed: <" + std::string(ecb->lpszQueryString) + ">";
    return crash::ShowWebErrorPage(text, target, *options) ? HSE_STATUS_SUCCESS : HSE_STATUS_ERROR;
}
