#include "embed/command_line.h"

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

}  // namespace

std::wstring BuildEditorCommandLine(const EditorProfile& profile, const std::wstring& editorPath,
                                    const std::wstring& editorParams, const std::wstring& filePath) {
    std::wstring commandLine = L"\"" + editorPath + L"\"" + profile.switches;
    if (!editorParams.empty()) commandLine += L" " + editorParams;
    // No file: an editor started ready, before the first file of its group.
    if (!filePath.empty()) commandLine += L" \"" + filePath + L"\"";
    return commandLine;
}

bool IsAbsolutePath(const std::wstring& path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) return true;
    return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}
