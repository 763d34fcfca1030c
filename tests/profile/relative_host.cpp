// A host started with a relative library path (LD_LIBRARY_PATH=lib from the build folder)
// that changes directory before its first control: the known profiles must still load.
// Exits 0 when they do.
#include "korvex/session.h"
#include "korvex/view.h"
#include "tiller/tiller.h"

#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>

int main() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&kvSceneNew), &info) || !info.dli_fname ||
        info.dli_fname[0] == '/') {
        std::fprintf(stderr, "the host library was not loaded by a relative path\n");
        return 2;
    }
    if (chdir("/") != 0) return 2;
    KvScene* scene = kvSceneNew();
    kvViewportCreate(kvSceneDrawing(scene), 800, 600);
    GControl* control =
        dbGCtrlCreate("UniversalCtrl.qvw", "relative", kvSceneDrawing(scene), kvSelectionExtents);
    const bool loaded =
        control && dbGCtrlToString(control).find("GCtrlProfiles") != std::string::npos;
    dbDisposeGCtrlManager();
    kvSceneDispose(&scene);
    if (!loaded) std::fprintf(stderr, "no profile after changing directory\n");
    return loaded ? 0 : 1;
}
