#include "viewer/viewer_window.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "common/module_instance.h"
#include "common/window_data.h"
#include "config/config_refresh.h"
#include "embed/editor_holder.h"
#include "embed/editor_registry.h"
#include "embed/editor_shutdown.h"
#include "log/log.h"
#include "viewer/load_file.h"
#include "viewer/loading_text.h"
#include "viewer/standalone_container.h"
#include "viewer/viewer_focus.h"

namespace {

constexpr DWORD kViewerStyle = 0x56010000;  // child, visible, clip siblings and children, tab stop
constexpr DWORD kInPreviewPaneFlag = 4;

constexpr UINT kHostMsgIgnored1 = 0x8F07;
constexpr UINT kHostMsgResize = 0x8F08;
constexpr UINT kHostMsgQuerySize = 0x8F14;
constexpr UINT kHostMsgIgnored2 = 0x8F19;
constexpr UINT kHostMsgFirst = 0x8F00;
constexpr UINT kHostMsgLast = 0x8F80;
constexpr int32_t kQuerySizeAnswer = 32;

bool RegisterViewerClass() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ViewerWndProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kViewerClassName;
    return RegisterClassExW(&windowClass) != 0;
}

// Once per module load whatever the registration answered. Not a function-local static: its
// thread-safe initialisation would leave a TLS slot, a thread handle and an event per reload.
INIT_ONCE viewerClassOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK RegisterViewerClassOnce(PINIT_ONCE, PVOID, PVOID*) noexcept {
    RegisterViewerClass();
    return TRUE;
}

void EnsureViewerClassRegistered() {
    InitOnceExecuteOnce(&viewerClassOnce, RegisterViewerClassOnce, nullptr, nullptr);
}

RECT ViewerRectangle(HWND parent, const RECT* given) {
    RECT rect = {};
    if (given) {
        std::memcpy(&rect, given, sizeof(rect));
    } else {
        GetClientRect(parent, &rect);
    }
    return rect;
}

LRESULT OnCreate(HWND window) {
    StoreWindowData(window, new (std::nothrow) ViewerState());
    CreateEditorHolder(window);
    return 0;
}

LRESULT OnDestroy(HWND window, ViewerState* state) {
    if (!state) return 0;
    if (!state->inPreviewPane) UnregisterStandaloneContainer(window);
    // Cleared first: messages dispatched while the editor shuts down must find no state.
    StoreWindowData<ViewerState>(window, nullptr);
    // The viewer's end would destroy them with it, also while a launch still runs.
    ReturnForeignWindows(window, state->editor.processId);
    const DWORD launching = state->work == ViewerState::Work::Launching ? state->editor.processId : 0;
    DestroyViewerState(state);
    ReleaseEditorsLeftInside(window, launching);
    return 0;
}

LRESULT OnSize(HWND window, const ViewerState* state) {
    FitEditorHolder(window);
    if (state) ResizeEmbeddedEditor(window, *state);
    return 0;
}

LRESULT OnFocus(const ViewerState* state) {
    if (state) FocusEditorWindow(*state);
    return 0;
}

LRESULT OnMouseActivate(const ViewerState* state) {
    OnFocus(state);
    return MA_ACTIVATE;
}

// The area an editor leaves behind (closed, released, none configured) shows the background, not
// the editor's last picture. While a launch runs, "Loading..." is drawn again over it; when a file
// was not shown, the reason.
void PaintContent(HDC dc, const RECT& client, const ViewerState* state) {
    if (state && state->work == ViewerState::Work::Launching)
        DrawLoadingTextOn(dc, client);
    else if (state && !state->paneNote.empty())
        DrawPaneNoteOn(dc, client, state->paneNote);
}

LRESULT OnPaint(HWND window, const ViewerState* state) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (!dc) return 0;
    RECT client{};
    GetClientRect(window, &client);
    const HWND holder = EmbeddingParentOf(window);
    if (holder == window) {
        PaintContent(dc, client, state);
    } else {
        // The holder covers the viewer, and has no background of its own: the viewer's picture is its.
        ScopedWindowDC holderDc(holder);
        if (holderDc) {
            PaintViewerBackground(window, holderDc.get());
            PaintContent(holderDc.get(), client, state);
        }
    }
    EndPaint(window, &paint);
    return 0;
}

LRESULT OnEraseBackground(HWND window, WPARAM wParam) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    if (dc) PaintViewerBackground(window, dc);
    return 1;
}

// Once no editor covers the window, its whole area is painted again.
void RepaintIfEmpty(HWND window, const ViewerState* state) {
    if (state && IsLiveWindow(state->editor.window)) return;
    InvalidateRect(window, nullptr, TRUE);
}

LRESULT OnTimer(HWND window, ViewerState* state, WPARAM timerId) {
    if (timerId != kFocusTimerId) return 0;
    // A launch or a hand-off that dispatches messages while it waits is under way: its editor is
    // not placed yet, or does not answer.
    if (state && state->work != ViewerState::Work::None) return 0;
    bool placed = true;
    if (state) {
        placed = FocusEditorContent(*state);
        // The focus calls dispatch sent messages; the window may be gone now.
        state = GetWindowData<ViewerState>(window);
    }
    if (state && !placed && --state->focusRetries > 0) return 0;
    KillTimer(window, kFocusTimerId);
    return 0;
}

LRESULT OnLoadW(HWND window, ViewerState* state, LPARAM lParam) {
    LogWrite(L"[ViewerWndProc] DVPLUGINMSG_LOADW received\r\n");
    bool result = state && LoadFile(window, *state, AsPointer<const wchar_t>(lParam));
    if (!result) RepaintIfEmpty(window, GetWindowData<ViewerState>(window));
    LogPrintf(L"[ViewerWndProc] DVPLUGINMSG_LOADW return %d", result ? 1 : 0);
    return result ? 1 : 0;
}

bool LoadAnsiPath(HWND window, ViewerState& state, const char* ansiPath) {
    int length = ansiPath ? MultiByteToWideChar(CP_ACP, 0, ansiPath, -1, nullptr, 0) : 0;
    if (length <= 0) return LoadFile(window, state, nullptr);
    std::vector<wchar_t> path(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansiPath, -1, path.data(), length);
    return LoadFile(window, state, path.data());
}

LRESULT OnLoadA(HWND window, ViewerState* state, LPARAM lParam) {
    LogWrite(L"[ViewerWndProc] DVPLUGINMSG_LOADA received\r\n");
    bool result = state && LoadAnsiPath(window, *state, AsPointer<const char>(lParam));
    if (!result) RepaintIfEmpty(window, GetWindowData<ViewerState>(window));
    LogPrintf(L"[ViewerWndProc] DVPLUGINMSG_LOADA return %d", result ? 1 : 0);
    return result ? 1 : 0;
}

LRESULT OnClear(HWND window, ViewerState* state) {
    LogWrite(L"[ViewerWndProc] DVPLUGINMSG_CLEAR received\r\n");
    if (state) ClearViewer(window, *state);
    RepaintIfEmpty(window, GetWindowData<ViewerState>(window));
    return 0;
}

LRESULT OnRunPendingRequest(HWND window, ViewerState* state) {
    if (state) RunPendingRequest(window, *state);
    return 0;
}

LRESULT OnStartEditorReady(HWND window, ViewerState* state) {
    if (state) StartEditorReady(window, *state);
    return 0;
}

LRESULT OnHostResize(HWND window, const ViewerState* state, LPARAM lParam) {
    uint32_t size = static_cast<uint32_t>(lParam);
    bool bothHalves = (size & 0xFFFF) != 0 && (size >> 16) != 0;
    if (bothHalves) FitEditorHolder(window);
    if (state && bothHalves && IsLiveWindow(state->editor.window)) {
        ResizeEmbeddedEditor(window, *state);
    }
    return 0;
}

LRESULT OnHostQuerySize(HWND window, const ViewerState* state, WPARAM wParam, LPARAM lParam) {
    if (!state) return 0;
    if (lParam) {
        RECT client = {};
        GetClientRect(window, &client);
        const int32_t size[2] = {client.right - client.left, client.bottom - client.top};
        std::memcpy(AsPointer<void>(lParam), size, sizeof(size));
    }
    if (wParam) std::memcpy(AsPointer<void>(wParam), &kQuerySizeAnswer, sizeof(kQuerySizeAnswer));
    return 0;
}

LRESULT OnOtherMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= kHostMsgFirst && message <= kHostMsgLast) {
        LogPrintf(L"[ViewerWndProc] unhandled DVP msg=0x%04X wParam=0x%p lParam=0x%p", message,
                  reinterpret_cast<void*>(wParam), reinterpret_cast<void*>(lParam));
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT HandleViewerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ViewerState* state = GetWindowData<ViewerState>(window);
    // clang-format off
    switch (message) {
        case WM_CREATE: return OnCreate(window);
        case WM_DESTROY: return OnDestroy(window, state);
        case WM_SIZE: return OnSize(window, state);
        case WM_SETFOCUS: return OnFocus(state);
        case WM_PAINT: return OnPaint(window, state);
        case WM_ERASEBKGND: return OnEraseBackground(window, wParam);
        case WM_MOUSEACTIVATE: return OnMouseActivate(state);
        case WM_TIMER: return OnTimer(window, state, wParam);
        case WM_PARENTNOTIFY: return 0;
        case DVPLUGINMSG_LOADA: return OnLoadA(window, state, lParam);
        case DVPLUGINMSG_LOADW: return OnLoadW(window, state, lParam);
        case kHostMsgIgnored1: return 0;
        case kHostMsgResize: return OnHostResize(window, state, lParam);
        case kHostMsgQuerySize: return OnHostQuerySize(window, state, wParam, lParam);
        case kHostMsgIgnored2: return 0;
        case DVPLUGINMSG_CLEAR: return OnClear(window, state);
        case kRunPendingRequestMessage: return OnRunPendingRequest(window, state);
        case kStartEditorReadyMessage: return OnStartEditorReady(window, state);
        default: return OnOtherMessage(window, message, wParam, lParam);
    }
    // clang-format on
}

}  // namespace

LRESULT CALLBACK ViewerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        return HandleViewerMessage(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

void UnregisterViewerClass() {
    UnregisterClassW(kViewerClassName, ModuleInstance());
    UnregisterEditorHolderClass();
}

HWND CreateViewer(HWND parent, const RECT* given, DWORD flags) {
    LogPrintf(L"[DVP_CreateViewer] DVP_CreateViewer ENTER, parent=0x%p, flags=0x%08X",
              static_cast<void*>(parent), static_cast<unsigned>(flags));
    RefreshConfiguration();
    EnsureViewerClassRegistered();
    RECT rect = ViewerRectangle(parent, given);
    HWND window =
        CreateWindowExW(0, kViewerClassName, L"", kViewerStyle, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, parent, nullptr, ModuleInstance(), nullptr);
    LogPrintf(L"[DVP_CreateViewer] DVP_CreateViewer created hwnd=0x%p", static_cast<void*>(window));
    if (!window) return nullptr;
    ViewerState* state = GetWindowData<ViewerState>(window);
    if (!state) return window;
    state->inPreviewPane = (flags & kInPreviewPaneFlag) != 0;
    if (!state->inPreviewPane) RegisterStandaloneContainer(window);
    // Started once the host has its viewer: a first file sent at once is not held up by it.
    PostMessageW(window, kStartEditorReadyMessage, 0, 0);
    return window;
}
