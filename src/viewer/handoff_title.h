#pragma once
// What an editor's window title says about its shown document, as Notepad++ writes it:
// "[*]<full path> - Notepad++" (a leading '*' while modified), or only the file name when the
// user chose short titles. Pure functions of the texts.

#include <string>

// True when the title names path (letter case ignored): it begins with the full path, or, in a
// title without a folder, with the file name; either followed by a blank or the end.
bool TitleNamesFile(const std::wstring& title, const std::wstring& path);
// True when the title marks the shown document as modified.
bool TitleMarksModified(const std::wstring& title);
