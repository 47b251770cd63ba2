#include "plugin/exports.h"

// Placeholder until the configuration dialog lands.
HWND WINAPI DVP_Configure(HWND, HWND, DWORD) { return nullptr; }
