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
constexpr UINT kNppMenuCommand = WM_USER + 1000 + 48;  // NPPM_MENUCOMMAND: lParam is a menu command id
constexpr LPARAM kNppFileClose = 41003;                // IDM_FILE_CLOSE
constexpr DWORD kTitlePollMs = 10;

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
std::wstring TitleOf(HWND window) {
    wchar_t title[kTitleCapacity] = {};
    InternalGetWindowText(window, title, kTitleCapacity);
    return title;
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

}  // namespace

NotepadPPHandOff HandFileToNotepadPP(HWND editor, const wchar_t* path) {
    if (!IsLiveWindow(editor) || IsEmpty(path)) return NotepadPPHandOff::Failed;
    // The file already shown is only brought to the front again: its tab stays, with its caret.
    if (!TitleNamesFile(TitleOf(editor), path)) CloseShownDocumentIfUnmodified(editor);
    if (!SendFileToNotepadPP(editor, path)) return NotepadPPHandOff::Failed;
    if (TitleNamesFileWithin(editor, path, kNotepadPPTitleWaitMs)) return NotepadPPHandOff::Shown;
    LogPrintf(L"[HandFileToNotepadPP] the title does not name the file within %lu ms: hand-off ignored [%ls]",
              static_cast<unsigned long>(kNotepadPPTitleWaitMs), TitleOf(editor).c_str());
    return NotepadPPHandOff::Ignored;
}

bool SendCopyDataHelper(HWND target, const void* record, DWORD recordSize) {
    if (!IsLiveWindow(target)) return false;
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
    return SendCopyDataHelper(editor, record.data(), static_cast<DWORD>(record.size()))
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
