#pragma once
// The end of an editor that leaves the viewer. Nothing here lets the viewer's thread wait for the
// editor beyond a named bound: the calls that wait for the editor's thread run on worker threads,
// and the editor is followed by a watcher thread of its own until it ends, asks the user or is
// given back. An editor that may hold unsaved work is never terminated: busy is not hung.

#include <windows.h>

#include <memory>
#include <vector>

#include "common/handles.h"
#include "editor/viewer_state.h"

// How long an editor that still answers, or whose window is gone, may take to end by itself.
constexpr DWORD kShutdownWatchMs = 5000;
// How long the watcher waits for a busy editor to answer before it leaves it running as it is.
constexpr DWORD kBusyWatchMs = 60000;
// How long a viewer that is being destroyed waits for its busy editor's window to leave it: a
// window still inside goes with the viewer, and the editor's unsaved work with it.
constexpr DWORD kViewerClosingDetachMs = 10000;
// How long the viewer's thread waits for a worker that moves or shows a foreign window.
constexpr DWORD kWindowCallWaitMs = 1000;

// The top-level windows of the process, visible or not.
std::vector<HWND> TopWindowsOf(DWORD processId);
// True when a visible top-level window of the process is not among before (a question the editor
// opened since then).
bool HasNewVisibleTopWindow(DWORD processId, const std::vector<HWND>& before);

// The one question of whether an editor may be ended, kept or closed without a word: true only when
// it provably holds no unsaved work. Its window is gone, or it answered that nothing is modified: no
// '*' in front of its title, no modal question open, each of its Scintilla controls "unmodified" in
// time, and for Notepad++ (UnsavedSignal::TitleMarkOrModify) no view holding more documents than it
// shows: a background tab, or a "new 1" with text behind another, cannot be asked one by one without
// writing into its memory. An editor without Scintilla controls, or one that does not answer, may
// hold work.
bool ProvablyHoldsNoUnsavedWork(HWND editorWindow, const EditorProfile& profile);

// Gives the window, hidden, the styles and placement it had on the desktop before it was embedded
// (it stays where it is: SetParent(window, nullptr) takes it out), so that an editor that saves its
// placement at exit saves the user's. Each call waits for the editor's thread: made on a worker, or
// right after the editor answered.
void RestoreDesktopLookNow(HWND window, const DesktopLook& look);

// Ends the process and logs it with the reason; waits for the end at most its own bound.
void TerminateEditor(HANDLE process, DWORD processId, const wchar_t* reason);

// An editor leaving its viewer, handed to a watcher.
struct ShutdownWatch {
    UniqueHandle process;
    DWORD processId = 0;
    HWND window = nullptr;  // its main window; null when it had none left
    DesktopLook look;
    std::vector<HWND> windowsBeforeClose;
    // Given back to the user at once; asked to close (so that it asks about its unsaved changes)
    // unless it shows a question of its own already, which is left to the user as it is.
    bool releaseAtOnce = false;
    bool closeAfterRelease = true;
    bool closesToTray = false;        // its own settings send it to the tray on WM_CLOSE
    const EditorProfile* profile = &kOtherEditorProfile;
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
