// A library without a data block of its own: the data-block test appends one
// to a copy of its file.
#include <windows.h>

extern "C" __declspec(dllexport) int __cdecl DebugDataDllFunction(int value)
{
    return value * 3 + 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
