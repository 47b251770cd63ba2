#pragma once
// The child window the plug-in creates in the host's viewer pane or stand-alone viewer.

#include <windows.h>

constexpr wchar_t kViewerClassName[] = L"DopusVelloquinViewerClass";

// The one-shot focus timer that ApplyPostLoadBehavior starts on the viewer window.
constexpr UINT_PTR kFocusTimerId = 3585;

// The host's viewer-plugin messages.
constexpr UINT DVPLUGINMSG_LOADA = 0x8F01;
constexpr UINT DVPLUGINMSG_LOADW = 0x8F02;
constexpr UINT DVPLUGINMSG_CLEAR = 0x8F1B;

// Refreshes the settings and creates a viewer window in parent; null when that fails.
HWND CreateViewer(HWND parent, const RECT* given, DWORD flags);

LRESULT CALLBACK ViewerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Unregisters the viewer class of this module (at library unload; fails while viewers exist).
void UnregisterViewerClass();
