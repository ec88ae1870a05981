// A process for the process-list tests to find: it starts some threads,
// signals that it is ready and runs until told to stop.
//
// usage: ProcessChild.exe THREADS READY-EVENT STOP-EVENT PARENT-ID
// (the events are inherited handles, in decimal). Exit code 0 when the
// process walk names PARENT-ID as its parent and the program's version is
// read from its own file; 3 or 4 when not, 2 for bad arguments.
#include <windows.h>

#include <cstdlib>

#include "crash/engine/modules/ModuleLists.h"
#include "rtl/Startup.h"

namespace {

HANDLE gStop = nullptr;

DWORD WINAPI Park(void*)
{
    WaitForSingleObject(gStop, 60000);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 5) return 2;
    const int threads = std::atoi(argv[1]);
    const auto ready = reinterpret_cast<HANDLE>(std::strtoul(argv[2], nullptr, 10));
    gStop = reinterpret_cast<HANDLE>(std::strtoul(argv[3], nullptr, 10));
    const DWORD parent = std::strtoul(argv[4], nullptr, 10);
    HANDLE parked[8] = {};
    for (int i = 0; i < threads && i < 8; ++i) parked[i] = CreateThread(nullptr, 0, Park, nullptr, 0, nullptr);
    SetEvent(ready);
    WaitForSingleObject(gStop, 60000);
    for (int i = 0; i < threads && i < 8; ++i) {
        WaitForSingleObject(parked[i], 10000);
        CloseHandle(parked[i]);
    }
    if (crash::GetParentProcessID() != parent) return 3;
    return crash::GetMainModuleVersion() == "2.5.0.7" ? 0 : 4;
}
