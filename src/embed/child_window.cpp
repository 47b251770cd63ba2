#include "embed/child_window.h"

#include <vector>

#include "common/deadline.h"
#include "common/handles.h"
#include "common/window_data.h"
#include "embed/bounded_wait.h"
#include "embed/editor_messages.h"
#include "embed/editor_shutdown.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

constexpr DWORD kCloseWaitMs = 200;
// The WM_NULL probe never waits less than this, whatever the unsaved-changes question took.
constexpr DWORD kMinimumProbeMs = 100;

// The process and thread handles of the editor, taken out of the state before any wait, so that
// a request answered during the wait finds the state already empty.
struct EditorProcess {
    UniqueHandle process;
    UniqueHandle thread;
    DWORD processId = 0;
};

EditorProcess TakeEditorProcess(ViewerState& state) {
    EditorProcess editor;
    editor.process = std::move(state.process);
    editor.thread = std::move(state.thread);
    editor.processId = std::exchange(state.processId, 0);
    state.editorPath.clear();
    state.profile = &kOtherEditorProfile;
    state.currentFile.clear();
    return editor;
}

enum class UnsavedAnswer { Unmodified, Modified, NoAnswer };

UnsavedAnswer AskUnsavedChanges(HWND editorWindow) {
    for (HWND scintilla : ScintillaWindowsOf(editorWindow)) {
        LRESULT modified = 0;
        if (!SendToEditor(scintilla, kSciGetModify, 0, 0, &modified)) return UnsavedAnswer::NoAnswer;
        if (modified) return UnsavedAnswer::Modified;
    }
    return UnsavedAnswer::Unmodified;
}

// What KillChild knows of the editor when it has not ended kCloseWaitMs after WM_CLOSE.
struct ClosedEditor {
    HWND window = nullptr;  // null when no WM_CLOSE was posted
    RECT shownAt = {};
    std::vector<HWND> windowsBeforeClose;
    DWORD answerBudgetMs = 0;  // left of the unsaved-changes question's bound; 0: it was not answered
};

void WatchClosedEditor(EditorProcess& editor, const ClosedEditor& closed, HWND window) {
    ShutdownWatch watch;
    watch.process = std::move(editor.process);
    watch.processId = editor.processId;
    watch.window = window;
    watch.shownAt = closed.shownAt;
    watch.windowsBeforeClose = closed.windowsBeforeClose;
    if (StartShutdownWatch(watch)) return;
    editor.process = std::move(watch.process);
    TerminateEditor(editor.process.get(), editor.processId, L"could not be watched");
}

// An editor that shows a question of its own is given back to the user as it is, question and
// all: no WM_CLOSE, no wait for its answer, never terminated.
void ReturnAskingEditor(const wchar_t* caller, DWORD processId, HWND window, const RECT& shownAt) {
    if (!ReturnToDesktop(window, shownAt, false, kWindowCallWaitMs))
        LogPrintf(L"[%ls]   pid=%lu not back on the desktop within %lu ms: left to finish", caller, processId,
                  kWindowCallWaitMs);
}

// The editor did not end within kCloseWaitMs of WM_CLOSE. It is terminated only when it does not
// answer messages: one that answers may be saving or about to ask about unsaved documents.
void EndEditorAfterClose(EditorProcess& editor, const ClosedEditor& closed) {
    if (!closed.window) {
        TerminateEditor(editor.process.get(), editor.processId, L"did not end");
        return;
    }
    const bool answers = IsWindow(closed.window) && closed.answerBudgetMs > 0 &&
                         AnswersMessages(closed.window, closed.answerBudgetMs);
    if (WaitForSingleObject(editor.process.get(), 0) == WAIT_OBJECT_0) return;
    if (!IsWindow(closed.window)) {
        LogPrintf(
            L"[KillChild]   pid=%lu closed its window and is still running: left up to %lu ms to finish",
            editor.processId, kShutdownWatchMs);
        WatchClosedEditor(editor, closed, nullptr);
        return;
    }
    if (!answers) {
        TerminateEditor(editor.process.get(), editor.processId, L"does not answer messages");
        return;
    }
    if (HasNewVisibleTopWindow(editor.processId, closed.windowsBeforeClose)) {
        LogPrintf(
            L"[KillChild]   pid=%lu shows a window after WM_CLOSE, editor released instead of terminated",
            editor.processId);
        ReturnAskingEditor(L"KillChild", editor.processId, closed.window, closed.shownAt);
        return;
    }
    if (!DetachFromViewer(closed.window, kWindowCallWaitMs)) {
        TerminateEditor(editor.process.get(), editor.processId,
                        L"stopped answering while leaving the viewer");
        return;
    }
    LogPrintf(L"[KillChild]   pid=%lu still answers after WM_CLOSE: watched for up to %lu ms",
              editor.processId, kShutdownWatchMs);
    WatchClosedEditor(editor, closed, closed.window);
}

// A window of another process (a single-process EmEditor took the file over): the user's own
// program, never hidden, closed or left inside the viewer.
bool ReturnForeignEditorWindow(ViewerState& state) {
    HWND window = state.editorWindow;
    if (!window || !IsWindow(window)) return false;
    const DWORD owner = ProcessIdOf(window);
    if (owner == state.processId || owner == GetCurrentProcessId()) return false;
    ReturnForeignWindow(window);
    state.editorWindow = nullptr;
    return true;
}

}  // namespace

void ReleaseChild(ViewerState& state) {
    HWND window = state.editorWindow;
    bool windowAlive = IsLiveWindow(window);
    LogPrintf(
        L"[ReleaseChild] ReleaseChild: editor hwnd=0x%p pid=%lu released to the desktop with unsaved changes",
        window, state.processId);
    if (windowAlive) state.editorWindow = nullptr;
    EditorProcess editor = TakeEditorProcess(state);
    if (!windowAlive) return;
    const RECT shownAt = ScreenRectOf(window);
    // It said its document is modified, so it is not terminated; a hung one is released without
    // waiting for it. Only when its viewer is going: a hung window still inside it would hold the
    // viewer's destruction, and the host with it, until the editor answers again.
    if (!AnswersMessages(window, kEditorReplyTimeoutMs)) {
        if (state.destroyRequested) {
            TerminateEditor(editor.process.get(), editor.processId,
                            L"does not answer messages and its viewer is closing");
            return;
        }
        LogPrintf(L"[ReleaseChild]   pid=%lu does not answer messages: released without waiting for it",
                  editor.processId);
        ReturnToDesktop(window, shownAt, true, 0);
        return;
    }
    if (!ReturnToDesktop(window, shownAt, true, kWindowCallWaitMs))
        LogPrintf(L"[ReleaseChild]   pid=%lu not back on the desktop within %lu ms: left to finish",
                  editor.processId, kWindowCallWaitMs);
}

void ReleaseAskingChild(ViewerState& state) {
    HWND window = state.editorWindow;
    const bool windowAlive = window && IsWindow(window);
    LogPrintf(
        L"[ReleaseAskingChild] editor hwnd=0x%p pid=%lu asks a question: released to the desktop with it",
        window, state.processId);
    state.editorWindow = nullptr;
    EditorProcess editor = TakeEditorProcess(state);
    if (windowAlive)
        ReturnAskingEditor(L"ReleaseAskingChild", editor.processId, window, ScreenRectOf(window));
}

void KillChild(ViewerState& state) {
    LogWrite(L"[KillChild] KillChild enter\r\n");
    ReturnForeignEditorWindow(state);
    HWND window = state.editorWindow;
    bool windowAlive = IsLiveWindow(window);
    ClosedEditor closed;
    if (windowAlive) {
        const Deadline answerBound(kEditorReplyTimeoutMs);
        const UnsavedAnswer unsaved = AskUnsavedChanges(window);
        if (unsaved == UnsavedAnswer::Modified) {
            ReleaseChild(state);
            LogWrite(L"[KillChild] KillChild leave\r\n");
            return;
        }
        const DWORD left = answerBound.RemainingMs();
        if (unsaved == UnsavedAnswer::Unmodified)
            closed.answerBudgetMs = left > kMinimumProbeMs ? left : kMinimumProbeMs;
        closed.window = window;
        closed.shownAt = ScreenRectOf(window);
        closed.windowsBeforeClose = TopWindowsOf(state.processId);
        ShowWindowAsync(window, SW_HIDE);
        PostMessageW(window, WM_CLOSE, 0, 0);
        state.editorWindow = nullptr;
    }
    EditorProcess editor = TakeEditorProcess(state);
    if (editor.process &&
        WaitAnsweringSentMessages(editor.process.get(), kCloseWaitMs) != WaitResult::Signaled) {
        EndEditorAfterClose(editor, closed);
    }
    editor.process.reset();
    editor.thread.reset();
    LogWrite(L"[KillChild] KillChild leave\r\n");
}
