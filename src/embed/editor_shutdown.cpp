#include "embed/editor_shutdown.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>

#include "common/deadline.h"
#include "common/window_data.h"
#include "embed/bounded_wait.h"
#include "embed/editor_holder.h"
#include "embed/editor_messages.h"
#include "embed/editor_process.h"
#include "embed/editor_registry.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

constexpr DWORD kWatchPollMs = 50;
constexpr DWORD kAnswerPollMs = 250;
// One WM_NULL probe of an editor that is busy; the watcher probes again until kBusyWatchMs passed.
constexpr DWORD kBusyProbeMs = 250;

struct TopWindowCollection {
    DWORD processId = 0;
    std::vector<HWND>* windows = nullptr;
};

bool IsVisibleOnDesktop(HWND window) {
    return GetAncestor(window, GA_PARENT) == GetDesktopWindow() && IsWindowVisible(window);
}

const wchar_t* Caller(const ShutdownWatch& watch) {
    return watch.caller ? watch.caller : L"KillChild";
}

// A visible window that the main window owns (a dialog, also one open since before WM_CLOSE).
bool HasVisibleOwnedWindow(HWND owner, DWORD processId) {
    for (HWND window : TopWindowsOf(processId)) {
        if (window != owner && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == owner) return true;
    }
    return false;
}

// A modal question keeps its owner disabled; a dialog it owns, or a window the editor opened after
// WM_CLOSE, asks too.
bool ShowsQuestion(const ShutdownWatch& watch) {
    if (IsLiveWindow(watch.editor.window) &&
        (!IsWindowEnabled(watch.editor.window) || HasVisibleOwnedWindow(watch.editor.window, watch.editor.processId)))
        return true;
    return HasNewVisibleTopWindow(watch.editor.processId, watch.windowsBeforeClose);
}

// Runs on a worker of its own, which the watcher waits for in bounded steps. The window stays in the
// viewer while the editor closes: a top-level window that its editor destroys makes Wine activate
// another window (the host's, whose focus is then lost). One released at once goes to the desktop.
void PrepareAndClose(HWND window, const DesktopLook& look, bool releaseAtOnce, bool close) {
    RestoreDesktopLookNow(window, look);
    // It holds unsaved changes or asks already: shown, so that its question has its editor.
    if (releaseAtOnce) {
        SetParent(window, nullptr);
        ShowWindowAsync(window, SW_SHOWNORMAL);
    }
    if (close) PostMessageW(window, WM_CLOSE, 0, 0);
}

// The watcher waits for its calls at most kWindowCallWaitMs each, or until the editor ends: an editor
// that stops answering in between keeps only the calls' worker, never the watcher.
CallBound WatcherCallBound(const ShutdownWatch& watch, DWORD timeoutMs = kWindowCallWaitMs) {
    CallBound bound;
    bound.timeoutMs = timeoutMs;
    bound.waiting = WhileWaiting::AnswerSentMessages;
    bound.process = watch.editor.process.get();
    return bound;
}

void LogEnded(const ShutdownWatch& watch, const Deadline& start) {
    // One ended here meanwhile (it stayed inside its closing viewer) has its own line already.
    if (WasTerminatedHere(watch.editor.process.get())) return;
    LogPrintf(L"[%ls]   pid=%lu ended by itself %lu ms after it was watched", Caller(watch), watch.editor.processId,
              start.ElapsedMs());
}

void LogLeftRunning(const ShutdownWatch& watch) {
    LogPrintf(
        L"[%ls]   pid=%lu has not answered for %lu ms: left running as it is, never terminated while it may "
        L"hold unsaved work",
        Caller(watch), watch.editor.processId, kBusyWatchMs);
}

// Waits, with probes that are each bounded, for a busy editor to answer. False when it ended
// meanwhile or did not answer within kBusyWatchMs; true also when its window is gone.
bool WaitUntilAnswering(const ShutdownWatch& watch, const Deadline& start, const wchar_t* busyLine) {
    const Deadline busy(kBusyWatchMs);
    bool logged = false;
    while (!AnswersMessages(watch.editor.window, kBusyProbeMs)) {
        if (HasEnded(watch.editor.process.get())) {
            LogEnded(watch, start);
            return false;
        }
        if (!IsLiveWindow(watch.editor.window)) return true;
        if (busy.Passed()) {
            LogLeftRunning(watch);
            return false;
        }
        if (!logged) LogPrintf(busyLine, Caller(watch), watch.editor.processId);
        logged = true;
        HasEnded(watch.editor.process.get(), kWatchPollMs);
    }
    if (logged)
        LogPrintf(L"[%ls]   pid=%lu answers again after %lu ms", Caller(watch), watch.editor.processId,
                  busy.ElapsedMs());
    return true;
}

// The calls are made right after the editor answered, on a worker that the watcher waits for at most
// kWindowCallWaitMs: an editor that stops answering in between keeps only that worker, never the
// watcher. False when they did not finish (or the editor ended meanwhile).
bool PutOnDesktopAndClose(const ShutdownWatch& watch, const Deadline& start) {
    if (!WaitUntilAnswering(watch, start,
                            L"[%ls]   pid=%lu is busy: it leaves the viewer and is asked to close once it "
                            L"answers, never terminated meanwhile"))
        return false;
    if (!IsLiveWindow(watch.editor.window)) return true;
    const HWND window = watch.editor.window;
    const DesktopLook look = watch.editor.desktopLook;
    const bool releaseAtOnce = watch.releaseAtOnce;
    const bool close = !releaseAtOnce || watch.closeAfterRelease;
    switch (CallIntoWindows(
        [window, look, releaseAtOnce, close] {
            if (IsWindow(window)) PrepareAndClose(window, look, releaseAtOnce, close);
        },
        WatcherCallBound(watch))) {
        case CallEnd::Done:
            return true;
        case CallEnd::Ended:
            LogEnded(watch, start);
            return false;
        case CallEnd::NotAnswered:
            break;
    }
    LogPrintf(
        L"[%ls]   pid=%lu stopped answering while it was asked to close: not waited for beyond %lu ms, not "
        L"terminated",
        Caller(watch), watch.editor.processId, kWindowCallWaitMs);
    return false;
}

// Out of the viewer, to the desktop, where it looks as it did before it was embedded. A busy editor
// lets its window go once it answers again: until then its window, and any question it shows, stay
// hidden inside the viewer, so the watcher waits for that (never terminating it meanwhile). False
// when the editor ended or did not let it go within kBusyWatchMs.
bool MoveToDesktop(const ShutdownWatch& watch, const Deadline& start) {
    if (!IsLiveWindow(watch.editor.window) || GetAncestor(watch.editor.window, GA_PARENT) == GetDesktopWindow())
        return true;
    const HWND window = watch.editor.window;
    UniqueHandle calls = StartWindowCalls([window] { DetachQuietly(window); });
    if (!calls) return false;
    CallEnd end = WaitForWindowCalls(calls.get(), WatcherCallBound(watch));
    if (end == CallEnd::NotAnswered) {
        LogPrintf(
            L"[%ls]   pid=%lu did not let its window leave the viewer within %lu ms: waited for, never "
            L"terminated meanwhile",
            Caller(watch), watch.editor.processId, kWindowCallWaitMs);
        end = WaitForWindowCalls(calls.get(), WatcherCallBound(watch, kBusyWatchMs));
    }
    if (end == CallEnd::Done) return true;
    if (end == CallEnd::Ended) {
        LogEnded(watch, start);
    } else {
        LogLeftRunning(watch);
    }
    return false;
}

void GiveBackForQuestion(const ShutdownWatch& watch, const Deadline& start) {
    LogPrintf(L"[%ls]   pid=%lu shows a window after WM_CLOSE, editor released instead of terminated",
              Caller(watch), watch.editor.processId);
    if (!MoveToDesktop(watch, start)) return;
    if (IsLiveWindow(watch.editor.window) && !IsWindowVisible(watch.editor.window))
        ShowWindowAsync(watch.editor.window, SW_SHOWNORMAL);
}

// An editor that stays after WM_CLOSE without asking (closes to the tray, or refuses): the user
// finds it where it was, without it taking the foreground from what the user moved on to.
void GiveBackQuietly(const ShutdownWatch& watch, const Deadline& start) {
    if (IsIconic(watch.editor.window)) {
        LogPrintf(L"[%ls]   pid=%lu minimised itself after WM_CLOSE: left as it is", Caller(watch),
                  watch.editor.processId);
        MoveToDesktop(watch, start);
        return;
    }
    // Its window was hidden already; hiding it again leaves nothing to see, so its settings tell.
    if (watch.closesToTray && !IsWindowVisible(watch.editor.window)) {
        LogPrintf(L"[%ls]   pid=%lu went to the tray after WM_CLOSE, as its settings ask: left there",
                  Caller(watch), watch.editor.processId);
        MoveToDesktop(watch, start);
        return;
    }
    LogPrintf(
        L"[%ls]   pid=%lu neither ended nor asked within %lu ms after WM_CLOSE and may hold unsaved work: "
        L"given back to the desktop without activation",
        Caller(watch), watch.editor.processId, kShutdownWatchMs);
    if (!MoveToDesktop(watch, start)) return;
    if (!IsWindowVisible(watch.editor.window)) ShowWindowAsync(watch.editor.window, SW_SHOWNOACTIVATE);
}

void EndWindowlessWatch(const ShutdownWatch& watch) {
    if (HasNewVisibleTopWindow(watch.editor.processId, watch.windowsBeforeClose)) {
        LogPrintf(L"[%ls]   pid=%lu shows a window after its main window closed: left to the user",
                  Caller(watch), watch.editor.processId);
        return;
    }
    TerminateEditor(watch.editor.process.get(), watch.editor.processId, L"still running after its window closed");
}

void WatchUntilAnswered(const ShutdownWatch& watch, const Deadline& start);

// The bound has passed and the editor still runs.
void EndWatch(const ShutdownWatch& watch, const Deadline& start) {
    if (!IsLiveWindow(watch.editor.window)) {
        EndWindowlessWatch(watch);
        return;
    }
    if (!WaitUntilAnswering(watch, start,
                            L"[%ls]   pid=%lu does not answer after WM_CLOSE: waited for, never terminated "
                            L"while it may hold unsaved work"))
        return;
    if (!IsLiveWindow(watch.editor.window)) {
        EndWindowlessWatch(watch);
        return;
    }
    if (ShowsQuestion(watch)) {
        GiveBackForQuestion(watch, start);
        WatchUntilAnswered(watch, start);
        return;
    }
    if (ProvablyHoldsNoUnsavedWork(watch.editor.window, *watch.editor.profile)) {
        if (HasEnded(watch.editor.process.get())) return;
        TerminateEditor(watch.editor.process.get(), watch.editor.processId, L"ignored WM_CLOSE and holds no unsaved work");
        return;
    }
    GiveBackQuietly(watch, start);
}

// Set by the watcher thread's window-event hook: the editor showed a window or changed a window's
// state (a modal question disables its owner), so whether it asks is worth reading again.
thread_local bool editorWindowsChanged = false;

void CALLBACK OnEditorWindowEvent(HWINEVENTHOOK, DWORD event, HWND, LONG idObject, LONG, DWORD,
                                  DWORD) noexcept {
    if (idObject == OBJID_WINDOW && (event == EVENT_OBJECT_SHOW || event == EVENT_OBJECT_HIDE ||
                                     event == EVENT_OBJECT_STATECHANGE))
        editorWindowsChanged = true;
}

// The window events reach this thread as messages; the hook's callback runs while they are read.
void ReadWindowEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

UniqueWinEventHook HookEditorWindowEvents(DWORD processId) {
    return UniqueWinEventHook(SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_STATECHANGE, nullptr,
                                              OnEditorWindowEvent, processId, 0, WINEVENT_OUTOFCONTEXT));
}

// A question the editor shows: a modal one keeps the main window disabled, a dialog it owns, or a
// window it opened since it was watched (its main window, given back to the desktop, aside).
bool StillAsks(const ShutdownWatch& watch) {
    if (IsLiveWindow(watch.editor.window) &&
        (!IsWindowEnabled(watch.editor.window) || HasVisibleOwnedWindow(watch.editor.window, watch.editor.processId)))
        return true;
    for (HWND window : TopWindowsOf(watch.editor.processId)) {
        if (window == watch.editor.window || !IsWindowVisible(window)) continue;
        const auto& before = watch.windowsBeforeClose;
        if (std::find(before.begin(), before.end(), window) == before.end()) return true;
    }
    return false;
}

// Once the question is answered: an editor that holds nothing (an empty Notepad++ after "Cannot open
// file") is closed, and ended if it stays; one that holds work is the user's.
void CloseIfAnsweredEmpty(const ShutdownWatch& watch, const Deadline& start) {
    if (!IsLiveWindow(watch.editor.window)) {
        if (!HasEnded(watch.editor.process.get(), kShutdownWatchMs)) EndWindowlessWatch(watch);
        return;
    }
    if (!ProvablyHoldsNoUnsavedWork(watch.editor.window, *watch.editor.profile)) {
        LogPrintf(L"[%ls]   pid=%lu holds work after its question was answered: the user's now",
                  Caller(watch), watch.editor.processId);
        return;
    }
    LogPrintf(L"[%ls]   pid=%lu holds nothing after its question was answered: asked to close", Caller(watch),
              watch.editor.processId);
    PostMessageW(watch.editor.window, WM_CLOSE, 0, 0);
    if (HasEnded(watch.editor.process.get(), kShutdownWatchMs)) {
        LogEnded(watch, start);
        return;
    }
    if (ProvablyHoldsNoUnsavedWork(watch.editor.window, *watch.editor.profile))
        TerminateEditor(watch.editor.process.get(), watch.editor.processId, L"holds nothing and stays after its question");
}

// Given back with a question: an editor whose documents hold nothing (a "Cannot open file" over an
// empty Notepad++) is followed until the question is answered; one that may hold work is the user's
// at once.
void WatchUntilAnswered(const ShutdownWatch& watch, const Deadline& start) {
    if (IsLiveWindow(watch.editor.window) && !DocumentsProvablyUnmodified(watch.editor.window, *watch.editor.profile)) {
        LogPrintf(L"[%ls]   pid=%lu asks and may hold unsaved work: the user's now", Caller(watch),
                  watch.editor.processId);
        return;
    }
    const Deadline answer(kQuestionWatchMs);
    UniqueWinEventHook hook = HookEditorWindowEvents(watch.editor.processId);
    const HANDLE process = watch.editor.process.get();
    while (StillAsks(watch)) {
        // Wine sends no event when a question closes and re-enables its owner: also read at this pace.
        const DWORD wait = std::min(answer.RemainingMs(), kAnswerPollMs);
        const DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, wait, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) {
            LogEnded(watch, start);
            return;
        }
        if (woken == WAIT_OBJECT_0 + 1) ReadWindowEvents();
        if (answer.Passed()) {
            LogPrintf(L"[%ls]   pid=%lu still asks after %lu ms: left to the user", Caller(watch),
                      watch.editor.processId, kQuestionWatchMs);
            return;
        }
    }
    if (HasEnded(process)) {
        LogEnded(watch, start);
        return;
    }
    CloseIfAnsweredEmpty(watch, start);
}

// Woken by the editor's end, or by a window event of its process (a question it opens), never by a
// clock: the watcher reads the editor's windows only when they changed.
void WatchAfterClose(const ShutdownWatch& watch, const Deadline& start) {
    const Deadline closed(kShutdownWatchMs);
    UniqueWinEventHook hook = HookEditorWindowEvents(watch.editor.processId);
    const HANDLE process = watch.editor.process.get();
    editorWindowsChanged = true;
    for (;;) {
        if (editorWindowsChanged) {
            editorWindowsChanged = false;
            if (IsLiveWindow(watch.editor.window) && ShowsQuestion(watch)) {
                GiveBackForQuestion(watch, start);
                WatchUntilAnswered(watch, start);
                return;
            }
        }
        // Without the hook (none could be set), the windows are read again at this pace.
        const DWORD wait = hook ? closed.RemainingMs() : std::min(closed.RemainingMs(), kWatchPollMs);
        const DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, wait, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) {
            LogEnded(watch, start);
            return;
        }
        if (woken == WAIT_OBJECT_0 + 1) {
            ReadWindowEvents();
        } else if (!hook && !closed.Passed()) {
            editorWindowsChanged = true;
        }
        if (closed.Passed()) break;
    }
    if (HasEnded(process)) {
        LogEnded(watch, start);
        return;
    }
    EndWatch(watch, start);
}

bool InsideWindowOfOurs(HWND window) {
    return IsLiveWindow(window) && ProcessIdOf(GetAncestor(window, GA_PARENT)) == GetCurrentProcessId();
}

// An editor that stays busy for longer than the watch (inside a hand-off it never returns from) still
// has its window inside a viewer of ours: the viewer's end would take the window, and the user's work,
// with it and wait for the editor meanwhile. It is followed, without a bound, until it answers (then
// it leaves as any other) or ends.
void FollowWhileInside(const ShutdownWatch& watch, const Deadline& start) {
    while (InsideWindowOfOurs(watch.editor.window)) {
        if (HasEnded(watch.editor.process.get(), kBusyProbeMs)) {
            LogEnded(watch, start);
            return;
        }
        if (AnswersMessages(watch.editor.window, kBusyProbeMs)) {
            LogPrintf(L"[%ls]   pid=%lu answers again, still inside the viewer", Caller(watch), watch.editor.processId);
            if (MoveToDesktop(watch, start)) EndWatch(watch, start);
            return;
        }
    }
}

void WatchEditor(ShutdownWatch& watch) {
    const Deadline start(kBusyWatchMs);
    // A holder that left its closing viewer with this editor inside is closed once it is empty.
    const HWND holder = IsLiveWindow(watch.editor.window) ? GetAncestor(watch.editor.window, GA_PARENT) : nullptr;
    const bool moved = !IsLiveWindow(watch.editor.window) || PutOnDesktopAndClose(watch, start);
    // One given back with its question as it is was asked nothing: it is followed until it is answered.
    if (moved && (!watch.releaseAtOnce || watch.closeAfterRelease)) {
        WatchAfterClose(watch, start);
    } else if (moved) {
        WatchUntilAnswered(watch, start);
    }
    if (!HasEnded(watch.editor.process.get())) FollowWhileInside(watch, start);
    AdvanceStage(watch.editor, HasEnded(watch.editor.process.get()) ? EditorStage::Ended : EditorStage::GivenBack);
    ForgetEditor(watch.editor);
    CloseHolderIfEmpty(holder);
    LogPrintf(L"[%ls]   pid=%lu no longer watched", Caller(watch), watch.editor.processId);
}

BOOL CALLBACK CollectForeignChild(HWND window, LPARAM collection) noexcept {
    try {
        auto* record = AsPointer<TopWindowCollection>(collection);
        const DWORD owner = ProcessIdOf(window);
        // An editor started here that is on its way out is its watcher's, not the user's.
        if (owner != GetCurrentProcessId() && owner != record->processId && !IsTrackedEditor(owner))
            record->windows->push_back(window);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

// Makes the window a normal framed top-level window on the desktop again, where it is now. Each
// call waits for the window's thread: only ever made on a worker.
void ReturnForeignWindowNow(HWND window, const RECT& shownAt) {
    DetachQuietly(window);
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    style = (style & ~(WS_POPUP | WS_CHILD | WS_MINIMIZE)) | WS_OVERLAPPEDWINDOW;
    SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(style));
    SetWindowLongPtrW(window, GWL_EXSTYLE, GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    SetWindowPos(window, HWND_TOP, shownAt.left, shownAt.top, shownAt.right - shownAt.left,
                 shownAt.bottom - shownAt.top, SWP_FRAMECHANGED | SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

}  // namespace

bool StartShutdownWatch(const std::shared_ptr<ShutdownWatch>& watch) {
    return static_cast<bool>(StartWorker([watch] { WatchEditor(*watch); }));
}

namespace {

void LogForeignWindowNotBack(HWND window) {
    LogPrintf(L"[ReturnForeignWindow]   hwnd=0x%p not back within %lu ms", window, kWindowCallWaitMs);
}

// Logs a window given back by calls that were not done within the viewer's wait, if they are not done
// within kWindowCallWaitMs either; waited for on a thread of its own.
void ReportForeignWindowLate(UniqueHandle calls, HWND window, const Deadline& started) {
    auto late = std::make_shared<UniqueHandle>(std::move(calls));
    const DWORD remainingMs = started.RemainingMs();
    StartWorker([late, window, remainingMs] {
        CallBound bound;
        bound.timeoutMs = remainingMs;
        bound.waiting = WhileWaiting::AnswerSentMessages;
        if (WaitForWindowCalls(late->get(), bound) != CallEnd::Done) LogForeignWindowNotBack(window);
    });
}

// The viewer's thread waits for the window until hold has passed: its own messages must not wait longer.
void ReturnForeignWindowWithin(HWND window, const Deadline& hold) {
    if (!IsLiveWindow(window) || IsVisibleOnDesktop(window)) return;
    LogPrintf(
        L"[ReturnForeignWindow] hwnd=0x%p of pid=%lu, a process not started here: given back to the desktop",
        window, ProcessIdOf(window));
    RECT shownAt = {};
    GetWindowRect(window, &shownAt);
    const Deadline started(kWindowCallWaitMs);
    UniqueHandle calls = StartWindowCalls([window, shownAt] { ReturnForeignWindowNow(window, shownAt); });
    CallBound bound;
    bound.timeoutMs = hold.RemainingMs();
    bound.waiting = WhileWaiting::AnswerSentMessages;
    if (!calls) {
        LogForeignWindowNotBack(window);
    } else if (WaitForWindowCalls(calls.get(), bound) != CallEnd::Done) {
        ReportForeignWindowLate(std::move(calls), window, started);
    }
}

}  // namespace

void ReturnForeignWindow(HWND window) {
    ReturnForeignWindowWithin(window, Deadline(kForeignWindowHoldMs));
}

void ReturnForeignWindows(HWND viewer, DWORD startedProcessId) {
    if (!IsLiveWindow(viewer)) return;
    std::vector<HWND> children;
    TopWindowCollection collection;
    collection.processId = startedProcessId;
    collection.windows = &children;
    EnumChildWindows(viewer, CollectForeignChild, reinterpret_cast<LPARAM>(&collection));
    const HWND parent = EmbeddingParentOf(viewer);
    const Deadline hold(kForeignWindowHoldMs);
    for (HWND child : children) {
        if (GetAncestor(child, GA_PARENT) == parent) ReturnForeignWindowWithin(child, hold);
    }
}

bool WaitForShutdownThreads(DWORD timeoutMs) {
    return WaitForWorkerThreads(timeoutMs);
}
