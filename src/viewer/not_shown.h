#pragma once
// A file the viewer does not give to an editor, and why: each refusal closes what the viewer shows,
// logs the reason and paints it in the empty viewer until the next load.

#include <windows.h>

#include <string>
#include <vector>

#include "editor/viewer_state.h"
#include "editors/editor_profile.h"
#include "embed/editor_file_path.h"

// True when nothing exists at path: no editor is started or handed anything.
bool RefuseMissingFile(HWND viewer, ViewerState& state, const wchar_t* path);
// True when the editor would read every form of path as another file (%VARIABLES%).
bool RefuseExpandedName(HWND viewer, ViewerState& state, EditorFileForms& file);
// After a failed hand-off: true when the editor's thread shows a modal question (the hand-off made it
// ask the user something). It is then given back to the desktop with its question.
bool GiveBackAskingEditor(HWND viewer, ViewerState& state, DWORD editorThread);
// A file a fresh editor could not open (it does not show it): that editor goes and the pane says
// why. It says nothing about whether the editor takes the next file.
void ReportNotOpened(HWND viewer, ViewerState& state, const EditorProfile& profile);
// After a failed launch: an editor that could not be started is named in the pane with the reason
// and what to do; after any other failure the pane is left empty.
void ReportLaunchFailure(HWND viewer, ViewerState& state, const std::wstring& editor, const wchar_t* path);
// A file the embedded editor answered it could not open: the editor holds more than the viewer's
// file (the user's own tabs), so it stays, hidden behind the pane's note, for the next file.
void ReportNotOpenedByEmbedded(HWND viewer, ViewerState& state, const EditorProfile& profile);
// True when the editor at editorPath refuses a path this long however it is given (Notepad++):
// nothing is started or handed over, and an embedded editor of that path stays, as above.
bool RefuseUnopenablePath(HWND viewer, ViewerState& state, const EditorProfile& profile,
                          const std::wstring& editorPath, const wchar_t* path);
// Shows the editor that the pane's note had hidden: in the viewer again (on a worker, as a kept editor
// taken back) when it had left it.
void ShowEditorAgain(HWND viewer, ViewerState& state);
// Forgets the reason painted by the last load and repaints the viewer. True when there was one: an
// editor that could not open a file is hidden behind it.
bool ClearPaneNote(HWND viewer, ViewerState& state);
