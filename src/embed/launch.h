#pragma once
// Starting the editor on a file and embedding its main window into the viewer window.

#include <windows.h>

#include <string>

#include "editor/viewer_state.h"
#include "editors/editor_profile.h"
#include "embed/editor_file_path.h"

// profile is the one of editorPath; it goes into state with the started process. file, when given,
// holds the forms of filePath the load has worked out already.
bool LaunchAndEmbed(HWND viewer, ViewerState& state, const EditorProfile& profile,
                    const std::wstring& editorPath, const std::wstring& filePath,
                    EditorFileForms* file = nullptr);
bool LaunchAndEmbedGeneric(HWND viewer, ViewerState& state);
