#pragma once
// The record that ties one viewer window to the editor embedded in it. Owned by the viewer
// window (user-data slot) from WM_CREATE to WM_DESTROY; freed by FreeViewerState only.

#include <windows.h>

#include <string>
#include <vector>

#include "common/handles.h"
#include "editor/started_editor.h"
#include "editors/editor_profile.h"

// An editor put away by a change of group ("Keep editors ready"): hidden, out of the viewer, running
// for its group's next file. It held no unsaved work when it was put away.
struct KeptEditor {
    StartedEditor editor;     // embedded still, in the viewer's keeping; hidden
    std::wstring shownFile;   // the file it showed when it was put away
    ULONGLONG lastUse = 0;    // GetTickCount64 when it was put away: the oldest is closed first
    UniqueHandle detaching;   // the worker that takes it out of the viewer; done before it is shown again
};

struct ViewerState {
    StartedEditor editor;  // the embedded one, or the one starting; stage None when there is none
    std::wstring currentFile;
    std::vector<HWND> preexistingWindows;
    bool inPreviewPane = true;
    // This thread's keyboard focus right before the editor's window was embedded: the launch
    // takes input meanwhile, so the user may have moved it since the launch began.
    HWND focusBeforeEmbedding = nullptr;
    int focusRetries = 0;  // focus timer ticks left while the editor does not answer
    // The system error of the last launch that could not start its editor; 0 when it started (or
    // failed later, without a window).
    DWORD startError = 0;
    // Why the last file is not shown, painted in the empty viewer until the next load; empty: nothing.
    std::wstring paneNote;
    std::vector<KeptEditor> keptEditors;  // at most kMaxKeptEditors, the embedded editor not among them
    UniqueHandle embedding;  // a kept editor going back into the viewer; waited for by the next request

    // Files are not handed to the editor at handOffCheckedPath when handOffRefused is set (a build
    // that reads the record elsewhere, or one that ignored a hand-off): each file starts a fresh
    // editor. Decided, and logged, once per editor path.
    std::wstring handOffCheckedPath;
    bool handOffRefused = false;

    // What a request on this viewer is in the middle of. A launch or a hand-off answers messages
    // while it waits, so requests for this viewer can arrive during it: they wait in pending.
    enum class Work { None, Launching, HandingOff };
    Work work = Work::None;
    // Set once, never cleared: the viewer window was destroyed while a request ran (or the state is
    // being freed). Every wait on the viewer's behalf stops at it, and the request frees the state.
    bool closing = false;
    enum class PendingRequest { None, Load, Clear };
    PendingRequest pending = PendingRequest::None;
    std::wstring pendingPath;
};
