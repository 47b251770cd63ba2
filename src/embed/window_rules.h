#pragma once
// Which top-level windows of an editor process a capture may take, decided on plain values so
// the rules are tested without windows. Process id and top-level checks are the callers'.

#include <cstdint>
#include <string>

struct WindowTraits {
    std::wstring className;  // as read into 64 units
    bool titleEmpty = false;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    bool visible = false;
    int width = 0;
    int height = 0;
};

constexpr uint32_t kCaptionBits = 0x00C00000;  // WS_CAPTION: WS_BORDER | WS_DLGFRAME

// Tooltips, menus and input-method windows are never an editor's main window.
bool IsExcludedClass(const std::wstring& className);
// The hook-based capture: no splash (untitled popup), no captioned window without a system
// menu, no tool window.
bool PassesFirstTopWindowRule(const WindowTraits& window);
// The generic capture of other editors: at least 200 by 200, no tool window, and visible or, for
// a program that honours the hidden start-up state, hidden with a full caption.
bool PassesLargestTopWindowRule(const WindowTraits& window);
// An EmEditor frame has at least one caption bit.
bool HasCaptionBit(uint32_t style);
