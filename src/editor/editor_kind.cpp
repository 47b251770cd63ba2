#include "editor/editor_kind.h"

#include <cwctype>

EditorKind DetectEditorKind(const std::wstring& editorPath) {
    size_t separator = editorPath.find_last_of(L"\\/");
    std::wstring name = separator == std::wstring::npos ? editorPath : editorPath.substr(separator + 1);
    for (wchar_t& c : name) c = static_cast<wchar_t>(towlower(c));
    static const struct {
        const wchar_t* fileName;
        EditorKind kind;
    } kKnownEditors[] = {
        {L"notepad3.exe", EditorKind::Notepad3},         {L"notepad4.exe", EditorKind::Notepad4},
        {L"notepad++.exe", EditorKind::NotepadPlusPlus}, {L"everedit.exe", EditorKind::EverEdit},
        {L"emeditor.exe", EditorKind::EmEditor},
    };
    for (const auto& known : kKnownEditors) {
        if (name == known.fileName) return known.kind;
    }
    return EditorKind::Other;
}
