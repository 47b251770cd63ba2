#pragma once
// The two functions the host executable exports. Looked up at each use, never cached, and
// only in a dopus.exe that is already loaded: the plug-in never loads the host itself.

#include <windows.h>

// mode 0 loads, 1 saves; header points at the host's settings record. Non-zero is success.
using LoadOrSaveConfigFn = int(WINAPI*)(int mode, void* header);
// kind 0 is the host's configuration folder. Non-zero is success.
using GetConfigPathFn = int(WINAPI*)(int kind, wchar_t* buffer, int capacity);

constexpr wchar_t kHostModuleName[] = L"dopus.exe";

HMODULE FindHostModule();
LoadOrSaveConfigFn FindLoadOrSaveConfig(HMODULE host);
GetConfigPathFn FindGetConfigPath(HMODULE host);
