#include "viewer/load_file.h"

#include <cwchar>
#include <cwctype>
#include <new>
#include <string>
#include <vector>

#include "common/window_data.h"
#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "editors/editor_profile.h"
#include "embed/bounded_wait.h"
#include "embed/child_window.h"
#include "embed/editor_holder.h"
#include "embed/editor_registry.h"
#include "embed/editor_shutdown.h"
#include "embed/launch.h"
#include "embed/reparent.h"
#include "log/log.h"
#include "viewer/handoff.h"
#include "viewer/handoff_image.h"
#include "viewer/kept_editors.h"
#include "viewer/loading_text.h"
#include "viewer/not_shown.h"
#include "viewer/request_registry.h"
#include "viewer/viewer_focus.h"

namespace {

constexpr UINT_PTR kFocusTimerId = 3585;
constexpr UINT kFocusTimerPeriodMs = 250;
// The ticks a busy editor is given to answer before the focus stays where it is.
constexpr int kFocusTicksForBusyEditor = 8;
// A fresh Notepad++ names the file it opened in its title; a large file may take a while.
constexpr DWORD kLaunchTitleWaitMs = 5000;

using PendingRequest = ViewerState::PendingRequest;

using Work = ViewerState::Work;

// Marks what the request is in the middle of for as long as it waits (dispatching messages).
class WorkScope {
   public:
    WorkScope(ViewerState& state, Work work) : state_(state) { state_.work = work; }
    WorkScope(const WorkScope&) = delete;
    WorkScope& operator=(const WorkScope&) = delete;
    ~WorkScope() { state_.work = Work::None; }

   private:
    ViewerState& state_;
};

// A launch watches closing meanwhile; one that captures by hook makes every other request wait.
class LaunchScope {
   public:
    LaunchScope(ActiveRequestScope& request, ViewerState& state, const EditorProfile& profile)
        : request_(request), work_(state, Work::Launching) {
        request_.SetHookCapture(profile.capture.method == CaptureMethod::Hook);
    }
    LaunchScope(const LaunchScope&) = delete;
    LaunchScope& operator=(const LaunchScope&) = delete;
    ~LaunchScope() { request_.SetHookCapture(false); }

   private:
    ActiveRequestScope& request_;
    WorkScope work_;
};

std::wstring EditorForFile(const wchar_t* path) {
    ConfigLockGuard lock;
    return pluginConfig.FindViewerForFile(path);
}

enum class HandOffResult { Shown, Failed, Unsaved, Ignored, Refused };

HandOffResult FromBool(bool shown) {
    return shown ? HandOffResult::Shown : HandOffResult::Failed;
}

HandOffResult FromNotepad(NotepadHandOff result) {
    if (result == NotepadHandOff::Sent) return HandOffResult::Shown;
    return result == NotepadHandOff::Unsaved ? HandOffResult::Unsaved : HandOffResult::Failed;
}

HandOffResult FromNotepadPP(NotepadPPHandOff result) {
    switch (result) {
        case NotepadPPHandOff::Shown:
            return HandOffResult::Shown;
        case NotepadPPHandOff::Refused:
            return HandOffResult::Refused;
        case NotepadPPHandOff::Ignored:
            return HandOffResult::Ignored;
        case NotepadPPHandOff::Failed:
            break;
    }
    return HandOffResult::Failed;
}

// dropped tells which way the file went: by the editor's own record, or by a file drop.
HandOffResult HandOff(ViewerState& state, EditorFileForms& file, bool& dropped) {
    const EditorProfile& profile = file.profile();
    const wchar_t* path = file.path().c_str();
    dropped = false;
    const bool* stop = &state.closing;
    switch (profile.handOff.method) {
        case HandOffMethod::Notepad3Record:
        case HandOffMethod::Notepad4Record:
            return FromNotepad(HandFileToNotepad(state.editor.window, file, stop));
        case HandOffMethod::NotepadPPPath:
            return FromNotepadPP(HandFileToNotepadPP(state, path));
        case HandOffMethod::EmEditorRecord:
            if (HandFileToEmEditor(state.editor.window, path, stop)) return HandOffResult::Shown;
            if (state.closing) return HandOffResult::Failed;
            // The send may have waited: the window is asked about again before the drop.
            dropped = true;
            return FromBool(SendFileByDrop(state.editor.window, path));
        case HandOffMethod::FileDrop:
            break;
    }
    dropped = true;
    return FromBool(HandFileByDrop(state.editor.window, path));
}

void LogHandedOff(const EditorProfile& profile, bool dropped) {
    if (dropped) {
        LogWrite(L"[LoadFile] LoadFile (WM_DROPFILES) return 1\r\n");
    } else {
        LogPrintf(L"[LoadFile] LoadFile (%ls WM_COPYDATA) return 1", profile.name);
    }
}

// A document with unsaved edits that the editor reported stays as it is: the editor goes back to the
// desktop to ask the user, and a fresh one opens the next file.
void ReleaseUnsaved(ViewerState& state) {
    LogWrite(L"[LoadFile] editor holds unsaved changes: released, a new editor opens the file\r\n");
    ReleaseChild(state);
}

DWORD InterfaceThreadOf(StartedEditor& editor) {
    if (editor.threadWindow != editor.window) {
        editor.threadWindow = editor.window;
        editor.windowThreadId = GetWindowThreadProcessId(editor.window, nullptr);
    }
    return editor.windowThreadId;
}

bool Notepad4ReadsRecord(const std::wstring& editor) {
    const EditorImage image = ReadEditorImage(editor);
    if (Notepad4ReadsCurrentRecord(image)) return true;
    LogPrintf(
        L"[LoadFile] Notepad4 is not an x64 build of 24.9 or later (machine 0x%04X, file version "
        L"%u.%u.%u.%u): no hand-offs, each file opens in a fresh editor",
        image.machine, image.version[0], image.version[1], image.version[2], image.version[3]);
    return false;
}

bool PassesVersionGuard(const EditorProfile& profile, const std::wstring& editor) {
    switch (profile.handOff.versionGuard) {
        case VersionGuard::Notepad4RecordLayout:
            return Notepad4ReadsRecord(editor);
        case VersionGuard::None:
            break;
    }
    return true;
}

bool HandOffAllowed(ViewerState& state, const EditorProfile& profile, const std::wstring& editor) {
    if (state.handOffCheckedPath != editor) {
        state.handOffCheckedPath = editor;
        state.handOffRefused = !PassesVersionGuard(profile, editor);
    }
    return !state.handOffRefused;
}

// An editor that answers a hand-off without showing a file that a fresh one shows would do so
// again: its later files go straight to a fresh editor instead of waiting for the title each time.
void RefuseHandOffs(ViewerState& state, const std::wstring& editor) {
    LogWrite(
        L"[LoadFile] the editor ignored the hand-off: no more hand-offs, each file opens in a fresh "
        L"editor\r\n");
    state.handOffCheckedPath = editor;
    state.handOffRefused = true;
}

// An editor whose hand-offs count once its title names the file (Notepad++) starts with an empty
// document when it cannot open the file it was given: its title tells the launch's outcome too.
bool FreshEditorShowsFile(const ViewerState& state, const EditorProfile& profile, const wchar_t* path) {
    return profile.handOff.method != HandOffMethod::NotepadPPPath ||
           NotepadPPShowsFile(state.editor.window, path, kLaunchTitleWaitMs);
}

// A freshly started editor is focused only in the stand-alone viewer, and only when the user asked.
bool FocusesFreshEditor(const ViewerState& state) {
    ConfigLockGuard lock;
    return pluginConfig.focusEditorOnLoad && !state.inPreviewPane;
}

bool FocusesEditorAfterHandOff() {
    ConfigLockGuard lock;
    return pluginConfig.focusEditorOnLoad;
}

bool Relaunch(HWND viewer, ViewerState& state, ActiveRequestScope& request, const std::wstring& editor,
              EditorFileForms& file) {
    const EditorProfile& profile = file.profile();
    const wchar_t* path = file.path().c_str();
    KillChild(state);
    SettleKeptEditors(state);
    if (state.closing) return false;
    InvalidateRect(viewer, nullptr, TRUE);
    DrawLoadingText(viewer);
    bool launched = false;
    const HostFocus hostFocus = SaveHostFocus(viewer);
    {
        LaunchScope launch(request, state, profile);
        launched = LaunchAndEmbed(viewer, state, profile, editor, file.path(), &file);
    }
    if (state.closing) return false;
    if (!FocusesFreshEditor(state)) RestoreHostFocus(hostFocus, viewer, state);
    // The title wait answers messages: the viewer may be destroyed meanwhile.
    if (launched && !FreshEditorShowsFile(state, profile, path)) {
        if (!state.closing) ReportNotOpened(viewer, state, profile);
        return false;
    }
    if (state.closing) return false;
    if (launched) {
        ApplyPostLoadBehavior(viewer, state, false);
    } else {
        ReportLaunchFailure(viewer, state, editor, path);
    }
    LogPrintf(L"[LoadFile] LoadFile return %d", launched ? 1 : 0);
    return launched;
}

void CloseKeptEditorsIfOff(ViewerState& state) {
    if (!state.keptEditors.empty() && !KeepEditorsReadyOn())
        CloseKeptEditors(state, L"Keep editors ready is off");
}

// With "Keep editors ready": the editor of the group left is put away (or closed as usual), and the
// new group's kept editor, if any, takes its place, still hidden. True when one was taken back.
bool SwitchToKeptEditor(ViewerState& state, const std::wstring& editor) {
    if (!KeepEditorsReadyOn()) return false;
    const bool sameEditor = IsWindow(state.editor.window) && state.editor.path == editor;
    if (sameEditor) return false;
    // Taken first: the editor put away next must not push it out of a full list.
    KeptEditor taken;
    const bool found = TakeKeptEditor(state, editor, taken);
    if (state.editor.window || state.editor.process) {
        // Only an editor that may be handed files is worth keeping.
        const bool mayHandOff = HandOffAllowed(state, *state.editor.profile, state.editor.path);
        if (!mayHandOff || !KeepEmbeddedEditor(state)) KillChild(state);
    }
    if (!found) return false;
    if (state.closing) {
        state.keptEditors.push_back(std::move(taken));  // closed with the others as the state is freed
        return false;
    }
    InstallTakenEditor(taken, state);
    // It was allowed hand-offs when it was put away: its image is not read again.
    state.handOffCheckedPath = editor;
    state.handOffRefused = false;
    return true;
}

// The kept editor was handed the file while hidden: now it is shown in the viewer. The calls that
// wait for the editor run on a worker; the next request on this viewer waits for it.
bool ShowTakenBack(HWND viewer, ViewerState& state) {
    state.embedding = StartEmbedAgain(EmbeddingParentOf(viewer), state.editor.window, *state.editor.profile);
    if (state.embedding) return true;
    LogWrite(L"[LoadFile] the kept editor could not be embedded again: a fresh one opens the file\r\n");
    return false;
}

// Every request on the viewer, and its end, begin once a kept editor is back in it.
void SettleEmbedding(ViewerState& state) {
    if (!state.embedding) return;
    if (WaitAnsweringSentMessages(state.embedding.get(), kEmbedCallsTimeoutMs) != WaitResult::Signaled)
        LogPrintf(L"[LoadFile] the kept editor pid=%lu did not come back into the viewer within %lu ms",
                  state.editor.processId, kEmbedCallsTimeoutMs);
    state.embedding.reset();
}

bool LoadNow(HWND viewer, ViewerState& state, const wchar_t* path) {
    ActiveRequestScope request(state);
    SettleEmbedding(state);
    // Only an editor that could not open the last file is hidden in the viewer, behind its note.
    const bool editorHidden = ClearPaneNote(viewer, state);
    CloseKeptEditorsIfOff(state);
    if (!path || !*path) {
        KillChild(state);
        return false;
    }
    const std::wstring editor = EditorForFile(path);
    if (editor.empty()) {
        LogWrite(L"[LoadFile] no viewer configured for this extension\r\n");
        KillChild(state);
        return false;
    }
    LogPrintf(L"[LoadFile] viewer=[%ls]", editor.c_str());
    const EditorProfile& profile = DetectEditorProfile(editor);
    // The path's forms for this editor, worked out once for the checks, the hand-off and the launch.
    EditorFileForms file(profile, path);
    if (RefuseMissingFile(viewer, state, path) || RefuseExpandedName(viewer, state, file) ||
        RefuseUnopenablePath(viewer, state, profile, editor, path))
        return false;
    const bool takenBack = SwitchToKeptEditor(state, editor);
    if (state.closing) return false;
    const bool reusable = IsLiveWindow(state.editor.window) && state.editor.path == editor &&
                          HandOffAllowed(state, profile, editor);
    if (reusable) {
        bool dropped = false;
        // A file drop is posted: the editor neither asks nor moves the focus before the hand-off
        // returns, so there is nothing to compare before and after.
        const bool answersInside = profile.handOff.method != HandOffMethod::FileDrop;
        // Noted before it is sent: an editor may list the file even when the hand-off fails.
        NoteShownInPutBack(state.editor.putBack, path);
        HandOffResult handOff = HandOffResult::Failed;
        // The host's focus is put back after the hand-off unless the user asked for the editor's.
        const bool keepHostFocus = answersInside && !FocusesEditorAfterHandOff();
        const HostFocus hostFocus = keepHostFocus ? SaveHostFocus(viewer) : HostFocus();
        {
            WorkScope handingOff(state, Work::HandingOff);
            handOff = HandOff(state, file, dropped);
        }
        // Its waits dispatch messages: the viewer may have been destroyed meanwhile.
        if (state.closing) return false;
        if (keepHostFocus) RestoreHostFocusAfterHandOff(hostFocus, viewer, state);
        if (handOff == HandOffResult::Shown && (!takenBack || ShowTakenBack(viewer, state))) {
            if (!takenBack && editorHidden) ShowEditorAgain(viewer, state);
            state.currentFile = path;
            ApplyPostLoadBehavior(viewer, state, true);
            LogHandedOff(profile, dropped);
            return true;
        }
        // A second editor would only ask the same question again. The question comes from the thread
        // that took the hand-off.
        if (handOff == HandOffResult::Failed && answersInside &&
            GiveBackAskingEditor(viewer, state, InterfaceThreadOf(state.editor)))
            return false;
        if (handOff == HandOffResult::Unsaved && profile.handOff.unsaved == UnsavedSignal::ScintillaModify)
            ReleaseUnsaved(state);
        if (handOff == HandOffResult::Refused) {
            ReportNotOpenedByEmbedded(viewer, state, profile);
            return false;
        }
        if (state.closing) return false;
        // Only a file that a fresh editor shows proves that the hand-off was ignored.
        const bool shown = Relaunch(viewer, state, request, editor, file);
        if (shown && handOff == HandOffResult::Ignored) RefuseHandOffs(state, editor);
        return shown;
    }
    return Relaunch(viewer, state, request, editor, file);
}

bool LoadNowOrFail(HWND viewer, ViewerState& state, const wchar_t* path) {
    try {
        return LoadNow(viewer, state, path);
    } catch (const std::bad_alloc&) {
        LogWrite(L"[LoadFile] out of memory, return 0\r\n");
        return false;
    }
}

void ClearNow(HWND viewer, ViewerState& state) {
    ActiveRequestScope request(state);
    SettleEmbedding(state);
    ClearPaneNote(viewer, state);
    CloseKeptEditorsIfOff(state);
    KillChild(state);
}

// The editor of the first mapping row's group, or empty.
std::wstring FirstGroupEditor() {
    ConfigLockGuard lock;
    if (pluginConfig.mappings.empty()) return std::wstring();
    std::wstring group = pluginConfig.mappings.front().group;
    for (wchar_t& unit : group) unit = towlower(unit);
    auto found = pluginConfig.groupToViewer.find(group);
    return found == pluginConfig.groupToViewer.end() ? std::wstring() : found->second;
}

void StartEditorReadyNow(HWND viewer, ViewerState& state, const std::wstring& editor) {
    ActiveRequestScope request(state);
    const EditorProfile& profile = DetectEditorProfile(editor);
    LogPrintf(L"[StartEditorReady] the first group's editor is started and kept hidden: [%ls]",
              editor.c_str());
    bool launched = false;
    {
        LaunchScope launch(request, state, profile);
        launched = LaunchAndEmbed(viewer, state, profile, editor, std::wstring());
    }
    if (state.closing) return;
    const bool kept = launched && HandOffAllowed(state, profile, editor) && KeepEmbeddedEditor(state);
    if (!kept) KillChild(state);
    InvalidateRect(viewer, nullptr, TRUE);
}

void LogLoadRequest(const wchar_t* path) {
    LogPrintf(L"[LoadFile] filePath=[%ls]", path ? path : L"(null)");
}

// The viewer window was destroyed while this state was busy; it is freed now that nothing uses it.
bool FreeIfDestroyed(ViewerState& state) {
    if (!state.closing) return false;
    LogWrite(L"[DestroyViewerState] viewer destroyed during a load: editor closed, state freed\r\n");
    FreeViewerState(&state);
    return true;
}

// Runs the requests that arrived while this state was busy, newest only, until none is left, the
// state must wait again, or it is gone.
void RunPendingRequests(HWND viewer, ViewerState& state) {
    while (state.pending != PendingRequest::None) {
        PendingRequest request = PendingRequest::None;
        std::wstring path;
        if (!TakeRunnablePending(viewer, state, request, path)) return;
        LogWrite(request == PendingRequest::Load ? L"[RunPendingRequest] running a deferred load\r\n"
                                                 : L"[RunPendingRequest] running a deferred clear\r\n");
        if (request == PendingRequest::Load) {
            LogLoadRequest(path.c_str());
            LoadNowOrFail(viewer, state, path.c_str());
        } else {
            ClearNow(viewer, state);
        }
        if (FreeIfDestroyed(state)) return;
    }
}

void DropPending(ViewerState& state) {
    state.pending = PendingRequest::None;
    state.pendingPath.clear();
    ForgetDeferred(&state);
}

}  // namespace

bool LoadFile(HWND viewer, ViewerState& state, const wchar_t* path) {
    LogLoadRequest(path);
    try {
        if (DeferIfBusy(viewer, state, PendingRequest::Load, path)) {
            LogWrite(L"[LoadFile] another load is in progress: request deferred, return 1\r\n");
            return true;
        }
        DropPending(state);
        const bool shown = LoadNowOrFail(viewer, state, path);
        if (FreeIfDestroyed(state)) return false;
        RunPendingRequests(viewer, state);
        return shown;
    } catch (const std::bad_alloc&) {
        LogWrite(L"[LoadFile] out of memory, return 0\r\n");
        return false;
    }
}

void ApplyPostLoadBehavior(HWND viewer, ViewerState& state, bool reused) {
    bool maximize = false;
    bool focus = false;
    {
        ConfigLockGuard lock;
        maximize = pluginConfig.maximizeStandaloneViewer;
        focus = pluginConfig.focusEditorOnLoad;
    }
    if (!state.inPreviewPane && maximize) {
        HWND top = GetAncestor(viewer, GA_ROOT);
        if (IsLiveWindow(top) && !IsZoomed(top)) {
            LogPrintf(L"[ApplyPostLoadBehavior] ApplyPostLoadBehavior: maximize standalone viewer top=0x%p",
                      top);
            ShowWindow(top, SW_SHOWMAXIMIZED);
        }
    }
    if (focus && IsLiveWindow(state.editor.window) && (reused || !state.inPreviewPane)) {
        state.focusRetries = kFocusTicksForBusyEditor;
        SetTimer(viewer, kFocusTimerId, kFocusTimerPeriodMs, nullptr);
    }
}

void ClearViewer(HWND viewer, ViewerState& state) {
    try {
        if (DeferIfBusy(viewer, state, PendingRequest::Clear, nullptr)) {
            LogWrite(L"[ClearViewer] a load is in progress: clear deferred\r\n");
            return;
        }
        DropPending(state);
        ClearNow(viewer, state);
        if (FreeIfDestroyed(state)) return;
        RunPendingRequests(viewer, state);
    } catch (const std::bad_alloc&) {
        LogWrite(L"[ClearViewer] out of memory\r\n");
    }
}

void RunPendingRequest(HWND viewer, ViewerState& state) {
    try {
        RunPendingRequests(viewer, state);
    } catch (const std::bad_alloc&) {
        LogWrite(L"[RunPendingRequest] out of memory\r\n");
    }
}

void DestroyViewerState(ViewerState* state) {
    if (!state) return;
    if (state->work != Work::None || IsActive(state)) {
        LogWrite(L"[DestroyViewerState] a load is in progress: it ends the editor and frees the state\r\n");
        state->closing = true;
        return;
    }
    FreeViewerState(state);
}

void FreeViewerState(ViewerState* state) {
    if (!state) return;
    ForgetDeferred(state);
    state->closing = true;  // the editor's shutdown knows its viewer is going
    SettleEmbedding(*state);
    KillChild(*state);
    CloseKeptEditors(*state, L"the viewer is closed");
    delete state;
}

void StartEditorReady(HWND viewer, ViewerState& state) {
    try {
        if (!KeepEditorsReadyOn() || state.editor.window || state.editor.process || !state.keptEditors.empty())
            return;
        if (state.work != Work::None || IsActive(&state)) return;
        const std::wstring editor = FirstGroupEditor();
        if (editor.empty() || DetectEditorProfile(editor).handOff.unsaved == UnsavedSignal::None) return;
        StartEditorReadyNow(viewer, state, editor);
        if (FreeIfDestroyed(state)) return;
        RunPendingRequests(viewer, state);
    } catch (const std::bad_alloc&) {
        LogWrite(L"[StartEditorReady] out of memory\r\n");
    }
}
