#pragma once
// What a preview does so that an editor's saves at exit stay out of the user's own settings: each
// launch is prepared here from the editor's profile.

#include <string>

#include "editor_settings/put_back.h"
#include "editors/editor_profile.h"

struct SavedSettingsPlan {
    std::wstring switches;         // before the user's parameters on the command line; may be empty
    OwedPutBack putBack;           // owed once the editor has started; empty ini: none
};

// Refreshes the private copy the editor is pointed at, or reads the list to put back. The user's
// parameters may name the settings themselves ("/f", "-settingsDir="): they are then left alone.
// A copy that cannot be made leaves the editor with the user's own settings; each case is logged.
SavedSettingsPlan PrepareSavedSettings(const EditorProfile& profile, const std::wstring& editorPath,
                                       const std::wstring& editorParams);

// True when the editor's own settings send it to the tray on WM_CLOSE.
bool ClosesToTray(const EditorProfile& profile, const std::wstring& editorPath);

// True when params hold a Notepad3 "/f" (or "-f") switch, or a Notepad++ "-settingsDir=".
bool ParamsNameSettings(SavedSettings savedSettings, const std::wstring& params);
