#pragma once
// Where the host keeps the plug-in's settings file, as shown to the user. Free of Win32.

#include <string>

constexpr size_t kConfigFolderUnits = 260;
constexpr wchar_t kConfigFileName[] = L"velloquin.oxc";
constexpr wchar_t kFallbackConfigPath[] = L"<OPUSPATH_CONFIG>\\velloquin.oxc";

// The host's configuration folder plus the settings file name, with one separator between.
std::wstring ConfigPathInFolder(const std::wstring& folder);
