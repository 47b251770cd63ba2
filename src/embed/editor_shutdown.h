#pragma once
// The end of an editor that leaves the viewer. Nothing here lets the viewer's thread wait for the
// editor beyond a named bound: the calls that wait for the editor's thread run on worker threads,
// and the editor is followed by a watcher thread of its own until it ends, asks the user or is
// given back. An editor that may hold unsaved work is never terminated: busy is not hung.
//
// Every way an editor started here leaves, and how each ends:
//   next file, same editor      handed the file; stays (a refused or ignored hand-off: as below)
//   it holds unsaved changes    ReleaseChild: on the desktop, shown, asked to close -> it asks
//   it asks a question already  ReleaseAskingChild: on the desktop with its question, not closed;
//                               followed as a question below
//   next file, another editor,  KillChild (or kept hidden with "Keep editors ready"): a watcher,
//   CLEAR, a launch that fails  then one of
//                               - ended by itself (Notepad4's recent files are put back)
//                               - shows a question -> on the desktop, shown, with its question;
//                                 one whose documents hold nothing is followed until the question
//                                 is answered (up to kQuestionWatchMs), then closed (ended if it stays)
//                               - after kShutdownWatchMs still there: no window left -> ended;
//                                 provably holds nothing -> ended; to the tray or minimised by
//                                 itself -> left so; else on the desktop, shown without activation
//                               - busy: waited for up to kBusyWatchMs, then left running; while its
//                                 window is still inside a viewer, followed until it answers or ends
//   the viewer is destroyed     as CLEAR for its editor and its kept ones; windows of programs the
//                               user runs go back to the desktop; editors still inside (busy) are
//                               waited for a moment, then leave the viewer hidden in the window that
//                               holds them (embed/editor_holder.h), followed by their watchers as
//                               above until they answer
//   the host exits unclosed     the exit guard (embed/exit_guard.h), another process, signalled at
//                               DLL_PROCESS_DETACH and waited for up to kExitHandOverMs: ended when it
//                               provably holds nothing, else on the desktop with its question; one
//                               that does not answer by then loses its window with the host's: as below
//   the host is killed          nothing of ours runs in the host; its window goes with the host's.
//                               The exit guard sees the host end: ended unless it ends by itself or
//                               shows a window of its own (left so) within kWindowlessGraceMs
#include <windows.h>

#include <memory>
#include <vector>

#include "common/handles.h"
#include "editor/viewer_state.h"
#include "embed/editor_process.h"

// How long an editor that still answers, or whose window is gone, may take to end by itself.
constexpr DWORD kShutdownWatchMs = 5000;
// How long the watcher waits for a busy editor to answer before it leaves it running as it is.
constexpr DWORD kBusyWatchMs = 60000;
// How long a watcher, or the viewer's thread for a kept editor, waits for the calls that move or show
// a window.
constexpr DWORD kWindowCallWaitMs = 1000;
// How long the viewer's thread waits for a window of a program the user runs to be given back; the
// calls go on meanwhile, up to kWindowCallWaitMs before the window is reported not back.
constexpr DWORD kForeignWindowHoldMs = 200;
// How long an editor given back with a question, its documents holding nothing, is followed until the
// question is answered.
constexpr DWORD kQuestionWatchMs = 600000;

// An editor leaving its viewer, handed to a watcher.
struct ShutdownWatch {
    StartedEditor editor;  // moved out of its viewer; window null when it had none left
    std::vector<HWND> windowsBeforeClose;
    // Given back to the user at once; asked to close (so that it asks about its unsaved changes)
    // unless it shows a question of its own already, which is left to the user as it is.
    bool releaseAtOnce = false;
    bool closeAfterRelease = true;
    bool closesToTray = false;        // its own settings send it to the tray on WM_CLOSE
    const wchar_t* caller = nullptr;  // the function the log names; KillChild when null
};
// Starts the watcher: the window gets back, hidden, the look it had before it was embedded, and
// WM_CLOSE (once the editor answers, up to kBusyWatchMs; the calls wait for it on a worker). An
// editor that does not end leaves the viewer for the desktop. Then it ends (done), asks (given back to the
// user, activated), or after kShutdownWatchMs: it is ended when it provably holds no unsaved work, else given
// back without activation (one that minimised itself stays so). False when no thread could be started.
bool StartShutdownWatch(const std::shared_ptr<ShutdownWatch>& watch);

// Gives each window inside viewer that belongs to neither this process nor startedProcessId back to
// the desktop, visible: such a window belongs to a program the user runs (a single-process EmEditor).
void ReturnForeignWindows(HWND viewer, DWORD startedProcessId);
// Gives one such window back; nothing when it is already a visible top-level window.
void ReturnForeignWindow(HWND window);

// Waits until no worker or watcher thread runs, at most timeoutMs. For tests and orderly ends.
bool WaitForShutdownThreads(DWORD timeoutMs);
