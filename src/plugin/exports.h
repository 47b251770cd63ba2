#pragma once
// The five functions the host calls, and the exit guard's entry. Undecorated names come from velloquin.def.

#include <windows.h>

extern "C" {
BOOL WINAPI DVP_IdentifyW(void* viewerPluginInfo) noexcept;
BOOL WINAPI DVP_IdentifyFileW(HWND window, LPWSTR fileName, void* fileInfo, HANDLE abortEvent) noexcept;
HWND WINAPI DVP_CreateViewer(HWND parent, LPRECT rect, DWORD flags) noexcept;
HWND WINAPI DVP_Configure(HWND parent, HWND notifyWindow, DWORD notifyData) noexcept;
LRESULT WINAPI DVP_About(HWND parent) noexcept;
// Not the host's: rundll32 runs the plug-in's exit guard with it.
void CALLBACK ExitGuardW(HWND window, HINSTANCE instance, LPWSTR commandLine, int show) noexcept;
}
