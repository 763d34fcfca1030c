// A host that found its libraries through a relative path (LD_LIBRARY_PATH=lib in the build
// folder) and changed directory before its first control: the known profiles still load.
#include "korvex/session.h"
#include "korvex/view.h"
#include "tiller/tiller.h"

#include <dlfcn.h>
#include <unistd.h>

int main() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&kvSceneNew), &info) || info.dli_fname[0] == '/')
        return 2; // loaded by an absolute path: nothing to prove
    if (chdir("/") != 0) return 2;
    KvScene* scene = kvSceneNew();
    kvViewportCreate(kvSceneDrawing(scene), 800, 600);
    const bool loaded = dbGCtrlCreate("UniversalCtrl.qvw", "c", kvSceneDrawing(scene),
                                      kvSelectionExtents) != nullptr;
    dbDisposeGCtrlManager();
    kvSceneDispose(&scene);
    return loaded ? 0 : 1;
}
