#pragma once
// What an editor's window title says about its shown document, as Notepad++ writes it:
// "[*]<full path> - Notepad++[ [Administrator]][ - <title addition>]" (a leading '*' while
// modified, the bracket when it runs elevated, the addition from its -titleAdd switch), or only
// the file name in place of the path when the user chose short titles. Pure functions of the texts.

#include <string>

// True when the title names path (letter case ignored): the full path, or the file name alone,
// followed by exactly " - Notepad++" and what Notepad++ may add after it.
bool TitleNamesFile(const std::wstring& title, const std::wstring& path);
// True when the title marks the shown document as modified.
bool TitleMarksModified(const std::wstring& title);
