// Child program of the library-loading tests: loads the driver library the
// way the program does and reports what it got.
//   exit 0: no library, nothing loaded, empty entry-point table
//   exit 1: loaded; the library's path is written to probe.txt beside this program
//   exit 2: no library reported, but a module is still loaded
//   exit 3: no library reported, but the table is not empty
#include <windows.h>

#include <fstream>
#include <string>

#include "app/TerminalLink.h"
#include "rtl/Startup.h"
#include "rtl/Libraries.h"

int main()
{
    const rtl::TProgramStartup programStartup;
    const HMODULE library = app::LoadDeviceLibrary();
    if (!library) {
        if (GetModuleHandleW(L"ftd2xx.dll")) return 2;
        const auto& table = app::DeviceEntryPoints();
        if (table.ListDevices || table.Open || table.SetLatencyTimer) return 3;
        return 0;
    }
    const std::wstring path = rtl::ModuleFileName(library);
    std::wstring report = rtl::ModuleFileName();
    report.resize(report.find_last_of(L"\\/") + 1);
    report += L"probe.txt";
    std::wofstream(report.c_str()) << path;
    return app::LoadDeviceLibrary() == library ? 1 : 4;
}
