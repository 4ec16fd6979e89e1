// The library's entry point: loading and unloading do no work of ours.
#include "platform/win_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
