#include "editor_settings/private_copy.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/handles.h"
#include "common/text.h"

namespace {

// The folders of Notepad++'s settings folder that hold settings; its backup folder holds copies of
// the user's documents, not settings, and its plugins folder is not redirected.
const wchar_t* const kCopiedSubfolders[] = {L"", L"userDefineLangs", L"themes", L"functionList"};
constexpr wchar_t kPrivateRoot[] = L"velloquin-settings";

class FindHandle {
   public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    HANDLE get() const { return handle_; }

   private:
    HANDLE handle_;
};

// The names of the .xml files directly in folder.
std::vector<std::wstring> XmlFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    FindHandle search(FindFirstFileW(JoinedPath(folder, L"*.xml").c_str(), &found));
    if (search.get() == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search.get(), &found));
    return names;
}

bool EnsureFolder(const std::wstring& folder) {
    if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
    return GetLastError() == ERROR_ALREADY_EXISTS;
}

bool CopySubfolder(const std::wstring& from, const std::wstring& to) {
    if (!EnsureFolder(to)) return false;
    const std::vector<std::wstring> wanted = XmlFilesIn(from);
    for (const std::wstring& name : XmlFilesIn(to)) {
        bool stillThere = false;
        for (const std::wstring& have : wanted)
            stillThere = stillThere || LowerCased(have) == LowerCased(name);
        if (!stillThere || LowerCased(name) == L"session.xml") DeleteFileW(JoinedPath(to, name).c_str());
    }
    for (const std::wstring& name : wanted) {
        if (LowerCased(name) == L"session.xml") continue;
        if (!CopyFileW(JoinedPath(from, name).c_str(), JoinedPath(to, name).c_str(), FALSE)) return false;
    }
    return true;
}

}  // namespace

// FNV-1a over the lower-cased units.
std::wstring ShortNameOf(const std::wstring& source) {
    uint32_t hash = 2166136261u;
    for (wchar_t unit : LowerCased(source)) {
        hash ^= static_cast<uint32_t>(unit);
        hash *= 16777619u;
    }
    wchar_t text[9] = {};
    wsprintfW(text, L"%08x", hash);
    return text;
}

std::wstring PrivateSettingsRoot() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    return JoinedPath(temp, kPrivateRoot);
}

std::wstring PrivateSettingsFolder(const wchar_t* name, const std::wstring& source) {
    const std::wstring root = PrivateSettingsRoot();
    if (root.empty()) return std::wstring();
    return JoinedPath(root, std::wstring(name) + L"-" + ShortNameOf(source));
}

bool RefreshFolderCopy(const std::wstring& folder, const std::wstring& privateFolder) {
    if (!EnsureFolder(FolderOf(privateFolder)) || !EnsureFolder(privateFolder)) return false;
    for (const wchar_t* subfolder : kCopiedSubfolders) {
        if (!CopySubfolder(JoinedPath(folder, subfolder), JoinedPath(privateFolder, subfolder))) return false;
    }
    return true;
}

bool RefreshFileCopy(const std::wstring& ini, const std::wstring& privateIni) {
    const std::wstring privateFolder = FolderOf(privateIni);
    if (!EnsureFolder(FolderOf(privateFolder)) || !EnsureFolder(privateFolder)) return false;
    if (!ini.empty() && GetFileAttributesW(ini.c_str()) != INVALID_FILE_ATTRIBUTES)
        return CopyFileW(ini.c_str(), privateIni.c_str(), FALSE) != FALSE;
    // Notepad3 looks for a missing ini of that name in the user's own folders: it must exist.
    UniqueHandle file(CreateFileW(privateIni.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}
