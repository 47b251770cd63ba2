#pragma once
// The editors this process started and has not seen end yet, embedded or being watched: at the
// host's exit none of them may be left running without a window the user can reach.

#include <windows.h>

#include <string>

#include "editor/viewer_state.h"
#include "editor_settings/recent_files.h"

// Remembers the editor (its process handle is duplicated); a second call for the same process
// updates its window and look.
void TrackEditor(HANDLE process, DWORD processId, HWND window, const DesktopLook& look,
                 const EditorProfile& profile);
// Its recent-files list is put back once it has ended, without the files noted as shown in it.
void GuardRecentFiles(DWORD processId, RecentFilesGuard guard);
void NoteShownFile(DWORD processId, const std::wstring& path);
// True while the editor is remembered here: started by this process and not seen end yet.
bool IsTrackedEditor(DWORD processId);
// Forgets it: it ended (its recent-files list is then put back), or it is the user's now.
void ForgetEditor(DWORD processId);

// For a viewer that is being destroyed: a window still inside it goes with it (and the viewer's end
// waits for the window's thread, under Windows and under Wine), so the editors whose windows are
// still inside (busy ones, on their way out) are waited for up to kViewerClosingDetachMs. One still
// inside then would lose its window, and its unsaved work, anyway and would hold the host with it:
// it is terminated. launchingProcessId, an editor whose launch is still running, is left to it.
void ReleaseEditorsLeftInside(HWND viewer, DWORD launchingProcessId);

// Called once the process is exiting (the other threads are gone and nothing will be waited for):
// an editor that holds no unsaved work is ended, one that may hold some and answers is given back
// to the desktop, shown without activation, and asked to close so that it asks about its work.
void ReleaseEditorsAtProcessExit();
// Forgets every editor; at unload, when no viewer and no watcher is left.
void ReleaseEditorRegistry();
