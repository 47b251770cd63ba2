#pragma once
// Rules the two dialogs apply to what the user typed, free of windows so they are tested directly.

#include <cstddef>
#include <string>

// The host's load buffer holds 8192 units with the terminator; a text that fills it counts as cut.
constexpr size_t kMaxMappingTextUnits = 8190;
// The most the host's 2048-byte load buffer returns of editorParams.
constexpr size_t kMaxEditorParamsUnits = 1023;

// Whether text may be given to the file-open dialog as its initial file: empty, starting with a
// backslash, or with a colon as second character.
bool IsWindowsPath(const std::wstring& text);

// A TAB, CR or LF inside a field would split the stored row.
bool HasRowSeparator(const std::wstring& field);
