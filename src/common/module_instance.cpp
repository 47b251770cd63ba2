#include "common/module_instance.h"

HINSTANCE moduleInstance = nullptr;

HINSTANCE ModuleInstance() {
    return moduleInstance ? moduleInstance : GetModuleHandleW(nullptr);
}
