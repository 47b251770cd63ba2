#include "embed/command_line.h"

namespace {

const wchar_t* SwitchText(EditorKind kind) {
    switch (kind) {
        case EditorKind::NotepadPlusPlus:
            return L" -multiInst -nosession";
        case EditorKind::EverEdit:
            return L" -i";
        case EditorKind::EmEditor:
            return L" /sp";
        case EditorKind::Notepad3:
        case EditorKind::Notepad4:
            // A window of this process only: without it, the user's "reuse window" or "single file
            // instance" setting makes the new process hand the file to the user's own window and exit.
            return L" /n";
        case EditorKind::Other:
            break;
    }
    return L"";
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

}  // namespace

std::wstring BuildEditorCommandLine(EditorKind kind, const std::wstring& editorPath,
                                    const std::wstring& editorParams, const std::wstring& filePath) {
    std::wstring commandLine = L"\"" + editorPath + L"\"" + SwitchText(kind);
    if (!editorParams.empty()) commandLine += L" " + editorParams;
    commandLine += L" \"" + filePath + L"\"";
    return commandLine;
}

bool IsAbsolutePath(const std::wstring& path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) return true;
    return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

bool UsesHookCapture(EditorKind kind) {
    return kind == EditorKind::Notepad3 || kind == EditorKind::Notepad4 ||
           kind == EditorKind::NotepadPlusPlus;
}
