#include "embed/child_window.h"

// Placeholders until the launch lands.
void ReparentChild(HWND, HWND, int) {}
void KillChild(ViewerState& state) {
    state = ViewerState{};
}
bool EditorHasUnsavedChanges(HWND) { return false; }
void ReleaseChild(ViewerState& state) {
    KillChild(state);
}
