#pragma once
// The editor's command line and the checks on its path, free of system calls.

#include <string>

#include "editors/editor_profile.h"

// "E"S P "F": the quoted editor path, the kind's switches, a space and editorParams as stored
// (nothing when they are empty), a space and the quoted file path.
std::wstring BuildEditorCommandLine(const EditorProfile& profile, const std::wstring& editorPath,
                                    const std::wstring& editorParams, const std::wstring& filePath);

// True for a path that names one place whatever the current directory and drive are:
// "X:\..." or "X:/...", or a UNC path ("\\server\share...", "\\?\...").
bool IsAbsolutePath(const std::wstring& path);
