#pragma once
// Process-wide objects of the plug-in that belong to no single subsystem.

#include <windows.h>

// This DLL's module handle, stored at process attach. Code linked into a test program (no
// DllMain) sees null here; ModuleInstance() then answers the program's own module.
extern HINSTANCE moduleInstance;

HINSTANCE ModuleInstance();
