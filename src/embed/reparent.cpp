#include "embed/reparent.h"

#include <memory>

#include "embed/bounded_wait.h"
#include "embed/editor_messages.h"
#include "embed/editor_process.h"
#include "embed/parking.h"
#include "log/log.h"

namespace {

constexpr DWORD kReparentRetryDelayMs = 100;
constexpr UINT kPlaceFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_ASYNCWINDOWPOS;
constexpr UINT kRedrawFlags = RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN;
constexpr DWORD kReparentClearedStyle = WS_MINIMIZE | WS_OVERLAPPEDWINDOW;
constexpr DWORD kReparentAddedStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kReparentClearedExStyle =
    WS_EX_LAYERED | WS_EX_APPWINDOW | WS_EX_WINDOWEDGE | WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;

static_assert(kReparentClearedStyle == 0x20CF0000, "frame and desktop-window styles");
static_assert(kReparentAddedStyle == 0x94000000, "popup, visible, clip siblings");
static_assert(kReparentClearedExStyle == 0x000C0109, "layered, app window, edge, topmost, modal frame");

void WriteStyle(HWND child, const EmbedStyles& styles, EmbedReport& report) {
    report.oldStyle = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
    SetWindowLongPtrW(child, GWL_STYLE,
                      static_cast<LONG_PTR>((report.oldStyle & ~styles.clearedStyle) | styles.addedStyle));
}

// Runs on the worker. The extended style comes first: the plain style makes the window visible,
// and its first paint must not come between the two calls. While it is given its parent the
// window cannot take the activation (SetParent shows a window that was visible again); afterwards
// it can, so that a click into the embedded editor gives it the keys. WS_CHILD would keep Wine from
// activating it too (Wine's SetParent moves it without SWP_NOACTIVATE), but a cross-thread
// WS_CHILD window joins the two threads' input on Windows, and a hung editor would then hold the
// host's input. A successful SetParent may leave a stale last error under Wine, so the error is
// read only when it failed.
void SetParentAndStyles(HWND parent, HWND child, const EmbedStyles& styles, EmbedReport& report) {
    report.oldExStyle = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_EXSTYLE));
    const DWORD exStyle = report.oldExStyle & ~styles.clearedExStyle;
    SetWindowLongPtrW(child, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle | WS_EX_NOACTIVATE));
    report.lookWhenAnswered = ReadDesktopLook(child, 0);
    if (styles.beforeSetParent) WriteStyle(child, styles, report);
    SetLastError(0);
    report.oldParent = SetParent(child, parent);
    report.setParentError = report.oldParent ? 0 : GetLastError();
    if (!styles.beforeSetParent) WriteStyle(child, styles, report);
    SetWindowLongPtrW(child, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
}

enum class SentFrom { ViewerThread, Worker };

// Sent, then posted: an editor that lays its panes out again only on a WM_SIZE of its own gets one.
// The viewer's thread keeps dispatching while the editor is slow to answer; a worker simply waits.
void SendSizeAfterReparent(HWND child, SIZE size, SentFrom from) {
    LPARAM packed = MAKELPARAM(size.cx, size.cy);
    const bool answered = from == SentFrom::ViewerThread
                              ? SendToEditorDispatchingMessages(child, WM_SIZE, 0, packed, nullptr, nullptr)
                              : SendToEditor(child, WM_SIZE, 0, packed);
    if (answered) {
        RedrawWindow(child, nullptr, nullptr, kRedrawFlags);
    } else {
        LogWrite(L"[ReparentChild]   WM_SIZE not answered in time\r\n");
    }
    PostMessageW(child, WM_SIZE, 0, packed);
}

CallBound EmbedCallsBound() {
    CallBound bound;
    bound.timeoutMs = kEmbedCallsTimeoutMs;
    return bound;
}

void LogNotAnswered() {
    LogPrintf(L"[ReparentChild]   editor did not answer within %lu ms, embedding abandoned",
              kEmbedCallsTimeoutMs);
}

}  // namespace

bool MakeEmbedCalls(HWND parent, HWND child, const EmbedStyles& styles, EmbedReport& report) {
    // The worker writes its own copy: a worker that outlives the wait must not touch the caller's.
    auto shared = std::make_shared<EmbedReport>();
    if (CallIntoWindows(
            [parent, child, styles, shared] { SetParentAndStyles(parent, child, styles, *shared); },
            EmbedCallsBound()) != CallEnd::Done)
        return false;
    report = *shared;
    return true;
}

bool SetParentBounded(HWND parent, HWND child) {
    return CallIntoWindows([parent, child] { SetParent(child, parent); }, EmbedCallsBound()) == CallEnd::Done;
}

void PlaceAndShow(HWND parent, HWND child, SIZE& size) {
    RECT client = {};
    GetClientRect(parent, &client);
    size.cx = client.right - client.left;
    size.cy = client.bottom - client.top;
    SetWindowPos(child, nullptr, 0, 0, size.cx, size.cy, kPlaceFlags);
    // A window the new style made visible already is left as it is: showing it again would
    // send it one more WM_SIZE.
    if (!IsWindowVisible(child)) ShowWindowAsync(child, SW_SHOWNA);
    RedrawWindow(child, nullptr, nullptr, kRedrawFlags);
}

DesktopLook ReadDesktopLook(HWND window, DWORD extraExStyle) {
    DesktopLook look;
    look.style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & ~WS_VISIBLE;
    look.exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)) & ~extraExStyle;
    look.placement.length = sizeof look.placement;
    GetWindowPlacement(window, &look.placement);
    // Wine answers for another process's window with what it knows of it: the normal rectangle of a
    // window that is neither minimised nor maximised is the window's own.
    RECT rect = {};
    if (!(look.style & (WS_MINIMIZE | WS_MAXIMIZE)) && GetWindowRect(window, &rect))
        look.placement.rcNormalPosition = rect;
    const RECT& normal = look.placement.rcNormalPosition;
    look.known = normal.right > normal.left && normal.bottom > normal.top;
    return look;
}

namespace {

void TakePlacementWhenAnswered(const EmbedReport& report, DesktopLook& look) {
    const DesktopLook& answered = report.lookWhenAnswered;
    if (!answered.known) return;
    constexpr DWORD kShowStateStyles = WS_MINIMIZE | WS_MAXIMIZE;
    look.placement = answered.placement;
    look.style = (look.style & ~kShowStateStyles) | (answered.style & kShowStateStyles);
    look.known = true;
}

}  // namespace

bool ReparentChild(HWND parent, HWND child, const EditorProfile& profile, DesktopLook& look) {
    LogPrintf(L"[ReparentChild] ReparentChild: parent=0x%p child=0x%p", parent, child);
    ShowWindowAsync(child, SW_HIDE);
    EmbedStyles styles;
    styles.clearedStyle = kReparentClearedStyle;
    styles.addedStyle = kReparentAddedStyle;
    styles.clearedExStyle = kReparentClearedExStyle;
    EmbedReport report;
    if (!MakeEmbedCalls(parent, child, styles, report)) {
        LogNotAnswered();
        return false;
    }
    LogPrintf(L"[ReparentChild]   SetParent returned oldParent=0x%p (err=%lu)", report.oldParent,
              report.setParentError);
    LogPrintf(L"[ReparentChild]   old style=0x%08X", report.oldStyle);
    TakePlacementWhenAnswered(report, look);
    SIZE size = {};
    PlaceAndShow(parent, child, size);
    ReleaseCapture();
    if (profile.embed.sizeAfterReparent) SendSizeAfterReparent(child, size, SentFrom::ViewerThread);
    HWND actual = GetAncestor(child, GA_PARENT);
    if (actual != parent) {
        LogPrintf(L"[ReparentChild]   verified parent=0x%p (expected 0x%p), retrying in %lums", actual,
                  parent, kReparentRetryDelayMs);
        WaitDispatchingMessages(nullptr, kReparentRetryDelayMs);
        if (!SetParentBounded(parent, child)) {
            LogNotAnswered();
            return false;
        }
    }
    LogWrite(L"[ReparentChild] ReparentChild done\r\n");
    return true;
}

UniqueHandle StartHideAndDetach(HWND child) {
    ShowWindowAsync(child, SW_HIDE);
    // Hidden again, and waited for, before it leaves the viewer: the posted hide above may come
    // after the sent calls, and the window must never show on the desktop between them.
    return StartWindowCalls([child] {
        ShowWindow(child, SW_HIDE);
        if (!ParkWindow(child)) DetachQuietly(child);
    });
}

UniqueHandle StartEmbedAgain(HWND parent, HWND child, const EditorProfile& profile) {
    LogPrintf(L"[ReparentChild] ReparentChild again: parent=0x%p child=0x%p", parent, child);
    const bool sizeAfterReparent = profile.embed.sizeAfterReparent;
    return StartWindowCalls([parent, child, sizeAfterReparent] {
        SetParent(child, parent);
        SIZE size = {};
        PlaceAndShow(parent, child, size);
        if (sizeAfterReparent) SendSizeAfterReparent(child, size, SentFrom::Worker);
    });
}
