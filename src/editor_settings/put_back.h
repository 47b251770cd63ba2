#pragma once
// What a preview owes the settings of an editor that saves into the user's own (Notepad4): its
// recent files without the files the preview showed, and its window maximized again when the user
// had it so (it is started un-maximized, so that it never shows full-screen on the desktop). Owed
// from the editor's start until done, and kept in a file beside the private copies, so that it
// outlives the thread that follows the editor and the host itself. Done once the editor has ended:
// when a wait on its process ends, at the next launch of that editor before its settings are read,
// and at the plug-in's next load. Put-backs of one ini take turns, also across processes.

#include <windows.h>

#include <string>

#include "editor_settings/recent_files.h"

struct OwedPutBack {
    std::wstring recordPath;  // empty: nothing recorded (yet)
    std::wstring iniPath;     // empty: nothing owed
    RecentEntryFolders folders;
    DWORD processId = 0;
    ULONGLONG startTime = 0;  // the process's creation time: its id may name another process later
    RecentList before;        // the user's list: read at the launch, again before the editor saves
    RecentList shownFiles;    // lower-cased; read as entries only when the put-back is done
    bool maximized = false;   // the user's window was maximized
    RECT normal = {};         // the user's window, un-maximized (known when maximized)
};

// Before a launch: what is still owed to iniPath is completed first, then the user's settings read.
OwedPutBack PreparePutBack(const std::wstring& iniPath, const std::wstring& exeFolder);

// Once the process exists (suspended): what is owed is recorded. False when it could not be.
bool OwePutBack(OwedPutBack& owed, HANDLE process, DWORD processId);
void NoteShownInPutBack(OwedPutBack& owed, const std::wstring& file);
// Right before the editor is asked to close: the list the user has now is the one to keep.
void NoteListBeforeSave(OwedPutBack& owed);

// Done (and the record gone) once the process has ended; false while it runs or when the ini's
// turn did not come within its bound (the record stays for a later attempt).
bool CompletePutBack(const OwedPutBack& owed);
// Each recorded put-back whose editor has ended: those of iniPath, or with an empty path all.
// waitForTurn false: one whose ini another put-back holds is left to that one's turn.
void CompleteOwedPutBacks(const std::wstring& iniPath, bool waitForTurn = true);
// Once per load of the plug-in, at the host's first call (not in DllMain, under the loader lock):
// what earlier loads still owe. Without waiting for another put-back's turn.
void CompleteOwedPutBacksOfEarlierLoads();
