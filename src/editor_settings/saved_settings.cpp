#include "editor_settings/saved_settings.h"

#include <windows.h>

#include <cwctype>

#include "common/handles.h"
#include "common/text.h"
#include "editor_settings/ini_text.h"
#include "editor_settings/private_copy.h"
#include "editor_settings/settings_places.h"
#include "log/log.h"

namespace {

// Two viewers on two threads may start the same editor at once: one copy is made at a time.
SRWLOCK copyLock = SRWLOCK_INIT;

// Notepad3 reads a switch by its first letter after '/' or '-'.
bool IsNotepad3IniSwitch(const std::wstring& token) {
    return token.size() >= 2 && (token[0] == L'/' || token[0] == L'-') && std::towlower(token[1]) == L'f';
}

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// The switch that points the editor at its copy, once the copy is fresh; none (and the editor saves
// into the user's own, as it would without the plug-in) when it could not be made.
SavedSettingsPlan PlanForCopy(const EditorProfile& profile, const std::wstring& users,
                              const std::wstring& copy, bool copied, const wchar_t* switchText) {
    SavedSettingsPlan plan;
    if (!copied) {
        const DWORD error = GetLastError();
        LogPrintf(
            L"[LaunchAndEmbed] no private copy of %ls's settings [%ls], err=%lu: it saves into the user's "
            L"own",
            profile.name, users.c_str(), error);
        return plan;
    }
    LogPrintf(L"[LaunchAndEmbed] %ls saves into a private copy of the user's settings: [%ls] from [%ls]",
              profile.name, copy.c_str(), users.empty() ? L"(none)" : users.c_str());
    plan.switches = switchText + Quoted(copy);
    return plan;
}

SavedSettingsPlan PrivateIni(const EditorProfile& profile, const std::wstring& editorPath) {
    const std::wstring users = Notepad3IniFile(editorPath, ThisUsersFolders());
    const std::wstring folder = PrivateSettingsFolder(profile.name, users.empty() ? editorPath : users);
    const std::wstring copy =
        JoinedPath(folder, users.empty() ? std::wstring(L"Notepad3.ini") : FileNameOf(users));
    ScopedExclusiveLock lock(copyLock);
    const bool copied = !folder.empty() && RefreshFileCopy(users, copy);
    return PlanForCopy(profile, users, copy, copied, L"/f ");
}

SavedSettingsPlan PrivateFolder(const EditorProfile& profile, const std::wstring& editorPath) {
    const std::wstring users = NotepadPPSettingsFolder(editorPath, ThisUsersFolders());
    const std::wstring folder = PrivateSettingsFolder(profile.name, users);
    ScopedExclusiveLock lock(copyLock);
    const bool copied = !folder.empty() && RefreshFolderCopy(users, folder);
    return PlanForCopy(profile, users, folder, copied, L"-settingsDir=");
}

// A maximized Notepad4 shows itself maximized on the desktop before anything can embed it: it is
// started at the user's own normal placement, and maximized again in its settings afterwards.
std::wstring NormalPlacementSwitch(const OwedPutBack& owed) {
    const RECT& r = owed.normal;
    if (!owed.maximized || r.right <= r.left || r.bottom <= r.top) return std::wstring();
    wchar_t text[96] = {};
    wsprintfW(text, L"/p %ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

SavedSettingsPlan RecentFilesPutBack(const EditorProfile& profile, const std::wstring& editorPath) {
    SavedSettingsPlan plan;
    const std::wstring ini = Notepad4IniFile(editorPath, ThisUsersFolders());
    plan.putBack = PreparePutBack(ini, FolderOf(editorPath));
    LogPrintf(L"[LaunchAndEmbed] %ls's recent files in [%ls] (%zu entries) are put back once it has ended",
              profile.name, ini.c_str(), plan.putBack.before.size());
    plan.switches = NormalPlacementSwitch(plan.putBack);
    if (!plan.switches.empty())
        LogPrintf(
            L"[LaunchAndEmbed] %ls's window is maximized in its settings: started at the user's normal placement "
            L"(%ls), maximized again in its settings once it has ended",
            profile.name, plan.switches.c_str());
    return plan;
}

}  // namespace

bool ClosesToTray(const EditorProfile& profile, const std::wstring& editorPath) {
    if (profile.traySetting != TraySetting::Notepad4MinimizeToTray) return false;
    const std::wstring ini = ReadTextFile(Notepad4IniFile(editorPath, ThisUsersFolders()));
    return IniValue(ini, L"Settings", L"MinimizeToTray") == L"1";
}

bool ParamsNameSettings(SavedSettings savedSettings, const std::wstring& params) {
    if (savedSettings == SavedSettings::PrivateFolderSwitch)
        return params.find(L"-settingsDir=") != std::wstring::npos;
    if (savedSettings != SavedSettings::PrivateIniSwitch) return false;
    size_t start = 0;
    while (start < params.size()) {
        const size_t end = params.find_first_of(L" \t", start);
        const std::wstring token =
            params.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (IsNotepad3IniSwitch(token)) return true;
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return false;
}

SavedSettingsPlan PrepareSavedSettings(const EditorProfile& profile, const std::wstring& editorPath,
                                       const std::wstring& editorParams) {
    if (profile.savedSettings == SavedSettings::Shared) return SavedSettingsPlan();
    if (ParamsNameSettings(profile.savedSettings, editorParams)) {
        LogPrintf(L"[LaunchAndEmbed] the editor parameters name %ls's settings: left as they are",
                  profile.name);
        return SavedSettingsPlan();
    }
    switch (profile.savedSettings) {
        case SavedSettings::PrivateIniSwitch:
            return PrivateIni(profile, editorPath);
        case SavedSettings::PrivateFolderSwitch:
            return PrivateFolder(profile, editorPath);
        case SavedSettings::RecentFilesRestored:
            return RecentFilesPutBack(profile, editorPath);
        case SavedSettings::Shared:
            break;
    }
    return SavedSettingsPlan();
}
