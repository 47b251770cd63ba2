#pragma once
// Reading the settings files editors keep: whole files in whatever encoding the editor wrote them,
// and one value of an ini file without the profile functions, which read only ANSI and UTF-16.

#include <string>

// The file's text: UTF-16 LE after its byte-order mark, else UTF-8 (with or without its mark).
// Empty when the file cannot be read.
std::wstring ReadTextFile(const std::wstring& path);

// The value of key in [section] of an ini text (names compared without case, spaces around names
// and values dropped); empty when there is none.
std::wstring IniValue(const std::wstring& iniText, const std::wstring& section, const std::wstring& key);
