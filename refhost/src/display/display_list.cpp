// What a viewport shows, handed to renderers outside the host (the browser viewer): the model
// split into the graphics that draw themselves, each with its matrix into the world, so that a
// moved selection changes matrices only, and geometry converted to the API's records.
#include "display_records.h"
#include "korvex/view.h"

namespace korvex {

namespace {

KvPoint toPoint(Vec3 v) {
    return {v.x, v.y, v.z};
}

bool layerShown(const DrawingRecord& d, int layer) {
    const auto it = d.layerVisible.find(layer);
    return it == d.layerVisible.end() || it->second;
}

void collectPieces(const DrawingRecord& d, GraphicRecord* g, const MatrixStruct& parent,
                   std::vector<KvModelPiece>* out) {
    if (!g || !layerShown(d, g->layer)) return;
    const MatrixStruct world = compose(parent, ownMatrix(*g));
    if (g->kind != GraphicKindGroup) out->push_back({g, world});
    for (GraphicRecord* child : g->children)
        collectPieces(d, child, world, out);
}

} // namespace

void exportGeometry(const Geometry& in, KvGeometry* out) {
    out->triangles.clear();
    out->segments.clear();
    for (const Triangle& t : in.triangles)
        out->triangles.push_back({toPoint(t.a), toPoint(t.b), toPoint(t.c), t.color});
    for (const Segment& s : in.segments)
        out->segments.push_back({toPoint(s.a), toPoint(s.b), s.color});
}

} // namespace korvex

using namespace korvex;

std::vector<KvModelPiece> kvDrawingModelPieces(DrawingStruct* drawing) {
    std::vector<KvModelPiece> pieces;
    auto* d = static_cast<DrawingRecord*>(drawing);
    if (d) collectPieces(*d, d->root, identityMatrix(), &pieces);
    return pieces;
}

int kvGraphicGetGeometry(GraphicStruct* g, KvGeometry* out) {
    if (!g || !out) return 0;
    Geometry geometry;
    collectOwnGeometry(*static_cast<GraphicRecord*>(g), MeshEdges::Contours, &geometry);
    exportGeometry(geometry, out);
    return 1;
}
