#pragma once
// Reading the host's alias file. Each failure writes its one log line.

#include <string>

// Logs the "loading" line, then reads and decodes the file at path into text.
bool ReadAliasFile(const std::wstring& path, std::wstring& text);

// Asks the host where its configuration lives and reads the alias file beside it.
bool ReadHostAliasText(std::wstring& text);
