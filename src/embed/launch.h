#pragma once
// Starting the editor on a file and embedding its main window into the viewer window.

#include <windows.h>

#include <string>

#include "editor/viewer_state.h"

bool LaunchAndEmbed(HWND viewer, ViewerState& state, const std::wstring& editorPath,
                    const std::wstring& filePath);
bool LaunchAndEmbedGeneric(HWND viewer, ViewerState& state);
