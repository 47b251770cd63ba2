#pragma once

#include <string>

// Editor families; the values are ordered and compared by their users.
enum class EditorKind : int {
    Other = 0,
    Notepad3 = 1,
    Notepad4 = 2,
    NotepadPlusPlus = 3,
    EverEdit = 4,
    EmEditor = 5,
};

// Classifies an editor by the file name of its path (A-Z folded, exact comparison).
EditorKind DetectEditorKind(const std::wstring& editorPath);
