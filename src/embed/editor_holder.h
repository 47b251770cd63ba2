#pragma once
// The window an editor is embedded in: a child of the viewer, of the viewer's thread. A viewer that
// is destroyed takes the windows inside it along and waits for each one's thread, so an editor that
// does not answer would hold the host until it did (or be ended with its work). The holder can leave
// the closing viewer with such an editor inside, hidden, without a call into the editor; the
// editor's watcher takes the editor out once it answers, and the empty holder is closed.
//
// It runs no code of this module (its window procedure is the system's, and it has no background of
// its own): it may outlive the module. It always fills the viewer, so the viewer paints its own
// texts ("Loading...", why a file is not shown) on it. It is never made larger from nothing while
// an editor is inside: under Wine that waits for the editor's thread.

#include <windows.h>

// Made once, by the viewer's WM_CREATE, on the viewer's thread.
HWND CreateEditorHolder(HWND viewer);
// The holder of viewer, or viewer itself when it has none (a window that is not one of our viewers):
// where an editor is placed, and where the viewer's texts are painted.
HWND EmbeddingParentOf(HWND viewer);
// Keeps the holder the viewer's size.
void FitEditorHolder(HWND viewer);

// Takes the holder, and the windows still inside it, out of the closing viewer: hidden, top-level.
// False when the viewer has no holder.
bool TakeHolderOutOfClosingViewer(HWND viewer);
// A holder taken out of its viewer is closed once no window is left inside it.
void CloseHolderIfEmpty(HWND holder);

void UnregisterEditorHolderClass();
