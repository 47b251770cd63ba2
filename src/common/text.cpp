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
