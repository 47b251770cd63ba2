#include "embed/editor_holder.h"

#include <cwchar>

#include "common/module_instance.h"
#include "common/window_data.h"

namespace {

constexpr wchar_t kHolderClassName[] = L"VelloquinEditorHolder";
constexpr int kEditorHolderId = 0x564C;
constexpr DWORD kHolderStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
constexpr UINT kHolderPlaceFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE;

// No background brush: until the editor paints, the viewer's last picture stays.
BOOL CALLBACK RegisterHolderClassOnce(PINIT_ONCE, PVOID, PVOID*) noexcept {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = ModuleInstance();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kHolderClassName;
    RegisterClassExW(&windowClass);
    return TRUE;
}

INIT_ONCE holderClassOnce = INIT_ONCE_STATIC_INIT;

bool IsHolder(HWND window) {
    wchar_t className[64] = {};
    return IsLiveWindow(window) && ProcessIdOf(window) == GetCurrentProcessId() &&
           GetClassNameW(window, className, 64) > 0 && std::wcscmp(className, kHolderClassName) == 0;
}

HWND HolderOf(HWND viewer) {
    HWND holder = GetDlgItem(viewer, kEditorHolderId);
    return IsHolder(holder) ? holder : nullptr;
}

}  // namespace

HWND CreateEditorHolder(HWND viewer) {
    InitOnceExecuteOnce(&holderClassOnce, RegisterHolderClassOnce, nullptr, nullptr);
    RECT client = {};
    GetClientRect(viewer, &client);
    return CreateWindowExW(0, kHolderClassName, L"", kHolderStyle, 0, 0, client.right, client.bottom, viewer,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditorHolderId)), ModuleInstance(),
                           nullptr);
}

HWND EmbeddingParentOf(HWND viewer) {
    HWND holder = HolderOf(viewer);
    return holder ? holder : viewer;
}

void FitEditorHolder(HWND viewer) {
    HWND holder = HolderOf(viewer);
    if (!holder) return;
    RECT client = {};
    GetClientRect(viewer, &client);
    SetWindowPos(holder, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 kHolderPlaceFlags);
}

// Only the holder's own thread moves it: nothing is asked of the windows inside.
bool TakeHolderOutOfClosingViewer(HWND viewer) {
    HWND holder = HolderOf(viewer);
    if (!holder) return false;
    ShowWindow(holder, SW_HIDE);
    SetParent(holder, nullptr);
    // The system leaves the child style to the caller; a top-level window is a popup.
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(holder, GWL_STYLE));
    style = (style & ~static_cast<DWORD>(WS_CHILD)) | WS_POPUP;
    SetWindowLongPtrW(holder, GWL_STYLE, static_cast<LONG_PTR>(style));
    return GetAncestor(holder, GA_PARENT) == GetDesktopWindow();
}

void CloseHolderIfEmpty(HWND holder) {
    if (!IsHolder(holder) || GetAncestor(holder, GA_PARENT) != GetDesktopWindow()) return;
    if (!GetWindow(holder, GW_CHILD)) PostMessageW(holder, WM_CLOSE, 0, 0);
}

void UnregisterEditorHolderClass() {
    UnregisterClassW(kHolderClassName, ModuleInstance());
}
