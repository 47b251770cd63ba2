#pragma once
// Why an editor could not be started, in words the pane can show. Free of windows: tested directly.

#include <windows.h>

#include <string>

// ERROR_DIRECTORY_NOT_SUPPORTED, which not every SDK defines: told for a path that names a folder,
// where the system answers only "access denied".
constexpr DWORD kErrorPathIsFolder = 336;

// The reason for a start that failed with this system error code, as the end of a sentence.
std::wstring StartFailureReason(DWORD error);

// The pane's lines (LF between them): which editor did not start and why, then what to do.
// editorName is the family's name, or empty for any other program; group is the group of the file.
std::wstring StartFailureNote(const std::wstring& editorName, const std::wstring& editorPath, DWORD error,
                              const std::wstring& group);
