// Shut-down while the program's threads are busy: eight threads throw and
// catch, and start and end threads of their own, while the entry function
// returns and the crash reporter goes down under them.
//
// usage: StartupRaceChild.exe MODE RESULT-FILE   (exit code 0 expected)
//   race         the entry function ends through rtl::Halt, as a program's
//                does while its threads may still run
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

int main()
{
    const rtl::TProgramStartup programStartup;
    for (int i = 0; i < 8; ++i) {
        if (HANDLE thread = ::CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr)) ::CloseHandle(thread);
    }
    gGo.store(true);
    // Shut down while they are at it.
    while (gRounds.load() < 40) ::Sleep(1);
    rtl::Halt(0);
}
