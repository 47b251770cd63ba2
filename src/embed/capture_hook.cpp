#include "embed/capture_hook.h"

#include <atomic>

#include "common/deadline.h"
#include "common/handles.h"
#include "common/window_data.h"
#include "embed/bounded_wait.h"
#include "embed/child_window.h"
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

// False when a WM_QUIT arrived: it is posted again for the thread's own loop.
bool DispatchPendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

HWND FindFirstWindowOf(DWORD processId) {
    FirstTopWindowSearch search;
    search.processId = processId;
    EnumWindows(FindFirstTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HookWaitEnd WaitForCapturedWindow(ViewerState& state, DWORD processId, HWND& window, DWORD& exitCode) {
    const Deadline deadline(kHookCaptureTimeoutMs);
    while (!deadline.Passed()) {
        HWND reported = capturedWindow.load();
        if (IsLiveWindow(reported)) {
            window = reported;
            LogPrintf(L"[LaunchAndEmbed] hook captured hwnd=0x%p", reported);
            return HookWaitEnd::Found;
        }
        if (ProcessHasEnded(state.process.get(), &exitCode)) return HookWaitEnd::Exited;
        if (!DispatchPendingMessages()) return HookWaitEnd::Quit;
        if (LaunchAbandoned(state, processId)) return HookWaitEnd::Abandoned;
        window = FindFirstWindowOf(processId);
        if (window) return HookWaitEnd::Found;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kHookCapturePollMs, QS_ALLINPUT);
    }
    return HookWaitEnd::NotFound;
}

HWINEVENTHOOK InstallCaptureHook(DWORD processId) {
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, nullptr, OnCaptureWinEvent,
                                         0, 0, WINEVENT_INCONTEXT);
    if (hook) {
        LogPrintf(L"[LaunchAndEmbed] hook installed (INCONTEXT) for pid=%lu, resuming", processId);
    } else {
        LogPrintf(
            L"[LaunchAndEmbed] hook not installed (err=%lu) for pid=%lu, capturing by enumeration, resuming",
            GetLastError(), processId);
    }
    return hook;
}

bool EmbedCapturedWindow(HWND viewer, ViewerState& state, HWND window) {
    const DWORD processId = state.processId;
    SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
    LogPrintf(L"[LaunchAndEmbed] captured hwnd=0x%p", window);
    state.editorWindow = window;
    if (!ReparentChild(viewer, window, *state.profile)) return EndUnansweredLaunch(state, processId);
    LogWrite(L"[LaunchAndEmbed] ReparentChild done\r\n");
    if (LaunchAbandoned(state, processId)) return EndAbandonedLaunch(state, processId);
    if (GetAncestor(window, GA_PARENT) != viewer) {
        LogPrintf(L"[LaunchAndEmbed] parent of hwnd=0x%p still wrong after ReparentChild, editor shut down",
                  window);
        KillChild(state);
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
        if (event == EVENT_OBJECT_CREATE) {
            SetWindowLongPtrW(window, GWL_EXSTYLE, GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
            SetLayeredWindowAttributes(window, 0, 0, LWA_ALPHA);
        } else {
            ShowWindow(window, SW_HIDE);
        }
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
        WaitAnsweringSentMessages(nullptr, kCaptureTurnPollMs);
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
    const DWORD processId = state.processId;
    SetCaptureTarget(processId);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    UniqueWinEventHook hook(InstallCaptureHook(processId));
    ResumeThread(state.thread.get());
    HWND window = nullptr;
    DWORD exitCode = 0;
    HookWaitEnd end = WaitForCapturedWindow(state, processId, window, exitCode);
    hook.reset();
    captureProcessId.store(0);
    switch (end) {
        case HookWaitEnd::Found:
            return EmbedCapturedWindow(viewer, state, window);
        case HookWaitEnd::Abandoned:
            return EndAbandonedLaunch(state, processId);
        case HookWaitEnd::Quit:
            LogPrintf(L"[LaunchAndEmbed] WM_QUIT arrived while waiting for pid=%lu, launch abandoned",
                      processId);
            KillChild(state);
            return false;
        case HookWaitEnd::Exited:
            LogPrintf(L"[LaunchAndEmbed] process exited with code %lu before its window was found", exitCode);
            KillChild(state);
            return false;
        case HookWaitEnd::NotFound:
            break;
    }
    LogWrite(L"[LaunchAndEmbed] failed to find window within 3s\r\n");
    KillChild(state);
    return false;
}
