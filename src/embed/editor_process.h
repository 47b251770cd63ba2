#pragma once
// What the viewer asks of, and does to, an editor process and its windows from outside: the
// building blocks of its end, used by the watchers, the registry and the viewer alike.

#include <windows.h>

#include <vector>

#include "editor/viewer_state.h"

// How long a viewer that is being destroyed waits for its busy editor's window to leave it: a
// window still inside goes with the viewer, and the editor's unsaved work with it.
constexpr DWORD kViewerClosingDetachMs = 10000;
// The exit code of an editor ended here, so that whoever sees it end can tell it did not end by itself.
constexpr UINT kTerminatedExitCode = 0x564C5154;

// The top-level windows of the process, visible or not.
std::vector<HWND> TopWindowsOf(DWORD processId);
// The top-level windows of one thread (the editor's interface thread, where its questions open),
// visible or not: one request to the window manager, where those of a process cost one per window.
std::vector<HWND> TopWindowsOfThread(DWORD threadId);
// True when the thread shows a modal question: a visible top-level window while the editor's window,
// or the window that owns it, is disabled. A window the editor showed without asking (a find dialog,
// the user's own frames of a single-process editor) leaves its owner enabled.
bool ShowsModalQuestion(HWND editorWindow, DWORD threadId);
// True when a visible top-level window of the process is not among before (a question the editor
// opened since then).
bool HasNewVisibleTopWindow(DWORD processId, const std::vector<HWND>& before);
bool HasVisibleTopWindow(DWORD processId);
// True once the process has ended, waiting at most timeoutMs for it.
bool HasEnded(HANDLE process, DWORD timeoutMs = 0);
// The process's creation time: with its id, it names the process (an id is given again later).
ULONGLONG CreationTimeOf(HANDLE process);

// The one question of whether an editor may be ended, kept or closed without a word: true only when
// it provably holds no unsaved work. Its window is gone, or it answered that nothing is modified: no
// '*' in front of its title, no modal question open, each of its Scintilla controls "unmodified" in
// time, and for Notepad++ (UnsavedSignal::TitleMarkOrModify) no view holding more documents than it
// shows: a background tab, or a "new 1" with text behind another, cannot be asked one by one without
// writing into its memory. An editor without Scintilla controls, or one that does not answer, may
// hold work.
bool ProvablyHoldsNoUnsavedWork(HWND editorWindow, const EditorProfile& profile);
// The same asked of its documents alone, whether or not a question is open (the window is live).
bool DocumentsProvablyUnmodified(HWND editorWindow, const EditorProfile& profile);

// Gives the window, hidden, the styles and placement it had on the desktop before it was embedded
// (it stays where it is: SetParent(window, nullptr) takes it out), so that an editor that saves its
// placement at exit saves the user's. Each call waits for the editor's thread: made on a worker, or
// right after the editor answered.
void RestoreDesktopLookNow(HWND window, const DesktopLook& look);

// SetParent(window, nullptr), without activating the window: Wine's SetParent moves the window to
// the top without SWP_NOACTIVATE, which activates even a hidden window and takes the user's
// typing. For that call the window is marked a child (a child is never activated), and its style
// put back after. Waits for the window's thread: made on a worker, or right after it answered.
void DetachQuietly(HWND window);

// Ends the process and logs it with the reason; waits for the end at most its own bound.
void TerminateEditor(HANDLE process, DWORD processId, const wchar_t* reason);
// True when the process has ended with kTerminatedExitCode.
bool WasTerminatedHere(HANDLE process);
