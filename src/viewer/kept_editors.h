#pragma once
// "Keep editors ready": editors put away hidden at a change of group, taken back for their group's
// next file, and closed when there are too many, when the viewer goes or when the setting is off.

#include <windows.h>

#include <string>

#include "editor/viewer_state.h"

constexpr size_t kMaxKeptEditors = 3;

bool KeepEditorsReadyOn();

// True when the editor is live and provably holds no unsaved work, asked as the shutdown and the
// host's exit ask it (ProvablyHoldsNoUnsavedWork). An editor that cannot tell (no such controls) or
// does not answer in time holds work as far as the viewer knows. The questions are asked on a worker
// while this thread dispatches its messages (stopped early once *stop becomes true).
bool HoldsNoUnsavedWork(HWND editorWindow, const EditorProfile& profile, const bool* stop = nullptr);

// At a change of group: moves the embedded editor out of the viewer, hidden, into the kept list when
// it provably holds no unsaved work (the caller has checked that it may be handed files); closes the least
// recently used kept editor beyond kMaxKeptEditors. False when it was not kept (the caller closes it as
// usual).
bool KeepEmbeddedEditor(ViewerState& state);

// Takes the kept editor of editorPath out of the list (still hidden, out of the viewer). A kept
// editor that ended or no longer answers is dropped. False when there is none to take.
bool TakeKeptEditor(ViewerState& state, const std::wstring& editorPath, KeptEditor& taken);
// Makes a taken editor the state's editor; the state has none at that moment.
void InstallTakenEditor(KeptEditor& taken, ViewerState& state);

// Before an editor is embedded by a launch: a kept editor still inside the viewer would hold up
// the embedding if it stopped answering there. Waits for each to leave, all within
// kWindowCallWaitMs; one that has not left by then is ended (it held no unsaved work).
void SettleKeptEditors(ViewerState& state);

// Closes every kept editor as KillChild closes an embedded one.
void CloseKeptEditors(ViewerState& state, const wchar_t* reason);
