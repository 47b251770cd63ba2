#include "ui/installed_editors.h"

#include <windows.h>

#include <string>

#include "common/text.h"
#include "editors/editor_profile.h"
#include "log/log.h"
#include "paths/alias_resolver.h"

namespace {

constexpr wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kUninstallKey32[] = L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr DWORD kMaxKeyNameUnits = 256;
constexpr EditorKind kKinds[] = {EditorKind::Notepad4, EditorKind::Notepad3, EditorKind::NotepadPlusPlus,
                                 EditorKind::EverEdit, EditorKind::EmEditor};

class UniqueKey {
   public:
    UniqueKey(HKEY root, const wchar_t* path) {
        if (RegOpenKeyExW(root, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;
    ~UniqueKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY get() const { return key_; }

   private:
    HKEY key_ = nullptr;
};

// A string value, %VARIABLES% expanded (RRF_RT_REG_SZ takes REG_EXPAND_SZ too, expanded); empty
// when there is none. The expansion may need more than the first answer said: asked once more.
std::wstring ReadString(HKEY key, const wchar_t* subKey, const wchar_t* name) {
    DWORD bytes = 0;
    if (RegGetValueW(key, subKey, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return {};
    for (int attempt = 0; attempt < 2 && bytes > 0; ++attempt) {
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG result = RegGetValueW(key, subKey, name, RRF_RT_REG_SZ, nullptr, &text[0], &bytes);
        if (result == ERROR_SUCCESS) {
            text.resize(wcsnlen(text.c_str(), text.size()));
            return text;
        }
        if (result != ERROR_MORE_DATA) break;
    }
    return {};
}

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value) : std::wstring();
}

std::wstring LongVariable(const wchar_t* name) {
    const DWORD length = GetEnvironmentVariableW(name, nullptr, 0);
    if (length == 0) return std::wstring();
    std::wstring value(length, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], length));
    return value;
}

void AddAppPaths(HKEY root, EditorSearchPlaces& places) {
    for (EditorKind kind : kKinds) {
        const std::wstring key = kAppPathsKey + std::wstring(ProfileOf(kind).fileName);
        std::wstring value = ReadString(root, key.c_str(), nullptr);
        if (!value.empty()) places.appPaths.push_back(value);
    }
}

void AddInstalledPrograms(HKEY root, const wchar_t* path, EditorSearchPlaces& places) {
    UniqueKey uninstall(root, path);
    if (!uninstall.get()) return;
    wchar_t name[kMaxKeyNameUnits];
    for (DWORD index = 0;; ++index) {
        DWORD length = kMaxKeyNameUnits;
        LONG result = RegEnumKeyExW(uninstall.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) break;
        InstalledProgram program;
        program.displayName = ReadString(uninstall.get(), name, L"DisplayName");
        program.installLocation = ReadString(uninstall.get(), name, L"InstallLocation");
        program.displayIcon = ReadString(uninstall.get(), name, L"DisplayIcon");
        if (!program.displayName.empty()) places.programs.push_back(program);
    }
}

void AddFolder(const std::wstring& folder, std::vector<std::wstring>& folders) {
    if (!folder.empty()) folders.push_back(folder);
}

// Portable editors are kept beside the host: in its folder, its viewers folder, or the folder
// that holds the host's own.
void AddHostFolders(EditorSearchPlaces& places) {
    const std::wstring host = GetHostHomeFolder(L"home");
    if (host.empty()) return;
    AddFolder(host, places.programFolders);
    AddFolder(JoinedPath(host, L"viewers"), places.programFolders);
    const std::wstring parent = FolderOf(host);
    if (parent != host) AddFolder(parent, places.programFolders);
    places.pathFolders.push_back(host);
}

void AddPathFolders(EditorSearchPlaces& places) {
    const std::wstring path = LongVariable(L"PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos) end = path.size();
        if (end > start) places.pathFolders.push_back(path.substr(start, end - start));
        start = end + 1;
    }
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

EditorSearchPlaces GatherSearchPlaces() {
    EditorSearchPlaces places;
    AddAppPaths(HKEY_CURRENT_USER, places);
    AddAppPaths(HKEY_LOCAL_MACHINE, places);
    AddInstalledPrograms(HKEY_CURRENT_USER, kUninstallKey, places);
    AddInstalledPrograms(HKEY_LOCAL_MACHINE, kUninstallKey, places);
    AddInstalledPrograms(HKEY_LOCAL_MACHINE, kUninstallKey32, places);
    for (const wchar_t* name : {L"ProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)"})
        AddFolder(Variable(name), places.programFolders);
    const std::wstring local = Variable(L"LOCALAPPDATA");
    if (!local.empty()) AddFolder(JoinedPath(local, L"Programs"), places.programFolders);
    AddHostFolders(places);
    AddPathFolders(places);
    return places;
}

std::vector<FoundEditor> FindInstalledEditors() {
    std::vector<FoundEditor> found = FindEditors(GatherSearchPlaces(), FileExists);
    LogPrintf(L"[FindEditors] %zu supported editors found", found.size());
    for (const FoundEditor& editor : found)
        LogPrintf(L"[FindEditors]   %ls: [%ls]", editor.name.c_str(), editor.path.c_str());
    return found;
}
