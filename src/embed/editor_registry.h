#pragma once
// The editors this process started and has not seen end yet, embedded or being watched: at the
// host's exit none of them may be left running without a window the user can reach.

#include <windows.h>

#include <string>
#include <vector>

#include "editor/viewer_state.h"
#include "embed/exit_guard.h"

// Remembers the editor (its process handle is duplicated); a second call for the same process
// updates its window and look.
void TrackEditor(HANDLE process, DWORD processId, HWND window, const DesktopLook& look,
                 const EditorProfile& profile);
// True while the editor is remembered here: started by this process and not seen end yet.
bool IsTrackedEditor(DWORD processId);
// Forgets it: it ended, or it is the user's now. What it is owed is put back once it has ended,
// from a wait on its process (up to kOwedPutBackWatchMs; else at a later launch or load).
void ForgetEditor(const StartedEditor& editor);

// For a viewer that is being destroyed: a window still inside it goes with it (and the viewer's end
// waits for the window's thread, under Windows and under Wine), so the editors whose windows are
// still inside (busy ones, on their way out) are waited for a moment; the ones still inside then
// leave the viewer in its holder, hidden, for their watchers to give back once they answer. A
// viewer without a holder waits up to kViewerClosingDetachMs and terminates them (they would lose
// their windows and hold the host). launchingProcessId, an editor whose launch is still running,
// is left to it.
void ReleaseEditorsLeftInside(HWND viewer, DWORD launchingProcessId);

// What the exit guard is told of the editors now (for a test that plays the host's exit in-process).
std::vector<GuardedEditor> GuardedEditorsNow();
// Forgets every editor; at unload, when no viewer and no watcher is left.
void ReleaseEditorRegistry();
