#pragma once
// Windows of the test program that play the host's viewer pane and an embedded editor.

#include <windows.h>

#include <string>

#include "support/test_support.h"

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace testwin {

inline LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

inline void RegisterPlainClass(const wchar_t* name) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = PlainProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);  // fails harmlessly when already there
}

// A visible top-level window whose client area is width x height. Under Wine without a window
// manager, hiding or destroying a visible top-level window takes two seconds: tests share them
// (SharedHost) where they can.
inline HWND CreateHostWindow(int width, int height, int x = 50, int y = 50) {
    RegisterPlainClass(L"VelloquinTestHost");
    RECT rect = {0, 0, width, height};
    AdjustWindowRectEx(&rect, WS_POPUP | WS_BORDER, FALSE, 0);
    return CreateWindowExW(0, L"VelloquinTestHost", L"test host", WS_POPUP | WS_BORDER | WS_VISIBLE, x, y,
                           rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// A child window of any registered class (the plain procedure when the class is new).
inline HWND CreateChild(HWND parent, const wchar_t* className, int x, int y, int width, int height,
                        bool visible = true) {
    RegisterPlainClass(className);
    return CreateWindowExW(0, className, L"", WS_CHILD | (visible ? WS_VISIBLE : 0), x, y, width, height,
                           parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// The program's one host window (index picks one of several), its client area set to width x
// height, its children gone. It lives until the program ends.
inline HWND SharedHost(int width, int height, int index = 0) {
    static HWND hosts[4] = {};
    HWND& host = hosts[index];
    if (!host || !IsWindow(host)) host = CreateHostWindow(width, height, 50 + 300 * index, 50 + 100 * index);
    while (HWND child = GetWindow(host, GW_CHILD)) DestroyWindow(child);
    RECT rect = {0, 0, width, height};
    AdjustWindowRectEx(&rect, GetWindowLongW(host, GWL_STYLE), FALSE, GetWindowLongW(host, GWL_EXSTYLE));
    SetWindowPos(host, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    return host;
}

inline RECT RectInParent(HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, GetAncestor(child, GA_PARENT), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// A fresh log folder beside the others (MakeTempDir builds on the current temporary folder).
inline std::wstring FreshLogFolder() {
    static const std::wstring originalTemp = [] {
        wchar_t temp[MAX_PATH] = {};
        GetEnvironmentVariableW(L"TMP", temp, MAX_PATH);
        return std::wstring(temp);
    }();
    SetEnvironmentVariableW(L"TMP", originalTemp.empty() ? nullptr : originalTemp.c_str());
    SetEnvironmentVariableW(L"TEMP", originalTemp.empty() ? nullptr : originalTemp.c_str());
    std::wstring folder = testing_support::MakeTempDir(L"viewer");
    testing_support::UseTempFolder(folder);
    return folder;
}

}  // namespace testwin
