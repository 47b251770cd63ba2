#include "editor_settings/recent_files.h"

#include <windows.h>

#include <algorithm>

#include "common/text.h"

namespace {

constexpr wchar_t kRecentFilesSection[] = L"Recent Files";
// Notepad4 keeps at most a few dozen entries of at most MAX_PATH units each.
constexpr DWORD kSectionCapacity = 65536;
constexpr DWORD kLongPathCapacity = 32768;

bool ContainsNoCase(const std::vector<std::wstring>& list, const std::wstring& item) {
    const std::wstring wanted = LowerCased(item);
    return std::any_of(list.begin(), list.end(),
                       [&](const std::wstring& have) { return LowerCased(have) == wanted; });
}

std::vector<std::wstring> ReadSectionValues(const std::wstring& iniPath) {
    std::vector<wchar_t> buffer(kSectionCapacity, L'\0');
    const DWORD units =
        GetPrivateProfileSectionW(kRecentFilesSection, buffer.data(), kSectionCapacity, iniPath.c_str());
    std::vector<std::wstring> values;
    for (DWORD at = 0; at < units && buffer[at] != L'\0';) {
        const std::wstring line(&buffer[at]);
        at += static_cast<DWORD>(line.size()) + 1;
        const size_t equals = line.find(L'=');
        if (equals != std::wstring::npos && equals + 1 < line.size())
            values.push_back(line.substr(equals + 1));
    }
    return values;
}

bool WriteSectionValues(const std::wstring& iniPath, const std::vector<std::wstring>& values) {
    std::wstring section;
    for (size_t i = 0; i < values.size(); ++i) {
        wchar_t key[16] = {};
        wsprintfW(key, L"%02u=", static_cast<unsigned>(i + 1));
        section += key + values[i];
        section.push_back(L'\0');
    }
    section.push_back(L'\0');
    return WritePrivateProfileSectionW(kRecentFilesSection, section.c_str(), iniPath.c_str()) != FALSE;
}

// The file an entry or a shown path names, in one form: full, long, lower-cased.
std::wstring FileKey(const std::wstring& path, const std::wstring& exeFolder) {
    std::wstring full = path;
    if (IsRelativePath(path) && !exeFolder.empty()) full = JoinedPath(exeFolder, path);
    std::vector<wchar_t> buffer(kLongPathCapacity, L'\0');
    if (GetFullPathNameW(full.c_str(), kLongPathCapacity, buffer.data(), nullptr)) full = buffer.data();
    if (GetLongPathNameW(full.c_str(), buffer.data(), kLongPathCapacity)) full = buffer.data();
    return LowerCased(full);
}

}  // namespace

RecentFilesGuard SnapshotRecentFiles(const std::wstring& iniPath, const std::wstring& exeFolder) {
    RecentFilesGuard guard;
    guard.iniPath = iniPath;
    guard.exeFolder = exeFolder;
    guard.entries = ReadSectionValues(iniPath);
    return guard;
}

std::vector<std::wstring> RestoredRecentList(const std::vector<std::wstring>& before,
                                             const std::vector<std::wstring>& now,
                                             const std::vector<bool>& shownAndNew) {
    std::vector<std::wstring> kept;
    for (size_t i = 0; i < now.size(); ++i) {
        if (i >= shownAndNew.size() || !shownAndNew[i]) kept.push_back(now[i]);
    }
    const bool onlyTheUsers = std::all_of(
        kept.begin(), kept.end(), [&](const std::wstring& entry) { return ContainsNoCase(before, entry); });
    if (onlyTheUsers) return before;
    const size_t capacity = std::max(before.size(), now.size());
    for (const std::wstring& entry : before) {
        if (kept.size() >= capacity) break;
        if (!ContainsNoCase(kept, entry)) kept.push_back(entry);
    }
    return kept;
}

RecentFilesRestore RestoreRecentFiles(const RecentFilesGuard& guard,
                                      const std::vector<std::wstring>& shownFiles) {
    RecentFilesRestore outcome;
    if (guard.iniPath.empty() || shownFiles.empty()) return outcome;
    std::vector<std::wstring> shownKeys;
    for (const std::wstring& file : shownFiles) shownKeys.push_back(FileKey(file, std::wstring()));
    const std::vector<std::wstring> now = ReadSectionValues(guard.iniPath);
    std::vector<bool> shownAndNew(now.size(), false);
    for (size_t i = 0; i < now.size(); ++i) {
        shownAndNew[i] = !ContainsNoCase(guard.entries, now[i]) &&
                         ContainsNoCase(shownKeys, FileKey(now[i], guard.exeFolder));
        if (shownAndNew[i]) ++outcome.takenOut;
    }
    const std::vector<std::wstring> restored = RestoredRecentList(guard.entries, now, shownAndNew);
    if (restored != now) outcome.written = WriteSectionValues(guard.iniPath, restored);
    return outcome;
}
