#pragma once
// The enumeration callbacks that find an editor's main window among the top-level windows.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/window_data.h"
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
// True for class names whose first nine characters are "Scintilla", ignoring case.
bool IsScintillaClassName(const wchar_t* className);
// The editor's text controls: its descendants with a Scintilla class name, in enumeration order.
// A hand-off asks the first, the shutdown asks them all.
std::vector<HWND> ScintillaWindowsOf(HWND editor);

// No parent, or the desktop window as its parent.
bool IsTopLevel(HWND window);
// A top-level window of the process that passes the rule of FindFirstTopWindow.
bool QualifiesAsFirstTopWindow(HWND window, DWORD processId);
