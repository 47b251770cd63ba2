#pragma once
// Shutting the embedded editor down.

#include <windows.h>

#include "editor/viewer_state.h"

// Hides the editor and hands it to a watcher (editor_shutdown.h), which gives its window back to the
// desktop as it looked before it was embedded and asks it to close; waits at most a short bound for
// it to end. Never waits for the editor's thread and never terminates an editor that may hold
// unsaved work. A window of a process not started here is given back to the desktop, never closed.
void KillChild(ViewerState& state);

// Ends an editor whose launch failed or was abandoned: it never showed the user a document. It is
// asked to close and, when still running after a short wait, terminated, unless it shows a window
// (a question at its start), which is the user's to answer.
void EndLaunchedEditor(ViewerState& state);

// Releases the editor to the user: it said it holds unsaved changes. Like KillChild, but its window
// is shown on the desktop before it is asked to close, so that it asks the user about its work;
// nothing waits for it and nothing ends it. Clears the state like KillChild.
void ReleaseChild(ViewerState& state);
// Gives an editor that shows a question of its own back to the desktop as it is (no WM_CLOSE), as
// KillChild does with one that asks after WM_CLOSE; clears the state like KillChild.
void ReleaseAskingChild(ViewerState& state);
