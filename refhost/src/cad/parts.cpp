// Parts of a model by name and by click: a graphic's name and path, the graphics a name
// stands for, and the part under a pixel, found by the host's facet picking through each
// part's own cached hierarchy.
#include "display_records.h"
#include "korvex/cad.h"
#include "korvex/drawing.h"

#include <algorithm>
#include <limits>

namespace korvex::cad {

namespace {

GraphicRecord* modelRoot(KvScene* scene) {
    DrawingStruct* d = kvSceneDrawing(scene);
    return d ? static_cast<GraphicRecord*>(DrawingGetModelRoot(d)) : nullptr;
}

// Visits every graphic below `g` with its path ("a_1/b_2"), parents first.
template <class Visit> void walkPaths(GraphicRecord& g, const std::string& prefix, Visit visit) {
    for (GraphicRecord* child : g.children) {
        if (!child) continue;
        const std::string path = prefix + kvGraphicName(child);
        visit(*child, path);
        walkPaths(*child, path + "/", visit);
    }
}

bool pathEndsWith(const std::string& path, const std::string& name) {
    if (path.size() < name.size() || path.compare(path.size() - name.size(), name.size(), name))
        return false;
    return path.size() == name.size() || path[path.size() - name.size() - 1] == '/';
}

// The nearest mesh of the tree along a line, meshes placed by `toWorld` and their matrices.
class PartSearch {
  public:
    PartSearch(const DrawingRecord& drawing, const SightLine& line)
        : drawing_(drawing), line_(line) {}

    void walk(GraphicRecord& g, const MatrixStruct& toWorld) {
        if (!layerShown(&drawing_, g.layer)) return;
        const MatrixStruct placed = compose(toWorld, ownMatrix(g));
        if (g.kind == GraphicKindMesh) {
            const double t = nearestFacetAlong(g, placed, line_, 0);
            if (t >= 0 && t < t_) t_ = t, found_ = &g;
        }
        for (GraphicRecord* child : g.children)
            if (child) walk(*child, placed);
    }
    GraphicRecord* found() const { return found_; }

  private:
    const DrawingRecord& drawing_;
    SightLine line_;
    double t_ = std::numeric_limits<double>::max();
    GraphicRecord* found_ = nullptr;
};

// A parallel view shows what lies behind its eye too: its line starts far in front.
SightLine pickLine(const ViewportRecord& vp, double px, double py) {
    SightLine line = sightLineThroughPixel(vp, px, py);
    if (!vp.perspective) line.origin = line.origin - line.direction * 1e6;
    return line;
}

} // namespace

} // namespace korvex::cad

using namespace korvex;
using namespace korvex::cad;

std::string kvGraphicName(const GraphicStruct* g) {
    if (!g) return {};
    for (const CustomProperty& p : propertiesOf(*static_cast<const GraphicRecord*>(g)))
        if (p.isText && p.name == L"Name") return utf8FromWide(p.text);
    return {};
}

std::string kvScenePartPath(KvScene* scene, const GraphicStruct* g) {
    return answerOrFail<std::string>({}, [&]() -> std::string {
        GraphicRecord* root = scene ? modelRoot(scene) : nullptr;
        std::string found;
        if (root && g)
            walkPaths(*root, "", [&](GraphicRecord& each, const std::string& path) {
                if (&each == g) found = path;
            });
        return found;
    });
}

std::vector<GraphicStruct*> kvSceneFindParts(KvScene* scene, const char* name) {
    return answerOrFail<std::vector<GraphicStruct*>>({}, [&]() -> std::vector<GraphicStruct*> {
        GraphicRecord* root = scene ? modelRoot(scene) : nullptr;
        std::vector<GraphicStruct*> found;
        if (!root || !name || !*name) return found;
        walkPaths(*root, "", [&](GraphicRecord& each, const std::string& path) {
            if (pathEndsWith(path, name)) found.push_back(&each);
        });
        return found;
    });
}

int kvSceneSelectByName(KvScene* scene, const char* name, int add, std::string* reason) {
    return answerOrFail<int>(0, [&]() -> int {
        if (!scene || !name) return 0;
        const std::vector<GraphicStruct*> found = kvSceneFindParts(scene, name);
        if (found.size() != 1) {
            if (reason && found.empty()) *reason = "no part is named \"" + std::string(name) + "\"";
            if (reason && found.size() > 1)
                *reason = std::to_string(found.size()) + " parts are named \"" + name +
                          "\"; name one by its path, e.g. \"" + kvScenePartPath(scene, found[0]) +
                          "\"";
            return 0;
        }
        // Clearing keeps the selection's room: selecting after it can fail only on a selection
        // that was empty, and then leaves it empty, as it was.
        if (!add) kvSceneClearSelection(scene);
        if (kvSceneSelect(scene, found[0], 1)) return 1;
        if (reason) *reason = "out of memory";
        return 0;
    });
}

GraphicStruct* kvScenePickPart(KvScene* scene, ViewportStruct* vp, double px, double py) {
    return answerOrFail<GraphicStruct*>(nullptr, [&]() -> GraphicStruct* {
        GraphicRecord* root = scene ? modelRoot(scene) : nullptr;
        if (!root || !vp) return nullptr;
        const auto& drawing = *static_cast<const DrawingRecord*>(kvSceneDrawing(scene));
        PartSearch search(drawing, pickLine(*asViewport(vp), px, py));
        for (GraphicRecord* child : root->children)
            if (child) search.walk(*child, identityMatrix());
        return search.found();
    });
}

GraphicStruct* kvSceneClickSelect(KvScene* scene, ViewportStruct* vp, double px, double py,
                                  int add) {
    GraphicStruct* part = kvScenePickPart(scene, vp, px, py);
    if (!scene) return nullptr;
    if (!add) {
        kvSceneClearSelection(scene);
        return part && kvSceneSelect(scene, part, 1) ? part : nullptr;
    }
    if (!part) return nullptr;
    const std::vector<GraphicStruct*> selected = kvSceneSelection(scene);
    const bool was = std::find(selected.begin(), selected.end(), part) != selected.end();
    return kvSceneSelect(scene, part, was ? 0 : 1) ? part : nullptr;
}
