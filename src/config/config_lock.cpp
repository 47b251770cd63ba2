#include "config/config_lock.h"

#include <windows.h>

namespace {

INIT_ONCE configLockOnce = INIT_ONCE_STATIC_INIT;
CRITICAL_SECTION configLock;  // lives as long as the process: a host thread may still hold it at unload

BOOL CALLBACK InitConfigLock(PINIT_ONCE, PVOID, PVOID*) noexcept {
    InitializeCriticalSection(&configLock);
    return TRUE;
}

}  // namespace

ConfigLockGuard::ConfigLockGuard() {
    InitOnceExecuteOnce(&configLockOnce, InitConfigLock, nullptr, nullptr);
    EnterCriticalSection(&configLock);
}

ConfigLockGuard::~ConfigLockGuard() {
    LeaveCriticalSection(&configLock);
}
