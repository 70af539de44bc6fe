// Entry point of Tavik2.dll: loading and unloading do no work of their own.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
