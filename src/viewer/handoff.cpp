#include "viewer/handoff.h"

#include <algorithm>
#include <cstring>
#include <memory>
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
// The path send's worker ends at the send's own bound: this much longer is left for the writing.
constexpr DWORD kPathSendReportMs = 500;

bool IsEmpty(const wchar_t* path) {
    return !path || !*path;
}

HWND FirstScintillaOf(HWND editor) {
    const std::vector<HWND> windows = ScintillaWindowsOf(editor);
    return windows.empty() ? nullptr : windows.front();
}

// A WM_COPYDATA block with its bytes, shared with the send's worker for as long as it may read them.
struct CopyDataBlock {
    std::vector<uint8_t> bytes;
    COPYDATASTRUCT data{};
};

std::shared_ptr<CopyDataBlock> MakeCopyData(ULONG_PTR id, std::vector<uint8_t> bytes) {
    auto block = std::make_shared<CopyDataBlock>();
    block->bytes = std::move(bytes);
    block->data = {id, static_cast<DWORD>(block->bytes.size()), block->bytes.data()};
    return block;
}

bool SendCopyData(HWND target, WPARAM wParam, std::shared_ptr<CopyDataBlock> block, const bool* stop,
                  LRESULT* reply = nullptr) {
    const LPARAM lParam = reinterpret_cast<LPARAM>(&block->data);
    return SendToEditorDispatchingMessages(target, WM_COPYDATA, wParam, lParam, reply, stop,
                                           std::move(block));
}

// The hand-off's sends without data of ours behind lParam.
bool SendValue(HWND window, UINT message, LPARAM lParam, const bool* stop, LRESULT* reply = nullptr) {
    return SendToEditorDispatchingMessages(window, message, 0, lParam, reply, stop);
}

// Scintilla's: asking whether the text is modified, setting the save point and the anchor may each
// come twice without harm.
bool SendToScintilla(HWND scintilla, UINT message, const bool* stop, LRESULT* reply = nullptr) {
    return SendRepeatableDispatchingMessages(scintilla, message, 0, 0, reply, stop);
}

void LogNoAnswer(const wchar_t* caller, HWND scintilla) {
    LogPrintf(L"[%ls] Scintilla 0x%p did not answer (err=%lu), hand-off failed", caller, scintilla,
              GetLastError());
}

// The shown document is marked saved before the next file opens, so a modified one must never
// get that far: its edits would be dropped without a word.
NotepadHandOff PrepareScintilla(const wchar_t* caller, HWND scintilla, const bool* stop) {
    LRESULT modified = 0;
    if (!SendToScintilla(scintilla, kSciGetModify, stop, &modified)) {
        LogNoAnswer(caller, scintilla);
        return NotepadHandOff::Failed;
    }
    if (modified) {
        LogPrintf(L"[%ls] document has unsaved changes, not handed over", caller);
        return NotepadHandOff::Unsaved;
    }
    if (!SendToScintilla(scintilla, kSciSetSavePoint, stop) ||
        !SendToScintilla(scintilla, kSciSetAnchor, stop)) {
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
// success for windows that ignore them: only the first one that takes drops gets the block. Each
// style read asks the window server, so none is read past that one (an editor has many windows).
HWND ChooseDropTarget(const std::vector<HWND>& targets) {
    std::vector<uint32_t> extendedStyles;
    for (HWND target : targets) {
        extendedStyles.push_back(static_cast<uint32_t>(GetWindowLongPtrW(target, GWL_EXSTYLE)));
        const size_t chosen = FirstDropTarget(extendedStyles);
        if (chosen != kNoDropTarget) return targets[chosen];
    }
    return nullptr;
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

enum class ShownDocument { Unmodified, Modified, NoAnswer };

// A document counts as modified when the title or the editor's text control says so.
ShownDocument ShownDocumentState(HWND editor, const bool* stop) {
    if (TitleMarksModified(TitleOf(editor))) return ShownDocument::Modified;
    HWND scintilla = FirstScintillaOf(editor);
    LRESULT modified = 0;
    if (scintilla && !SendToScintilla(scintilla, kSciGetModify, stop, &modified)) {
        LogNoAnswer(L"HandFileToNotepadPP", scintilla);
        return ShownDocument::NoAnswer;
    }
    return modified ? ShownDocument::Modified : ShownDocument::Unmodified;
}

// False when the editor did not answer: the hand-off fails at once instead of waiting for it
// once more (and closing a document then would make Notepad++ ask inside our send).
bool CloseShownDocumentIfUnmodified(HWND editor, const bool* stop) {
    const ShownDocument shown = ShownDocumentState(editor, stop);
    if (shown == ShownDocument::Modified)
        LogWrite(L"[HandFileToNotepadPP] shown document has unsaved changes: left open\r\n");
    if (shown != ShownDocument::Unmodified) return shown != ShownDocument::NoAnswer;
    if (!SendValue(editor, kNppMenuCommand, kNppFileClose, stop))
        LogPrintf(L"[HandFileToNotepadPP] close of the shown document not answered (err=%lu)",
                  GetLastError());
    return true;
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

// What the send's worker found; read only once the worker has ended.
struct PathSend {
    bool written = false;
    bool answered = false;
    LRESULT reply = 0;
    DWORD error = ERROR_SUCCESS;
};

// Runs on the send's worker: writing into another process's memory waits for that process under Wine
// (a stopped Notepad++ held the host 4.9-9.9 s). The memory is freed once Notepad++ answered, and
// left there when it did not (it may still read it).
void WritePathAndSend(HANDLE process, HWND window, UINT message, const std::wstring& path, PathSend& send) {
    const SIZE_T bytes = (path.size() + 1) * sizeof(wchar_t);
    RemoteMemory memory(process, bytes);
    if (!memory || !WriteProcessMemory(process, memory.get(), path.c_str(), bytes, nullptr)) {
        send.error = GetLastError();
        return;
    }
    send.written = true;
    send.answered = SendToEditor(window, message, 0, reinterpret_cast<LPARAM>(memory.get()), &send.reply);
    send.error = GetLastError();
    if (!send.answered) memory.abandon();
}

// Notepad++ reads the path of its open and switch messages in its own memory: it is written into
// the process the viewer started, and only when the window is that process's. Every call into that
// process is made on a worker, bounded like a send.
PathMessage SendPathToNotepadPP(const ViewerState& state, UINT message, const std::wstring& path,
                                LRESULT& reply) {
    HANDLE process = state.editor.process.get();
    const DWORD owner = ProcessIdOf(state.editor.window);
    if (!process || owner == 0 || owner != GetProcessId(process)) return PathMessage::NotSent;
    auto processCopy = std::make_shared<UniqueHandle>(DuplicateHere(process));
    if (!*processCopy) return PathMessage::NotSent;
    auto send = std::make_shared<PathSend>();
    const HWND window = state.editor.window;
    CallBound bound;
    bound.timeoutMs = kEditorReplyTimeoutMs + kPathSendReportMs;
    bound.stop = &state.closing;
    auto writeAndSend = [processCopy, window, message, path, send] {
        WritePathAndSend(processCopy->get(), window, message, path, *send);
    };
    const bool finished = CallIntoWindows(writeAndSend, bound) == CallEnd::Done;
    if (finished && !send->written) {
        LogPrintf(L"[HandFileToNotepadPP] the path could not be written into the editor (err=%lu)",
                  send->error);
        return PathMessage::NotSent;
    }
    SetLastError(finished ? send->error : (state.closing ? ERROR_CANCELLED : ERROR_TIMEOUT));
    if (!finished || !send->answered) return PathMessage::NoAnswer;
    reply = send->reply;
    return PathMessage::Answered;
}

bool SwitchToFile(const ViewerState& state, const std::wstring& path) {
    LRESULT switched = 0;
    return SendPathToNotepadPP(state, kNppSwitchToFile, path, switched) == PathMessage::Answered &&
           switched && TitleNamesFile(TitleOf(state.editor.window), path);
}

// Tabs would pile up otherwise; but only the document the viewer put there is closed, made
// active first when the user has switched to another one. The user's own documents stay. False
// when the editor did not answer.
bool CloseViewerDocument(const ViewerState& state, const wchar_t* next) {
    const std::wstring& own = state.currentFile;
    if (own.empty() || lstrcmpiW(own.c_str(), next) == 0) return true;
    if (!TitleNamesFile(TitleOf(state.editor.window), own) && !SwitchToFile(state, own)) {
        LogWrite(L"[HandFileToNotepadPP] the viewer's document is not the active one: left open\r\n");
        return true;
    }
    return CloseShownDocumentIfUnmodified(state.editor.window, &state.closing);
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

// The Notepad++ builds (by editor path) known to ignore WM_COPYDATA from us, for every viewer of this
// process: the first hand-off to each of their launches would otherwise wait for the title in vain.
SRWLOCK ignoringBuildsLock = SRWLOCK_INIT;
std::vector<std::wstring> ignoringBuilds;  // under ignoringBuildsLock

void RememberIgnoresCopyData(const std::wstring& editorPath) {
    ScopedExclusiveLock lock(ignoringBuildsLock);
    if (std::find(ignoringBuilds.begin(), ignoringBuilds.end(), editorPath) == ignoringBuilds.end())
        ignoringBuilds.push_back(editorPath);
}

}  // namespace

bool NotepadPPOpensByMessage(const std::wstring& editorPath) {
    if (editorPath.empty()) return false;
    ScopedExclusiveLock lock(ignoringBuildsLock);
    return std::find(ignoringBuilds.begin(), ignoringBuilds.end(), editorPath) != ignoringBuilds.end();
}

namespace {

bool OpensByMessage(const ViewerState& state) {
    return NotepadPPOpensByMessage(state.editor.path);
}

}  // namespace

NotepadPPHandOff HandFileToNotepadPP(ViewerState& state, const wchar_t* path) {
    HWND editor = state.editor.window;
    if (!IsLiveWindow(editor) || IsEmpty(path)) return NotepadPPHandOff::Failed;
    if (!CloseViewerDocument(state, path)) return NotepadPPHandOff::Failed;
    if (OpensByMessage(state)) return OpenByMessage(state, path);
    if (!SendFileToNotepadPP(editor, path, &state.closing)) return NotepadPPHandOff::Failed;
    if (TitleNamesFileWithin(editor, path, kNotepadPPTitleWaitMs)) return NotepadPPHandOff::Shown;
    if (state.closing) return NotepadPPHandOff::Failed;  // its viewer went during the wait
    LogPrintf(
        L"[HandFileToNotepadPP] the title does not name the file within %lu ms: WM_COPYDATA ignored, "
        L"NPPM_DOOPEN sent [%ls]",
        static_cast<unsigned long>(kNotepadPPTitleWaitMs), TitleOf(editor).c_str());
    const NotepadPPHandOff opened = OpenByMessage(state, path);
    if (opened == NotepadPPHandOff::Shown) {
        LogWrite(
            L"[HandFileToNotepadPP] Notepad++ ignores WM_COPYDATA from us: its files go by NPPM_DOOPEN\r\n");
        RememberIgnoresCopyData(state.editor.path);
    }
    return opened;
}

bool NotepadPPShowsFile(HWND editor, const wchar_t* path, DWORD timeoutMs) {
    return !IsEmpty(path) && TitleNamesFileWithin(editor, path, timeoutMs);
}

namespace {

// The record send of a hand-off whose caller has just checked the window: only the send and the
// class name its log line shows reach the window server.
bool SendNotepadRecord(HWND target, std::vector<uint8_t> record, const bool* stop) {
    const auto recordSize = static_cast<unsigned long>(record.size());
    wchar_t className[kClassNameCapacity] = {};
    GetClassNameW(target, className, kClassNameCapacity);
    LogPrintf(L"[SendCopyDataHelper] SendCopyData: dwData=0x%lX cbData=%lu hwnd=%p class=%ls",
              static_cast<unsigned long>(kNotepadParamsCopyDataId), recordSize, target, className);
    if (!SendCopyData(target, 0, MakeCopyData(kNotepadParamsCopyDataId, std::move(record)), stop)) {
        LogPrintf(L"[SendCopyDataHelper] SendCopyData: no reply in time (err=%lu), hand-off failed",
                  GetLastError());
        return false;
    }
    return true;
}

}  // namespace

bool SendCopyDataHelper(HWND target, const void* record, DWORD recordSize) {
    if (!IsLiveWindow(target)) return false;
    const auto* bytes = static_cast<const uint8_t*>(record);
    return SendNotepadRecord(target, std::vector<uint8_t>(bytes, bytes + recordSize), nullptr);
}

NotepadHandOff HandFileToNotepad(HWND editor, EditorFileForms& file, const bool* stop) {
    if (!IsLiveWindow(editor)) return NotepadHandOff::Failed;
    const bool notepad3 = file.profile().handOff.method == HandOffMethod::Notepad3Record;
    const wchar_t* caller = notepad3 ? L"SendFileToNotepad3" : L"SendFileToNotepad4";
    std::vector<uint8_t> record;
    try {
        const std::wstring recordPath = file.For(PathRoute::Record);
        if (recordPath.empty()) return NotepadHandOff::Failed;
        record =
            BuildNotepadParamRecord(recordPath, notepad3 ? NotepadFamily::Notepad3 : NotepadFamily::Notepad4);
    } catch (const std::bad_alloc&) {
        return NotepadHandOff::Failed;
    }
    HWND scintilla = FirstScintillaOf(editor);
    if (scintilla) {
        const NotepadHandOff prepared = PrepareScintilla(caller, scintilla, stop);
        if (prepared != NotepadHandOff::Sent) return prepared;
    }
    return SendNotepadRecord(editor, std::move(record), stop) ? NotepadHandOff::Sent : NotepadHandOff::Failed;
}

bool SendFileToNotepad3(HWND editor, const wchar_t* path) {
    if (!path) return false;
    EditorFileForms file(kNotepad3Profile, path);
    return HandFileToNotepad(editor, file) == NotepadHandOff::Sent;
}

bool SendFileToNotepad4(HWND editor, const wchar_t* path) {
    if (!path) return false;
    EditorFileForms file(kNotepad4Profile, path);
    return HandFileToNotepad(editor, file) == NotepadHandOff::Sent;
}

bool SendFileToNotepadPP(HWND editor, const wchar_t* path, const bool* stop) {
    if (!IsLiveWindow(editor) || !path) return false;
    std::shared_ptr<CopyDataBlock> block = MakeCopyData(kNotepadPPCopyDataId, BuildNotepadPPRecord(path));
    LogPrintf(L"[SendFileToNotepadPP] SendFileToNotepadPP: file=%ls cbData=%lu hwnd=%p", path,
              static_cast<unsigned long>(block->data.cbData), editor);
    if (!SendCopyData(editor, 0, std::move(block), stop)) {
        LogPrintf(L"[SendFileToNotepadPP] SendFileToNotepadPP: no reply in time (err=%lu), hand-off failed",
                  GetLastError());
        return false;
    }
    return true;
}

bool SendFileToEmEditor(HWND editor, const wchar_t* path, const bool* stop) {
    return IsLiveWindow(editor) && HandFileToEmEditor(editor, path, stop);
}

// The window is not asked about again: each question to the window server is a good part of what a
// hand-off costs, and a window gone meanwhile only fails the send.
bool HandFileToEmEditor(HWND editor, const wchar_t* path, const bool* stop) {
    if (IsEmpty(path)) return false;
    LRESULT reply = 0;
    const bool answered =
        SendCopyData(editor, reinterpret_cast<WPARAM>(editor),
                     MakeCopyData(kEmEditorCopyDataId, BuildEmEditorRecord(path)), stop, &reply);
    LogPrintf(L"[SendFileToEmEditor] SendFileToEmEditor: WM_COPYDATA to 0x%p file=%ls result=%lld", editor,
              path, static_cast<long long>(reply));
    if (!answered) {
        LogPrintf(L"[SendFileToEmEditor] SendFileToEmEditor: no reply in time (err=%lu)", GetLastError());
        return false;
    }
    return reply != 0;
}

bool SendFileByDrop(HWND editor, const wchar_t* path) {
    return IsLiveWindow(editor) && HandFileByDrop(editor, path);
}

bool HandFileByDrop(HWND editor, const wchar_t* path) {
    if (IsEmpty(path)) return false;
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
