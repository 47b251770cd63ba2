#include "common/text.h"

#include <cwctype>

std::wstring LowerCased(std::wstring text) {
    for (wchar_t& unit : text) unit = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(unit)));
    return text;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(0, separator);
}

std::wstring JoinedPath(const std::wstring& folder, const std::wstring& name) {
    if (name.empty() || folder.empty()) return folder.empty() ? name : folder;
    const wchar_t last = folder.back();
    return (last == L'\\' || last == L'/') ? folder + name : folder + L"\\" + name;
}

bool IsRelativePath(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') return false;
    return path.empty() || (path[0] != L'\\' && path[0] != L'/');
}
