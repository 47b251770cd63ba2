#include "viewer/kept_editors.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "embed/bounded_wait.h"
#include "embed/child_window.h"
#include "embed/editor_messages.h"
#include "embed/editor_shutdown.h"
#include "embed/reparent.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

// A kept editor is hidden and held nothing when it was put away: one that does not answer this
// quickly is ended rather than waited for while the user waits for the next file.
constexpr DWORD kKeptAnswerWaitMs = 500;
// The probes of an editor to be kept (its views and each text control, each bounded by
// kEditorReplyTimeoutMs) run on a worker within this while the host's thread takes its input.
constexpr DWORD kKeepProbeWaitMs = 2 * kEditorReplyTimeoutMs;
bool EditorHasEnded(const KeptEditor& kept) {
    return !kept.editor.process || WaitForSingleObject(kept.editor.process.get(), 0) == WAIT_OBJECT_0;
}

void MoveIntoKept(ViewerState& state, KeptEditor& kept) {
    kept.editor = std::exchange(state.editor, StartedEditor());
    kept.shownFile = std::move(state.currentFile);
    kept.lastUse = GetTickCount64();
    state.currentFile.clear();
}

void MoveIntoState(KeptEditor& kept, ViewerState& state) {
    state.editor = std::move(kept.editor);
    // The Notepad++ hand-off closes the tab the viewer showed, and only that one.
    state.currentFile = kept.shownFile;
}

// Closed the way KillChild closes a viewer's editor, from a state of its own.
void CloseKeptEditor(KeptEditor& kept, bool viewerClosing) {
    ViewerState leaving;
    MoveIntoState(kept, leaving);
    leaving.closing = viewerClosing;
    KillChild(leaving);
}

void CloseLeastRecentlyUsed(ViewerState& state) {
    auto oldest =
        std::min_element(state.keptEditors.begin(), state.keptEditors.end(),
                         [](const KeptEditor& a, const KeptEditor& b) { return a.lastUse < b.lastUse; });
    KeptEditor oldestKept = std::move(*oldest);
    state.keptEditors.erase(oldest);
    LogPrintf(L"[KeepEditor] more than %zu editors kept: the least recently used pid=%lu [%ls] is closed",
              kMaxKeptEditors, oldestKept.editor.processId, oldestKept.editor.path.c_str());
    CloseKeptEditor(oldestKept, state.closing);
}

// The embedded editor may be put away: one of the process started here that can tell its unsaved work.
bool MayBeKept(const ViewerState& state) {
    if (!IsLiveWindow(state.editor.window) || !state.editor.process) return false;
    if (ProcessIdOf(state.editor.window) != state.editor.processId) return false;
    return state.editor.profile->handOff.unsaved != UnsavedSignal::None;
}

// The WM_NULL probe, on a worker while this thread dispatches its messages.
bool AnswersWithoutHoldingInput(HWND window) {
    auto answered = std::make_shared<bool>(false);
    CallBound bound;
    bound.timeoutMs = kKeptAnswerWaitMs + kKeptAnswerWaitMs;
    return CallIntoWindows([window, answered] { *answered = AnswersMessages(window, kKeptAnswerWaitMs); },
                           bound) == CallEnd::Done &&
           *answered;
}

// Dropped: its process has ended, or it no longer answers (ended: it was hidden and held nothing).
bool DropIfGone(KeptEditor& kept) {
    if (EditorHasEnded(kept)) {
        LogPrintf(L"[KeepEditor] kept editor pid=%lu [%ls] has ended: a fresh one is started", kept.editor.processId,
                  kept.editor.path.c_str());
        return true;
    }
    const bool detached =
        !kept.detaching ||
        WaitDispatchingMessages(kept.detaching.get(), kKeptAnswerWaitMs) == WaitResult::Signaled;
    if (detached && IsLiveWindow(kept.editor.window) && AnswersWithoutHoldingInput(kept.editor.window)) return false;
    LogPrintf(L"[KeepEditor] kept editor pid=%lu [%ls] does not answer: dropped, a fresh one is started",
              kept.editor.processId, kept.editor.path.c_str());
    TerminateEditor(kept.editor.process.get(), kept.editor.processId, L"kept hidden and does not answer messages");
    return true;
}

}  // namespace

bool KeepEditorsReadyOn() {
    ConfigLockGuard lock;
    return pluginConfig.keepEditorsReady;
}

bool HoldsNoUnsavedWork(HWND editorWindow, const EditorProfile& profile, const bool* stop) {
    if (profile.handOff.unsaved == UnsavedSignal::None || !IsLiveWindow(editorWindow)) return false;
    // Read only once the worker has ended: one left behind writes into it alone.
    auto holdsNothing = std::make_shared<bool>(false);
    const EditorProfile* asked = &profile;
    CallBound bound;
    bound.timeoutMs = kKeepProbeWaitMs;
    bound.stop = stop;
    return CallIntoWindows(
               [editorWindow, asked, holdsNothing] {
                   *holdsNothing = ProvablyHoldsNoUnsavedWork(editorWindow, *asked);
               },
               bound) == CallEnd::Done &&
           *holdsNothing;
}

bool KeepEmbeddedEditor(ViewerState& state) {
    if (!KeepEditorsReadyOn() || !MayBeKept(state)) return false;
    if (!HoldsNoUnsavedWork(state.editor.window, *state.editor.profile, &state.closing)) {
        LogPrintf(L"[KeepEditor] pid=%lu may hold unsaved work: closed, not kept", state.editor.processId);
        return false;
    }
    UniqueHandle detaching = StartHideAndDetach(state.editor.window);
    if (!detaching) {
        LogPrintf(L"[KeepEditor] pid=%lu could not be taken out of the viewer: closed, not kept",
                  state.editor.processId);
        return false;
    }
    KeptEditor kept;
    MoveIntoKept(state, kept);
    kept.detaching = std::move(detaching);
    LogPrintf(L"[KeepEditor] pid=%lu hwnd=0x%p [%ls] kept hidden", kept.editor.processId, kept.editor.window,
              kept.editor.path.c_str());
    state.keptEditors.push_back(std::move(kept));
    while (state.keptEditors.size() > kMaxKeptEditors) CloseLeastRecentlyUsed(state);
    return true;
}

bool TakeKeptEditor(ViewerState& state, const std::wstring& editorPath, KeptEditor& taken) {
    auto found = std::find_if(state.keptEditors.begin(), state.keptEditors.end(),
                              [&](const KeptEditor& kept) { return kept.editor.path == editorPath; });
    if (found == state.keptEditors.end()) return false;
    KeptEditor kept = std::move(*found);
    state.keptEditors.erase(found);
    if (DropIfGone(kept)) return false;
    LogPrintf(L"[KeepEditor] pid=%lu hwnd=0x%p [%ls] taken back", kept.editor.processId, kept.editor.window,
              kept.editor.path.c_str());
    taken = std::move(kept);
    return true;
}

void InstallTakenEditor(KeptEditor& taken, ViewerState& state) {
    MoveIntoState(taken, state);
}

void SettleKeptEditors(ViewerState& state) {
    const ULONGLONG start = GetTickCount64();
    for (auto kept = state.keptEditors.begin(); kept != state.keptEditors.end();) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        const DWORD remaining =
            elapsed >= kWindowCallWaitMs ? 0 : static_cast<DWORD>(kWindowCallWaitMs - elapsed);
        if (!kept->detaching ||
            WaitDispatchingMessages(kept->detaching.get(), remaining) == WaitResult::Signaled) {
            ++kept;
            continue;
        }
        LogPrintf(L"[KeepEditor] kept editor pid=%lu [%ls] did not leave the viewer within %lu ms: ended",
                  kept->editor.processId, kept->editor.path.c_str(), kWindowCallWaitMs);
        TerminateEditor(kept->editor.process.get(), kept->editor.processId, L"kept hidden and does not answer messages");
        kept = state.keptEditors.erase(kept);
    }
}

void CloseKeptEditors(ViewerState& state, const wchar_t* reason) {
    if (state.keptEditors.empty()) return;
    LogPrintf(L"[KeepEditor] %zu kept editors closed: %ls", state.keptEditors.size(), reason);
    // Taken out first: a request answered during a close finds the list empty.
    std::vector<KeptEditor> toClose = std::move(state.keptEditors);
    state.keptEditors.clear();
    for (KeptEditor& kept : toClose) CloseKeptEditor(kept, state.closing);
}
