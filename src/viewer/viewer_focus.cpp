#include "viewer/viewer_focus.h"

#include <cstdint>

#include "common/window_data.h"
#include "embed/editor_holder.h"
#include "embed/editor_messages.h"

namespace {

// Focus changes send messages to the editor's thread and would wait on a hung editor; it is
// asked first whether it answers at all, for no longer than a straight send may hold the host's
// input. A busy editor gets the focus at a later tick of the focus timer.
constexpr DWORD kEditorProbeTimeoutMs = 50;

DWORD WindowThread(HWND window) {
    return window ? GetWindowThreadProcessId(window, nullptr) : 0;
}

// Attaches the current thread's input to another thread for the scope. Declared in attach
// order, the attachments come undone in reverse order.
class ScopedInputAttachment {
   public:
    explicit ScopedInputAttachment(DWORD otherThread, bool wanted = true)
        : current_(GetCurrentThreadId()), other_(otherThread) {
        attached_ = wanted && other_ != 0 && other_ != current_ && AttachThreadInput(current_, other_, TRUE);
    }
    ScopedInputAttachment(const ScopedInputAttachment&) = delete;
    ScopedInputAttachment& operator=(const ScopedInputAttachment&) = delete;
    ~ScopedInputAttachment() {
        if (attached_) AttachThreadInput(current_, other_, FALSE);
    }

   private:
    DWORD current_;
    DWORD other_;
    bool attached_ = false;
};

bool InProcess(HWND window, DWORD processId) {
    return processId != 0 && ProcessIdOf(window) == processId;
}

// Where a launch leaves this thread's focus: nowhere (the editor's thread holds it), in the
// editor's process, in the viewer, or on the host's window that took the activation back.
bool FocusTakenByLaunch(HWND focus, HWND viewer, DWORD editorProcess) {
    return !focus || focus == viewer || focus == GetAncestor(viewer, GA_ROOT) || IsChild(viewer, focus) ||
           InProcess(focus, editorProcess);
}

// A frame that keeps a focus it is given (Notepad++ hands it to its text view only when it is
// activated, which an embedded window is not): its active view, the visible Scintilla among the
// frame's own children, takes it instead. Panels' Scintilla windows sit deeper and are passed over.
HWND ActiveTextView(HWND frame) {
    for (HWND child = FindWindowExW(frame, nullptr, L"Scintilla", nullptr); child;
         child = FindWindowExW(frame, child, L"Scintilla", nullptr)) {
        if (IsWindowVisible(child)) return child;
    }
    return frame;
}

// Under Wine, joining our input to the editor's drops the foreground when ours held it (the user
// clicked back into the host before the hand-off): keys would then reach no window at all. It is
// given back to the host's window first, and the focus taken from there.
void FocusInPane(HWND editor, HWND target) {
    ScopedInputAttachment editorInput(WindowThread(editor));
    HWND top = GetAncestor(editor, GA_ROOT);
    if (!GetForegroundWindow() && IsLiveWindow(top)) SetForegroundWindow(top);
    SetFocus(target);
}

void FocusInStandaloneViewer(HWND editor, HWND target) {
    DWORD current = GetCurrentThreadId();
    HWND top = GetAncestor(editor, GA_ROOT);
    DWORD editorThread = WindowThread(editor);
    DWORD topThread = top ? WindowThread(top) : current;
    HWND foreground = GetForegroundWindow();
    DWORD foregroundThread = foreground ? WindowThread(foreground) : current;
    bool foregroundIsOther = foregroundThread != topThread && foregroundThread != editorThread;

    ScopedInputAttachment topInput(topThread);
    ScopedInputAttachment editorInput(editorThread);
    ScopedInputAttachment foregroundInput(foregroundThread, foregroundIsOther);
    if (IsLiveWindow(top)) {
        BringWindowToTop(top);
        SetForegroundWindow(top);
        SetActiveWindow(top);
    }
    SetFocus(target);
}

}  // namespace

BOOL CALLBACK FindFocusTarget(HWND window, LPARAM searchParam) noexcept {
    auto* search = reinterpret_cast<FocusSearch*>(searchParam);
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t className[kClassNameCapacity] = {};
    GetClassNameW(window, className, kClassNameCapacity);
    if (!search->firstScintilla && IsScintillaClassName(className)) search->firstScintilla = window;
    RECT rect = {};
    GetWindowRect(window, &rect);
    int64_t area64 = static_cast<int64_t>(rect.right - rect.left) * (rect.bottom - rect.top);
    int area = static_cast<int>(static_cast<int32_t>(area64 & 0xFFFFFFFF));
    if (area > search->largestArea) {
        search->largest = window;
        search->largestArea = area;
    }
    return TRUE;
}

HWND ChooseFocusTarget(HWND editor, const EditorProfile& profile) {
    if (profile.embed.focus == FocusTarget::Frame) return editor;
    if (profile.embed.focus == FocusTarget::ActiveTextView) return ActiveTextView(editor);
    FocusSearch search;
    EnumChildWindows(editor, FindFocusTarget, reinterpret_cast<LPARAM>(&search));
    if (search.firstScintilla) return search.firstScintilla;
    if (search.largest) return search.largest;
    return editor;
}

void ResizeEmbeddedEditor(HWND viewer, const ViewerState& state) {
    HWND editor = state.editor.window;
    if (!IsLiveWindow(editor)) return;
    RECT client = {};
    GetClientRect(viewer, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    // Asynchronous forms throughout: the editor's thread carries them out when it runs, and a
    // hung editor keeps the host waiting for nothing.
    SetWindowPos(editor, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
    if (state.editor.profile->embed.moveOnlyResize) return;
    PostMessageW(editor, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void FocusEditorWindow(const ViewerState& state) {
    // Copied first: the probe dispatches sent messages, and the state may be gone after it.
    HWND editor = state.editor.window;
    const bool toTextView = state.editor.profile->embed.focus == FocusTarget::ActiveTextView;
    if (!IsLiveWindow(editor) || !AnswersMessages(editor, kEditorProbeTimeoutMs)) return;
    FocusInPane(editor, toTextView ? ActiveTextView(editor) : editor);
}

bool FocusEditorContent(const ViewerState& state) {
    // Copied first: the probe dispatches sent messages, and the state may be gone after it.
    HWND editor = state.editor.window;
    const EditorProfile& profile = *state.editor.profile;
    bool inPreviewPane = state.inPreviewPane;
    if (!IsLiveWindow(editor)) return true;
    if (!AnswersMessages(editor, kEditorProbeTimeoutMs)) return false;
    HWND target = ChooseFocusTarget(editor, profile);
    if (inPreviewPane) {
        FocusInPane(editor, target);
    } else {
        FocusInStandaloneViewer(editor, target);
    }
    return true;
}

// Asked before and after every hand-off, so asked once where once will do: the foreground thread's
// active window is the foreground window, and its focus is this thread's when the viewer's own
// top-level window is the foreground (the user has just picked a file in the host). Otherwise this
// thread's focus is asked apart. Nothing is asked about a window of another process.
HostFocus SaveHostFocus(HWND viewer) {
    HostFocus saved;
    GUITHREADINFO foreground{};
    foreground.cbSize = sizeof(foreground);
    if (!GetGUIThreadInfo(0, &foreground)) {
        saved.foreground = GetForegroundWindow();
        saved.focus = GetFocus();
        return saved;
    }
    saved.foreground = foreground.hwndActive;
    HWND top = GetAncestor(viewer, GA_ROOT);
    const bool heldHere = top && foreground.hwndActive == top &&
                          GetWindowThreadProcessId(top, nullptr) == GetCurrentThreadId();
    saved.focus = heldHere ? foreground.hwndFocus : GetFocus();
    return saved;
}

namespace {

// The focus calls send messages to the windows that hold the activation and the focus: those of an
// editor that does not answer (hung right after its embedding) would hold this thread until it
// answers. Such an editor is asked first, while this thread dispatches its messages.
bool EditorLetsFocusGo(DWORD editorProcess, const bool* stop) {
    for (HWND holder : {GetFocus(), GetActiveWindow(), GetForegroundWindow()}) {
        if (InProcess(holder, editorProcess))
            return SendRepeatableDispatchingMessages(holder, WM_NULL, 0, 0, nullptr, stop) &&
                   !(stop && *stop);
    }
    return true;
}

bool FocusMoved(const HostFocus& saved, HWND viewer, HWND moved) {
    if (moved) return true;
    const HostFocus now = SaveHostFocus(viewer);
    return now.foreground != saved.foreground || now.focus != saved.focus;
}

// moved: where the user put the focus after saved was taken, if known.
void RestoreFocus(const HostFocus& saved, HWND viewer, DWORD editorProcess, HWND moved) {
    // Nothing moved (the usual hand-off): one question, no more, for the host's focus.
    if (!FocusMoved(saved, viewer, moved)) return;
    HWND foreground = GetForegroundWindow();
    const bool taken = !foreground || InProcess(foreground, editorProcess);
    if (taken && IsLiveWindow(saved.foreground)) SetForegroundWindow(saved.foreground);
    HWND target = saved.focus;
    if (IsLiveWindow(moved) && !FocusTakenByLaunch(moved, viewer, editorProcess)) target = moved;
    HWND focus = GetFocus();
    if (IsLiveWindow(target) && GetForegroundWindow() == saved.foreground && focus != target &&
        FocusTakenByLaunch(focus, viewer, editorProcess))
        SetFocus(target);
}

}  // namespace

// Only a launch asks the editor first: a hand-off's editor has just answered its messages, and asking
// it again would cost each hand-off that moved the focus (Notepad++'s, every one) one more message.
void RestoreHostFocus(const HostFocus& saved, HWND viewer, const ViewerState& state) {
    const HWND moved = state.focusBeforeEmbedding;
    if (!FocusMoved(saved, viewer, moved) || !EditorLetsFocusGo(state.editor.processId, &state.closing)) return;
    RestoreFocus(saved, viewer, state.editor.processId, moved);
}

void RestoreHostFocusAfterHandOff(const HostFocus& saved, HWND viewer, const ViewerState& state) {
    RestoreFocus(saved, viewer, state.editor.processId, nullptr);
}
