#include "viewer/handoff_title.h"

#include <cwctype>

namespace {

std::wstring Folded(const std::wstring& text) {
    std::wstring folded(text);
    for (wchar_t& unit : folded) unit = static_cast<wchar_t>(towlower(unit));
    return folded;
}

bool BeginsWithName(const std::wstring& title, const std::wstring& name) {
    if (name.empty() || title.compare(0, name.size(), name) != 0) return false;
    return title.size() == name.size() || title[name.size()] == L' ';
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool TitleNamesFile(const std::wstring& title, const std::wstring& path) {
    std::wstring shown = Folded(title);
    if (TitleMarksModified(shown)) shown.erase(0, 1);
    const std::wstring wanted = Folded(path);
    if (BeginsWithName(shown, wanted)) return true;
    return shown.find(L'\\') == std::wstring::npos && BeginsWithName(shown, FileNameOf(wanted));
}

bool TitleMarksModified(const std::wstring& title) {
    return !title.empty() && title[0] == L'*';
}
