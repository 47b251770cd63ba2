#include "embed/window_filters.h"

#include <cwchar>

#include "common/text.h"
#include "common/window_data.h"

bool IsTopLevel(HWND window) {
    HWND parent = GetParent(window);
    return parent == nullptr || parent == GetDesktopWindow();
}

WindowTraits ReadWindowTraits(HWND window) {
    WindowTraits traits;
    wchar_t className[kClassNameCapacity] = {};
    GetClassNameW(window, className, kClassNameCapacity);
    traits.className = className;
    wchar_t title[kTitleCapacity] = {};
    GetWindowTextW(window, title, kTitleCapacity);
    traits.titleEmpty = title[0] == L'\0';
    traits.style = static_cast<uint32_t>(GetWindowLongPtrW(window, GWL_STYLE));
    traits.exStyle = static_cast<uint32_t>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    traits.visible = IsWindowVisible(window) != FALSE;
    RECT rect = {};
    GetWindowRect(window, &rect);
    traits.width = rect.right - rect.left;
    traits.height = rect.bottom - rect.top;
    return traits;
}

bool QualifiesAsFirstTopWindow(HWND window, DWORD processId) {
    if (ProcessIdOf(window) != processId || !IsTopLevel(window)) return false;
    return PassesFirstTopWindowRule(ReadWindowTraits(window));
}

BOOL CALLBACK FindFirstTopWindow(HWND window, LPARAM search) noexcept {
    try {
        auto* record = AsPointer<FirstTopWindowSearch>(search);
        if (!QualifiesAsFirstTopWindow(window, record->processId)) return TRUE;
        record->found = window;
        // Asynchronous: the window belongs to a thread that may not answer.
        if (IsWindowVisible(window)) ShowWindowAsync(window, SW_HIDE);
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}

BOOL CALLBACK FindLargestTopWindow(HWND window, LPARAM search) noexcept {
    try {
        auto* record = AsPointer<LargestTopWindowSearch>(search);
        if (ProcessIdOf(window) != record->processId || !IsTopLevel(window)) return TRUE;
        WindowTraits traits = ReadWindowTraits(window);
        if (!PassesLargestTopWindowRule(traits)) return TRUE;
        int32_t area = traits.width * traits.height;
        if (area > record->bestArea) {
            record->bestArea = area;
            record->best = window;
        }
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

BOOL CALLBACK CollectWindowsOfClass(HWND window, LPARAM collection) noexcept {
    try {
        auto* record = AsPointer<WindowClassCollection>(collection);
        wchar_t className[kClassNameCapacity] = {};
        GetClassNameW(window, className, kClassNameCapacity);
        if (wcscmp(className, record->className) == 0) record->windows->push_back(window);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

bool IsScintillaClassName(const wchar_t* className) {
    static const wchar_t kScintilla[] = L"scintilla";
    return LowerCased(std::wstring(className).substr(0, 9)) == kScintilla;
}

namespace {

BOOL CALLBACK CollectScintillaWindow(HWND window, LPARAM collection) noexcept {
    try {
        wchar_t className[kClassNameCapacity] = {};
        GetClassNameW(window, className, kClassNameCapacity);
        if (IsScintillaClassName(className)) AsPointer<std::vector<HWND>>(collection)->push_back(window);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

std::vector<HWND> ScintillaWindowsOf(HWND editor) {
    std::vector<HWND> windows;
    EnumChildWindows(editor, CollectScintillaWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}
