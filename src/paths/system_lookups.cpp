// The system's answers for path resolution: environment variables and the host's folder.

#include <windows.h>

#include "host/host_services.h"
#include "paths/alias_resolver.h"
#include "paths/path_resolution.h"

std::wstring ExpandEnvVars(const std::wstring& text) {
    return ExpandEnvVarsWith(text, [](const wchar_t* source, wchar_t* destination, unsigned long capacity) {
        return static_cast<unsigned long>(ExpandEnvironmentStringsW(source, destination, capacity));
    });
}

std::wstring GetHostHomeFolder(const std::wstring& lowerCaseName) {
    if (lowerCaseName != L"home") return std::wstring();
    HMODULE host = FindHostModule();
    if (!host) return std::wstring();
    wchar_t path[kModulePathCapacityUnits] = {};
    DWORD result = GetModuleFileNameW(host, path, kModulePathCapacityUnits);
    return HostFolderFromModulePath(path, result);
}
