#pragma once
// Where the editors keep the settings they save at exit, found by each editor's own rules, so
// that a preview can keep its saves out of them.

#include <string>

// The known folders those rules name, of the user the host runs as.
struct UserFolders {
    std::wstring roamingAppData;  // %APPDATA%
    std::wstring localAppData;    // %LOCALAPPDATA%
    std::wstring profile;         // %USERPROFILE%
    std::wstring programFiles;    // the 64-bit Program Files folder
    std::wstring documents;       // Documents
};

UserFolders ThisUsersFolders();

// Notepad4.ini: %LOCALAPPDATA%\Notepad4 for an installed Notepad4 (under C:\Program Files, or put
// there by WinGet or Chocolatey), else beside notepad4.exe.
std::wstring Notepad4IniFile(const std::wstring& exePath, const UserFolders& folders);

// The ini Notepad3 reads without "/f": <exe name>.ini or Notepad3.ini, beside the exe or else in
// %APPDATA%\Rizonesoft\Notepad3 or the profile folder, then up to two redirections by the
// "Notepad3.ini" entry of its [Notepad3] section. Empty when there is none: Notepad3 then saves
// nothing.
std::wstring Notepad3IniFile(const std::wstring& exePath, const UserFolders& folders);

// Notepad++'s settings folder: the exe's folder when doLocalConf.xml lies there (and the exe is not
// in Program Files), else %APPDATA%\Notepad++; a "cloud\choice" file there names another folder.
std::wstring NotepadPPSettingsFolder(const std::wstring& exePath, const UserFolders& folders);
