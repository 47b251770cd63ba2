#include <algorithm>

#include "common/deadline.h"
#include "common/window_data.h"
#include "embed/bounded_wait.h"
#include "embed/child_window.h"
#include "embed/editor_holder.h"
#include "embed/launch.h"
#include "embed/launch_support.h"
#include "embed/reparent.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

constexpr DWORD kInputIdleTimeoutMs = 8000;
constexpr DWORD kWindowSearchTimeoutMs = 8000;
constexpr DWORD kWindowSearchPollMs = 100;
constexpr DWORD kGenericParentRetryDelayMs = 200;
constexpr int kMinimumMainWindowSide = 200;
constexpr DWORD kGenericClearedStyle = WS_CAPTION | WS_THICKFRAME;
constexpr DWORD kGenericAddedStyle = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kGenericClearedExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME;

HWND FindEverEditWindow(const wchar_t* windowClass, DWORD processId) {
    for (HWND window = FindWindowExW(nullptr, nullptr, windowClass, nullptr); window;
         window = FindWindowExW(nullptr, window, windowClass, nullptr)) {
        RECT rect = {};
        GetWindowRect(window, &rect);
        if (ProcessIdOf(window) == processId && rect.right - rect.left >= kMinimumMainWindowSide &&
            rect.bottom - rect.top >= kMinimumMainWindowSide)
            return window;
    }
    return nullptr;
}

// EmEditor may hand the file to a frame of another process, so process ids are not compared.
HWND FindNewEmEditorFrame(const wchar_t* frameClass, const std::vector<HWND>& preexisting) {
    std::vector<HWND> frames;
    WindowClassCollection collection;
    collection.className = frameClass;
    collection.windows = &frames;
    EnumWindows(CollectWindowsOfClass, reinterpret_cast<LPARAM>(&collection));
    for (HWND frame : frames) {
        if (std::find(preexisting.begin(), preexisting.end(), frame) != preexisting.end()) continue;
        if (HasCaptionBit(static_cast<uint32_t>(GetWindowLongPtrW(frame, GWL_STYLE)))) return frame;
    }
    return nullptr;
}

HWND FindLargestWindowOf(DWORD processId) {
    LargestTopWindowSearch search;
    search.processId = processId;
    EnumWindows(FindLargestTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.best;
}

HWND FindCandidateWindow(const ViewerState& state) {
    switch (state.editor.profile->capture.search) {
        case WindowSearch::EverEditClass:
            return FindEverEditWindow(state.editor.profile->capture.windowClass, state.editor.processId);
        case WindowSearch::NewEmEditorFrame:
            return FindNewEmEditorFrame(state.editor.profile->capture.windowClass, state.preexistingWindows);
        case WindowSearch::LargestOfProcess:
            break;
    }
    return FindLargestWindowOf(state.editor.processId);
}

EmbedStyles GenericStyles() {
    EmbedStyles styles;
    styles.clearedStyle = kGenericClearedStyle;
    styles.addedStyle = kGenericAddedStyle;
    styles.clearedExStyle = kGenericClearedExStyle;
    styles.beforeSetParent = true;
    return styles;
}

bool RetryParent(HWND parent, ViewerState& state, HWND window, DWORD processId) {
    LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: WARNING parent mismatch, retry in %lums",
              kGenericParentRetryDelayMs);
    WaitDispatchingMessages(nullptr, kGenericParentRetryDelayMs, &state.closing);
    if (LaunchAbandoned(state, processId)) return EndAbandonedLaunch(state, processId);
    if (!SetParentBounded(parent, window)) return EndUnansweredLaunch(state, processId);
    SIZE size = {};
    PlaceAndShow(parent, window, size);
    if (GetAncestor(window, GA_PARENT) == parent) return true;
    LogPrintf(
        L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: parent of 0x%p still wrong after retry, editor shut "
        L"down",
        window);
    EndLaunchedEditor(state);
    return false;
}

bool EmbedFoundWindow(HWND viewer, ViewerState& state, HWND window) {
    const DWORD processId = state.editor.processId;
    RECT rect = {};
    GetWindowRect(window, &rect);
    LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: found main window 0x%p (%dx%d)", window,
              static_cast<int>(rect.right - rect.left), static_cast<int>(rect.bottom - rect.top));
    state.editor.desktopLook = ReadDesktopLook(window, 0);
    ShowWindowAsync(window, SW_HIDE);
    state.editor.window = window;
    state.focusBeforeEmbedding = GetFocus();
    EmbedReport report;
    const HWND parent = EmbeddingParentOf(viewer);
    if (!MakeEmbedCalls(parent, window, GenericStyles(), report)) {
        LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: 0x%p did not answer within %lu ms", window,
                  kEmbedCallsTimeoutMs);
        return EndUnansweredLaunch(state, processId);
    }
    LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: orig style=0x%08X", report.oldStyle);
    LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: orig exStyle=0x%08X", report.oldExStyle);
    LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: SetParent oldParent=0x%p (err=%lu)",
              report.oldParent, report.setParentError);
    SIZE size = {};
    PlaceAndShow(parent, window, size);
    if (GetAncestor(window, GA_PARENT) != parent && !RetryParent(parent, state, window, processId))
        return false;
    if (LaunchAbandoned(state, processId)) return EndAbandonedLaunch(state, processId);
    LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: success, child=0x%p", window);
    return true;
}

}  // namespace

bool LaunchAndEmbedGeneric(HWND viewer, ViewerState& state) {
    const EditorProfile& profile = *state.editor.profile;
    const DWORD processId = state.editor.processId;
    LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: waiting for pid=%lu to become idle (ver=%d)",
              processId, static_cast<int>(profile.kind));
    DWORD idle = WaitForInputIdleDispatchingMessages(state.editor.process.get(), kInputIdleTimeoutMs,
                                                     &state.closing);
    LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: WaitForInputIdle returned %lu", idle);
    const Deadline deadline(kWindowSearchTimeoutMs);
    while (!deadline.Passed()) {
        if (LaunchAbandoned(state, processId)) return EndAbandonedLaunch(state, processId);
        HWND candidate = FindCandidateWindow(state);
        if (candidate) return EmbedFoundWindow(viewer, state, candidate);
        DWORD exitCode = 0;
        if (profile.capture.exitEndsSearch && ProcessHasEnded(state.editor.process.get(), &exitCode)) {
            LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: process exited with code %lu",
                      exitCode);
            EndLaunchedEditor(state);
            return false;
        }
        WaitDispatchingMessages(nullptr, kWindowSearchPollMs, &state.closing);
    }
    if (LaunchAbandoned(state, processId)) return EndAbandonedLaunch(state, processId);
    LogPrintf(L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: failed to find window within %lu ms",
              kWindowSearchTimeoutMs);
    EndLaunchedEditor(state);
    return false;
}
