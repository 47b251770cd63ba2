#include "viewer/handoff_title.h"

#include "common/text.h"

namespace {

constexpr wchar_t kAppSuffix[] = L" - notepad++";  // lower-cased, as the title is compared
constexpr wchar_t kAdminSuffix[] = L" [administrator]";
constexpr wchar_t kAdditionSeparator[] = L" - ";

bool HasAt(const std::wstring& text, size_t at, const std::wstring& part) {
    return text.compare(at, part.size(), part) == 0;
}

// What may follow " - Notepad++": nothing, the elevation mark, then optionally " - <addition>".
bool IsNotepadPPTail(const std::wstring& title, size_t at) {
    if (HasAt(title, at, kAdminSuffix)) at += std::wstring(kAdminSuffix).size();
    return at == title.size() || HasAt(title, at, kAdditionSeparator);
}

bool NamesExactly(const std::wstring& shown, const std::wstring& name) {
    if (name.empty() || !HasAt(shown, 0, name) || !HasAt(shown, name.size(), kAppSuffix)) return false;
    return IsNotepadPPTail(shown, name.size() + std::wstring(kAppSuffix).size());
}

}  // namespace

bool TitleNamesFile(const std::wstring& title, const std::wstring& path) {
    std::wstring shown = LowerCased(title);
    if (TitleMarksModified(shown)) shown.erase(0, 1);
    const std::wstring wanted = LowerCased(path);
    return NamesExactly(shown, wanted) || NamesExactly(shown, FileNameOf(wanted));
}

bool TitleMarksModified(const std::wstring& title) {
    return !title.empty() && title[0] == L'*';
}
