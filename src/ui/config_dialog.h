#pragma once
// The modeless configuration dialog that DVP_Configure opens.

#include <windows.h>

#include <string>
#include <vector>

#include "config/plugin_config.h"

constexpr int kLayoutControlCount = 15;

// One per open configuration dialog, from CreateConfigDialog to WM_NCDESTROY.
struct ConfigDialogState {
    std::vector<GroupMapping> mappings;  // working copy; only OK writes it back
    std::wstring editorParams;
    HWND notifyWindow = nullptr;
    DWORD notifyData = 0;
    int minWidth = 0;  // client size right after initialisation
    int minHeight = 0;
    int minTrackWidth = 0;  // window size right after initialisation: the smallest the user may make it
    int minTrackHeight = 0;
    RECT controlRects[kLayoutControlCount] = {};  // in the order of kLayout, dialog client coordinates
    // Typed editor paths that named no file when OK was last pressed: their rows are drawn marked.
    std::vector<std::wstring> missingEditors;
};

HWND CreateConfigDialog(HWND parent, HWND notifyWindow, DWORD notifyData);
