// A library without debug information of its own: the fixture generator
// gives copies of it a map, JDBG or TD32 data beside or inside them.
#include <windows.h>

extern "C" __declspec(dllexport) int __cdecl DebugInfoDllFunction(int value)
{
    return value * 5 + 2;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
