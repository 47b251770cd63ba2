#pragma once
// Shutting the embedded editor down.

#include <windows.h>

#include "editor/viewer_state.h"

// Hides and closes the editor and waits briefly. An editor still running then is terminated only
// when it does not answer messages; one that answers is watched (editor_shutdown.h). An editor with
// unsaved changes (it says so, or it shows a window after WM_CLOSE) is released instead, and a window
// of a process not started here is given back to the desktop, never closed.
void KillChild(ViewerState& state);

// Gives the editor back to the desktop as a normal top-level window and posts it WM_CLOSE, so it
// asks the user about its unsaved changes; clears the state like KillChild, without waiting or
// terminating.
void ReleaseChild(ViewerState& state);
// Gives an editor that shows a question of its own back to the desktop as it is (no WM_CLOSE), as
// KillChild does with one that asks after WM_CLOSE; clears the state like KillChild.
void ReleaseAskingChild(ViewerState& state);
