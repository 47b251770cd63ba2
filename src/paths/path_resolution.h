#pragma once
// Turning a typed editor path into an executable path. Plain standard C++: the system look-ups
// come in as functions, so that the rules are tested directly.

#include <functional>
#include <string>

constexpr int kMaxAliasPasses = 20;
constexpr unsigned long kEnvExpansionCapacityUnits = 32767;
constexpr unsigned long kModulePathCapacityUnits = 260;
// No Windows path is longer; an alias that refers to itself would otherwise grow the path for
// every pass.
constexpr size_t kMaxResolvedPathUnits = 32767;

struct PathLookups {
    std::function<std::wstring(const std::wstring& text)> expandEnvVars;
    // Empty unless the name is a built-in alias the system can answer.
    std::function<std::wstring(const std::wstring& lowerCaseName)> hostHomeFolder;
    // Null when the alias table has no such name.
    std::function<const std::wstring*(const std::wstring& lowerCaseName)> findAlias;
};

// The system call's shape: source, destination, destination capacity; returns the units
// written including the terminator, 0 on failure, or a larger number when it did not fit.
using ExpandFn = std::function<unsigned long(const wchar_t* source, wchar_t* destination, unsigned long capacity)>;

// One pair of double quotes around the whole text removed; a quote at one end only stays.
std::wstring StripSurroundingQuotes(const std::wstring& text);

// Expands the text with expand, or returns it unchanged when there is nothing to expand or the
// expansion failed or would not fit.
std::wstring ExpandEnvVarsWith(const std::wstring& text, const ExpandFn& expand);

// Replaces a leading "/name" (home first, then the alias table) for at most 20 passes. Stops as
// soon as the path passes kMaxResolvedPathUnits: the result is then empty and tooLong is set.
std::wstring ResolveAliasPrefix(const std::wstring& path, const PathLookups& lookups,
                                bool* tooLong = nullptr);

// Quotes, then environment variables, then the alias prefix.
std::wstring ResolveEditorPathWith(const std::wstring& typedPath, const PathLookups& lookups,
                                   bool* tooLong = nullptr);

// The host's folder from what the module-path query wrote (buffer) and returned (result):
// empty when the query failed or the path did not fit.
std::wstring HostFolderFromModulePath(const wchar_t* buffer, unsigned long result);
