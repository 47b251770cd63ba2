#include "config/config_refresh.h"

#include "config/config_lock.h"
#include "config/config_path.h"
#include "config/plugin_config.h"
#include "host/host_services.h"
#include "log/log.h"

std::wstring configPath;

namespace {

constexpr int kConfigFolderKind = 0;

bool AskHostForConfigPath() {
    GetConfigPathFn getConfigPath = FindGetConfigPath(FindHostModule());
    if (!getConfigPath) return false;
    wchar_t folder[kConfigFolderUnits] = {};
    if (getConfigPath(kConfigFolderKind, folder, static_cast<int>(kConfigFolderUnits)) == 0) return false;
    folder[kConfigFolderUnits - 1] = L'\0';
    configPath = ConfigPathInFolder(folder);
    return true;
}

}  // namespace

void LocateConfigPath() {
    ConfigLockGuard lock;
    if (AskHostForConfigPath()) {
        LogPrintf(L"[LocateConfigPath] LocateConfigPath: [%ls]", configPath.c_str());
        return;
    }
    configPath = kFallbackConfigPath;
    LogPrintf(L"[LocateConfigPath] LocateConfigPath (fallback): [%ls]", configPath.c_str());
}

void RefreshConfiguration() {
    ConfigLockGuard lock;
    if (configPath.empty()) LocateConfigPath();
    PluginConfig::Load();
}

std::wstring CurrentConfigPath() {
    ConfigLockGuard lock;
    return configPath;
}
