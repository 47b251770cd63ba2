#include <windows.h>

#include "common/module_instance.h"
#include "viewer/loading_text.h"
#include "viewer/standalone_container.h"
#include "viewer/viewer_window.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        DeleteLoadingFont();
        // Only on FreeLibrary: at process exit another thread may have died holding a lock.
        if (!reserved) {
            ReleaseStandaloneContainer();
            UnregisterViewerClass();
        }
    }
    return TRUE;
}
