#pragma once
// Rules the two dialogs apply to what the user typed, free of windows so they are tested directly.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "config/plugin_config.h"

// The host's load buffer holds 8192 units with the terminator; a text that fills it counts as cut.
constexpr size_t kMaxMappingTextUnits = 8190;
// The most the host's 2048-byte load buffer returns of editorParams.
constexpr size_t kMaxEditorParamsUnits = 1023;

// Whether text may be given to the file-open dialog as its initial file: empty, starting with a
// backslash, or with a colon as second character.
bool IsWindowsPath(const std::wstring& text);

// A TAB, CR or LF inside a field would split the stored row.
bool HasRowSeparator(const std::wstring& field);

using ResolveFn = std::function<std::wstring(const std::wstring& typedPath)>;
using FileExistsFn = std::function<bool(const std::wstring& path)>;

// The rows whose editor path, resolved, names no file (a relative path names none), in table order.
std::vector<size_t> MissingEditorRows(const std::vector<GroupMapping>& rows, const ResolveFn& resolve,
                                      const FileExistsFn& fileExists);

// What OK asks before it saves such rows: each one's group and resolved path on a line of its own.
std::wstring MissingEditorsQuestion(const std::vector<GroupMapping>& rows, const std::vector<size_t>& missing,
                                    const ResolveFn& resolve);
