// Shut-down while the program's threads are busy: eight threads throw and
// catch, and start and end threads of their own, while the entry function
// returns and the crash reporter goes down under them.
//
// usage: StartupRaceChild.exe MODE RESULT-FILE   (exit code 0 expected)
//   race         main returns: the list is undone, then the C runtime's exit
//   exitprocess  the list is undone, then the process ends by ExitProcess
//                (the C runtime's exit, which tears down its own state while
//                the threads still raise, is left out)
#include <windows.h>

#include <atomic>
#include <string>

#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

std::atomic<bool> gGo{false};
std::atomic<int> gRounds{0};

DWORD WINAPI ShortThread(void*)
{
    try {
        throw rtl::Exception("short");
    } catch (const rtl::Exception&) {}
    return 0;
}

DWORD WINAPI Worker(void*)
{
    while (!gGo.load()) ::Sleep(0);
    for (;;) {
        try {
            throw rtl::Exception("worker");
        } catch (const rtl::Exception&) {}
        if (HANDLE thread = ::CreateThread(nullptr, 0, ShortThread, nullptr, 0, nullptr)) {
            ::WaitForSingleObject(thread, 1000);
            ::CloseHandle(thread);
        }
        gRounds.fetch_add(1);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    for (int i = 0; i < 8; ++i) {
        if (HANDLE thread = ::CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr)) ::CloseHandle(thread);
    }
    gGo.store(true);
    // Shut down while they are at it.
    while (gRounds.load() < 40) ::Sleep(1);
    if (argc > 1 && std::string(argv[1]) == "exitprocess") {
        rtl::ProgramStartup().Finalize();
        ::ExitProcess(0);
    }
    return 0;
}
