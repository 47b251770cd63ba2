#include "viewer/load_file.h"

#include "embed/child_window.h"

// Placeholders until file loading lands.
bool LoadFile(HWND, ViewerState&, const wchar_t*) { return false; }
void ApplyPostLoadBehavior(HWND, ViewerState&, bool) {}
void ClearViewer(HWND, ViewerState& state) {
    KillChild(state);
}
void RunPendingRequest(HWND, ViewerState&) {}
void DestroyViewerState(ViewerState* state) {
    if (!state) return;
    KillChild(*state);
    delete state;
}
