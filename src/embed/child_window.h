#pragma once
// Re-parenting a captured editor window into the viewer, and shutting the editor down.

#include <windows.h>

#include "viewer/viewer_state.h"

void ReparentChild(HWND parent, HWND child, int kind);
void KillChild(ViewerState& state);
