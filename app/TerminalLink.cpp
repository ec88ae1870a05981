// The terminal link over the D2XX driver library.
#include "app/TerminalLink.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/DeviceCommands.h"
#include "rtl/Libraries.h"

namespace app {

namespace {

TD2xxEntryPoints gEntryPoints;
HMODULE gLibrary = nullptr;

constexpr wchar_t kLibraryName[] = L"ftd2xx.dll";

// The program's folder first, so that a library shipped beside the program
// wins over one installed for the system; then the system's usual search.
rtl::LibraryHandle LoadLibraryFile()
{
    std::wstring besideProgram = rtl::ModuleFileName();
    const auto slash = besideProgram.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        besideProgram.resize(slash + 1);
        besideProgram += kLibraryName;
        if (GetFileAttributesW(besideProgram.c_str()) != INVALID_FILE_ATTRIBUTES) {
            if (HMODULE module = LoadLibraryExW(besideProgram.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
                return rtl::LibraryHandle(module);
        }
    }
    return rtl::LibraryHandle(LoadLibraryW(kLibraryName));
}

}  // namespace

HMODULE LoadDeviceLibrary()
{
    if (gLibrary) return gLibrary;
    // An incomplete library is freed with the table left empty: pointers into
    // a module that is gone must never be callable.
    rtl::RuntimeLibrary<TD2xxEntryPoints> library(LoadLibraryFile());
    if (!library) return nullptr;
    gEntryPoints = library.Entries();
    gLibrary = library.Release();
    return gLibrary;
}

const TD2xxEntryPoints& DeviceEntryPoints()
{
    return gEntryPoints;
}

DWORD TickDelta(DWORD start, DWORD now)
{
    // The wrapped branch counts one millisecond short of the true distance;
    // callers only compare it with seconds-long intervals, so it stays.
    if (now < start) return (0xFFFFFFFFu - start) + now;
    return now - start;
}

DWORD TickDelta(DWORD start)
{
    return TickDelta(start, GetTickCount());
}

TTerminalLink::TTerminalLink(ILinkDisplay* display) : FDisplay(display) {}

TTerminalLink::~TTerminalLink()
{
    CloseDevice();
}

bool TTerminalLink::OpenDevice()
{
    const TD2xxEntryPoints& ft = gEntryPoints;
    if (!ft.ListDevices) {
        FDeviceIndex = -1;
        return false;
    }

    DWORD deviceCount = 0;
    int found = -1;
    if (ft.ListDevices(&deviceCount, nullptr, FT_LIST_NUMBER_ONLY) == FT_OK) {
        const std::size_t prefixLength = std::min(FDescriptionPrefix.size(), kFtDescriptionSize);
        for (DWORD i = 0; i < deviceCount && found < 0; ++i) {
            char description[kFtDescriptionSize] = {};
            // Listing by index passes the index itself in the pointer argument.
            if (ft.ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(i)), description,
                               FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) != FT_OK)
                continue;
            if (std::memcmp(description, FDescriptionPrefix.data(), prefixLength) == 0) found = static_cast<int>(i);
        }
    }
    FDeviceIndex = found;
    if (found < 0) return false;

    // A handle left open would leak in the driver once overwritten.
    CloseDevice();
    FT_HANDLE handle = 0;
    if (ft.Open(found, &handle) != FT_OK) return false;
    FDeviceHandle = handle;

    ULONG deviceType = 0;
    DWORD deviceId = 0;
    char serialNumber[kFtSerialNumberSize] = {};
    char description[kFtDescriptionSize] = {};
    const bool configured =
        ft.SetBaudRate(handle, 460800) == FT_OK &&
        ft.SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) == FT_OK &&
        ft.SetTimeouts(handle, 1000, 200) == FT_OK && ft.SetLatencyTimer(handle, 1) == FT_OK &&
        ft.SetFlowControl(handle, FT_FLOW_NONE, 0, 0) == FT_OK &&
        ft.GetDeviceInfo(handle, &deviceType, &deviceId, serialNumber, description, nullptr) == FT_OK;
    if (configured && FDisplay) {
        // A serial number that fills its buffer has no terminating zero.
        FDisplay->ShowSerialNumber(std::string(serialNumber, strnlen(serialNumber, sizeof serialNumber)));
    }
    CloseDevice();
    return configured;
}

bool TTerminalLink::IsDeviceOpen()
{
    if (!FConnected || FDeviceIndex < 0) return false;
    // The device check probes the terminal while the idle poll may still hold
    // it open: give that handle back before asking for a new one.
    CloseDevice();
    const TD2xxEntryPoints& ft = gEntryPoints;
    FT_HANDLE handle = 0;
    if (!ft.Open || ft.Open(FDeviceIndex, &handle) != FT_OK) {
        FDeviceHandle = 0;
        return false;
    }
    FDeviceHandle = handle;
    return true;
}

void TTerminalLink::CloseDevice()
{
    if (FDeviceHandle != 0 && gEntryPoints.Close) {
        gEntryPoints.ResetDevice(FDeviceHandle);
        gEntryPoints.Close(FDeviceHandle);
    }
    FDeviceHandle = 0;
}

void TTerminalLink::SendDeviceCommand(const char* bytes, DWORD count)
{
    if (FDeviceHandle == 0) return;
    DWORD written = 0;
    gEntryPoints.Write(FDeviceHandle, const_cast<char*>(bytes), count, &written);
}

DWORD TTerminalLink::ReceiveReply(char* buffer, DWORD size, DWORD& count, DWORD timeoutMs)
{
    std::memset(buffer, 0, size);
    count = 0;
    const TD2xxEntryPoints& ft = gEntryPoints;
    const DWORD pollMs = timeoutMs / 10;
    const DWORD start = FTickSource();
    DWORD queued = 0;
    bool seen = false;
    // Measured as a distance from start, so that the wait also ends when the
    // tick counter wraps during it.
    while (TickDelta(start, FTickSource()) <= timeoutMs) {
        if (FDeviceHandle == 0) return 0;
        DWORD rx = 0, tx = 0, events = 0;
        if (ft.GetStatus(FDeviceHandle, &rx, &tx, &events) != FT_OK) rx = 0;
        if (rx == 0) {
            FPause(pollMs);
            continue;
        }
        // The first bytes are here; give the rest of the reply time to follow.
        FPause(pollMs);
        rx = 0;
        if (ft.GetStatus(FDeviceHandle, &rx, &tx, &events) != FT_OK) rx = 0;
        queued = rx;
        seen = true;
        break;
    }
    if (!seen || queued == 0 || queued > size) return 0;
    DWORD read = 0;
    if (ft.Read(FDeviceHandle, buffer, queued, &read) != FT_OK) return 0;
    // The driver never returns more than asked; should it claim to, the text
    // still ends inside the buffer.
    count = std::min(read, queued);
    return count;
}

bool TTerminalLink::ReadFirmwareVersion()
{
    if (!IsDeviceOpen()) return false;
    bool read = false;
    TReplyBuffer<kVersionReplySize> reply;
    for (int attempt = 0; attempt < kVersionAttempts && !read; ++attempt) {
        SendDeviceCommand(kVersionCommand);
        DWORD count = 0;
        ReceiveReply(reply, count, kVersionReplyTimeoutMs);
        if (count < kVersionReplyMinBytes) continue;
        const std::optional<TFirmwareVersion> version = ScanVersionReply(std::string_view(reply.Text(), count));
        if (!version) continue;
        FFirmwareMajor = version->FMajor;
        FFirmwareMinor = version->FMinor;
        FFirmwareNumber = version->Number();
        if (FDisplay) FDisplay->ShowFirmwareVersion(version->DisplayText());
        read = true;
    }
    CloseDevice();
    return read;
}

}  // namespace app
