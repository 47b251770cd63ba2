#pragma once
// The host may enter the exports from several threads. This one process-wide lock serialises
// the settings refresh with the lookups that follow it, and every other short read or write of
// pluginConfig and configPath. It is never held across a wait or a message dispatch. It is
// re-entrant, so a holder may call code that takes it again.

class ConfigLockGuard {
public:
    ConfigLockGuard();
    ~ConfigLockGuard();
    ConfigLockGuard(const ConfigLockGuard&) = delete;
    ConfigLockGuard& operator=(const ConfigLockGuard&) = delete;
};

// Deletes the lock at unload (FreeLibrary), when no thread of the host runs the plug-in's code.
void ReleaseConfigLock();
