#pragma once
// Viewers that live in the host's stand-alone viewer window: a low-level mouse hook brings their
// top-level window to the front on a click, and a subclass of that window keeps its caption
// active while the embedded editor holds the activation. Safe to use from several threads.

#include <windows.h>

void RegisterStandaloneContainer(HWND viewer);
void UnregisterStandaloneContainer(HWND viewer);

LRESULT CALLBACK StandaloneMouseHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept;
void SubclassTop(HWND top);
LRESULT CALLBACK TopWindowSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Removes the hook and gives back every subclassed procedure (at library unload).
void ReleaseStandaloneContainer();
