#include "config/config_refresh.h"

#include "config/config_lock.h"

// Placeholders until the settings land.
std::wstring configPath;

void LocateConfigPath() {}
void RefreshConfiguration() {}
std::wstring CurrentConfigPath() {
    ConfigLockGuard lock;
    return configPath;
}
