#include "embed/child_window.h"

#include <memory>
#include <utility>
#include <vector>

#include "common/handles.h"
#include "common/window_data.h"
#include "editor_settings/saved_settings.h"
#include "embed/bounded_wait.h"
#include "embed/editor_messages.h"
#include "embed/editor_registry.h"
#include "embed/editor_shutdown.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

// How long the viewer waits for an editor asked to close before its watcher follows it. Only sent
// messages are answered meanwhile: with the calls before it, the host's posted messages wait about
// this plus 50 ms, which must stay under a quarter of a second. A cooperative editor ends in ~12 ms.
constexpr DWORD kCloseWaitMs = 150;

// The editor leaves the viewer's state before any wait, so that a request answered during the wait
// finds the state already empty. Its window is taken first (TakeLiveWindow): null when it has none.
std::shared_ptr<ShutdownWatch> TakeEditor(ViewerState& state, HWND window, bool releaseAtOnce) {
    auto watch = std::make_shared<ShutdownWatch>();
    watch->closesToTray = state.editor.process && ClosesToTray(*state.editor.profile, state.editor.path);
    watch->editor = std::exchange(state.editor, StartedEditor());
    // A handle that names no window any more stays where it was: only a live window leaves.
    if (!window) state.editor.window = watch->editor.window;
    watch->editor.window = window;
    AdvanceStage(watch->editor, EditorStage::Leaving);
    watch->releaseAtOnce = releaseAtOnce;
    state.currentFile.clear();
    return watch;
}

// The window is hidden at once (the request is posted, so nothing waits for the editor); the rest
// of its way out is the watcher's.
void PrepareWatch(ShutdownWatch& watch) {
    watch.windowsBeforeClose = TopWindowsOf(watch.editor.processId);
}

// Without a watcher the editor is at least asked to close; nothing ends it.
bool HandToWatcher(const std::shared_ptr<ShutdownWatch>& watch) {
    if (watch->editor.process && StartShutdownWatch(watch)) return true;
    LogPrintf(L"[KillChild]   pid=%lu could not be watched: left running", watch->editor.processId);
    if (!watch->releaseAtOnce || watch->closeAfterRelease) PostMessageW(watch->editor.window, WM_CLOSE, 0, 0);
    ForgetEditor(watch->editor);
    return false;
}

// The editor has no window left: it is ended unless it shows another window (a question).
void EndWindowlessEditor(const std::shared_ptr<ShutdownWatch>& watch) {
    const DWORD processId = watch->editor.processId;
    if (HasVisibleTopWindow(processId)) {
        watch->editor.window = nullptr;
        watch->editor.desktopLook = DesktopLook();
        watch->windowsBeforeClose.clear();
        LogPrintf(L"[KillChild]   pid=%lu has no main window but shows a window: watched", processId);
        HandToWatcher(watch);
        return;
    }
    TerminateEditor(watch->editor.process.get(), processId, L"did not end");
    AdvanceStage(watch->editor, EditorStage::Ended);
    ForgetEditor(watch->editor);
}

// A window of another process (a single-process EmEditor took the file over): the user's own
// program, never hidden, closed or left inside the viewer.
bool ReturnForeignEditorWindow(ViewerState& state) {
    HWND window = state.editor.window;
    if (!IsLiveWindow(window)) return false;
    const DWORD owner = ProcessIdOf(window);
    if (owner == state.editor.processId || owner == GetCurrentProcessId()) return false;
    ReturnForeignWindow(window);
    state.editor.window = nullptr;
    return true;
}

HWND TakeLiveWindow(ViewerState& state) {
    HWND window = state.editor.window;
    if (!IsLiveWindow(window)) return nullptr;
    state.editor.window = nullptr;
    return window;
}

DWORD ThreadOf(HWND window) {
    return window ? GetWindowThreadProcessId(window, nullptr) : 0;
}

// A window of another thread inside ours joins that thread's input to ours, and an editor takes the
// activation and the focus as it opens a file. While its window is our active or focus window, each
// later change of either sends it a message and waits for it: an editor that stopped answering
// would hold the next editor's embedding (the activation of its window) and our own focus calls.
// Its input is parted from ours as it leaves; its windows' activation and focus go with it. (Where
// the system refuses to part a join it made itself, nothing else is to be done.)
void PartInputFrom(HWND window) {
    GUITHREADINFO ours = {};
    ours.cbSize = sizeof ours;
    const DWORD editorThread = ThreadOf(window);
    if (!editorThread || !GetGUIThreadInfo(GetCurrentThreadId(), &ours)) return;
    if (ThreadOf(ours.hwndActive) == editorThread || ThreadOf(ours.hwndFocus) == editorThread)
        AttachThreadInput(editorThread, GetCurrentThreadId(), FALSE);
}

// Hands the editor to a watcher. True when a watcher took it.
bool LetGo(const std::shared_ptr<ShutdownWatch>& watch) {
    PartInputFrom(watch->editor.window);
    ShowWindowAsync(watch->editor.window, SW_HIDE);
    NoteListBeforeSave(watch->editor.putBack);
    PrepareWatch(*watch);
    return HandToWatcher(watch);
}

// Takes the editor out of the viewer for a release; null when its window is already gone, so there
// is nothing left to give back.
std::shared_ptr<ShutdownWatch> TakeEditorToRelease(ViewerState& state, HWND window) {
    auto watch = TakeEditor(state, window, true);
    if (window) return watch;
    ForgetEditor(watch->editor);
    return nullptr;
}

}  // namespace

void ReleaseChild(ViewerState& state) {
    HWND window = TakeLiveWindow(state);
    LogPrintf(
        L"[ReleaseChild] ReleaseChild: editor hwnd=0x%p pid=%lu released to the desktop with unsaved changes",
        window ? window : state.editor.window, state.editor.processId);
    auto watch = TakeEditorToRelease(state, window);
    if (!watch) return;
    // It said its document is modified: never terminated, whatever it does next.
    watch->caller = L"ReleaseChild";
    LetGo(watch);
}

void ReleaseAskingChild(ViewerState& state) {
    HWND window = TakeLiveWindow(state);
    LogPrintf(
        L"[ReleaseAskingChild] editor hwnd=0x%p pid=%lu asks a question: released to the desktop with it",
        window ? window : state.editor.window, state.editor.processId);
    auto watch = TakeEditorToRelease(state, window);
    if (!watch) return;
    // Its question is the user's: no WM_CLOSE, no wait for the answer, never terminated.
    PrepareWatch(*watch);
    watch->closeAfterRelease = false;
    watch->caller = L"ReleaseAskingChild";
    HandToWatcher(watch);
}

void KillChild(ViewerState& state) {
    LogWrite(L"[KillChild] KillChild enter\r\n");
    ReturnForeignEditorWindow(state);
    HWND window = TakeLiveWindow(state);
    auto watch = TakeEditor(state, window, false);
    const HANDLE process = watch->editor.process.get();
    const DWORD processId = watch->editor.processId;
    if (window && process) {
        LetGo(watch);
        if (WaitAnsweringSentMessages(process, kCloseWaitMs) != WaitResult::Signaled)
            LogPrintf(
                L"[KillChild]   pid=%lu still running %lu ms after it was asked to close: left to its "
                L"watcher",
                processId, kCloseWaitMs);
    } else if (window) {
        ShowWindowAsync(window, SW_HIDE);
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (process) {
        if (WaitAnsweringSentMessages(process, kCloseWaitMs) != WaitResult::Signaled)
            EndWindowlessEditor(watch);
        else
            ForgetEditor(watch->editor);
    }
    LogWrite(L"[KillChild] KillChild leave\r\n");
}

void EndLaunchedEditor(ViewerState& state) {
    LogWrite(L"[KillChild] KillChild enter\r\n");
    ReturnForeignEditorWindow(state);
    HWND window = TakeLiveWindow(state);
    if (window) {
        ShowWindowAsync(window, SW_HIDE);
        NoteListBeforeSave(state.editor.putBack);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    auto watch = TakeEditor(state, nullptr, false);
    if (watch->editor.process) {
        if (WaitAnsweringSentMessages(watch->editor.process.get(), kCloseWaitMs) == WaitResult::Signaled)
            ForgetEditor(watch->editor);
        else
            EndWindowlessEditor(watch);
    }
    LogWrite(L"[KillChild] KillChild leave\r\n");
}
