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
constexpr UINT kSciGetModify = 2159;
constexpr wchar_t kScintillaClass[] = L"Scintilla";
constexpr int kMinimumReleasedSide = 300;

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
