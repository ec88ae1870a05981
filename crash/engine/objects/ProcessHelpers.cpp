// The emergency reserve, the clipboard and the restart of the program.
#include "crash/engine/objects/ObjectsAndWindows.h"

#include <atomic>
#include <cstring>

#include "crash/engine/ECore.h"
#include "rtl/Handles.h"

namespace crash {
namespace {

std::atomic<void*> EmergencyReserve{nullptr};

// Written by start-up before any other thread runs, read by a restart.
std::string& RecordedStartFolder()
{
    static std::string folder;
    return folder;
}

}  // namespace

void ReserveEmergencyAddressSpace() noexcept
{
    if (EmergencyReserve.load() != nullptr) return;
    void* region = ::VirtualAlloc(nullptr, kEmergencyReserveSize, MEM_RESERVE, PAGE_NOACCESS);
    if (region == nullptr) return;
    // Two threads reserving at once keep one region between them.
    void* none = nullptr;
    if (!EmergencyReserve.compare_exchange_strong(none, region)) ::VirtualFree(region, 0, MEM_RELEASE);
}

void ReleaseEmergencyAddressSpace() noexcept
{
    if (void* region = EmergencyReserve.exchange(nullptr)) ::VirtualFree(region, 0, MEM_RELEASE);
}

void* EmergencyAddressSpace() noexcept
{
    return EmergencyReserve.load();
}

void CopyTextToClipboard(const std::string& text)
{
    if (text.empty() || !::OpenClipboard(nullptr)) return;
    if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1)) {
        if (void* bytes = ::GlobalLock(memory)) {
            std::memcpy(bytes, text.c_str(), text.size() + 1);
            ::GlobalUnlock(memory);
            // Once set, the memory belongs to the clipboard.
            if (!::EmptyClipboard() || ::SetClipboardData(CF_TEXT, memory) == nullptr) ::GlobalFree(memory);
        } else {
            ::GlobalFree(memory);
        }
    }
    ::CloseClipboard();
}

void RecordStartFolder()
{
    RecordedStartFolder() = CurrentDirectory();
}

std::string StartFolder()
{
    return RecordedStartFolder();
}

void RestartApplication(bool restart)
{
    if (restart) {
        std::string commandLine = ::GetCommandLineA();
        const std::string program = Real_GetMainModuleFileName();
        if (DotNetHostedFile(program) != program) commandLine = DotNetHostedFile(commandLine);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        ::GetStartupInfoA(&startup);
        const std::string folder = StartFolder();
        PROCESS_INFORMATION process{};
        if (::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                             CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr,
                             folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
            rtl::KernelHandle thread(process.hThread);
            rtl::KernelHandle started(process.hProcess);
        }
    }
    ::TerminateProcess(::GetCurrentProcess(), 1);
    // TerminateProcess of the own process does not come back.
    ::ExitProcess(1);
}

}  // namespace crash
