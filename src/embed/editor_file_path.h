#pragma once
// The form of a file path an editor is given on its command line and in a hand-off.

#include <string>

#include "editor/editor_kind.h"

// Notepad3 and Notepad4 copy the path into 260 units and open an empty document for a longer one.
constexpr size_t kNotepadPathCapacity = 260;

// True when the editor of kind cannot take path as it is.
bool NeedsShortPath(EditorKind kind, const std::wstring& path);
// path, or for an editor that needs it, its short (8.3) form when the volume has one and it fits;
// otherwise path as it is, with a log line that says why.
std::wstring EditorFilePath(EditorKind kind, const std::wstring& path);
