// A driver library that lacks FT_SetLatencyTimer, the last entry point the
// program looks up: it must be refused after sixteen good look-ups.
#include "d2xx/D2xx.h"

extern "C" {
FT_STATUS WINAPI FT_ListDevices(void*, void*, DWORD)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_Open(int, FT_HANDLE*)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_Close(FT_HANDLE)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_ResetDevice(FT_HANDLE)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_Purge(FT_HANDLE, ULONG)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_Read(FT_HANDLE, void*, DWORD, DWORD*)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_Write(FT_HANDLE, void*, DWORD, DWORD*)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_SetDivisor(FT_HANDLE, USHORT)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE, ULONG, ULONG)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE, ULONG)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_GetDeviceInfo(FT_HANDLE, ULONG*, DWORD*, char*, char*, void*)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_GetStatus(FT_HANDLE, DWORD*, DWORD*, DWORD*)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_GetQueueStatus(FT_HANDLE, DWORD*)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_SetRts(FT_HANDLE)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR)
{
    return FT_OK;
}
FT_STATUS WINAPI FT_SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR)
{
    return FT_OK;
}
}
