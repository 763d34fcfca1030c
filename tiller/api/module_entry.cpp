// The module's load and unload hooks: trace the start and the stop, and hold the resource
// library the host's resource look-ups search (the resource extension when there is one, else
// this module itself).
#include "tiller/host/plinth.h"
#include "tiller/host/tracery.h"

#include <dlfcn.h>

namespace {

void* moduleHandle = nullptr;
void* resourceHandle = nullptr;

bool TracingOn() {
    return QVDebugGetEnable() || QVRWDebugGetEnable();
}

// This module's dlopen handle. The extra reference dlopen takes is dropped again at once, so
// that the module can still be unloaded; the handle stays valid while it is loaded.
void* OwnModuleHandle() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&OwnModuleHandle), &info) || !info.dli_fname)
        return nullptr;
    void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle;
}

__attribute__((constructor)) void AttachModule() {
    if (TracingOn()) QVDebugTraceEx("TILLER", 27, "Tiller.DLL Initializing!\n");
    moduleHandle = OwnModuleHandle();
    resourceHandle = qvLoadResExtDLL(moduleHandle, false);
    if (!resourceHandle) resourceHandle = moduleHandle;
}

__attribute__((destructor)) void DetachModule() {
    if (TracingOn()) QVDebugTraceEx("TILLER", 66, "Tiller.DLL Terminating!\n");
    if (resourceHandle != moduleHandle) qvFreeResExtDLL(resourceHandle);
    resourceHandle = nullptr;
}

} // namespace
