#include "embed/launch.h"

#include <vector>

#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "editor_settings/saved_settings.h"
#include "embed/capture_hook.h"
#include "embed/command_line.h"
#include "embed/editor_file_path.h"
#include "embed/editor_registry.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

constexpr DWORD kEditorCreationFlags =
    CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | CREATE_DEFAULT_ERROR_MODE;
static_assert(kEditorCreationFlags == 0x04000404, "the editor starts suspended with a wide environment");

std::wstring EditorParams() {
    ConfigLockGuard lock;
    return pluginConfig.editorParams;
}

void CollectExistingFrames(const wchar_t* frameClass, ViewerState& state) {
    state.preexistingWindows.clear();
    WindowClassCollection collection;
    collection.className = frameClass;
    collection.windows = &state.preexistingWindows;
    EnumWindows(CollectWindowsOfClass, reinterpret_cast<LPARAM>(&collection));
}

std::wstring WithSettingsSwitches(const SavedSettingsPlan& plan, const std::wstring& params) {
    if (plan.switches.empty() || params.empty()) return plan.switches + params;
    return plan.switches + L" " + params;
}

bool StartEditorProcess(const std::wstring& editorPath, std::vector<wchar_t>& commandLine,
                        PROCESS_INFORMATION& info) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    return CreateProcessW(editorPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          kEditorCreationFlags, nullptr, nullptr, &startup, &info) != FALSE;
}

// A relative path would be looked up from whatever the host's current directory happens to be.
bool RefuseRelativeEditorPath(const std::wstring& editorPath) {
    if (IsAbsolutePath(editorPath)) return false;
    LogPrintf(L"[LaunchAndEmbed] editor path is not absolute, not started: [%ls]", editorPath.c_str());
    return true;
}

}  // namespace

bool LaunchAndEmbed(HWND viewer, ViewerState& state, const EditorProfile& profile,
                    const std::wstring& editorPath, const std::wstring& filePath, EditorFileForms* file) {
    LogPrintf(L"[LaunchAndEmbed] exePath=[%ls] filePath=[%ls]", editorPath.c_str(), filePath.c_str());
    state.startError = 0;
    if (RefuseRelativeEditorPath(editorPath)) {
        state.startError = ERROR_BAD_PATHNAME;
        return false;
    }
    state.focusBeforeEmbedding = nullptr;
    const bool hookCapture = profile.capture.method == CaptureMethod::Hook;
    HookCaptureClaim claim(hookCapture);
    if (!claim.granted()) {
        LogWrite(L"[LaunchAndEmbed] another window capture is in progress, launch refused\r\n");
        return false;
    }
    // No file: an editor started ready, before the first file of its group.
    const std::wstring fileArgument =
        filePath.empty() ? std::wstring()
        : file           ? file->For(PathRoute::CommandLine)
                         : EditorFilePath(profile, filePath, PathRoute::CommandLine);
    if (fileArgument.empty() && !filePath.empty()) return false;
    const std::wstring params = EditorParams();
    const SavedSettingsPlan settings = PrepareSavedSettings(profile, editorPath, params);
    std::wstring text =
        BuildEditorCommandLine(profile, editorPath, WithSettingsSwitches(settings, params), fileArgument);
    std::vector<wchar_t> commandLine(text.begin(), text.end());
    commandLine.push_back(L'\0');
    if (profile.capture.collectsExistingFrames) CollectExistingFrames(profile.capture.windowClass, state);

    PROCESS_INFORMATION info = {};
    if (!StartEditorProcess(editorPath, commandLine, info)) {
        DWORD error = GetLastError();
        LogPrintf(L"[LaunchAndEmbed] CreateProcessW FAILED, err=%lu (0x%08X)", error, error);
        state.startError = error;
        return false;
    }
    LogPrintf(L"[LaunchAndEmbed] CreateProcessW OK, pid=%lu (suspended)", info.dwProcessId);
    state.editor = StartedEditor();
    state.editor.process.reset(info.hProcess);
    state.editor.thread.reset(info.hThread);
    state.editor.processId = info.dwProcessId;
    state.editor.path = editorPath;
    state.editor.profile = &profile;
    AdvanceStage(state.editor, EditorStage::Starting);
    state.currentFile = filePath;

    // Tracked from its start: a host that exits during the capture must not leave it behind either.
    TrackEditor(state.editor.process.get(), state.editor.processId, nullptr, DesktopLook(), profile);
    if (!settings.putBack.iniPath.empty()) {
        state.editor.putBack = settings.putBack;
        if (!OwePutBack(state.editor.putBack, state.editor.process.get(), state.editor.processId))
            LogPrintf(L"[LaunchAndEmbed] what pid=%lu owes [%ls] could not be recorded, err=%lu", state.editor.processId,
                      state.editor.putBack.iniPath.c_str(), GetLastError());
        NoteShownInPutBack(state.editor.putBack, filePath);
    }
    bool embedded = false;
    if (hookCapture) {
        embedded = CaptureWithHook(viewer, state);
    } else {
        ResumeThread(state.editor.thread.get());
        embedded = LaunchAndEmbedGeneric(viewer, state);
    }
    if (embedded) AdvanceStage(state.editor, EditorStage::Embedded);
    if (embedded && state.editor.process)
        TrackEditor(state.editor.process.get(), state.editor.processId, state.editor.window, state.editor.desktopLook, profile);
    return embedded;
}
