// Platform services: the resource-extension loader and screen metrics.
#include "records.h"
#include "tiller/host/plinth.h"

#include <dlfcn.h>
#include <link.h>
#include <string>

namespace {

int screenWidth = 1920;

// The full path of the module behind a dlopen handle; empty when it has none (the main
// program).
std::string modulePath(void* module) {
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    return map->l_name;
}

// "<folder>/libname.res.so" for "<folder>/libname.so", "<path>.res.so" for any other name.
std::string resourceLibraryPath(const std::string& module) {
    const std::string suffix = ".so";
    const bool sharedObject =
        module.size() > suffix.size() &&
        module.compare(module.size() - suffix.size(), suffix.size(), suffix) == 0;
    const std::string stem =
        sharedObject ? module.substr(0, module.size() - suffix.size()) : module;
    return stem + ".res.so";
}

} // namespace

// `module` is a dlopen handle of the module asking. The reference host ships no resource
// extensions, so this answers null unless someone has put one beside the module.
KORVEX_API void* qvLoadResExtDLL(void* module, bool) {
    if (!module) return nullptr;
    const std::string path = modulePath(module);
    if (path.empty()) return nullptr;
    return dlopen(resourceLibraryPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

KORVEX_API void qvFreeResExtDLL(void* library) {
    if (library) dlclose(library);
}

// Index 0 is the screen width; the reference host knows no other metric and answers 0.
KORVEX_API int GetSystemMetrics(int index) {
    return index == 0 ? screenWidth : 0;
}

KORVEX_API void kvSetScreenWidth(int pixels) {
    screenWidth = pixels;
}
