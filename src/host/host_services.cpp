#include "host/host_services.h"

HMODULE FindHostModule() {
    return GetModuleHandleW(kHostModuleName);
}

LoadOrSaveConfigFn FindLoadOrSaveConfig(HMODULE host) {
    if (!host) return nullptr;
    return reinterpret_cast<LoadOrSaveConfigFn>(
        reinterpret_cast<void*>(GetProcAddress(host, "LoadOrSaveConfigW")));
}

GetConfigPathFn FindGetConfigPath(HMODULE host) {
    if (!host) return nullptr;
    return reinterpret_cast<GetConfigPathFn>(reinterpret_cast<void*>(GetProcAddress(host, "GetConfigPathW")));
}
