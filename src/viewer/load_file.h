#pragma once
// What a load or clear request of the host becomes: a hand-off to the embedded editor or a
// (re)launch of the right one. Safe against requests that arrive while a launch waits.

#include <windows.h>

#include "editor/viewer_state.h"

bool LoadFile(HWND viewer, ViewerState& state, const wchar_t* path);
void ApplyPostLoadBehavior(HWND viewer, ViewerState& state, bool reused);

// DVPLUGINMSG_CLEAR: closes the embedded editor (deferred while a launch on this state runs).
void ClearViewer(HWND viewer, ViewerState& state);

// With "Keep editors ready", on a new viewer: the first mapping row's group's editor is started with
// no file and kept hidden, so that the first file of that group is handed to it. Nothing when the
// viewer already has an editor or a request.
void StartEditorReady(HWND viewer, ViewerState& state);
// Private message a new viewer window posts itself; it answers with StartEditorReady.
constexpr UINT kStartEditorReadyMessage = WM_USER + 0x101;

// Private message a viewer window receives when a request that arrived during a launch can run
// now; the window answers it with RunPendingRequest.
constexpr UINT kRunPendingRequestMessage = WM_USER + 0x100;
void RunPendingRequest(HWND viewer, ViewerState& state);

// WM_DESTROY: closes the editor and frees the state, now or, while a launch on this state runs,
// when the launch unwinds. The caller has already cleared the window's user-data slot.
void DestroyViewerState(ViewerState* state);

// The one place a state ends: forgotten by the request registry, its editor shut down, freed.
// Only for a state no request uses any more.
void FreeViewerState(ViewerState* state);
