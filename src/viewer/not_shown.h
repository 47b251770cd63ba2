#pragma once
// A file the viewer does not give to an editor, and why: each refusal closes what the viewer shows,
// logs the reason and paints it in the empty viewer until the next load.

#include <windows.h>

#include <string>
#include <vector>

#include "editor/viewer_state.h"
#include "editors/editor_profile.h"

// True when nothing exists at path: no editor is started or handed anything.
bool RefuseMissingFile(HWND viewer, ViewerState& state, const wchar_t* path);
// True when the editor would read every form of path as another file (%VARIABLES%).
bool RefuseExpandedName(HWND viewer, ViewerState& state, const EditorProfile& profile, const wchar_t* path);
// After a failed hand-off: true when the editor shows a window of its own that was not among
// windowsBefore (it asks the user something). It is then given back to the desktop with its question.
bool GiveBackAskingEditor(HWND viewer, ViewerState& state, const std::vector<HWND>& windowsBefore);
// A file the editor could not open (it answered so, or a fresh one does not show it): that editor
// goes and the pane says why. It says nothing about whether the editor takes the next file.
void ReportNotOpened(HWND viewer, ViewerState& state, const EditorProfile& profile);
// After a failed launch: an editor that could not be started is named in the pane with the reason
// and what to do; after any other failure the pane is left empty.
void ReportLaunchFailure(HWND viewer, ViewerState& state, const std::wstring& editor, const wchar_t* path);
// Forgets the reason painted by the last load and repaints the viewer.
void ClearPaneNote(HWND viewer, ViewerState& state);
