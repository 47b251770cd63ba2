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

constexpr DWORD kCloseWaitMs = 200;

// The process and thread handles of the editor, taken out of the state before any wait, so that
// a request answered during the wait finds the state already empty.
struct EditorProcess {
    UniqueHandle process;
    UniqueHandle thread;
    DWORD processId = 0;
    bool closesToTray = false;  // its settings send it to the tray on WM_CLOSE
    const EditorProfile* profile = &kOtherEditorProfile;
};

EditorProcess TakeEditorProcess(ViewerState& state) {
    EditorProcess editor;
    editor.process = std::move(state.process);
    editor.thread = std::move(state.thread);
    editor.processId = std::exchange(state.processId, 0);
    editor.closesToTray = editor.process && ClosesToTray(*state.profile, state.editorPath);
    editor.profile = state.profile;
    state.editorPath.clear();
    state.profile = &kOtherEditorProfile;
    state.currentFile.clear();
    return editor;
}

UniqueHandle DuplicateOf(HANDLE handle) {
    HANDLE copy = nullptr;
    if (!handle || !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS))
        return UniqueHandle();
    return UniqueHandle(copy);
}

// The window is hidden at once (the request is posted, so nothing waits for the editor); the rest
// of its way out is the watcher's.
std::shared_ptr<ShutdownWatch> WatchFor(const EditorProcess& editor, HWND window, const DesktopLook& look,
                                        bool releaseAtOnce) {
    auto watch = std::make_shared<ShutdownWatch>();
    watch->process = DuplicateOf(editor.process.get());
    watch->processId = editor.processId;
    watch->window = window;
    watch->look = look;
    watch->windowsBeforeClose = TopWindowsOf(editor.processId);
    watch->releaseAtOnce = releaseAtOnce;
    watch->closesToTray = editor.closesToTray;
    watch->profile = editor.profile;
    return watch;
}

// Without a watcher the editor is at least asked to close; nothing ends it.
bool HandToWatcher(const std::shared_ptr<ShutdownWatch>& watch) {
    if (watch->process && StartShutdownWatch(watch)) return true;
    LogPrintf(L"[KillChild]   pid=%lu could not be watched: left running", watch->processId);
    if (!watch->releaseAtOnce || watch->closeAfterRelease) PostMessageW(watch->window, WM_CLOSE, 0, 0);
    ForgetEditor(watch->processId);
    return false;
}

bool HasVisibleTopWindow(DWORD processId) {
    for (HWND window : TopWindowsOf(processId)) {
        if (IsWindowVisible(window)) return true;
    }
    return false;
}

// The editor has no window left: it is ended unless it shows another window (a question).
void EndWindowlessEditor(EditorProcess& editor) {
    if (HasVisibleTopWindow(editor.processId)) {
        auto watch = WatchFor(editor, nullptr, DesktopLook(), false);
        watch->windowsBeforeClose.clear();
        LogPrintf(L"[KillChild]   pid=%lu has no main window but shows a window: watched", editor.processId);
        HandToWatcher(watch);
        return;
    }
    TerminateEditor(editor.process.get(), editor.processId, L"did not end");
    ForgetEditor(editor.processId);
}

// A window of another process (a single-process EmEditor took the file over): the user's own
// program, never hidden, closed or left inside the viewer.
bool ReturnForeignEditorWindow(ViewerState& state) {
    HWND window = state.editorWindow;
    if (!IsLiveWindow(window)) return false;
    const DWORD owner = ProcessIdOf(window);
    if (owner == state.processId || owner == GetCurrentProcessId()) return false;
    ReturnForeignWindow(window);
    state.editorWindow = nullptr;
    return true;
}

HWND TakeLiveWindow(ViewerState& state) {
    HWND window = state.editorWindow;
    if (!IsLiveWindow(window)) return nullptr;
    state.editorWindow = nullptr;
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
bool LetGo(const ViewerState& state, EditorProcess& editor, HWND window, bool releaseAtOnce) {
    PartInputFrom(window);
    ShowWindowAsync(window, SW_HIDE);
    NoteEditorClosing(editor.processId);
    auto watch = WatchFor(editor, window, state.desktopLook, releaseAtOnce);
    if (releaseAtOnce) watch->caller = L"ReleaseChild";
    return HandToWatcher(watch);
}

// Takes the editor out of the viewer for a release; false when its window is already gone, so there
// is nothing left to give back.
bool TakeEditorToRelease(ViewerState& state, HWND window, EditorProcess& editor) {
    editor = TakeEditorProcess(state);
    if (window) return true;
    ForgetEditor(editor.processId);
    return false;
}

}  // namespace

void ReleaseChild(ViewerState& state) {
    HWND window = TakeLiveWindow(state);
    LogPrintf(
        L"[ReleaseChild] ReleaseChild: editor hwnd=0x%p pid=%lu released to the desktop with unsaved changes",
        window ? window : state.editorWindow, state.processId);
    EditorProcess editor;
    if (!TakeEditorToRelease(state, window, editor)) return;
    // It said its document is modified: never terminated, whatever it does next.
    LetGo(state, editor, window, true);
}

void ReleaseAskingChild(ViewerState& state) {
    HWND window = TakeLiveWindow(state);
    LogPrintf(
        L"[ReleaseAskingChild] editor hwnd=0x%p pid=%lu asks a question: released to the desktop with it",
        window ? window : state.editorWindow, state.processId);
    EditorProcess editor;
    if (!TakeEditorToRelease(state, window, editor)) return;
    // Its question is the user's: no WM_CLOSE, no wait for the answer, never terminated.
    auto watch = WatchFor(editor, window, state.desktopLook, true);
    watch->closeAfterRelease = false;
    watch->caller = L"ReleaseAskingChild";
    HandToWatcher(watch);
}

void KillChild(ViewerState& state) {
    LogWrite(L"[KillChild] KillChild enter\r\n");
    ReturnForeignEditorWindow(state);
    HWND window = TakeLiveWindow(state);
    EditorProcess editor = TakeEditorProcess(state);
    if (window && editor.process) {
        LetGo(state, editor, window, false);
        if (WaitAnsweringSentMessages(editor.process.get(), kCloseWaitMs) != WaitResult::Signaled)
            LogPrintf(
                L"[KillChild]   pid=%lu still running %lu ms after it was asked to close: left to its "
                L"watcher",
                editor.processId, kCloseWaitMs);
    } else if (window) {
        ShowWindowAsync(window, SW_HIDE);
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (editor.process) {
        if (WaitAnsweringSentMessages(editor.process.get(), kCloseWaitMs) != WaitResult::Signaled)
            EndWindowlessEditor(editor);
        else
            ForgetEditor(editor.processId);
    }
    editor.process.reset();
    editor.thread.reset();
    LogWrite(L"[KillChild] KillChild leave\r\n");
}

void EndLaunchedEditor(ViewerState& state) {
    LogWrite(L"[KillChild] KillChild enter\r\n");
    ReturnForeignEditorWindow(state);
    HWND window = TakeLiveWindow(state);
    if (window) {
        ShowWindowAsync(window, SW_HIDE);
        NoteEditorClosing(state.processId);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    EditorProcess editor = TakeEditorProcess(state);
    if (editor.process) {
        if (WaitAnsweringSentMessages(editor.process.get(), kCloseWaitMs) == WaitResult::Signaled)
            ForgetEditor(editor.processId);
        else
            EndWindowlessEditor(editor);
    }
    LogWrite(L"[KillChild] KillChild leave\r\n");
}
