#pragma once
// Re-parenting a captured editor window into the viewer, and shutting the editor down.

#include <windows.h>

#include "viewer/viewer_state.h"

void ReparentChild(HWND parent, HWND child, int kind);
void KillChild(ViewerState& state);

// True when the editor reports unsaved changes in one of its Scintilla windows.
bool EditorHasUnsavedChanges(HWND editorWindow);
// Gives the editor back to the desktop as a normal top-level window, so it can ask the user about
// its unsaved changes, and clears the state like KillChild, without waiting or terminating.
void ReleaseChild(ViewerState& state);
