// A library carrying the crash reporter, built once with the web server's
// extension entry and once without: it answers what kind of application the
// crash reporter inside it sees.
#include <windows.h>

#include "crash/report/appkind/ApplicationKind.h"

#ifdef APPKIND_ISAPI
extern "C" __declspec(dllexport) DWORD WINAPI HttpExtensionProc(void* /*control block*/)
{
    return 0;
}
#endif

// Bit 0 ISAPI, bit 1 web, bit 2 GUI, bit 3 console.
extern "C" __declspec(dllexport) int WINAPI AppKindAnswers()
{
    return (crash::IsISAPIApplication() ? 1 : 0) | (crash::IsWebApplication() ? 2 : 0) |
           (crash::IsGUIApplication() ? 4 : 0) | (crash::IsConsoleApplication() ? 8 : 0);
}
