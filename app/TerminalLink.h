// The terminal link: the byte channel to the vehicle terminal through the D2XX
// driver library, and the firmware version read over it.
//
// Thread: the main window owns one TTerminalLink; the main thread and the
// calibration worker both call it, but never at the same time (the window
// stops its idle poll and closes the device before a run starts). The link
// takes no lock itself. Failures of the driver come back as false or as a
// zero byte count; nothing here raises or shows a message.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "d2xx/D2xx.h"

namespace app {

// Loads "ftd2xx.dll", from the program's folder first and then through the
// system's library search, and fills the process-wide entry-point table
// (TD2xxEntryPoints, d2xx/D2xx.h).
// Returns the module handle, or null when the library is missing or lacks an
// entry point; then nothing stays loaded and the table is empty. Once loaded
// the library is kept for the life of the process, and later calls return
// the same handle. Main thread.
HMODULE LoadDeviceLibrary();

// The process-wide table; all null while no library is loaded.
const TD2xxEntryPoints& DeviceEntryPoints();

// Milliseconds since a tick count taken earlier, across one wrap of the
// 32-bit counter.
DWORD TickDelta(DWORD start);
DWORD TickDelta(DWORD start, DWORD now);

// A reply buffer of N bytes with one zero byte of room behind it, so that the
// bytes read are always a terminated text even when a reply fills it.
template <std::size_t N>
class TReplyBuffer {
public:
    static constexpr DWORD kSize = N;
    char* Data() noexcept { return FBytes; }
    const char* Text() const noexcept { return FBytes; }  // terminated after the bytes read
    static constexpr DWORD Size() noexcept { return kSize; }

private:
    char FBytes[N + 1] = {};  // FBytes[N] is never written
};

// What the link shows in the main window. Called on the thread that calls the
// link operation (the main thread for the device check).
class ILinkDisplay {
public:
    virtual ~ILinkDisplay() = default;
    // The panel SerNum: the terminal's serial number, in window-text colour.
    virtual void ShowSerialNumber(const std::string& serialNumber) = 0;
    // The panel FVersion: the firmware version text, in window-text colour.
    virtual void ShowFirmwareVersion(const std::string& versionText) = 0;
};

class TTerminalLink {
public:
    static constexpr char kDescriptionPrefix[] = "Zarvonix";
    static constexpr int kUnknownFirmware = 1;

    // display may be null (nothing is shown).
    explicit TTerminalLink(ILinkDisplay* display = nullptr);
    ~TTerminalLink();
    TTerminalLink(const TTerminalLink&) = delete;
    TTerminalLink& operator=(const TTerminalLink&) = delete;

    // Finds the terminal among the driver's devices by the beginning of its
    // description, opens and configures it, shows its serial number and closes
    // it again. False: no terminal (the device index becomes -1), or it could
    // not be opened or configured (nothing is shown).
    bool OpenDevice();
    // Opens the terminal by its known index and leaves it open. False when not
    // connected, when no index is known or when the driver refuses; the handle
    // is then 0. A handle still open from before is closed first.
    bool IsDeviceOpen();
    // Resets and closes the open device; the handle is 0 afterwards.
    void CloseDevice();
    // Writes the bytes as they are; nothing is sent while no device is open.
    void SendDeviceCommand(const char* bytes, DWORD count);
    void SendDeviceCommand(std::string_view command)
    {
        SendDeviceCommand(command.data(), static_cast<DWORD>(command.size()));
    }
    // Waits up to timeoutMs for a reply, polling every timeoutMs/10, and reads
    // what has arrived timeoutMs/10 after the first byte, in one piece. The
    // size bytes of buffer are zeroed first; at most size bytes are written.
    // Returns the byte count (also in count); 0 when nothing arrived, when no
    // device is open, when the reply is larger than the buffer (it then stays
    // queued) or when the driver fails.
    DWORD ReceiveReply(char* buffer, DWORD size, DWORD& count, DWORD timeoutMs);
    template <std::size_t N>
    DWORD ReceiveReply(TReplyBuffer<N>& buffer, DWORD& count, DWORD timeoutMs)
    {
        return ReceiveReply(buffer.Data(), buffer.Size(), count, timeoutMs);
    }

    // Asks the terminal for its firmware version (up to 19 requests), keeps
    // major, minor and firmware number, shows the version text and closes the
    // device in every case. False: the device did not open or no request got
    // a version reply.
    bool ReadFirmwareVersion();

    FT_HANDLE DeviceHandle() const noexcept { return FDeviceHandle; }
    int DeviceIndex() const noexcept { return FDeviceIndex; }
    void SetDeviceIndex(int index) noexcept { FDeviceIndex = index; }
    bool Connected() const noexcept { return FConnected; }
    void SetConnected(bool connected) noexcept { FConnected = connected; }
    const std::string& DescriptionPrefix() const noexcept { return FDescriptionPrefix; }
    void SetDescriptionPrefix(std::string prefix) { FDescriptionPrefix = std::move(prefix); }

    int FirmwareMajor() const noexcept { return FFirmwareMajor; }
    int FirmwareMinor() const noexcept { return FFirmwareMinor; }
    int FirmwareNumber() const noexcept { return FFirmwareNumber; }
    void SetFirmwareNumber(int number) noexcept { FFirmwareNumber = number; }

    // The clock of ReceiveReply: its tick source and its pause between polls;
    // GetTickCount and Sleep unless a test replaces them.
    using TickSource = DWORD(WINAPI*)();
    using PauseFunction = void(WINAPI*)(DWORD);
    void SetTickSource(TickSource source) noexcept { FTickSource = source ? source : &::GetTickCount; }
    void SetPause(PauseFunction pause) noexcept { FPause = pause ? pause : &::Sleep; }

private:
    ILinkDisplay* FDisplay;  // weak
    FT_HANDLE FDeviceHandle = 0;
    int FDeviceIndex = -1;
    bool FConnected = false;
    std::string FDescriptionPrefix = kDescriptionPrefix;
    int FFirmwareMajor = 0;
    int FFirmwareMinor = 0;
    int FFirmwareNumber = kUnknownFirmware;
    TickSource FTickSource = &::GetTickCount;
    PauseFunction FPause = &::Sleep;
};

}  // namespace app
