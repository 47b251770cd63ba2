#pragma once
// The module handle of the plug-in, which every window class, dialog and hook needs.

#include <windows.h>

// This DLL's module handle, stored at process attach. Code linked into a test program (no
// DllMain) sees null here; ModuleInstance() then answers the program's own module.
extern HINSTANCE moduleInstance;

HINSTANCE ModuleInstance();
