#pragma once
// The form of a file path an editor is given on its command line and in a hand-off.

#include <string>

#include "editors/editor_profile.h"

// True when the editor cannot take path as it is and takes its short form instead.
bool NeedsShortPath(const EditorProfile& profile, const std::wstring& path);
// path, or for an editor that needs it, its short (8.3) form when the volume has one and it fits;
// otherwise path as it is, with a log line that says why.
std::wstring EditorFilePath(const EditorProfile& profile, const std::wstring& path);
