#pragma once
// The editors this process started and has not seen end yet, embedded or being watched: at the
// host's exit none of them may be left running without a window the user can reach.

#include <windows.h>

#include <string>

#include "editor/viewer_state.h"
#include "editor_settings/put_back.h"

// Remembers the editor (its process handle is duplicated); a second call for the same process
// updates its window and look.
void TrackEditor(HANDLE process, DWORD processId, HWND window, const DesktopLook& look,
                 const EditorProfile& profile);
// What its settings are owed (its recent files without the files noted as shown in it) is recorded
// now and put back once it has ended.
void GuardRecentFiles(DWORD processId, HANDLE process, OwedPutBack owed);
void NoteShownFile(DWORD processId, const std::wstring& path);
// It is about to be asked to close, and saves then: the user's list as it is now is the one kept.
void NoteEditorClosing(DWORD processId);
// True while the editor is remembered here: started by this process and not seen end yet.
bool IsTrackedEditor(DWORD processId);
// Forgets it: it ended, or it is the user's now. What it is owed is put back once it has ended,
// from a wait on its process (up to kOwedPutBackWatchMs; else at a later launch or load).
void ForgetEditor(DWORD processId);

// For a viewer that is being destroyed: a window still inside it goes with it (and the viewer's end
// waits for the window's thread, under Windows and under Wine), so the editors whose windows are
// still inside (busy ones, on their way out) are waited for a moment; the ones still inside then
// leave the viewer in its holder, hidden, for their watchers to give back once they answer. A
// viewer without a holder waits up to kViewerClosingDetachMs and terminates them (they would lose
// their windows and hold the host). launchingProcessId, an editor whose launch is still running,
// is left to it.
void ReleaseEditorsLeftInside(HWND viewer, DWORD launchingProcessId);

// Called once the process is exiting (the other threads are gone and nothing will be waited for):
// an editor that holds no unsaved work is ended, one that may hold some and answers is given back
// to the desktop, shown without activation, and asked to close so that it asks about its work.
void ReleaseEditorsAtProcessExit();
// Forgets every editor; at unload, when no viewer and no watcher is left.
void ReleaseEditorRegistry();
