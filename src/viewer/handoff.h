#pragma once
// Telling the editor embedded in a viewer to open the next file. Each returns true when the
// editor was told; a false result makes the caller relaunch the editor.

#include <windows.h>

// The Notepad3/Notepad4 hand-off with the reason of a refusal: a document with unsaved changes
// is neither marked saved nor handed a new file.
enum class NotepadHandOff { Sent, Unsaved, Failed };
NotepadHandOff HandFileToNotepad(HWND editor, const wchar_t* path, bool notepad3);

// The Notepad++ hand-off: the shown document is closed first when it is unmodified and another
// file (tabs would pile up otherwise), then the file is sent and the hand-off counts only once the window's
// title names it. Ignored: sent and answered, but not shown within kNotepadPPTitleWaitMs.
enum class NotepadPPHandOff { Shown, Ignored, Failed };
constexpr DWORD kNotepadPPTitleWaitMs = 500;
NotepadPPHandOff HandFileToNotepadPP(HWND editor, const wchar_t* path);

bool SendCopyDataHelper(HWND target, const void* record, DWORD recordSize);
bool SendFileToNotepad3(HWND editor, const wchar_t* path);
bool SendFileToNotepad4(HWND editor, const wchar_t* path);
bool SendFileToNotepadPP(HWND editor, const wchar_t* path);
bool SendFileToEmEditor(HWND editor, const wchar_t* path);
bool SendFileByDrop(HWND editor, const wchar_t* path);

// EnumChildWindows callback: appends each window to the std::vector<HWND> behind targets.
BOOL CALLBACK CollectDropTarget(HWND window, LPARAM targets) noexcept;
