#include "plugin/exports.h"

// Placeholder until the viewer window lands.
HWND WINAPI DVP_CreateViewer(HWND, LPRECT, DWORD) { return nullptr; }
