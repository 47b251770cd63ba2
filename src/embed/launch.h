#pragma once
// Starting the editor on a file and embedding its main window into the viewer window.

#include <windows.h>

#include <string>

#include "editor/viewer_state.h"
#include "editors/editor_profile.h"

// profile is the one of editorPath; it goes into state with the started process.
bool LaunchAndEmbed(HWND viewer, ViewerState& state, const EditorProfile& profile,
                    const std::wstring& editorPath, const std::wstring& filePath);
bool LaunchAndEmbedGeneric(HWND viewer, ViewerState& state);
