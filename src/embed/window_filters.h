#pragma once
// The enumeration callbacks that find an editor's main window among the top-level windows.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "embed/window_rules.h"

struct FirstTopWindowSearch {
    DWORD processId = 0;
    HWND found = nullptr;
};

struct LargestTopWindowSearch {
    DWORD processId = 0;
    HWND best = nullptr;
    int32_t bestArea = 0;
};

struct WindowClassCollection {
    const wchar_t* className = nullptr;
    std::vector<HWND>* windows = nullptr;
};

// EnumWindows callbacks; lParam points at their record.
BOOL CALLBACK FindFirstTopWindow(HWND window, LPARAM search) noexcept;
BOOL CALLBACK FindLargestTopWindow(HWND window, LPARAM search) noexcept;
BOOL CALLBACK CollectWindowsOfClass(HWND window, LPARAM collection) noexcept;

WindowTraits ReadWindowTraits(HWND window);
DWORD ProcessIdOf(HWND window);
// No parent, or the desktop window as its parent.
bool IsTopLevel(HWND window);
// A top-level window of the process that passes the rule of FindFirstTopWindow.
bool QualifiesAsFirstTopWindow(HWND window, DWORD processId);
// True when some top-level window of the process is visible (a prompt, once its main window is
// hidden inside the viewer).
bool ProcessHasVisibleTopWindow(DWORD processId);
