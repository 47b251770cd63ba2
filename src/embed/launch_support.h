#pragma once
// Small steps shared by the two capture routines.

#include <windows.h>

#include "editor/viewer_state.h"

// True when the exit code of process could be read and it is no longer STILL_ACTIVE.
bool ProcessHasEnded(HANDLE process, DWORD* exitCode = nullptr);
// The wait of a launch must stop: the viewer was destroyed, or its state no longer describes the
// editor this launch started (someone shut it down while messages were answered).
bool LaunchAbandoned(const ViewerState& state, DWORD processId);
// Shuts the editor of an abandoned launch down unless someone else already did; returns false.
bool EndAbandonedLaunch(ViewerState& state, DWORD processId);
// The editor did not answer the calls that embed its window in time: its process is ended
// (unless someone else already shut it down) and the state cleared; returns false.
bool EndUnansweredLaunch(ViewerState& state, DWORD processId);
