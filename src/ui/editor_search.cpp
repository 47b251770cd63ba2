#include "ui/editor_search.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

#include "common/text.h"
#include "config/plugin_config.h"
#include "editors/editor_profile.h"
#include "embed/command_line.h"

namespace {

// The order the list shows them in.
constexpr EditorKind kSearchedKinds[] = {EditorKind::Notepad4, EditorKind::Notepad3,
                                         EditorKind::NotepadPlusPlus, EditorKind::EverEdit,
                                         EditorKind::EmEditor};

// The installers and the portable archives name the folder and the file after the editor.
std::wstring FileNameFor(EditorKind kind) {
    return std::wstring(ProfileOf(kind).name) + L".exe";
}

int RankOf(EditorKind kind) {
    for (int i = 0; i < static_cast<int>(std::size(kSearchedKinds)); ++i) {
        if (kSearchedKinds[i] == kind) return i;
    }
    return static_cast<int>(std::size(kSearchedKinds));
}

bool IsSearchedEditor(const std::wstring& path) {
    return RankOf(DetectEditorKind(path)) < static_cast<int>(std::size(kSearchedKinds));
}

bool IsNetworkPath(const std::wstring& path) {
    return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\' && path.compare(0, 4, L"\\\\?\\") != 0;
}

void AddRegisteredFile(const std::wstring& value, std::vector<std::wstring>& candidates) {
    std::wstring file = RegisteredFilePath(value);
    if (IsSearchedEditor(file)) candidates.push_back(file);
}

void AddInstalledProgram(const InstalledProgram& program, std::vector<std::wstring>& candidates) {
    AddRegisteredFile(program.displayIcon, candidates);
    const std::wstring folder = RegisteredFilePath(program.installLocation);
    const std::wstring name = LowerCased(program.displayName);
    for (EditorKind kind : kSearchedKinds) {
        if (!folder.empty() && name.find(LowerCased(ProfileOf(kind).name)) != std::wstring::npos)
            candidates.push_back(JoinedPath(folder, FileNameFor(kind)));
    }
}

}  // namespace

std::wstring RegisteredFilePath(const std::wstring& value) {
    std::wstring text = Trim(value);
    if (!text.empty() && text[0] == L'"') {
        const size_t close = text.find(L'"', 1);
        return close == std::wstring::npos ? text.substr(1) : text.substr(1, close - 1);
    }
    const size_t comma = text.rfind(L',');
    if (comma == std::wstring::npos) return text;
    size_t digit = comma + 1;
    if (digit < text.size() && text[digit] == L'-') ++digit;
    const bool index = digit < text.size() &&
                       std::all_of(text.begin() + digit, text.end(), [](wchar_t unit) { return iswdigit(unit); });
    return index ? Trim(text.substr(0, comma)) : text;
}

std::vector<std::wstring> EditorCandidates(const EditorSearchPlaces& places) {
    std::vector<std::wstring> candidates;
    for (const std::wstring& value : places.appPaths) AddRegisteredFile(value, candidates);
    for (const InstalledProgram& program : places.programs) AddInstalledProgram(program, candidates);
    for (const std::wstring& folder : places.programFolders) {
        for (EditorKind kind : kSearchedKinds)
            candidates.push_back(JoinedPath(JoinedPath(folder, ProfileOf(kind).name), FileNameFor(kind)));
    }
    for (const std::wstring& entry : places.pathFolders) {
        const std::wstring folder = RegisteredFilePath(entry);
        for (EditorKind kind : kSearchedKinds) candidates.push_back(JoinedPath(folder, FileNameFor(kind)));
    }
    return candidates;
}

std::vector<FoundEditor> FindEditors(const EditorSearchPlaces& places,
                                     const std::function<bool(const std::wstring& path)>& fileExists) {
    std::vector<FoundEditor> found;
    std::vector<std::wstring> seen;
    for (const std::wstring& candidate : EditorCandidates(places)) {
        if (!IsAbsolutePath(candidate) || IsNetworkPath(candidate)) continue;
        const std::wstring key = LowerCased(candidate);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        if (fileExists(candidate)) found.push_back({DetectEditorProfile(candidate).name, candidate});
    }
    std::stable_sort(found.begin(), found.end(), [](const FoundEditor& a, const FoundEditor& b) {
        return RankOf(DetectEditorKind(a.path)) < RankOf(DetectEditorKind(b.path));
    });
    return found;
}
