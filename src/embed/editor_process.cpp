#include "embed/editor_process.h"

#include <algorithm>

#include "common/window_data.h"
#include "embed/bounded_wait.h"
#include "embed/editor_messages.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

constexpr DWORD kTerminateWaitMs = 500;
constexpr int kTitleCapacity = 1024;

struct TopWindowCollection {
    DWORD processId = 0;
    std::vector<HWND>* windows = nullptr;
};

BOOL CALLBACK CollectTopWindowOfProcess(HWND window, LPARAM collection) noexcept {
    try {
        auto* record = AsPointer<TopWindowCollection>(collection);
        if (ProcessIdOf(window) == record->processId) record->windows->push_back(window);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

// Read from the window structure, not by a message: a busy editor cannot hold us.
bool TitleMarksUnsaved(HWND window) {
    wchar_t title[kTitleCapacity] = {};
    InternalGetWindowText(window, title, kTitleCapacity);
    return title[0] == L'*';
}

constexpr UINT kNppGetNbOpenFiles = WM_USER + 1000 + 7;  // NPPM_GETNBOPENFILES
constexpr LPARAM kNppViews[] = {1, 2};                   // its main view and its other view

// Notepad++ shows one document per view; the text controls answer for those alone.
bool EachViewShowsItsOnlyDocument(HWND editorWindow) {
    for (LPARAM view : kNppViews) {
        LRESULT documents = 0;
        if (!SendToEditor(editorWindow, kNppGetNbOpenFiles, 0, view, &documents) || documents > 1)
            return false;
    }
    return true;
}

}  // namespace

void DetachQuietly(HWND window) {
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    SetWindowLongPtrW(window, GWL_STYLE, (style & ~static_cast<LONG_PTR>(WS_POPUP)) | WS_CHILD);
    SetParent(window, nullptr);
    SetWindowLongPtrW(window, GWL_STYLE, style);
}

void RestoreDesktopLookNow(HWND window, const DesktopLook& look) {
    ShowWindow(window, SW_HIDE);
    if (look.known) {
        SetWindowLongPtrW(window, GWL_EXSTYLE, static_cast<LONG_PTR>(look.exStyle));
        // Enabled or not is the editor's present state (a modal question disables it), not the past.
        const DWORD disabled = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & WS_DISABLED;
        SetWindowLongPtrW(window, GWL_STYLE,
                          static_cast<LONG_PTR>((look.style & ~(WS_VISIBLE | WS_DISABLED)) | disabled));
        // The normal rectangle, in the numbers it has on the desktop: a window keeps them when it
        // leaves its parent, and an editor reads them back as its placement. (Wine does not place
        // another process's window by SetWindowPlacement.)
        const RECT& normal = look.placement.rcNormalPosition;
        SetWindowPos(window, nullptr, normal.left, normal.top, normal.right - normal.left,
                     normal.bottom - normal.top, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
        style = (style & ~(WS_POPUP | WS_CHILD | WS_MINIMIZE | WS_VISIBLE)) | WS_OVERLAPPEDWINDOW;
        SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(style));
        SetWindowLongPtrW(window, GWL_EXSTYLE, GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    }
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::vector<HWND> TopWindowsOf(DWORD processId) {
    std::vector<HWND> windows;
    TopWindowCollection collection;
    collection.processId = processId;
    collection.windows = &windows;
    EnumWindows(CollectTopWindowOfProcess, reinterpret_cast<LPARAM>(&collection));
    return windows;
}

BOOL CALLBACK CollectThreadWindow(HWND window, LPARAM windows) noexcept {
    try {
        AsPointer<std::vector<HWND>>(windows)->push_back(window);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

std::vector<HWND> TopWindowsOfThread(DWORD threadId) {
    std::vector<HWND> windows;
    if (threadId != 0) EnumThreadWindows(threadId, CollectThreadWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool ShowsModalQuestion(HWND editorWindow, DWORD threadId) {
    const bool editorDisabled = !IsWindowEnabled(editorWindow);
    for (HWND window : TopWindowsOfThread(threadId)) {
        if (!IsWindowVisible(window)) continue;
        if (editorDisabled) return true;
        HWND owner = GetWindow(window, GW_OWNER);
        if (owner && !IsWindowEnabled(owner)) return true;
    }
    return false;
}

bool HasNewVisibleTopWindow(DWORD processId, const std::vector<HWND>& before) {
    for (HWND window : TopWindowsOf(processId)) {
        if (!IsWindowVisible(window)) continue;
        if (std::find(before.begin(), before.end(), window) == before.end()) return true;
    }
    return false;
}

bool HasVisibleTopWindow(DWORD processId) {
    return HasNewVisibleTopWindow(processId, std::vector<HWND>());
}

bool HasEnded(HANDLE process, DWORD timeoutMs) {
    return WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
}

ULONGLONG CreationTimeOf(HANDLE process) {
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool DocumentsProvablyUnmodified(HWND editorWindow, const EditorProfile& profile) {
    if (TitleMarksUnsaved(editorWindow)) return false;
    if (profile.handOff.unsaved == UnsavedSignal::TitleMarkOrModify &&
        !EachViewShowsItsOnlyDocument(editorWindow))
        return false;
    const std::vector<HWND> controls = ScintillaWindowsOf(editorWindow);
    if (controls.empty()) return false;
    for (HWND control : controls) {
        LRESULT modified = 0;
        if (!SendToEditor(control, kSciGetModify, 0, 0, &modified) || modified != 0) return false;
    }
    return true;
}

bool ProvablyHoldsNoUnsavedWork(HWND editorWindow, const EditorProfile& profile) {
    if (!IsLiveWindow(editorWindow)) return true;
    return IsWindowEnabled(editorWindow) && DocumentsProvablyUnmodified(editorWindow, profile);
}

void TerminateEditor(HANDLE process, DWORD processId, const wchar_t* reason) {
    if (!TerminateProcess(process, kTerminatedExitCode)) {
        LogPrintf(L"[KillChild]   pid=%lu %ls: TerminateProcess failed, err=%lu", processId, reason,
                  GetLastError());
        return;
    }
    LogPrintf(L"[KillChild]   pid=%lu %ls: terminated", processId, reason);
    WaitAnsweringSentMessages(process, kTerminateWaitMs);
}


bool WasTerminatedHere(HANDLE process) {
    DWORD code = 0;
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code) &&
           code == kTerminatedExitCode;
}
