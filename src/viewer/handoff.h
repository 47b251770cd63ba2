#pragma once
// Telling the editor embedded in a viewer to open the next file. Each returns true when the
// editor was told; a false result makes the caller relaunch the editor. Each send to the editor
// waits on a worker while this thread dispatches its messages (a request for the viewer that
// arrives meanwhile waits its turn); the sends stop early once *stop becomes true.

#include <windows.h>

#include <string>

#include "editor/viewer_state.h"
#include "embed/editor_file_path.h"

// The Notepad3/Notepad4 hand-off with the reason of a refusal: a document with unsaved changes
// is neither marked saved nor handed a new file.
enum class NotepadHandOff { Sent, Unsaved, Failed };
NotepadHandOff HandFileToNotepad(HWND editor, EditorFileForms& file, const bool* stop = nullptr);

// The Notepad++ hand-off. Only the document the viewer put there is closed first, when it is
// unmodified. The file goes by WM_COPYDATA and counts once the window's title names it; a build
// that ignores WM_COPYDATA from other programs is sent NPPM_DOOPEN with the path written into its
// memory, and so are all later files for that editor. Shown: the file is shown. Refused: Notepad++
// answered that it cannot open it. Ignored: not shown, and NPPM_DOOPEN could not be sent.
enum class NotepadPPHandOff { Shown, Refused, Ignored, Failed };
constexpr DWORD kNotepadPPTitleWaitMs = 500;
NotepadPPHandOff HandFileToNotepadPP(ViewerState& state, const wchar_t* path);
// True once the Notepad++ at editorPath ignored WM_COPYDATA from us, in any viewer of this process.
bool NotepadPPOpensByMessage(const std::wstring& editorPath);

// True once the editor's title names path, within timeoutMs (sent messages are answered meanwhile).
bool NotepadPPShowsFile(HWND editor, const wchar_t* path, DWORD timeoutMs);

bool SendCopyDataHelper(HWND target, const void* record, DWORD recordSize);
bool SendFileToNotepad3(HWND editor, const wchar_t* path);
bool SendFileToNotepad4(HWND editor, const wchar_t* path);
bool SendFileToNotepadPP(HWND editor, const wchar_t* path, const bool* stop = nullptr);
bool SendFileToEmEditor(HWND editor, const wchar_t* path, const bool* stop = nullptr);
bool SendFileByDrop(HWND editor, const wchar_t* path);
// The same for a hand-off whose caller has just checked that the window is there.
bool HandFileToEmEditor(HWND editor, const wchar_t* path, const bool* stop);
bool HandFileByDrop(HWND editor, const wchar_t* path);

// EnumChildWindows callback: appends each window to the std::vector<HWND> behind targets.
BOOL CALLBACK CollectDropTarget(HWND window, LPARAM targets) noexcept;
