#include "viewer/standalone_container.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "common/handles.h"
#include "common/module_instance.h"
#include "common/window_data.h"
#include "editor/viewer_state.h"
#include "log/log.h"

namespace {

// Raised without activating, moving or sizing; asynchronous when the top-level window belongs
// to another thread, so the hook never waits on it.
constexpr UINT kRaiseFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;

// The host may create and destroy stand-alone viewers on several threads while the hook and the
// subclass read the list. One lock guards the list and the globals; it is held only for short
// reads and updates, never across a call that waits on another thread or a window procedure.
SRWLOCK containerLock = SRWLOCK_INIT;
std::vector<HWND> standaloneViewers;
UniqueWindowsHook mouseHook;
UniqueSubclass topSubclass;
// Top-level windows that were subclassed again after us: giving them our predecessor back would
// cut the later procedure off, so we stay in their chain and keep forwarding.
std::vector<UniqueSubclass> retainedSubclasses;
// Every window we ever subclassed with the procedure we replaced, kept until its WM_NCDESTROY: a
// message already dispatched to our procedure is looked up after the subclass may have moved to
// another window on another thread, and it must still reach the window's own procedure.
std::vector<std::pair<HWND, WNDPROC>> knownPrevious;

class ContainerLock {
   public:
    ContainerLock() : lock_(containerLock) {}

   private:
    ScopedExclusiveLock lock_;
};

LONG_PTR OurProcedure() {
    return reinterpret_cast<LONG_PTR>(TopWindowSubclassProc);
}

// Caller holds the lock. Drops the entries that hold nothing any more.
void DropEmptyRetainedLocked() {
    retainedSubclasses.erase(std::remove_if(retainedSubclasses.begin(), retainedSubclasses.end(),
                                            [](const UniqueSubclass& entry) { return !entry; }),
                             retainedSubclasses.end());
}

// Caller holds the lock.
void ReleaseSubclassLocked() {
    if (!topSubclass.TryRestore()) retainedSubclasses.push_back(std::move(topSubclass));
}

// Caller holds the lock. Gives retained windows back their procedure once ours is on top again.
void SweepRetainedLocked() {
    for (UniqueSubclass& entry : retainedSubclasses) entry.TryRestore();
    DropEmptyRetainedLocked();
}

// Caller holds the lock. Entries of windows that are gone are dropped on the way.
void RememberPreviousLocked(HWND top, WNDPROC previous) {
    knownPrevious.erase(std::remove_if(knownPrevious.begin(), knownPrevious.end(),
                                       [top](const std::pair<HWND, WNDPROC>& entry) {
                                           return entry.first == top || !IsWindow(entry.first);
                                       }),
                        knownPrevious.end());
    knownPrevious.emplace_back(top, previous);
}

// Caller holds the lock. Makes top the subclassed window; false when it could not be replaced.
bool SubclassTopLocked(HWND top) {
    ReleaseSubclassLocked();
    auto retained = std::find_if(retainedSubclasses.begin(), retainedSubclasses.end(),
                                 [top](const UniqueSubclass& entry) { return entry.window() == top; });
    if (retained != retainedSubclasses.end()) {
        // Still in its chain: subclassing again would make us our own predecessor.
        topSubclass = std::move(*retained);
        retainedSubclasses.erase(retained);
    } else {
        auto previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(top, GWLP_WNDPROC, OurProcedure()));
        if (!previous) return false;
        topSubclass = UniqueSubclass(top, previous, TopWindowSubclassProc);
    }
    RememberPreviousLocked(top, topSubclass.previous());
    return true;
}

WNDPROC PreviousProcedureOf(HWND window) {
    ContainerLock lock;
    if (window == topSubclass.window()) return topSubclass.previous();
    for (const UniqueSubclass& entry : retainedSubclasses) {
        if (entry.window() == window) return entry.previous();
    }
    for (const auto& entry : knownPrevious) {
        if (entry.first == window) return entry.second;
    }
    return nullptr;
}

void ForgetSubclass(HWND window) {
    ContainerLock lock;
    if (window == topSubclass.window()) topSubclass.Forget();
    for (UniqueSubclass& entry : retainedSubclasses) {
        if (entry.window() == window) entry.Forget();
    }
    DropEmptyRetainedLocked();
    knownPrevious.erase(
        std::remove_if(knownPrevious.begin(), knownPrevious.end(),
                       [window](const std::pair<HWND, WNDPROC>& entry) { return entry.first == window; }),
        knownPrevious.end());
}

// Caller holds the lock. The first registered viewer that is still a window and lives in top.
HWND FindViewerInLocked(HWND top) {
    for (HWND viewer : standaloneViewers) {
        if (IsWindow(viewer) && GetAncestor(viewer, GA_ROOT) == top) return viewer;
    }
    return nullptr;
}

// The editor window (null when there is none) of the first registered viewer in top. The state
// is read under the lock, which a viewer's destruction takes (to unregister) before it frees it.
bool FindViewerIn(HWND top, HWND* editor) {
    ContainerLock lock;
    HWND viewer = FindViewerInLocked(top);
    if (!viewer) return false;
    const ViewerState* state = GetWindowData<ViewerState>(viewer);
    *editor = state ? state->editor.window : nullptr;
    return true;
}

DWORD ProcessOf(HWND window) {
    return IsLiveWindow(window) ? ProcessIdOf(window) : 0;
}

bool IsButtonPress(WPARAM message) {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
}

void RaiseWithoutActivating(HWND top) {
    // The pair would take away an always-on-top state the user chose.
    if (GetWindowLongPtrW(top, GWL_EXSTYLE) & WS_EX_TOPMOST) return;
    SetWindowPos(top, HWND_TOPMOST, 0, 0, 0, 0, kRaiseFlags);
    SetWindowPos(top, HWND_NOTOPMOST, 0, 0, 0, 0, kRaiseFlags);
}

void BringToForeground(HWND top) {
    DWORD current = GetCurrentThreadId();
    HWND foreground = GetForegroundWindow();
    DWORD foregroundThread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    bool attached = foregroundThread != 0 && foregroundThread != current &&
                    AttachThreadInput(current, foregroundThread, TRUE);
    SetForegroundWindow(top);
    if (attached) AttachThreadInput(current, foregroundThread, FALSE);
}

void RaiseClickedContainer(LPARAM eventRecord) {
    int32_t coordinates[2] = {};
    std::memcpy(coordinates, AsPointer<const void>(eventRecord), sizeof(coordinates));
    HWND hit = WindowFromPoint(POINT{coordinates[0], coordinates[1]});
    if (!hit) return;
    HWND top = GetAncestor(hit, GA_ROOT);
    HWND editor = nullptr;
    if (!FindViewerIn(top, &editor)) return;
    SubclassTop(top);
    DWORD editorProcess = ProcessOf(editor);
    if (editorProcess != 0 && editorProcess == ProcessOf(GetForegroundWindow())) return;
    RaiseWithoutActivating(top);
    BringToForeground(top);
}

bool EditorOwnsForeground(HWND top) {
    DWORD foregroundProcess = ProcessOf(GetForegroundWindow());
    if (foregroundProcess == 0) return false;
    HWND editor = nullptr;
    if (!FindViewerIn(top, &editor)) return false;
    return ProcessOf(editor) == foregroundProcess;
}

LRESULT ForwardTopMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = PreviousProcedureOf(window);
    if (message == WM_NCACTIVATE && wParam == 0 && EditorOwnsForeground(window)) wParam = 1;
    if (message == WM_NCDESTROY) ForgetSubclass(window);
    if (!previous) return DefWindowProcW(window, message, wParam, lParam);
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

}  // namespace

void RegisterStandaloneContainer(HWND viewer) {
    HHOOK installed = nullptr;
    {
        ContainerLock lock;
        if (std::find(standaloneViewers.begin(), standaloneViewers.end(), viewer) != standaloneViewers.end())
            return;
        standaloneViewers.push_back(viewer);
        if (mouseHook) return;
        mouseHook.reset(SetWindowsHookExW(WH_MOUSE_LL, StandaloneMouseHookProc, ModuleInstance(), 0));
        installed = mouseHook.get();
    }
    LogPrintf(L"[RegisterStandaloneContainer] RegisterStandaloneContainer: mouse hook installed=0x%p",
              static_cast<void*>(installed));
}

void UnregisterStandaloneContainer(HWND viewer) {
    bool hookRemoved = false;
    {
        ContainerLock lock;
        auto found = std::find(standaloneViewers.begin(), standaloneViewers.end(), viewer);
        if (found != standaloneViewers.end()) standaloneViewers.erase(found);
        // A handle that no longer names a window would keep the hook for good, and its value may
        // come back as some other window.
        standaloneViewers.erase(std::remove_if(standaloneViewers.begin(), standaloneViewers.end(),
                                               [](HWND registered) { return !IsWindow(registered); }),
                                standaloneViewers.end());
        if (!standaloneViewers.empty()) return;
        hookRemoved = static_cast<bool>(mouseHook);
        mouseHook.reset();
        ReleaseSubclassLocked();
        SweepRetainedLocked();
    }
    if (hookRemoved)
        LogWrite(L"[UnregisterStandaloneContainer] UnregisterStandaloneContainer: mouse hook removed\r\n");
}

LRESULT CALLBACK StandaloneMouseHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
    if (code == HC_ACTION && IsButtonPress(wParam)) {
        try {
            RaiseClickedContainer(lParam);
        } catch (...) {
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void SubclassTop(HWND top) {
    if (!top || !IsWindow(top)) return;
    {
        ContainerLock lock;
        // The viewer found by the hook may have gone meanwhile, and with it the last reason to
        // subclass: nothing would give the procedure back.
        if (top == topSubclass.window() || !FindViewerInLocked(top) || !SubclassTopLocked(top)) return;
    }
    wchar_t className[kClassNameCapacity] = {};
    GetClassNameW(top, className, kClassNameCapacity);
    LogPrintf(L"[SubclassTop] SubclassTop: subclassed top=0x%p cls=[%ls]", static_cast<void*>(top),
              className);
}

LRESULT CALLBACK TopWindowSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        return ForwardTopMessage(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

void ReleaseStandaloneContainer() {
    ContainerLock lock;
    mouseHook.reset();
    ReleaseSubclassLocked();
    SweepRetainedLocked();
    standaloneViewers.clear();
}
