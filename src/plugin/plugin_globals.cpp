#include "plugin/plugin_globals.h"

HINSTANCE moduleInstance = nullptr;

HINSTANCE ModuleInstance() {
    return moduleInstance ? moduleInstance : GetModuleHandleW(nullptr);
}
