// The D2XX driver library's entry points (ftd2xx.dll), as the program calls
// them and as any library in its place exports them.
//
// Every entry point is stdcall and exported under its undecorated name; each
// argument takes one 4-byte slot, handles and counts are 32-bit values and
// every result is an FT_STATUS, FT_OK (0) on success. The program never links
// against these declarations: it loads the library at run time and types its
// pointers by decltype of them (TD2xxEntryPoints below), so a mismatch between
// caller and library shows at compile time wherever both include this header.
#pragma once
#include <windows.h>

#include <cstdint>

using FT_HANDLE = std::uint32_t;  // 0 = no device
using FT_STATUS = std::uint32_t;

static_assert(sizeof(FT_HANDLE) == 4 && sizeof(void*) == 4, "the driver library is 32-bit");

// Result codes.
inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

// FT_ListDevices flags.
inline constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
inline constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;
inline constexpr DWORD FT_LIST_ALL = 0x20000000;
inline constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 0x00000001;
inline constexpr DWORD FT_OPEN_BY_DESCRIPTION = 0x00000002;

// FT_SetDataCharacteristics values.
inline constexpr UCHAR FT_BITS_8 = 8;
inline constexpr UCHAR FT_BITS_7 = 7;
inline constexpr UCHAR FT_STOP_BITS_1 = 0;
inline constexpr UCHAR FT_STOP_BITS_2 = 2;
inline constexpr UCHAR FT_PARITY_NONE = 0;

// FT_SetFlowControl values.
inline constexpr USHORT FT_FLOW_NONE = 0x0000;

// FT_Purge mask bits.
inline constexpr ULONG FT_PURGE_RX = 1;
inline constexpr ULONG FT_PURGE_TX = 2;

// Buffer sizes of FT_GetDeviceInfo and of a description listed by index.
inline constexpr std::size_t kFtSerialNumberSize = 16;
inline constexpr std::size_t kFtDescriptionSize = 64;

extern "C" {
// pArg1: out count (FT_LIST_NUMBER_ONLY), or the index itself passed by value
// (FT_LIST_BY_INDEX); pArg2: the text buffer of a listing by index.
FT_STATUS WINAPI FT_ListDevices(void* pArg1, void* pArg2, DWORD flags);
FT_STATUS WINAPI FT_Open(int deviceIndex, FT_HANDLE* handle);
FT_STATUS WINAPI FT_Close(FT_HANDLE handle);
FT_STATUS WINAPI FT_ResetDevice(FT_HANDLE handle);
FT_STATUS WINAPI FT_Purge(FT_HANDLE handle, ULONG mask);
FT_STATUS WINAPI FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned);
FT_STATUS WINAPI FT_Write(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten);
FT_STATUS WINAPI FT_SetDivisor(FT_HANDLE handle, USHORT divisor);
FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs);
FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate);
FT_STATUS WINAPI FT_GetDeviceInfo(FT_HANDLE handle, ULONG* deviceType, DWORD* deviceId, char* serialNumber,
                                  char* description, void* reserved);
FT_STATUS WINAPI FT_GetStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventState);
FT_STATUS WINAPI FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes);
FT_STATUS WINAPI FT_SetRts(FT_HANDLE handle);
FT_STATUS WINAPI FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity);
FT_STATUS WINAPI FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff);
FT_STATUS WINAPI FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs);
}

// The one table of the library's typed entry points, in the order they are
// looked up (rtl::BindEntryTable); all seventeen are required, so a library
// that lacks one leaves the table empty.
struct TD2xxEntryPoints {
    decltype(&::FT_ListDevices) ListDevices = nullptr;
    decltype(&::FT_Open) Open = nullptr;
    decltype(&::FT_Close) Close = nullptr;
    decltype(&::FT_ResetDevice) ResetDevice = nullptr;
    decltype(&::FT_Purge) Purge = nullptr;
    decltype(&::FT_Read) Read = nullptr;
    decltype(&::FT_Write) Write = nullptr;
    decltype(&::FT_SetDivisor) SetDivisor = nullptr;
    decltype(&::FT_SetTimeouts) SetTimeouts = nullptr;
    decltype(&::FT_SetBaudRate) SetBaudRate = nullptr;
    decltype(&::FT_GetDeviceInfo) GetDeviceInfo = nullptr;
    decltype(&::FT_GetStatus) GetStatus = nullptr;
    decltype(&::FT_GetQueueStatus) GetQueueStatus = nullptr;
    decltype(&::FT_SetRts) SetRts = nullptr;
    decltype(&::FT_SetDataCharacteristics) SetDataCharacteristics = nullptr;
    decltype(&::FT_SetFlowControl) SetFlowControl = nullptr;
    decltype(&::FT_SetLatencyTimer) SetLatencyTimer = nullptr;

    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(ListDevices, "FT_ListDevices");
        bind.Required(Open, "FT_Open");
        bind.Required(Close, "FT_Close");
        bind.Required(ResetDevice, "FT_ResetDevice");
        bind.Required(Purge, "FT_Purge");
        bind.Required(Read, "FT_Read");
        bind.Required(Write, "FT_Write");
        bind.Required(SetDivisor, "FT_SetDivisor");
        bind.Required(SetTimeouts, "FT_SetTimeouts");
        bind.Required(SetBaudRate, "FT_SetBaudRate");
        bind.Required(GetDeviceInfo, "FT_GetDeviceInfo");
        bind.Required(GetStatus, "FT_GetStatus");
        bind.Required(GetQueueStatus, "FT_GetQueueStatus");
        bind.Required(SetRts, "FT_SetRts");
        bind.Required(SetDataCharacteristics, "FT_SetDataCharacteristics");
        bind.Required(SetFlowControl, "FT_SetFlowControl");
        bind.Required(SetLatencyTimer, "FT_SetLatencyTimer");
    }
};
