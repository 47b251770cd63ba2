#include "editor_settings/recent_files.h"

#include <windows.h>

#include <algorithm>

#include "common/text.h"

namespace {

constexpr wchar_t kRecentFilesSection[] = L"Recent Files";
constexpr wchar_t kMyDocuments[] = L"%CSIDL:MYDOCUMENTS%";
// Notepad4 keeps a few dozen entries of at most MAX_PATH units each.
constexpr DWORD kSectionCapacity = 65536;
constexpr DWORD kLongPathCapacity = 32768;

std::wstring Expanded(const std::wstring& text) {
    std::vector<wchar_t> buffer(kLongPathCapacity, L'\0');
    const DWORD units = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), kLongPathCapacity);
    return units > 0 && units <= kLongPathCapacity ? std::wstring(buffer.data()) : text;
}

// '?' stands for a unit (or a surrogate pair) the ini's code page could not hold.
bool MatchesWithUnknowns(const std::wstring& pattern, const std::wstring& key) {
    size_t at = 0;
    for (wchar_t unit : pattern) {
        if (at >= key.size()) return false;
        if (unit == L'?') {
            at += IS_HIGH_SURROGATE(key[at]) && at + 1 < key.size() ? 2 : 1;
        } else if (unit != key[at++]) {
            return false;
        }
    }
    return at == key.size();
}

bool Contains(const RecentList& keys, const std::wstring& key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

bool NamesShownFile(const std::wstring& key, const RecentList& shownKeys) {
    if (Contains(shownKeys, key)) return true;
    if (key.find(L'?') == std::wstring::npos) return false;
    return std::any_of(shownKeys.begin(), shownKeys.end(),
                       [&](const std::wstring& shown) { return MatchesWithUnknowns(key, shown); });
}

RecentList KeysOf(const RecentList& entries, const RecentEntryFolders& folders) {
    RecentList keys;
    for (const std::wstring& entry : entries) keys.push_back(RecentEntryKey(entry, folders));
    return keys;
}

}  // namespace

std::wstring RecentEntryKey(const std::wstring& entry, const RecentEntryFolders& folders) {
    std::wstring path = entry;
    if (path.size() >= wcslen(kMyDocuments) && LowerCased(path.substr(0, wcslen(kMyDocuments))) ==
                                                   LowerCased(kMyDocuments)) {
        std::wstring rest = path.substr(wcslen(kMyDocuments));
        if (!rest.empty() && (rest[0] == L'\\' || rest[0] == L'/')) rest.erase(0, 1);
        path = JoinedPath(folders.documents, rest);
    }
    path = Expanded(path);
    if (IsRelativePath(path) && !folders.exeFolder.empty()) path = JoinedPath(folders.exeFolder, path);
    std::vector<wchar_t> buffer(kLongPathCapacity, L'\0');
    if (GetFullPathNameW(path.c_str(), kLongPathCapacity, buffer.data(), nullptr)) path = buffer.data();
    if (GetLongPathNameW(path.c_str(), buffer.data(), kLongPathCapacity)) path = buffer.data();
    return LowerCased(path);
}

PutBackList PutBackRecentList(const RecentList& now, const RecentList& before, const RecentList& shownKeys,
                              const RecentEntryFolders& folders) {
    const RecentList nowKeys = KeysOf(now, folders);
    const RecentList beforeKeys = KeysOf(before, folders);
    PutBackList result;
    RecentList keptKeys;
    for (size_t i = 0; i < now.size(); ++i) {
        const std::wstring& key = nowKeys[i];
        if (Contains(beforeKeys, key) || Contains(keptKeys, key)) continue;
        if (NamesShownFile(key, shownKeys)) {
            ++result.takenOut;
            continue;
        }
        if (key.find(L'?') != std::wstring::npos) ++result.unreadable;
        result.list.push_back(now[i]);
        keptKeys.push_back(key);
    }
    // A full list had to let the user's oldest go; one that is not full lost nothing of theirs that
    // someone did not take out on purpose.
    const bool full = now.size() >= kNotepad4RecentCapacity;
    const size_t capacity = std::max(now.size(), kNotepad4RecentCapacity);
    for (size_t i = 0; i < before.size() && result.list.size() < capacity; ++i) {
        const std::wstring& key = beforeKeys[i];
        if (Contains(keptKeys, key) || (!full && !Contains(nowKeys, key))) continue;
        result.list.push_back(before[i]);
        keptKeys.push_back(key);
    }
    return result;
}

RecentList ReadRecentFiles(const std::wstring& iniPath) {
    std::vector<wchar_t> buffer(kSectionCapacity, L'\0');
    const DWORD units =
        GetPrivateProfileSectionW(kRecentFilesSection, buffer.data(), kSectionCapacity, iniPath.c_str());
    RecentList values;
    for (DWORD at = 0; at < units && buffer[at] != L'\0';) {
        const std::wstring line(&buffer[at]);
        at += static_cast<DWORD>(line.size()) + 1;
        const size_t equals = line.find(L'=');
        if (equals != std::wstring::npos && equals + 1 < line.size()) values.push_back(line.substr(equals + 1));
    }
    return values;
}

bool WriteRecentFiles(const std::wstring& iniPath, const RecentList& entries) {
    std::wstring section;
    for (size_t i = 0; i < entries.size(); ++i) {
        wchar_t key[16] = {};
        wsprintfW(key, L"%02u=", static_cast<unsigned>(i + 1));
        section += key + entries[i];
        section.push_back(L'\0');
    }
    section.push_back(L'\0');
    return WritePrivateProfileSectionW(kRecentFilesSection, section.c_str(), iniPath.c_str()) != FALSE;
}

std::wstring Notepad4PositionSection() {
    wchar_t name[96] = {};
    wsprintfW(name, L"Window Position %ix%i", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return name;
}
