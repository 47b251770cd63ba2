#pragma once
// Private copies of an editor's settings: the editor started for a preview reads the user's
// settings from the copy and saves into it at exit, so the user's own stay as they were.

#include <string>

// This user's folder of private copies (and of what is owed to the user's own settings).
std::wstring PrivateSettingsRoot();

// Eight hex digits that name a path (any case) shortly and stably.
std::wstring ShortNameOf(const std::wstring& source);

// The folder that holds the copy of the settings at source for the editor named name, under this
// user's temporary folder; one per source, so that two installations do not share one.
std::wstring PrivateSettingsFolder(const wchar_t* name, const std::wstring& source);

// Makes privateFolder a fresh copy of the .xml files Notepad++ keeps in folder (its own, and those
// of its userDefineLangs, themes and functionList folders) but session.xml, removing the copies of
// files that are gone. False when the folder or a file could not be written (the error is in
// GetLastError()).
bool RefreshFolderCopy(const std::wstring& folder, const std::wstring& privateFolder);

// Makes privateIni a fresh copy of ini; an empty file when ini is empty or does not exist (the
// editor then starts with its defaults). False when it could not be written.
bool RefreshFileCopy(const std::wstring& ini, const std::wstring& privateIni);
