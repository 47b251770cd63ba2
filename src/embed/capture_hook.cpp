#include "embed/capture_hook.h"

#include <atomic>

#include "common/deadline.h"
#include "common/handles.h"
#include "common/window_data.h"
#include "embed/bounded_wait.h"
#include "embed/child_window.h"
#include "embed/editor_holder.h"
#include "embed/editor_messages.h"
#include "embed/launch_support.h"
#include "embed/reparent.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

constexpr DWORD kHookCaptureTimeoutMs = 3000;
constexpr DWORD kHookCapturePollMs = 5;
// A launch on another thread holds the capture at most for its window search and its embedding
// (and the shutdown of an editor that failed them); a second one waits that long for its turn.
constexpr DWORD kCaptureTurnWaitMs = kHookCaptureTimeoutMs + kEmbedCallsTimeoutMs + 2 * kEditorReplyTimeoutMs;
constexpr DWORD kCaptureTurnPollMs = 10;

std::atomic<DWORD> captureProcessId{0};
std::atomic<HWND> capturedWindow{nullptr};
// The thread that holds the hook-based capture; 0 when none does.
std::atomic<DWORD> hookCaptureOwner{0};

enum class HookWaitEnd { Found, Exited, NotFound, Quit, Abandoned };

HWND FindFirstWindowOf(DWORD processId) {
    FirstTopWindowSearch search;
    search.processId = processId;
    EnumWindows(FindFirstTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What took the window: the hook's event, or the enumeration that backs it up.
struct Capture {
    HWND window = nullptr;
    bool byHook = false;
};

bool TakeReportedWindow(Capture& capture) {
    HWND reported = capturedWindow.load();
    if (!IsLiveWindow(reported)) return false;
    capture = {reported, true};
    return true;
}

HookWaitEnd WaitForCapturedWindow(ViewerState& state, DWORD processId, Capture& capture, DWORD& exitCode) {
    const Deadline deadline(kHookCaptureTimeoutMs);
    while (!deadline.Passed()) {
        if (TakeReportedWindow(capture)) return HookWaitEnd::Found;
        if (ProcessHasEnded(state.editor.process.get(), &exitCode)) return HookWaitEnd::Exited;
        if (!DispatchPendingMessages()) return HookWaitEnd::Quit;
        if (LaunchAbandoned(state, processId)) return HookWaitEnd::Abandoned;
        // The dispatch above delivered the hook's events that were waiting: they come first.
        if (TakeReportedWindow(capture)) return HookWaitEnd::Found;
        capture = {FindFirstWindowOf(processId), false};
        if (capture.window) return HookWaitEnd::Found;
        MsgWaitForMultipleObjectsEx(0, nullptr, kHookCapturePollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return HookWaitEnd::NotFound;
}

// Out of context: an in-context hook needs a module to load into the editor's process (and would
// run there, where the capture's state is not set). Its events are posted to this thread.
HWINEVENTHOOK InstallCaptureHook(DWORD processId) {
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, nullptr, OnCaptureWinEvent,
                                         processId, 0, WINEVENT_OUTOFCONTEXT);
    if (hook) {
        LogPrintf(L"[LaunchAndEmbed] hook installed (OUTOFCONTEXT) for pid=%lu, resuming", processId);
    } else {
        LogPrintf(
            L"[LaunchAndEmbed] hook not installed (err=%lu) for pid=%lu, capturing by enumeration, resuming",
            GetLastError(), processId);
    }
    return hook;
}

bool EmbedCapturedWindow(HWND viewer, ViewerState& state, const Capture& capture) {
    const DWORD processId = state.editor.processId;
    HWND window = capture.window;
    SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
    LogPrintf(L"[LaunchAndEmbed] captured hwnd=0x%p", window);
    LogWrite(capture.byHook ? L"[LaunchAndEmbed]   captured by the window-event hook\r\n"
                            : L"[LaunchAndEmbed]   captured by enumeration\r\n");
    state.editor.window = window;
    state.focusBeforeEmbedding = GetFocus();
    state.editor.desktopLook = ReadDesktopLook(window, 0);
    const HWND parent = EmbeddingParentOf(viewer);
    if (!ReparentChild(parent, window, *state.editor.profile, state.editor.desktopLook))
        return EndUnansweredLaunch(state, processId);
    LogWrite(L"[LaunchAndEmbed] ReparentChild done\r\n");
    if (LaunchAbandoned(state, processId)) return EndAbandonedLaunch(state, processId);
    if (GetAncestor(window, GA_PARENT) != parent) {
        LogPrintf(L"[LaunchAndEmbed] parent of hwnd=0x%p still wrong after ReparentChild, editor shut down",
                  window);
        EndLaunchedEditor(state);
        return false;
    }
    return true;
}

}  // namespace

void CALLBACK OnCaptureWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG objectId, LONG childId, DWORD,
                                DWORD) noexcept {
    if (objectId != OBJID_WINDOW || childId != CHILDID_SELF || !window) return;
    // A destroyed window can never be the editor's main window.
    if (event == EVENT_OBJECT_DESTROY) return;
    try {
        DWORD processId = captureProcessId.load();
        if (processId == 0 || !QualifiesAsFirstTopWindow(window, processId)) return;
        // Asynchronous only: this runs on the host's thread, and the editor's thread may be busy
        // or hung (a style change, for one, would wait for it to answer).
        if (event == EVENT_OBJECT_SHOW) ShowWindowAsync(window, SW_HIDE);
        capturedWindow.store(window);
    } catch (...) {
    }
}

void SetCaptureTarget(DWORD processId) {
    captureProcessId.store(processId);
    capturedWindow.store(nullptr);
}

HWND CapturedWindow() {
    return capturedWindow.load();
}

namespace {

bool TryClaimCapture(DWORD thread) {
    DWORD unowned = 0;
    return hookCaptureOwner.compare_exchange_strong(unowned, thread);
}

// A capture held by this thread is one this request runs inside of: waiting would only wait for
// itself. One held by another thread ends within kCaptureTurnWaitMs.
bool ClaimCapture() {
    const DWORD thread = GetCurrentThreadId();
    if (TryClaimCapture(thread)) return true;
    if (hookCaptureOwner.load() == thread) return false;
    LogWrite(L"[LaunchAndEmbed] another window capture is in progress, waiting for it\r\n");
    const Deadline deadline(kCaptureTurnWaitMs);
    while (!deadline.Passed()) {
        WaitDispatchingMessages(nullptr, kCaptureTurnPollMs);
        if (TryClaimCapture(thread)) return true;
    }
    return false;
}

}  // namespace

HookCaptureClaim::HookCaptureClaim(bool needed)
    : owned_(needed && ClaimCapture()), granted_(!needed || owned_) {}

HookCaptureClaim::~HookCaptureClaim() {
    if (owned_) hookCaptureOwner.store(0);
}

bool CaptureWithHook(HWND viewer, ViewerState& state) {
    const DWORD processId = state.editor.processId;
    SetCaptureTarget(processId);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    UniqueWinEventHook hook(InstallCaptureHook(processId));
    ResumeThread(state.editor.thread.get());
    Capture capture;
    DWORD exitCode = 0;
    HookWaitEnd end = WaitForCapturedWindow(state, processId, capture, exitCode);
    hook.reset();
    captureProcessId.store(0);
    switch (end) {
        case HookWaitEnd::Found:
            return EmbedCapturedWindow(viewer, state, capture);
        case HookWaitEnd::Abandoned:
            return EndAbandonedLaunch(state, processId);
        case HookWaitEnd::Quit:
            LogPrintf(L"[LaunchAndEmbed] WM_QUIT arrived while waiting for pid=%lu, launch abandoned",
                      processId);
            EndLaunchedEditor(state);
            return false;
        case HookWaitEnd::Exited:
            LogPrintf(L"[LaunchAndEmbed] process exited with code %lu before its window was found", exitCode);
            EndLaunchedEditor(state);
            return false;
        case HookWaitEnd::NotFound:
            break;
    }
    LogWrite(L"[LaunchAndEmbed] failed to find window within 3s\r\n");
    EndLaunchedEditor(state);
    return false;
}
