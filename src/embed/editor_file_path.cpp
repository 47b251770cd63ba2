#include "embed/editor_file_path.h"

#include <windows.h>

#include <utility>
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

size_t PathCapacity(const EditorProfile& profile, PathRoute route) {
    return route == PathRoute::CommandLine && profile.path.commandLineCapacity != 0
               ? profile.path.commandLineCapacity
               : profile.path.capacity;
}

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_BAD_PATHNAME || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME ||
           error == ERROR_DIRECTORY;
}

}  // namespace

bool NeedsShortPath(const EditorProfile& profile, const std::wstring& path, PathRoute route) {
    return profile.path.shortensLongPaths && path.size() >= PathCapacity(profile, route);
}

bool MayExpandVariables(const std::wstring& text) {
    const size_t first = text.find(L'%');
    return first != std::wstring::npos && text.find(L'%', first + 1) != std::wstring::npos;
}

bool HasReadableForm(const EditorProfile& profile, const std::wstring& path) {
    return EditorFileForms(profile, path).HasReadableForm();
}

std::wstring EditorFilePath(const EditorProfile& profile, const std::wstring& path, PathRoute route) {
    return EditorFileForms(profile, path).For(route);
}

EditorFileForms::EditorFileForms(const EditorProfile& profile, std::wstring path)
    : profile_(&profile), path_(std::move(path)) {}

const std::wstring& EditorFileForms::ShortForm() {
    if (!shortFormAsked_) {
        shortFormAsked_ = true;
        shortForm_ = ::ShortForm(path_);
        shortFormError_ = shortForm_.empty() ? GetLastError() : ERROR_SUCCESS;
    }
    return shortForm_;
}

// A short form the editor would read as this file; empty when there is none.
std::wstring EditorFileForms::UnexpandableShortForm(size_t capacity) {
    const std::wstring& shortPath = ShortForm();
    if (shortPath.empty() || MayExpandVariables(shortPath) || (capacity != 0 && shortPath.size() >= capacity))
        return std::wstring();
    return shortPath;
}

// Notepad3 and Notepad4 expand %VARIABLES% in the names they are given: %USERNAME%.txt would
// show the user's own file of that name, or offer to create one.
std::wstring EditorFileForms::FormWithoutVariables(PathRoute route) {
    const std::wstring shortPath = UnexpandableShortForm(PathCapacity(*profile_, route));
    if (shortPath.empty()) {
        LogPrintf(
            L"[EditorFilePath] the editor would expand %%...%% in this path and it has no short form "
            L"without: not passed [%ls]",
            path_.c_str());
        return std::wstring();
    }
    LogPrintf(L"[EditorFilePath] path with %%...%% passed in its short form [%ls]", shortPath.c_str());
    return shortPath;
}

bool EditorFileForms::HasReadableForm() {
    if (!profile_->path.expandsVariables || !MayExpandVariables(path_)) return true;
    return !UnexpandableShortForm(PathCapacity(*profile_, PathRoute::CommandLine)).empty();
}

std::wstring EditorFileForms::For(PathRoute route) {
    const EditorProfile& profile = *profile_;
    if (profile.path.expandsVariables && MayExpandVariables(path_)) return FormWithoutVariables(route);
    if (!NeedsShortPath(profile, path_, route)) return path_;
    const std::wstring shortPath = ShortForm();
    if (shortPath.empty()) {
        LogPrintf(L"[EditorFilePath] no short form of a path of %zu units (err=%lu), passed as it is: [%ls]",
                  path_.size(), shortFormError_, path_.c_str());
        return path_;
    }
    if (shortPath.size() >= PathCapacity(profile, route)) {
        LogPrintf(L"[EditorFilePath] short form still %zu units long, passed as it is: [%ls]",
                  shortPath.size(), path_.c_str());
        return path_;
    }
    LogPrintf(L"[EditorFilePath] path of %zu units passed in its short form [%ls]", path_.size(),
              shortPath.c_str());
    return shortPath;
}

bool FileIsMissing(const std::wstring& path) {
    const std::wstring asked = path.size() >= MAX_PATH ? ExtendedForm(path) : path;
    if (GetFileAttributesW(asked.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    return IsMissingError(GetLastError());
}
