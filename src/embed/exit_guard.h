#pragma once
// What the host's end owes the editors it started is done by a small process of ours: rundll32
// running this DLL's ExitGuardW, started with the first editor of a load. Inside the host nothing
// may do it: at its process exit the plug-in runs under the loader lock, where a call into another
// process's window may wait for ever, and a killed host runs nothing of ours at all.
//
// The host keeps the guard told of its editors (their process, creation time, window and the look
// their window had on the desktop). At its process exit it signals the guard and waits for it a
// bounded moment, before its windows (and the editors' windows inside them) go; the guard gives
// back or ends each editor then. Once the host has ended, however it ended, the guard ends each
// editor left without a window of its own: whatever it held went with that window.

#include <windows.h>

#include <cstddef>
#include <vector>

#include "common/handles.h"
#include "editor/started_editor.h"

// One editor as the guard sees it: plain data, read by the other process.
struct GuardedEditor {
    DWORD processId = 0;
    DWORD kind = 0;              // its EditorKind
    ULONGLONG startTime = 0;     // its process's creation time: the id may name another process later
    ULONGLONG window = 0;        // its main window; 0 while it has none
    DesktopLook look;
};

// How long the host's process exit waits for the guard to give its editors back.
constexpr DWORD kExitHandOverMs = 2000;

// The host's side. Starts the guard once per load of the plug-in (nothing in a program that is not
// the plug-in, nor when the guard cannot start: the log says so).
void StartExitGuard();
// The editors the guard is to look after, all of them each time (at most a fixed number).
void PublishGuardedEditors(const std::vector<GuardedEditor>& editors);
// At the host's process exit: signals the guard when it has editors to look after, and waits for it
// at most kExitHandOverMs. Makes no call into a window.
void HandExitToGuard();
// At unload: the guard ends without doing anything.
void StandDownExitGuard();

// The guard's side: its whole life, from its command line "<host process id> <name of its objects>".
void RunExitGuard(const wchar_t* commandLine);

// An editor the guard still follows.
struct PendingEditor {
    GuardedEditor editor;
    UniqueHandle process;
};
// Each editor that answers within answerWithinMs is ended when it provably holds nothing, else given
// back to the desktop, shown, and asked to close. The ones that did not answer or have no window
// are returned.
std::vector<PendingEditor> ReleaseEditorsAtProcessExit(const std::vector<GuardedEditor>& editors,
                                                       DWORD answerWithinMs);
