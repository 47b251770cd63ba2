#include "paths/path_resolution.h"

#include <vector>

#include "common/text.h"
#include "paths/alias_scan.h"

std::wstring StripSurroundingQuotes(const std::wstring& text) {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return text.substr(1, text.size() - 2);
    return text;
}

std::wstring ExpandEnvVarsWith(const std::wstring& text, const ExpandFn& expand) {
    if (text.empty() || text.find(L'%') == std::wstring::npos) return text;
    std::vector<wchar_t> buffer(kEnvExpansionCapacityUnits + 1, L'\0');
    unsigned long result = expand(text.c_str(), buffer.data(), kEnvExpansionCapacityUnits);
    if (result < 1 || result > kEnvExpansionCapacityUnits) return text;
    return std::wstring(buffer.data());
}

std::wstring ResolveAliasPrefix(const std::wstring& path, const PathLookups& lookups, bool* tooLong) {
    if (tooLong) *tooLong = false;
    if (path.empty() || path[0] != L'/') return path;
    std::wstring w = path;
    for (int pass = 0; pass < kMaxAliasPasses && !w.empty() && w[0] == L'/'; ++pass) {
        size_t separator = w.find_first_of(L"\\/", 1);
        std::wstring name =
            LowerCased(w.substr(1, separator == std::wstring::npos ? std::wstring::npos : separator - 1));
        std::wstring rest = separator == std::wstring::npos ? std::wstring() : w.substr(separator);
        std::wstring replacement = lookups.hostHomeFolder(name);
        if (replacement.empty()) {
            const std::wstring* folder = lookups.findAlias(name);
            if (!folder) break;
            replacement = *folder;
        }
        if (replacement.size() + rest.size() > kMaxResolvedPathUnits) {
            if (tooLong) *tooLong = true;
            return std::wstring();
        }
        w = replacement + rest;
        if (w.empty()) return w;
    }
    if (w[0] != L'/') {
        for (wchar_t& c : w) {
            if (c == L'/') c = L'\\';
        }
    }
    return w;
}

std::wstring ResolveEditorPathWith(const std::wstring& typedPath, const PathLookups& lookups, bool* tooLong) {
    return ResolveAliasPrefix(lookups.expandEnvVars(StripSurroundingQuotes(typedPath)), lookups, tooLong);
}

std::wstring HostFolderFromModulePath(const wchar_t* buffer, unsigned long result) {
    if (result == 0 || result >= kModulePathCapacityUnits) return std::wstring();
    std::wstring path(buffer, result);
    return FolderOf(path);
}
