#include "config/config_lock.h"

#include <windows.h>

namespace {

INIT_ONCE configLockOnce = INIT_ONCE_STATIC_INIT;
CRITICAL_SECTION configLock;
bool configLockCreated = false;

BOOL CALLBACK InitConfigLock(PINIT_ONCE, PVOID, PVOID*) noexcept {
    InitializeCriticalSection(&configLock);
    configLockCreated = true;
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

void ReleaseConfigLock() {
    if (!configLockCreated) return;
    DeleteCriticalSection(&configLock);
    configLockCreated = false;
    InitOnceInitialize(&configLockOnce);
}
