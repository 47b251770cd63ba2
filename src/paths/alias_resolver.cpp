#include "paths/alias_resolver.h"

// Placeholders until path resolution lands.
unsigned long AliasResolver::Load() { return 0; }
void AliasResolver::ParseXml(const std::wstring&) {}
std::wstring AliasResolver::ResolvePath(const std::wstring& path) { return path; }
std::wstring ResolveEditorPath(const std::wstring& typedPath) { return typedPath; }
std::wstring ExpandEnvVars(const std::wstring& text) { return text; }
std::wstring GetHostHomeFolder(const std::wstring&) { return std::wstring(); }
