#include "plugin/exports.h"

// Placeholders until identification lands.
BOOL WINAPI DVP_IdentifyW(void*) { return FALSE; }
BOOL WINAPI DVP_IdentifyFileW(HWND, LPWSTR, void*, HANDLE) { return FALSE; }
LRESULT WINAPI DVP_About(HWND) { return 0; }
