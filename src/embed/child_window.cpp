#include "embed/child_window.h"

#include <vector>

#include "common/handles.h"
#include "editor/editor_kind.h"
#include "embed/bounded_wait.h"
#include "embed/editor_messages.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

constexpr DWORD kCloseWaitMs = 200;
constexpr DWORD kTerminateWaitMs = 500;
constexpr DWORD kParentRetryDelayMs = 100;
constexpr UINT kEmbedPositionFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
constexpr DWORD kReparentClearedStyle = WS_MINIMIZE | WS_OVERLAPPEDWINDOW;
constexpr DWORD kReparentAddedStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kReparentClearedExStyle =
    WS_EX_LAYERED | WS_EX_APPWINDOW | WS_EX_WINDOWEDGE | WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
constexpr UINT kRedrawWholeWindow = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW;
constexpr UINT kSciGetModify = 2159;
constexpr wchar_t kScintillaClass[] = L"Scintilla";
constexpr int kMinimumReleasedSide = 300;

static_assert(kReparentClearedStyle == 0x20CF0000, "frame and desktop-window styles");
static_assert(kReparentAddedStyle == 0x94000000, "popup, visible, clip siblings");
static_assert(kReparentClearedExStyle == 0x000C0109, "layered, app window, edge, topmost, modal frame");

// The process and thread handles of the editor, taken out of the state before any wait, so that
// a request answered during the wait finds the state already empty.
struct EditorProcess {
    UniqueHandle process;
    UniqueHandle thread;
    DWORD processId = 0;
};

EditorProcess TakeEditorProcess(ViewerState& state) {
    EditorProcess editor;
    editor.process.reset(std::exchange(state.process, nullptr));
    editor.thread.reset(std::exchange(state.thread, nullptr));
    editor.processId = std::exchange(state.processId, 0);
    state.editorPath.clear();
    state.currentFile.clear();
    return editor;
}

// Makes the window a normal framed top-level window on the desktop again, where it was shown.
void ReturnWindowToDesktop(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    SetParent(window, nullptr);
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    style = (style & ~(WS_POPUP | WS_CHILD | WS_MINIMIZE)) | WS_OVERLAPPEDWINDOW;
    SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(style));
    SetWindowLongPtrW(window, GWL_EXSTYLE, GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    int width = rect.right - rect.left < kMinimumReleasedSide ? kMinimumReleasedSide : rect.right - rect.left;
    int height =
        rect.bottom - rect.top < kMinimumReleasedSide ? kMinimumReleasedSide : rect.bottom - rect.top;
    SetWindowPos(window, HWND_TOP, rect.left, rect.top, width, height, SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
}

void SendSizeToNotepadPlusPlus(HWND child, int width, int height) {
    LPARAM size = MAKELPARAM(width, height);
    if (SendToEditor(child, WM_SIZE, 0, size)) {
        RedrawWindow(child, nullptr, nullptr, kRedrawWholeWindow);
    } else {
        LogWrite(L"[ReparentChild]   WM_SIZE not answered in time\r\n");
    }
    PostMessageW(child, WM_SIZE, 0, size);
}

// The editor did not end after WM_CLOSE. When it shows a window of its own meanwhile, it is
// asking the user (about unsaved changes): it is released, never terminated.
void EndUnresponsiveEditor(EditorProcess& editor, HWND closedWindow) {
    if (closedWindow && IsWindow(closedWindow) && ProcessHasVisibleTopWindow(editor.processId)) {
        LogPrintf(
            L"[KillChild]   pid=%lu shows a window after WM_CLOSE, editor released instead of terminated",
            editor.processId);
        ReturnWindowToDesktop(closedWindow);
        return;
    }
    TerminateProcess(editor.process.get(), 0);
    WaitAnsweringSentMessages(editor.process.get(), kTerminateWaitMs);
}

}  // namespace

void ReparentChild(HWND parent, HWND child, int kind) {
    LogPrintf(L"[ReparentChild] ReparentChild: parent=0x%p child=0x%p", parent, child);
    ShowWindow(child, SW_HIDE);
    SetLastError(0);
    HWND oldParent = SetParent(child, parent);
    DWORD error = GetLastError();
    LogPrintf(L"[ReparentChild]   SetParent returned oldParent=0x%p (err=%lu)", oldParent, error);
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
    LogPrintf(L"[ReparentChild]   old style=0x%08X", style);
    SetWindowLongPtrW(child, GWL_STYLE,
                      static_cast<LONG_PTR>((style & ~kReparentClearedStyle) | kReparentAddedStyle));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_EXSTYLE));
    SetWindowLongPtrW(child, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle & ~kReparentClearedExStyle));
    RECT client = {};
    GetClientRect(parent, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    SetWindowPos(child, nullptr, 0, 0, width, height, kEmbedPositionFlags);
    MoveWindow(child, 0, 0, width, height, FALSE);
    ShowWindow(child, SW_SHOW);
    UpdateWindow(child);
    ReleaseCapture();
    if (kind == static_cast<int>(EditorKind::NotepadPlusPlus))
        SendSizeToNotepadPlusPlus(child, width, height);
    HWND actual = GetAncestor(child, GA_PARENT);
    if (actual != parent) {
        LogPrintf(L"[ReparentChild]   verified parent=0x%p (expected 0x%p), retrying in 100ms", actual,
                  parent);
        WaitAnsweringSentMessages(nullptr, kParentRetryDelayMs);
        SetParent(child, parent);
    }
    LogWrite(L"[ReparentChild] ReparentChild done\r\n");
}

bool EditorHasUnsavedChanges(HWND editorWindow) {
    if (!editorWindow || !IsWindow(editorWindow)) return false;
    std::vector<HWND> scintillaWindows;
    WindowClassCollection collection;
    collection.className = kScintillaClass;
    collection.windows = &scintillaWindows;
    EnumChildWindows(editorWindow, CollectWindowsOfClass, reinterpret_cast<LPARAM>(&collection));
    for (HWND scintilla : scintillaWindows) {
        LRESULT modified = 0;
        // An editor that does not answer in time is treated as one without unsaved changes.
        if (!SendToEditor(scintilla, kSciGetModify, 0, 0, &modified)) return false;
        if (modified) return true;
    }
    return false;
}

void ReleaseChild(ViewerState& state) {
    HWND window = state.editorWindow;
    bool windowAlive = window && IsWindow(window);
    LogPrintf(
        L"[ReleaseChild] ReleaseChild: editor hwnd=0x%p pid=%lu released to the desktop with unsaved changes",
        window, state.processId);
    if (windowAlive) state.editorWindow = nullptr;
    EditorProcess editor = TakeEditorProcess(state);
    if (!windowAlive) return;
    ReturnWindowToDesktop(window);
    // Closing it now lets the editor ask the user whether to save.
    PostMessageW(window, WM_CLOSE, 0, 0);
}

void KillChild(ViewerState& state) {
    LogWrite(L"[KillChild] KillChild enter\r\n");
    HWND window = state.editorWindow;
    bool windowAlive = window && IsWindow(window);
    if (windowAlive && EditorHasUnsavedChanges(window)) {
        ReleaseChild(state);
        LogWrite(L"[KillChild] KillChild leave\r\n");
        return;
    }
    if (windowAlive) {
        ShowWindowAsync(window, SW_HIDE);
        PostMessageW(window, WM_CLOSE, 0, 0);
        state.editorWindow = nullptr;
    }
    EditorProcess editor = TakeEditorProcess(state);
    if (editor.process &&
        WaitAnsweringSentMessages(editor.process.get(), kCloseWaitMs) != WaitResult::Signaled) {
        EndUnresponsiveEditor(editor, windowAlive ? window : nullptr);
    }
    editor.process.reset();
    editor.thread.reset();
    LogWrite(L"[KillChild] KillChild leave\r\n");
}
