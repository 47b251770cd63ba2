#include <windows.h>

#include "common/module_instance.h"
#include "config/config_lock.h"
#include "embed/editor_registry.h"
#include "embed/exit_guard.h"
#include "log/log.h"
#include "viewer/loading_text.h"
#include "viewer/standalone_container.h"
#include "viewer/viewer_window.h"

#if defined(__GLIBCXX__)
// libstdc++ keeps an emergency pool for exceptions thrown when memory runs out (about 74 KB),
// allocated when the module starts; only this function gives it back.
namespace __gnu_cxx {
void __freeres();
}
#endif

namespace {

// What a FreeLibrary must give back so that repeated reloads leave nothing that grows.
void ReleaseModuleResources() {
    ReleaseStandaloneContainer();
    UnregisterViewerClass();
    ReleaseConfigLock();
    ReleaseEditorRegistry();
    StandDownExitGuard();
    LogClose();
#if defined(__GLIBCXX__)
    __gnu_cxx::__freeres();
#endif
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        DeleteLoadingFont();
        // Only on FreeLibrary: at process exit another thread may have died holding a lock, and the
        // system closes the process's handles anyway.
        if (!reserved) {
            ReleaseModuleResources();
        } else {
            // The host exits without having closed its viewers: their windows go with it, and an
            // editor inside one would run on without a window (and with the user's work). The guard
            // gives the editors back from outside; nothing here calls into another process's window.
            LogEnterProcessExit();
            HandExitToGuard();
        }
    }
    return TRUE;
}
