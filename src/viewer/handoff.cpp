#include "viewer/handoff.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/deadline.h"
#include "common/handles.h"
#include "common/window_data.h"
#include "embed/bounded_wait.h"
#include "embed/editor_file_path.h"
#include "embed/editor_messages.h"
#include "embed/window_filters.h"
#include "log/log.h"
#include "viewer/handoff_records.h"
#include "viewer/handoff_title.h"

namespace {

constexpr UINT kSciSetSavePoint = 2014;
constexpr UINT kSciSetAnchor = 2026;
constexpr UINT kDropBlockFlags = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE;
constexpr UINT kNppMenuCommand = WM_USER + 1000 + 48;   // NPPM_MENUCOMMAND: lParam is a menu command id
constexpr UINT kNppSwitchToFile = WM_USER + 1000 + 37;  // NPPM_SWITCHTOFILE: lParam is a path, in its memory
constexpr UINT kNppDoOpen = WM_USER + 1000 + 77;        // NPPM_DOOPEN: lParam is a path, in its memory
constexpr LPARAM kNppFileClose = 41003;                 // IDM_FILE_CLOSE
constexpr DWORD kTitlePollMs = 10;
constexpr size_t kFirstTitleCapacity = 512;
constexpr size_t kTitleCapacityLimit = size_t{1} << 20;

bool IsEmpty(const wchar_t* path) {
    return !path || !*path;
}

HWND FirstScintillaOf(HWND editor) {
    const std::vector<HWND> windows = ScintillaWindowsOf(editor);
    return windows.empty() ? nullptr : windows.front();
}

LPARAM AsLParam(const COPYDATASTRUCT& data) {
    return reinterpret_cast<LPARAM>(&data);
}

void LogNoAnswer(const wchar_t* caller, HWND scintilla) {
    LogPrintf(L"[%ls] Scintilla 0x%p did not answer (err=%lu), hand-off failed", caller, scintilla,
              GetLastError());
}

// The shown document is marked saved before the next file opens, so a modified one must never
// get that far: its edits would be dropped without a word.
NotepadHandOff PrepareScintilla(const wchar_t* caller, HWND scintilla) {
    LRESULT modified = 0;
    if (!SendToEditor(scintilla, kSciGetModify, 0, 0, &modified)) {
        LogNoAnswer(caller, scintilla);
        return NotepadHandOff::Failed;
    }
    if (modified) {
        LogPrintf(L"[%ls] document has unsaved changes, not handed over", caller);
        return NotepadHandOff::Unsaved;
    }
    if (!SendToEditor(scintilla, kSciSetSavePoint, 0, 0) || !SendToEditor(scintilla, kSciSetAnchor, 0, 0)) {
        LogNoAnswer(caller, scintilla);
        return NotepadHandOff::Failed;
    }
    return NotepadHandOff::Sent;
}

std::vector<HWND> CollectDropTargets(HWND editor) {
    std::vector<HWND> targets{editor};
    EnumChildWindows(editor, CollectDropTarget, reinterpret_cast<LPARAM>(&targets));
    return targets;
}

// Posting to every target would open the file once per window that takes drops, and report
// success for windows that ignore them: only the first one that takes drops gets the block.
HWND ChooseDropTarget(const std::vector<HWND>& targets) {
    std::vector<uint32_t> extendedStyles;
    for (HWND target : targets)
        extendedStyles.push_back(static_cast<uint32_t>(GetWindowLongPtrW(target, GWL_EXSTYLE)));
    const size_t chosen = FirstDropTarget(extendedStyles);
    return chosen == kNoDropTarget ? nullptr : targets[chosen];
}

bool PostDropBlock(HWND target, const wchar_t* path) {
    RECT client{};
    GetClientRect(target, &client);
    const std::vector<uint8_t> bytes = BuildDropBlock(path, DropPointCoordinate(client.right - client.left),
                                                      DropPointCoordinate(client.bottom - client.top));
    UniqueGlobal block(GlobalAlloc(kDropBlockFlags, bytes.size()));
    if (!block) return false;
    {
        ScopedGlobalLock lock(block.get());
        if (!lock.data()) return false;
        std::memcpy(lock.data(), bytes.data(), bytes.size());
    }
    if (!PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(block.get()), 0)) return false;
    block.release();  // the receiver frees it
    return true;
}

// Read from the window structure, not by a message: an editor that does not answer cannot hold us.
// The whole title, however long: a buffer that came back full is doubled and read again.
std::wstring TitleOf(HWND window) {
    std::vector<wchar_t> title(kFirstTitleCapacity);
    for (;;) {
        const int copied = InternalGetWindowText(window, title.data(), static_cast<int>(title.size()));
        const size_t length = copied > 0 ? static_cast<size_t>(copied) : 0;
        if (length + 1 < title.size() || title.size() >= kTitleCapacityLimit)
            return std::wstring(title.data(), length);
        title.resize(title.size() * 2);
    }
}

// A document counts as modified when the title or the editor's text control says so, or when
// the text control does not answer: closing it would make Notepad++ ask inside our send.
bool ShownDocumentModified(HWND editor) {
    if (TitleMarksModified(TitleOf(editor))) return true;
    HWND scintilla = FirstScintillaOf(editor);
    LRESULT modified = 0;
    return scintilla && (!SendToEditor(scintilla, kSciGetModify, 0, 0, &modified) || modified != 0);
}

void CloseShownDocumentIfUnmodified(HWND editor) {
    if (ShownDocumentModified(editor)) {
        LogWrite(L"[HandFileToNotepadPP] shown document has unsaved changes: left open\r\n");
        return;
    }
    if (!SendToEditor(editor, kNppMenuCommand, 0, kNppFileClose))
        LogPrintf(L"[HandFileToNotepadPP] close of the shown document not answered (err=%lu)",
                  GetLastError());
}

bool TitleNamesFileWithin(HWND editor, const wchar_t* path, DWORD timeoutMs) {
    const Deadline deadline(timeoutMs);
    for (;;) {
        if (!IsLiveWindow(editor)) return false;
        if (TitleNamesFile(TitleOf(editor), path)) return true;
        if (deadline.Passed()) return false;
        WaitDispatchingMessages(nullptr, kTitlePollMs);
    }
}

enum class PathMessage { Answered, NotSent, NoAnswer };

// Notepad++ reads the path of its open and switch messages in its own memory: it is written into
// the process the viewer started, and only when the window is that process's.
PathMessage SendPathToNotepadPP(const ViewerState& state, UINT message, const std::wstring& path,
                                LRESULT& reply) {
    HANDLE process = state.process.get();
    const DWORD owner = ProcessIdOf(state.editorWindow);
    if (!process || owner == 0 || owner != GetProcessId(process)) return PathMessage::NotSent;
    const SIZE_T bytes = (path.size() + 1) * sizeof(wchar_t);
    RemoteMemory remote(process, bytes);
    if (!remote || !WriteProcessMemory(process, remote.get(), path.c_str(), bytes, nullptr)) {
        LogPrintf(L"[HandFileToNotepadPP] the path could not be written into the editor (err=%lu)",
                  GetLastError());
        return PathMessage::NotSent;
    }
    if (!SendToEditor(state.editorWindow, message, 0, reinterpret_cast<LPARAM>(remote.get()), &reply)) {
        remote.abandon();
        return PathMessage::NoAnswer;
    }
    return PathMessage::Answered;
}

bool SwitchToFile(const ViewerState& state, const std::wstring& path) {
    LRESULT switched = 0;
    return SendPathToNotepadPP(state, kNppSwitchToFile, path, switched) == PathMessage::Answered &&
           switched && TitleNamesFile(TitleOf(state.editorWindow), path);
}

// Tabs would pile up otherwise; but only the document the viewer put there is closed, made
// active first when the user has switched to another one. The user's own documents stay.
void CloseViewerDocument(const ViewerState& state, const wchar_t* next) {
    const std::wstring& own = state.currentFile;
    if (own.empty() || lstrcmpiW(own.c_str(), next) == 0) return;
    if (!TitleNamesFile(TitleOf(state.editorWindow), own) && !SwitchToFile(state, own)) {
        LogWrite(L"[HandFileToNotepadPP] the viewer's document is not the active one: left open\r\n");
        return;
    }
    CloseShownDocumentIfUnmodified(state.editorWindow);
}

// NPPM_DOOPEN answers whether the file opened (and is now the active document).
NotepadPPHandOff OpenByMessage(const ViewerState& state, const wchar_t* path) {
    LRESULT opened = 0;
    switch (SendPathToNotepadPP(state, kNppDoOpen, path, opened)) {
        case PathMessage::NotSent:
            LogWrite(
                L"[HandFileToNotepadPP] NPPM_DOOPEN not sent: the window is not the started editor's\r\n");
            return NotepadPPHandOff::Ignored;
        case PathMessage::NoAnswer:
            LogPrintf(L"[HandFileToNotepadPP] NPPM_DOOPEN: no reply in time (err=%lu), hand-off failed",
                      GetLastError());
            return NotepadPPHandOff::Failed;
        case PathMessage::Answered:
            break;
    }
    if (opened) return NotepadPPHandOff::Shown;
    LogPrintf(L"[HandFileToNotepadPP] Notepad++ could not open the file [%ls]", path);
    return NotepadPPHandOff::Refused;
}

bool OpensByMessage(const ViewerState& state) {
    return !state.editorPath.empty() && state.openByMessageEditor == state.editorPath;
}

}  // namespace

NotepadPPHandOff HandFileToNotepadPP(ViewerState& state, const wchar_t* path) {
    HWND editor = state.editorWindow;
    if (!IsLiveWindow(editor) || IsEmpty(path)) return NotepadPPHandOff::Failed;
    CloseViewerDocument(state, path);
    if (OpensByMessage(state)) return OpenByMessage(state, path);
    if (!SendFileToNotepadPP(editor, path)) return NotepadPPHandOff::Failed;
    if (TitleNamesFileWithin(editor, path, kNotepadPPTitleWaitMs)) return NotepadPPHandOff::Shown;
    if (state.destroyRequested) return NotepadPPHandOff::Failed;  // its viewer went during the wait
    LogPrintf(
        L"[HandFileToNotepadPP] the title does not name the file within %lu ms: WM_COPYDATA ignored, "
        L"NPPM_DOOPEN sent [%ls]",
        static_cast<unsigned long>(kNotepadPPTitleWaitMs), TitleOf(editor).c_str());
    const NotepadPPHandOff opened = OpenByMessage(state, path);
    if (opened == NotepadPPHandOff::Shown) {
        LogWrite(
            L"[HandFileToNotepadPP] Notepad++ ignores WM_COPYDATA from us: its files go by NPPM_DOOPEN\r\n");
        state.openByMessageEditor = state.editorPath;
    }
    return opened;
}

bool NotepadPPShowsFile(HWND editor, const wchar_t* path, DWORD timeoutMs) {
    return !IsEmpty(path) && TitleNamesFileWithin(editor, path, timeoutMs);
}

namespace {

// The record send of a hand-off whose caller has just checked the window: only the send and the
// class name its log line shows reach the window server.
bool SendNotepadRecord(HWND target, const void* record, DWORD recordSize) {
    COPYDATASTRUCT data{kNotepadParamsCopyDataId, recordSize, const_cast<void*>(record)};
    wchar_t className[kClassNameCapacity] = {};
    GetClassNameW(target, className, kClassNameCapacity);
    LogPrintf(L"[SendCopyDataHelper] SendCopyData: dwData=0x%lX cbData=%lu hwnd=%p class=%ls",
              static_cast<unsigned long>(kNotepadParamsCopyDataId), static_cast<unsigned long>(recordSize),
              target, className);
    if (!SendToEditor(target, WM_COPYDATA, 0, AsLParam(data))) {
        LogPrintf(L"[SendCopyDataHelper] SendCopyData: no reply in time (err=%lu), hand-off failed",
                  GetLastError());
        return false;
    }
    return true;
}

}  // namespace

bool SendCopyDataHelper(HWND target, const void* record, DWORD recordSize) {
    return IsLiveWindow(target) && SendNotepadRecord(target, record, recordSize);
}

NotepadHandOff HandFileToNotepad(HWND editor, const wchar_t* path, bool notepad3) {
    if (!IsLiveWindow(editor) || !path) return NotepadHandOff::Failed;
    const wchar_t* caller = notepad3 ? L"SendFileToNotepad3" : L"SendFileToNotepad4";
    std::vector<uint8_t> record;
    try {
        const std::wstring recordPath =
            EditorFilePath(notepad3 ? kNotepad3Profile : kNotepad4Profile, path, PathRoute::Record);
        if (recordPath.empty()) return NotepadHandOff::Failed;
        record =
            BuildNotepadParamRecord(recordPath, notepad3 ? NotepadFamily::Notepad3 : NotepadFamily::Notepad4);
    } catch (const std::bad_alloc&) {
        return NotepadHandOff::Failed;
    }
    HWND scintilla = FirstScintillaOf(editor);
    if (scintilla) {
        const NotepadHandOff prepared = PrepareScintilla(caller, scintilla);
        if (prepared != NotepadHandOff::Sent) return prepared;
    }
    return SendNotepadRecord(editor, record.data(), static_cast<DWORD>(record.size()))
               ? NotepadHandOff::Sent
               : NotepadHandOff::Failed;
}

bool SendFileToNotepad3(HWND editor, const wchar_t* path) {
    return HandFileToNotepad(editor, path, true) == NotepadHandOff::Sent;
}

bool SendFileToNotepad4(HWND editor, const wchar_t* path) {
    return HandFileToNotepad(editor, path, false) == NotepadHandOff::Sent;
}

bool SendFileToNotepadPP(HWND editor, const wchar_t* path) {
    if (!IsLiveWindow(editor) || !path) return false;
    std::vector<uint8_t> record = BuildNotepadPPRecord(path);
    COPYDATASTRUCT data{kNotepadPPCopyDataId, static_cast<DWORD>(record.size()), record.data()};
    LogPrintf(L"[SendFileToNotepadPP] SendFileToNotepadPP: file=%ls cbData=%lu hwnd=%p", path,
              static_cast<unsigned long>(data.cbData), editor);
    if (!SendToEditor(editor, WM_COPYDATA, 0, AsLParam(data))) {
        LogPrintf(L"[SendFileToNotepadPP] SendFileToNotepadPP: no reply in time (err=%lu), hand-off failed",
                  GetLastError());
        return false;
    }
    return true;
}

bool SendFileToEmEditor(HWND editor, const wchar_t* path) {
    if (!IsLiveWindow(editor) || IsEmpty(path)) return false;
    std::vector<uint8_t> record = BuildEmEditorRecord(path);
    COPYDATASTRUCT data{kEmEditorCopyDataId, static_cast<DWORD>(record.size()), record.data()};
    LRESULT reply = 0;
    const bool answered =
        SendToEditor(editor, WM_COPYDATA, reinterpret_cast<WPARAM>(editor), AsLParam(data), &reply);
    LogPrintf(L"[SendFileToEmEditor] SendFileToEmEditor: WM_COPYDATA to 0x%p file=%ls result=%lld", editor,
              path, static_cast<long long>(reply));
    if (!answered) {
        LogPrintf(L"[SendFileToEmEditor] SendFileToEmEditor: no reply in time (err=%lu)", GetLastError());
        return false;
    }
    return reply != 0;
}

bool SendFileByDrop(HWND editor, const wchar_t* path) {
    if (!IsLiveWindow(editor) || IsEmpty(path)) return false;
    const std::vector<HWND> targets = CollectDropTargets(editor);
    HWND target = ChooseDropTarget(targets);
    if (!target)
        LogWrite(L"[SendFileByDrop] SendFileByDrop: no window of the editor accepts dropped files\r\n");
    const bool posted = target && PostDropBlock(target, path);
    LogPrintf(
        L"[SendFileByDrop] SendFileByDrop: posted WM_DROPFILES to %zu targets (root=0x%p) file=%ls anyOk=%d",
        targets.size(), editor, path, posted ? 1 : 0);
    return posted;
}

BOOL CALLBACK CollectDropTarget(HWND window, LPARAM targets) noexcept {
    try {
        AsPointer<std::vector<HWND>>(targets)->push_back(window);
    } catch (...) {
        // A target that cannot be listed is skipped; the enumeration goes on.
    }
    return TRUE;
}
