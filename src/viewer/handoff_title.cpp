#include "viewer/handoff_title.h"

#include "common/text.h"

namespace {

bool BeginsWithName(const std::wstring& title, const std::wstring& name) {
    if (name.empty() || title.compare(0, name.size(), name) != 0) return false;
    return title.size() == name.size() || title[name.size()] == L' ';
}

}  // namespace

bool TitleNamesFile(const std::wstring& title, const std::wstring& path) {
    std::wstring shown = LowerCased(title);
    if (TitleMarksModified(shown)) shown.erase(0, 1);
    const std::wstring wanted = LowerCased(path);
    if (BeginsWithName(shown, wanted)) return true;
    return shown.find(L'\\') == std::wstring::npos && BeginsWithName(shown, FileNameOf(wanted));
}

bool TitleMarksModified(const std::wstring& title) {
    return !title.empty() && title[0] == L'*';
}
