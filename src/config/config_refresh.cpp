#include "config/config_refresh.h"

#include "config/config_lock.h"
#include "config/config_path.h"
#include "config/plugin_config.h"
#include "host/host_services.h"
#include "log/log.h"
#include "paths/alias_resolver.h"

std::wstring configPath;

namespace {

constexpr int kConfigFolderKind = 0;

bool AskHostForConfigPath(std::wstring& located) {
    GetConfigPathFn getConfigPath = FindGetConfigPath(FindHostModule());
    if (!getConfigPath) return false;
    wchar_t folder[kConfigFolderUnits] = {};
    if (getConfigPath(kConfigFolderKind, folder, static_cast<int>(kConfigFolderUnits)) == 0) return false;
    folder[kConfigFolderUnits - 1] = L'\0';
    located = ConfigPathInFolder(folder);
    return true;
}

}  // namespace

// The host is asked without the config lock (it may marshal the call to a thread that waits for
// the lock); the answer is stored under it, by the first of two threads that asked at once.
void LocateConfigPath() {
    std::wstring located;
    bool fromHost = AskHostForConfigPath(located);
    if (!fromHost) located = kFallbackConfigPath;
    {
        ConfigLockGuard lock;
        if (!configPath.empty()) return;
        configPath = located;
    }
    if (fromHost) {
        LogPrintf(L"[LocateConfigPath] LocateConfigPath: [%ls]", located.c_str());
    } else {
        LogPrintf(L"[LocateConfigPath] LocateConfigPath (fallback): [%ls]", located.c_str());
    }
}

void RefreshConfiguration() {
    if (CurrentConfigPath().empty()) LocateConfigPath();
    // The first alias load asks the host and reads a file, so it too runs before the lock is
    // taken; the index built under the lock then finds the table loaded.
    AliasResolver::Load();
    PluginConfig::Load();
}

std::wstring CurrentConfigPath() {
    ConfigLockGuard lock;
    return configPath;
}
