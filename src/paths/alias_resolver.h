#pragma once
// The host's folder aliases ("/home", "/mytools", ...) and the turning of a typed editor path
// into an executable path.

#include <string>

struct AliasResolver {
    // Reads the host's alias file on the first call in the process; returns the alias count.
    static unsigned long Load();
    // Adds the entries found in the decoded alias file text.
    static void ParseXml(const std::wstring& text);
    // Replaces a leading "/alias" of path by its folder.
    static std::wstring ResolvePath(const std::wstring& path);
};

std::wstring ResolveEditorPath(const std::wstring& typedPath);
std::wstring ExpandEnvVars(const std::wstring& text);
std::wstring GetHostHomeFolder(const std::wstring& lowerCaseName);
