// The figure of the module list's cost: a refresh plus a full record for
// every module of a process with 50 modules (system libraries loaded until
// there are), the median of several runs in microseconds. A measurement, not
// a timed test: it fails only when the process does not reach 50 modules or
// a module gets no full record.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/modules/ModulesInternal.h"
#include "rtl/Startup.h"

namespace {

constexpr std::size_t kModules = 50;
constexpr int kRuns = 7;

const wchar_t* const kSystemLibraries[] = {
    L"user32.dll",   L"gdi32.dll",    L"advapi32.dll", L"shell32.dll",  L"ole32.dll",    L"oleaut32.dll",
    L"comctl32.dll", L"comdlg32.dll", L"ws2_32.dll",   L"wininet.dll",  L"winmm.dll",    L"version.dll",
    L"shlwapi.dll",  L"crypt32.dll",  L"rpcrt4.dll",   L"secur32.dll",  L"setupapi.dll", L"imm32.dll",
    L"usp10.dll",    L"msvcrt.dll",   L"winspool.drv", L"iphlpapi.dll", L"dnsapi.dll",   L"netapi32.dll",
    L"userenv.dll",  L"wintrust.dll", L"mpr.dll",      L"psapi.dll",    L"dbghelp.dll",  L"urlmon.dll",
    L"mswsock.dll",  L"uxtheme.dll",  L"riched20.dll", L"msimg32.dll",  L"winhttp.dll",  L"bcrypt.dll",
    L"cabinet.dll",  L"wtsapi32.dll", L"powrprof.dll", L"msacm32.dll",  L"avifil32.dll", L"msvfw32.dll",
    L"oledlg.dll",   L"olepro32.dll", L"hhctrl.ocx",   L"mapi32.dll",   L"msi.dll",      L"credui.dll",
    L"cryptui.dll",  L"sensapi.dll",  L"wldap32.dll",  L"odbc32.dll",   L"msxml3.dll",   L"d3d9.dll",
    L"ddraw.dll",    L"dsound.dll",   L"dinput8.dll",  L"opengl32.dll", L"glu32.dll",    L"activeds.dll",
};

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency)
{
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main()
{
    const rtl::TProgramStartup programStartup;
    for (const wchar_t* library : kSystemLibraries) {
        if (crash::modules::EnumerateModules().size() >= kModules) break;
        LoadLibraryW(library);
    }
    const std::size_t loaded = crash::modules::EnumerateModules().size();
    if (loaded < kModules) {
        std::printf("FAILED: only %u modules loaded\n", static_cast<unsigned>(loaded));
        return 1;
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> runs;
    std::vector<double> refreshes;
    int functions = 0;
    int records = 0;
    for (int run = 0; run < kRuns; ++run) {
        crash::CreateModuleLists();
        LARGE_INTEGER start, refreshed, stop;
        QueryPerformanceCounter(&start);
        crash::RefreshModulesList();
        QueryPerformanceCounter(&refreshed);
        std::vector<HMODULE> handles;
        {
            rtl::TCriticalSectionLock hold(crash::ModulesListLock());
            for (int i = 0; i < crash::ModulesList()->Count(); ++i)
                handles.push_back(
                    reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(crash::ModulesList()->GetItem(i)->Handle)));
        }
        functions = 0;
        records = 0;
        for (const HMODULE module : handles) {
            const crash::PVexlorModuleInfo record = crash::ModuleInfoByHandle(module);
            if (!record || record->Light) continue;
            ++records;
            functions += record->FunctionsList.Count();
        }
        QueryPerformanceCounter(&stop);
        runs.push_back(Microseconds(start, stop, frequency));
        refreshes.push_back(Microseconds(start, refreshed, frequency));
        crash::FreeModuleLists();
        if (records != static_cast<int>(handles.size())) {
            std::printf("FAILED: %d full records of %u modules\n", records, static_cast<unsigned>(handles.size()));
            return 1;
        }
    }
    std::sort(runs.begin(), runs.end());
    std::sort(refreshes.begin(), refreshes.end());
    std::printf("modules: %d, exported functions read: %d\n", records, functions);
    std::printf("refresh plus full records, median of %d runs: %.0f us (fastest %.0f us, slowest %.0f us)\n", kRuns,
                runs[runs.size() / 2], runs.front(), runs.back());
    std::printf("of which the refresh (light records), median: %.0f us\n", refreshes[refreshes.size() / 2]);
    return 0;
}
