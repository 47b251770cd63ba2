#pragma once
// The five functions the host calls. Undecorated names come from velloquin.def.

#include <windows.h>

extern "C" {
BOOL WINAPI DVP_IdentifyW(void* viewerPluginInfo) noexcept;
BOOL WINAPI DVP_IdentifyFileW(HWND window, LPWSTR fileName, void* fileInfo, HANDLE abortEvent) noexcept;
HWND WINAPI DVP_CreateViewer(HWND parent, LPRECT rect, DWORD flags);
HWND WINAPI DVP_Configure(HWND parent, HWND notifyWindow, DWORD notifyData) noexcept;
LRESULT WINAPI DVP_About(HWND parent) noexcept;
}
