#pragma once
// The end of an editor that is still running after WM_CLOSE. Nothing here lets the viewer's thread
// wait for the editor beyond a named bound: calls that wait for the editor's thread run on short-lived
// worker threads, and an editor that may still be saving or asking is watched by one of them.

#include <windows.h>

#include <vector>

#include "common/handles.h"

// How long an editor that still answers, or whose window is gone, may take to end by itself.
constexpr DWORD kShutdownWatchMs = 5000;
// How long the viewer's thread waits for a worker that moves or shows an editor's window.
constexpr DWORD kWindowCallWaitMs = 1000;

// The top-level windows of the process, visible or not.
std::vector<HWND> TopWindowsOf(DWORD processId);
// True when a visible top-level window of the process is not among before (a question the editor
// opened since then).
bool HasNewVisibleTopWindow(DWORD processId, const std::vector<HWND>& before);
RECT ScreenRectOf(HWND window);

// From a worker thread: makes the window a framed, visible top-level window at shownAt and, when
// asked, posts it WM_CLOSE. Waits at most waitMs for it (0: not at all); true when it was done in time.
bool ReturnToDesktop(HWND window, const RECT& shownAt, bool postClose, DWORD waitMs);
// From a worker thread: takes the (hidden) window out of the viewer, so that the viewer's end cannot
// destroy it. True when done within waitMs.
bool DetachFromViewer(HWND window, DWORD waitMs);

// Ends the process and logs it with the reason; waits for the end at most its own bound.
void TerminateEditor(HANDLE process, DWORD processId, const wchar_t* reason);

// An editor that answers after WM_CLOSE (or whose window is gone) and has not ended yet.
struct ShutdownWatch {
    UniqueHandle process;
    DWORD processId = 0;
    HWND window = nullptr;  // its main window, detached and hidden; null when gone
    RECT shownAt = {};
    std::vector<HWND> windowsBeforeClose;
};
// Watches the editor for up to kShutdownWatchMs on a thread of its own: it ends (done), a window of
// its process appears (released so the user can answer) or neither (released, or terminated when its
// window is gone or it no longer answers). False when no thread could be started; the watch is then
// left untouched.
bool StartShutdownWatch(ShutdownWatch& watch);

// Gives each window inside viewer that belongs to neither this process nor startedProcessId back to
// the desktop, visible: such a window belongs to a program the user runs (a single-process EmEditor).
void ReturnForeignWindows(HWND viewer, DWORD startedProcessId);
// Gives one such window back; nothing when it is already a visible top-level window.
void ReturnForeignWindow(HWND window);

// Waits until no worker or watcher thread runs, at most timeoutMs. For tests and orderly ends.
bool WaitForShutdownThreads(DWORD timeoutMs);
