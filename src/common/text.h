#pragma once
// Text helpers shared by every layer.

#include <string>

// Each unit through towlower on its own (no pairs, no locale rules beyond the C runtime's).
std::wstring LowerCased(std::wstring text);

// What follows the last '\' or '/' of path; path itself when it has neither.
std::wstring FileNameOf(const std::wstring& path);

// What precedes the last '\' or '/' of path; path itself when it has neither.
std::wstring FolderOf(const std::wstring& path);

// folder and name with one '\' between them; folder alone when name is empty.
std::wstring JoinedPath(const std::wstring& folder, const std::wstring& name);

// True unless path begins with a drive ("C:") or a separator.
bool IsRelativePath(const std::wstring& path);
