#include "editor_settings/settings_places.h"

#include <windows.h>
// after windows.h, which it needs
#include <shlobj.h>

#include "common/text.h"
#include "editor_settings/ini_text.h"

namespace {

// Notepad3 follows an administrator's redirection to the user's, and that to a custom one.
constexpr int kNotepad3Redirections = 2;
constexpr DWORD kExpandedCapacity = 32768;

// SHGetFolderPath, not SHGetKnownFolderPath: the latter's buffer would need ole32 to free.
std::wstring KnownFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return std::wstring();
    return path;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return !prefix.empty() && text.size() >= prefix.size() &&
           LowerCased(text.substr(0, prefix.size())) == LowerCased(prefix);
}

std::wstring Expanded(const std::wstring& text) {
    std::wstring expanded(kExpandedCapacity, L'\0');
    const DWORD units = ExpandEnvironmentStringsW(text.c_str(), &expanded[0], kExpandedCapacity);
    if (units == 0 || units > kExpandedCapacity) return text;
    expanded.resize(units - 1);
    return expanded;
}

// Notepad3's search for an ini it is told of: expanded, taken from its own folder when relative;
// when no such file exists, a file of that name in %APPDATA%\Rizonesoft\Notepad3 or the profile.
std::wstring FoundNotepad3Ini(const std::wstring& named, const std::wstring& exeFolder,
                              const UserFolders& folders) {
    std::wstring path = Expanded(named);
    if (IsRelativePath(path)) path = JoinedPath(exeFolder, path);
    if (IsFile(path)) return path;
    const std::wstring name = FileNameOf(path);
    if (!folders.roamingAppData.empty()) {
        const std::wstring roaming =
            JoinedPath(JoinedPath(JoinedPath(folders.roamingAppData, L"Rizonesoft"), L"Notepad3"), name);
        if (IsFile(roaming)) return roaming;
    }
    if (!folders.profile.empty() && IsFile(JoinedPath(folders.profile, name)))
        return JoinedPath(folders.profile, name);
    return std::wstring();
}

std::wstring WithoutExtension(const std::wstring& fileName) {
    const size_t dot = fileName.rfind(L'.');
    return dot == std::wstring::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace

UserFolders ThisUsersFolders() {
    UserFolders folders;
    folders.roamingAppData = KnownFolder(CSIDL_APPDATA);
    folders.localAppData = KnownFolder(CSIDL_LOCAL_APPDATA);
    folders.profile = KnownFolder(CSIDL_PROFILE);
    folders.programFiles = KnownFolder(CSIDL_PROGRAM_FILES);
    folders.documents = KnownFolder(CSIDL_PERSONAL);
    return folders;
}

std::wstring Notepad4IniFile(const std::wstring& exePath, const UserFolders& folders) {
    const bool installed = StartsWithNoCase(exePath, L"C:\\Program Files") ||
                           exePath.find(L"WinGet") != std::wstring::npos ||
                           exePath.find(L"hocolatey") != std::wstring::npos;
    if (installed && !folders.localAppData.empty())
        return JoinedPath(JoinedPath(folders.localAppData, L"Notepad4"), L"Notepad4.ini");
    return JoinedPath(FolderOf(exePath), L"Notepad4.ini");
}

std::wstring Notepad3IniFile(const std::wstring& exePath, const UserFolders& folders) {
    const std::wstring exeFolder = FolderOf(exePath);
    std::wstring ini = FoundNotepad3Ini(WithoutExtension(FileNameOf(exePath)) + L".ini", exeFolder, folders);
    if (ini.empty()) ini = FoundNotepad3Ini(L"Notepad3.ini", exeFolder, folders);
    if (ini.empty()) return std::wstring();
    for (int redirection = 0; redirection < kNotepad3Redirections; ++redirection) {
        const std::wstring target = IniValue(ReadTextFile(ini), L"Notepad3", L"Notepad3.ini");
        if (target.empty()) break;
        const std::wstring found = FoundNotepad3Ini(target, exeFolder, folders);
        if (found.empty()) {
            // Notepad3 creates a redirection's missing target and keeps its settings there.
            std::wstring created = Expanded(target);
            return IsRelativePath(created) ? JoinedPath(exeFolder, created) : created;
        }
        ini = found;
    }
    return ini;
}

std::wstring NotepadPPSettingsFolder(const std::wstring& exePath, const UserFolders& folders) {
    const std::wstring exeFolder = FolderOf(exePath);
    const bool inProgramFiles =
        !folders.programFiles.empty() && LowerCased(FolderOf(exeFolder)) == LowerCased(folders.programFiles);
    std::wstring folder = exeFolder;
    if (!IsFile(JoinedPath(exeFolder, L"doLocalConf.xml")) || inProgramFiles)
        folder = JoinedPath(folders.roamingAppData, L"Notepad++");
    std::wstring cloud = ReadTextFile(JoinedPath(JoinedPath(folder, L"cloud"), L"choice"));
    while (!cloud.empty() && (cloud.back() == L'\r' || cloud.back() == L'\n' || cloud.back() == L'\0'))
        cloud.pop_back();
    if (!cloud.empty() && IsFolder(cloud)) return cloud;
    return folder;
}
