#include "embed/editor_file_path.h"

#include <windows.h>

#include <vector>

#include "log/log.h"

namespace {

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
constexpr size_t kLongPrefixLength = 4;
constexpr size_t kLongUncPrefixLength = 8;

bool StartsWith(const std::wstring& text, const wchar_t* prefix, size_t length) {
    return text.compare(0, length, prefix) == 0;
}

// A path this long is reached only through the \\?\ form.
std::wstring ExtendedForm(const std::wstring& path) {
    if (StartsWith(path, kLongPrefix, kLongPrefixLength)) return path;
    if (StartsWith(path, L"\\\\", 2)) return kLongUncPrefix + path.substr(2);
    return kLongPrefix + path;
}

// Back to the form the caller gave: the prefix goes again unless the caller had it.
std::wstring CallerForm(const std::wstring& original, const std::wstring& result) {
    if (StartsWith(original, kLongPrefix, kLongPrefixLength)) return result;
    if (StartsWith(result, kLongUncPrefix, kLongUncPrefixLength))
        return L"\\\\" + result.substr(kLongUncPrefixLength);
    if (StartsWith(result, kLongPrefix, kLongPrefixLength)) return result.substr(kLongPrefixLength);
    return result;
}

// Empty when the volume gives no short form.
std::wstring ShortForm(const std::wstring& path) {
    const std::wstring extended = ExtendedForm(path);
    const DWORD needed = GetShortPathNameW(extended.c_str(), nullptr, 0);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    const DWORD written = GetShortPathNameW(extended.c_str(), buffer.data(), needed + 1);
    if (written == 0 || written > needed) return std::wstring();
    return CallerForm(path, std::wstring(buffer.data(), written));
}

}  // namespace

bool NeedsShortPath(const EditorProfile& profile, const std::wstring& path) {
    return profile.path.shortensLongPaths && path.size() >= profile.path.capacity;
}

std::wstring EditorFilePath(const EditorProfile& profile, const std::wstring& path) {
    if (!NeedsShortPath(profile, path)) return path;
    const std::wstring shortPath = ShortForm(path);
    if (shortPath.empty()) {
        LogPrintf(L"[EditorFilePath] no short form of a path of %zu units (err=%lu), passed as it is: [%ls]",
                  path.size(), GetLastError(), path.c_str());
        return path;
    }
    if (shortPath.size() >= profile.path.capacity) {
        LogPrintf(L"[EditorFilePath] short form still %zu units long, passed as it is: [%ls]",
                  shortPath.size(), path.c_str());
        return path;
    }
    LogPrintf(L"[EditorFilePath] path of %zu units passed in its short form [%ls]", path.size(),
              shortPath.c_str());
    return shortPath;
}
