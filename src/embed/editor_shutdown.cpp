#include "embed/editor_shutdown.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <utility>

#include "common/deadline.h"
#include "common/window_data.h"
#include "embed/bounded_wait.h"
#include "embed/editor_messages.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

constexpr DWORD kTerminateWaitMs = 500;
constexpr DWORD kWatchPollMs = 50;
constexpr int kMinimumReleasedSide = 300;

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

int AtLeastReleasedSide(LONG side) {
    return side < kMinimumReleasedSide ? kMinimumReleasedSide : static_cast<int>(side);
}

// Makes the window a normal framed top-level window on the desktop again, where it was shown. Each
// call waits for the editor's thread: only ever made on a worker.
void ReturnWindowToDesktopNow(HWND window, const RECT& shownAt) {
    SetParent(window, nullptr);
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    style = (style & ~(WS_POPUP | WS_CHILD | WS_MINIMIZE)) | WS_OVERLAPPEDWINDOW;
    SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(style));
    SetWindowLongPtrW(window, GWL_EXSTYLE, GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    SetWindowPos(window, HWND_TOP, shownAt.left, shownAt.top,
                 AtLeastReleasedSide(shownAt.right - shownAt.left),
                 AtLeastReleasedSide(shownAt.bottom - shownAt.top), SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
}

bool IsVisibleOnDesktop(HWND window) {
    return GetAncestor(window, GA_PARENT) == GetDesktopWindow() && IsWindowVisible(window);
}

void ReleaseWatchedEditor(const ShutdownWatch& watch, const wchar_t* format) {
    LogPrintf(format, watch.processId, kShutdownWatchMs);
    ReturnWindowToDesktopNow(watch.window, watch.shownAt);
}

// The bound has passed: an editor that still answers is given to the user, one that does not (or
// whose window is gone) is ended.
void EndWatch(const ShutdownWatch& watch) {
    if (!IsLiveWindow(watch.window)) {
        TerminateEditor(watch.process.get(), watch.processId, L"still running after its window closed");
        return;
    }
    if (!AnswersMessages(watch.window, kEditorReplyTimeoutMs)) {
        if (WaitForSingleObject(watch.process.get(), 0) == WAIT_OBJECT_0) return;
        TerminateEditor(watch.process.get(), watch.processId, L"does not answer messages");
        return;
    }
    ReleaseWatchedEditor(
        watch,
        L"[KillChild]   pid=%lu neither ended nor asked within %lu ms after WM_CLOSE, editor "
        L"released instead of terminated");
}

void WatchEditor(const ShutdownWatch& watch) {
    const Deadline deadline(kShutdownWatchMs);
    for (;;) {
        const DWORD remaining = deadline.RemainingMs();
        if (WaitForSingleObject(watch.process.get(), std::min(remaining, kWatchPollMs)) == WAIT_OBJECT_0) {
            LogPrintf(L"[KillChild]   pid=%lu ended by itself %lu ms after it was watched", watch.processId,
                      deadline.ElapsedMs());
            return;
        }
        if (IsLiveWindow(watch.window) && HasNewVisibleTopWindow(watch.processId, watch.windowsBeforeClose)) {
            LogPrintf(
                L"[KillChild]   pid=%lu shows a window after WM_CLOSE, editor released instead of terminated",
                watch.processId);
            ReturnWindowToDesktopNow(watch.window, watch.shownAt);
            return;
        }
        if (remaining == 0) break;
    }
    EndWatch(watch);
}

BOOL CALLBACK CollectForeignChild(HWND window, LPARAM collection) noexcept {
    try {
        auto* record = AsPointer<TopWindowCollection>(collection);
        const DWORD owner = ProcessIdOf(window);
        if (owner != GetCurrentProcessId() && owner != record->processId) record->windows->push_back(window);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

std::vector<HWND> TopWindowsOf(DWORD processId) {
    std::vector<HWND> windows;
    TopWindowCollection collection;
    collection.processId = processId;
    collection.windows = &windows;
    EnumWindows(CollectTopWindowOfProcess, reinterpret_cast<LPARAM>(&collection));
    return windows;
}

bool HasNewVisibleTopWindow(DWORD processId, const std::vector<HWND>& before) {
    for (HWND window : TopWindowsOf(processId)) {
        if (!IsWindowVisible(window)) continue;
        if (std::find(before.begin(), before.end(), window) == before.end()) return true;
    }
    return false;
}

RECT ScreenRectOf(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

bool ReturnToDesktop(HWND window, const RECT& shownAt, bool postClose, DWORD waitMs) {
    return RunBounded(
        [window, shownAt, postClose] {
            ReturnWindowToDesktopNow(window, shownAt);
            // Closing it now lets the editor ask the user whether to save.
            if (postClose) PostMessageW(window, WM_CLOSE, 0, 0);
        },
        waitMs);
}

bool DetachFromViewer(HWND window, DWORD waitMs) {
    return RunBounded([window] { SetParent(window, nullptr); }, waitMs);
}

void TerminateEditor(HANDLE process, DWORD processId, const wchar_t* reason) {
    if (!TerminateProcess(process, 0)) {
        LogPrintf(L"[KillChild]   pid=%lu %ls: TerminateProcess failed, err=%lu", processId, reason,
                  GetLastError());
        return;
    }
    LogPrintf(L"[KillChild]   pid=%lu %ls: terminated", processId, reason);
    WaitAnsweringSentMessages(process, kTerminateWaitMs);
}

bool StartShutdownWatch(ShutdownWatch& watch) {
    auto owned = std::make_shared<ShutdownWatch>(std::move(watch));
    if (StartWorker([owned] { WatchEditor(*owned); })) return true;
    watch = std::move(*owned);
    return false;
}

void ReturnForeignWindow(HWND window) {
    if (!IsLiveWindow(window) || IsVisibleOnDesktop(window)) return;
    LogPrintf(
        L"[ReturnForeignWindow] hwnd=0x%p of pid=%lu, a process not started here: given back to the desktop",
        window, ProcessIdOf(window));
    if (!ReturnToDesktop(window, ScreenRectOf(window), false, kWindowCallWaitMs))
        LogPrintf(L"[ReturnForeignWindow]   hwnd=0x%p not back within %lu ms", window, kWindowCallWaitMs);
}

void ReturnForeignWindows(HWND viewer, DWORD startedProcessId) {
    if (!IsLiveWindow(viewer)) return;
    std::vector<HWND> children;
    TopWindowCollection collection;
    collection.processId = startedProcessId;
    collection.windows = &children;
    EnumChildWindows(viewer, CollectForeignChild, reinterpret_cast<LPARAM>(&collection));
    for (HWND child : children) {
        if (GetAncestor(child, GA_PARENT) == viewer) ReturnForeignWindow(child);
    }
}

bool WaitForShutdownThreads(DWORD timeoutMs) {
    return WaitForWorkerThreads(timeoutMs);
}
