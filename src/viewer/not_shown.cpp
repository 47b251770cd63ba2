#include "viewer/not_shown.h"

#include <cwchar>
#include <string>

#include "common/text.h"
#include "common/window_data.h"
#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "embed/child_window.h"
#include "embed/editor_holder.h"
#include "embed/editor_file_path.h"
#include "embed/editor_shutdown.h"
#include "embed/reparent.h"
#include "log/log.h"
#include "viewer/loading_text.h"
#include "viewer/start_failure.h"

namespace {

void ShowPaneNote(HWND viewer, ViewerState& state, const std::wstring& note) {
    state.paneNote = note;
    if (state.closing || !IsWindow(viewer)) return;
    DrawPaneNote(viewer, note);
    InvalidateRect(viewer, nullptr, TRUE);
}

// The group that claims the file, as the user wrote it in the first row of that group.
std::wstring GroupOfFile(const wchar_t* path) {
    const wchar_t* dot = path ? wcsrchr(path, L'.') : nullptr;
    if (!dot) return std::wstring();
    ConfigLockGuard lock;
    auto group = pluginConfig.extToGroup.find(LowerCased(dot + 1));
    if (group == pluginConfig.extToGroup.end()) return std::wstring();
    for (const GroupMapping& row : pluginConfig.mappings) {
        if (LowerCased(row.group) == group->second) return row.group;
    }
    return group->second;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool RefuseMissingFile(HWND viewer, ViewerState& state, const wchar_t* path) {
    if (!FileIsMissing(path)) return false;
    LogPrintf(L"[LoadFile] file not found, no editor started: [%ls]", path);
    KillChild(state);
    ShowPaneNote(viewer, state, std::wstring(L"File not found: ") + path);
    return true;
}

bool RefuseExpandedName(HWND viewer, ViewerState& state, EditorFileForms& file) {
    if (file.HasReadableForm()) return false;
    const wchar_t* path = file.path().c_str();
    LogPrintf(
        L"[LoadFile] the editor would read %%...%% in this name as a variable and no short form "
        L"avoids it: not shown [%ls]",
        path);
    KillChild(state);
    ShowPaneNote(viewer, state,
                 L"Not shown: this editor would read the %...% in the file name as a variable");
    return true;
}

bool GiveBackAskingEditor(HWND viewer, ViewerState& state, DWORD editorThread) {
    if (!IsLiveWindow(state.editor.window) || state.editor.processId == 0) return false;
    if (!ShowsModalQuestion(state.editor.window, editorThread)) return false;
    LogWrite(
        L"[LoadFile] the editor answered the hand-off with a window of its own: given back to the desktop "
        L"with it, no new editor started\r\n");
    ReleaseAskingChild(state);
    ShowPaneNote(viewer, state, L"The editor asks a question: it is back on the desktop, answer it there");
    return true;
}

void ReportNotOpened(HWND viewer, ViewerState& state, const EditorProfile& profile) {
    LogPrintf(L"[LoadFile] %ls could not open the file: return 0", profile.name);
    KillChild(state);
    ShowPaneNote(viewer, state, std::wstring(profile.name) + L" could not open this file");
}

void ReportNotOpenedByEmbedded(HWND viewer, ViewerState& state, const EditorProfile& profile) {
    LogPrintf(L"[LoadFile] %ls could not open the file: return 0, the editor stays for the next file",
              profile.name);
    ShowWindowAsync(state.editor.window, SW_HIDE);
    ShowPaneNote(viewer, state, std::wstring(profile.name) + L" could not open this file");
}

bool RefuseUnopenablePath(HWND viewer, ViewerState& state, const EditorProfile& profile,
                          const std::wstring& editorPath, const wchar_t* path) {
    const size_t units = wcslen(path);
    if (profile.path.capacity == 0 || profile.path.shortensLongPaths || units < profile.path.capacity)
        return false;
    LogPrintf(L"[LoadFile] %ls opens no path of %zu units or more: not shown, nothing started [%ls]",
              profile.name, profile.path.capacity, path);
    if (IsLiveWindow(state.editor.window) && state.editor.path == editorPath) {
        ReportNotOpenedByEmbedded(viewer, state, profile);
        return true;
    }
    KillChild(state);
    ShowPaneNote(viewer, state, std::wstring(profile.name) + L" could not open this file");
    return true;
}

void ShowEditorAgain(HWND viewer, ViewerState& state) {
    HWND editor = state.editor.window;
    // Its own style: the viewer itself may be hidden.
    if (!IsLiveWindow(editor) || (GetWindowLongPtrW(editor, GWL_STYLE) & WS_VISIBLE)) return;
    const HWND parent = EmbeddingParentOf(viewer);
    if (GetAncestor(editor, GA_PARENT) == parent) {
        ShowWindowAsync(editor, SW_SHOWNA);
        return;
    }
    state.embedding = StartEmbedAgain(parent, editor, *state.editor.profile);
}

bool ClearPaneNote(HWND viewer, ViewerState& state) {
    if (state.paneNote.empty()) return false;
    state.paneNote.clear();
    if (IsWindow(viewer)) InvalidateRect(viewer, nullptr, TRUE);
    return true;
}

void ReportLaunchFailure(HWND viewer, ViewerState& state, const std::wstring& editor, const wchar_t* path) {
    if (state.startError == 0) {
        ClearLoadingText(viewer);
        return;
    }
    // The system answers "access denied" for a folder.
    const DWORD why = IsFolder(editor) ? kErrorPathIsFolder : state.startError;
    const EditorProfile& profile = DetectEditorProfile(editor);
    const std::wstring name = profile.kind == EditorKind::Other ? std::wstring() : std::wstring(profile.name);
    ShowPaneNote(viewer, state, StartFailureNote(name, editor, why, GroupOfFile(path)));
}
