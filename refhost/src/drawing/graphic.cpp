// Graphics of the drawing database: the tree of groups, lines, polygons and meshes, their
// vertex lists, matrices, reference points, custom properties and extents.
//
// Index
//   [SECTION] Records
//   [SECTION] Host interface
#include "graphic_records.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace korvex {

// [SECTION] Records -------------------------------------------------------------------------

bool isKnownGraphicKind(int kind) {
    return kind == GraphicKindLine || kind == GraphicKindPolygon || kind == GraphicKindGroup ||
           kind == GraphicKindPick || kind == GraphicKindMesh;
}

bool kindHasVertices(int kind) {
    return kind == GraphicKindLine || kind == GraphicKindPolygon || kind == GraphicKindMesh;
}

bool kindHasFaces(int kind) {
    return kind == GraphicKindMesh;
}

bool kindHasChildren(int kind) {
    return kind == GraphicKindGroup;
}

int minimumVertexCount(int kind) {
    if (kind == GraphicKindLine) return 2;
    if (kind == GraphicKindPolygon) return 3;
    return 0;
}

GraphicRecord* createGraphic(int kind, bool counted) {
    if (!isKnownGraphicKind(kind)) return nullptr;
    GraphicRecord* g = counted ? newRecord<GraphicRecord>(KvGraphic) : new GraphicRecord;
    if (!g) return nullptr;
    g->kind = static_cast<uint8_t>(kind);
    g->flags = GraphicFlagNoParent;
    g->parent = nullptr;
    g->counted = counted;
    return g;
}

void destroyGraphicTree(GraphicRecord* g) {
    if (!g) return;
    for (GraphicRecord* child : g->children)
        destroyGraphicTree(child);
    if (g->counted)
        deleteRecord(KvGraphic, g);
    else
        delete g;
}

void appendChild(GraphicRecord* parent, GraphicRecord* child) {
    parent->children.push_back(child); // first: if it throws, the child is still on its own
    child->parent = parent;
    child->flags &= ~GraphicFlagNoParent;
    noteGeometryChanged(parent, false);
}

void linkVertices(VertexBlock& block) {
    const size_t n = block.size();
    for (size_t i = 0; i < n; ++i) {
        block[i].next = &block[(i + 1) % n];
        block[i].prev = &block[(i + n - 1) % n];
    }
}

// Growing the block may move it: the list is linked anew then.
void appendVertex(GraphicRecord* g, double x, double y, double z) {
    VertexBlock& block = changeableVertices(g);
    const VertexStruct* before = block.data();
    block.push_back({x, y, z, nullptr, nullptr});
    if (block.data() != before || block.size() <= 2) {
        linkVertices(block);
    } else {
        VertexStruct& last = block.back();
        last.prev = &block[block.size() - 2];
        last.next = &block.front();
        last.prev->next = &last;
        block.front().prev = &last;
    }
    noteGeometryChanged(g, false);
}

int vertexCountOf(const GraphicRecord& g) {
    return g.vertices ? static_cast<int>(g.vertices->size()) : 0;
}

const VertexStruct* firstVertexOf(const GraphicRecord& g) {
    return vertexCountOf(g) > 0 ? g.vertices->data() : nullptr;
}

namespace {

template <class T> const T& sharedOrEmpty(const std::shared_ptr<T>& part) {
    static const T empty;
    return part ? *part : empty;
}

// A part the graphic alone holds, made empty when it has none.
template <class T> T& unshared(std::shared_ptr<T>& part) {
    if (!part)
        part = std::make_shared<T>();
    else if (part.use_count() > 1)
        part = std::make_shared<T>(*part);
    return *part;
}

} // namespace

const FaceList& facesOf(const GraphicRecord& g) {
    return sharedOrEmpty(g.faces);
}

const PropertyList& propertiesOf(const GraphicRecord& g) {
    return sharedOrEmpty(g.properties);
}

VertexBlock& changeableVertices(GraphicRecord* g) {
    const bool copied = g->vertices && g->vertices.use_count() > 1;
    VertexBlock& block = unshared(g->vertices);
    if (copied) linkVertices(block);
    return block;
}

FaceList& changeableFaces(GraphicRecord* g) {
    return unshared(g->faces);
}

PropertyList& changeableProperties(GraphicRecord* g) {
    return unshared(g->properties);
}

GraphicRecord* parentOf(const GraphicRecord* g) {
    if (!g || (g->flags & GraphicFlagNoParent)) return nullptr;
    return static_cast<GraphicRecord*>(g->parent);
}

namespace {

void markSubtreeExtentsDirty(GraphicRecord* g) {
    g->extentsDirty = true;
    for (GraphicRecord* child : g->children)
        markSubtreeExtentsDirty(child);
}

} // namespace

uint64_t newRevision() {
    static uint64_t last = 0;
    return ++last;
}

void noteGeometryChanged(GraphicRecord* g, bool matrixMoved) {
    if (matrixMoved)
        markSubtreeExtentsDirty(g);
    else
        g->revision = newRevision();
    g->extentsDirty = true;
    for (GraphicRecord* p = parentOf(g); p; p = parentOf(p)) {
        p->revision = newRevision();
        p->extentsDirty = true;
    }
}

namespace {

struct TreeDeleter {
    void operator()(GraphicRecord* g) const { destroyGraphicTree(g); }
};
using GraphicTree = std::unique_ptr<GraphicRecord, TreeDeleter>;

// Releases what it made when an allocation fails part way.
GraphicTree copyNode(const GraphicRecord& g, bool counted) {
    GraphicTree copy(createGraphic(g.kind, counted));
    if (!copy) return nullptr;
    copy->flags = g.flags | GraphicFlagNoParent;
    copy->layer = g.layer;
    copy->penColor = g.penColor;
    copy->spaceMode = g.spaceMode;
    copy->matrix = g.matrix;
    copy->refPoint = g.refPoint;
    copy->properties = g.properties;
    copy->vertices = g.vertices;
    copy->faces = g.faces;
    copy->vectorizeContour = g.vectorizeContour;
    for (const GraphicRecord* child : g.children) {
        GraphicTree childCopy = copyNode(*child, false);
        appendChild(copy.get(), childCopy.get());
        childCopy.release();
    }
    copy->revision = g.revision;
    return copy;
}

} // namespace

GraphicRecord* copyGraphicTree(const GraphicRecord& g) {
    return copyNode(g, true).release();
}

const MatrixStruct& ownMatrix(const GraphicRecord& g) {
    return g.matrix ? *g.matrix : IdentityMatrix;
}

const GraphicCache* currentCache(const GraphicRecord& g) {
    const DerivedState* d = g.derived ? &*g.derived : nullptr;
    return d && d->cache && d->cacheRevision == g.revision ? d->cache.get() : nullptr;
}

const MatrixStruct& cacheToOwnOf(const GraphicRecord& g) {
    return g.derived && g.derived->cacheToOwn ? *g.derived->cacheToOwn : IdentityMatrix;
}

} // namespace korvex

using namespace korvex;

namespace {

GraphicRecord* asGraphic(GraphicStruct* g) {
    return static_cast<GraphicRecord*>(g);
}
const GraphicRecord* asGraphic(const GraphicStruct* g) {
    return static_cast<const GraphicRecord*>(g);
}

// The matrix carrying g's coordinates into the world: its ancestors' matrices after its own.
MatrixStruct matrixInWorld(const GraphicRecord& g) {
    MatrixStruct m = ownMatrix(g);
    for (const GraphicRecord* p = parentOf(&g); p; p = parentOf(p))
        m = compose(ownMatrix(*p), m);
    return m;
}

// Descendants of g down to `levels` levels below it (0 or less: all), parents first.
template <class Visit> void forEachDescendant(GraphicRecord* g, int levels, Visit visit) {
    for (size_t i = 0; i < g->children.size(); ++i) {
        GraphicRecord* child = g->children[i];
        visit(child);
        if (levels != 1) forEachDescendant(child, levels > 1 ? levels - 1 : levels, visit);
    }
}

struct Bounds {
    double lo[3] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                    std::numeric_limits<double>::max()};
    double hi[3] = {-std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                    -std::numeric_limits<double>::max()};
    bool empty = true;

    void add(double x, double y, double z) {
        const double p[3] = {x, y, z};
        for (int axis = 0; axis < 3; ++axis) {
            lo[axis] = std::min(lo[axis], p[axis]);
            hi[axis] = std::max(hi[axis], p[axis]);
        }
        empty = false;
    }
};

void addVerticesOfSubtree(const GraphicRecord& g, const MatrixStruct& toWorld, Bounds* bounds) {
    if (g.vertices)
        for (const VertexStruct& v : *g.vertices) {
            const Vec3 p = transformPoint(toWorld, {v.x, v.y, v.z});
            bounds->add(p.x, p.y, p.z);
        }
    for (const GraphicRecord* child : g.children)
        addVerticesOfSubtree(*child, compose(toWorld, ownMatrix(*child)), bounds);
}

// The exact box of g's vertices in world coordinates; empty for a graphic without vertices.
ExtentsStruct worldExtentsOf(const GraphicRecord& g) {
    Bounds bounds;
    addVerticesOfSubtree(g, matrixInWorld(g), &bounds);
    ExtentsStruct box;
    if (!bounds.empty)
        box = {true,         bounds.lo[0], bounds.lo[1], bounds.lo[2],
               bounds.hi[0], bounds.hi[1], bounds.hi[2]};
    return box;
}

// Makes every room a bake of g's subtree needs: the vertices each graphic of it will change
// become its own (its copies keep the ones they share). Nothing visible changes.
void ownSubtreeVertices(GraphicRecord* g) {
    if (g->vertices) changeableVertices(g);
    for (GraphicRecord* child : g->children)
        ownSubtreeVertices(child);
}

// Bakes `m` into the vertices and reference point of g, then into each child with the
// child's own matrix, which is cleared. Allocates nothing once ownSubtreeVertices has run.
void bakeSubtree(GraphicRecord* g, const MatrixStruct& m) {
    if (g->vertices)
        for (VertexStruct& v : changeableVertices(g)) {
            const Vec3 p = transformPoint(m, {v.x, v.y, v.z});
            v.x = p.x, v.y = p.y, v.z = p.z;
        }
    if (g->refPoint) mapPoint(m, g->refPoint->x, g->refPoint->y, g->refPoint->z);
    for (GraphicRecord* child : g->children) {
        const MatrixStruct childToParent = compose(m, ownMatrix(*child));
        child->matrix.reset();
        bakeSubtree(child, childToParent);
    }
    noteGeometryChanged(g, false);
}

// Whether the linear block keeps volumes: its determinant is not negligible beside the
// lengths of its columns.
bool wellConditioned(const MatrixStruct& m) {
    const double* a = m.m;
    const double det = a[0] * (a[5] * a[10] - a[9] * a[6]) + a[1] * (a[8] * a[6] - a[4] * a[10]) +
                       a[2] * (a[4] * a[9] - a[8] * a[5]);
    const double scale = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]) *
                         std::sqrt(a[4] * a[4] + a[5] * a[5] + a[6] * a[6]) *
                         std::sqrt(a[8] * a[8] + a[9] * a[9] + a[10] * a[10]);
    return std::fabs(det) > 1e-9 * scale;
}

int walkSubtree(GraphicRecord* g, GraphicWalkCallback callback, bool recursive, bool visitSelf,
                int32_t* counter) {
    if (visitSelf && !callback(g, counter)) return 1;
    for (size_t i = 0; i < g->children.size(); ++i) {
        GraphicRecord* child = g->children[i];
        if (!callback(child, counter)) return 1;
        if (recursive && walkSubtree(child, callback, true, false, counter)) return 1;
    }
    return 0;
}

void detachFromDrawing(GraphicRecord* g) {
    DrawingRecord* d = g->attachedTo;
    if (!d) return;
    auto& list = d->attached;
    GraphicRecord* last = list.back();
    list[g->attachedIndex] = last;
    last->attachedIndex = g->attachedIndex;
    list.pop_back();
    g->attachedTo = nullptr;
}

void unlinkFromParent(GraphicRecord* g) {
    GraphicRecord* parent = parentOf(g);
    if (!parent) return;
    auto& list = parent->children;
    list.erase(std::remove(list.begin(), list.end(), g), list.end());
    g->parent = nullptr;
    g->flags |= GraphicFlagNoParent;
    noteGeometryChanged(parent, false);
}

// The VARIANT a property value is handed out as: texts as VT_BSTR (not owned: the array
// copies it), numbers as VT_R8, booleans as VT_I4, anything else as VT_EMPTY.
VARIANT variantOfProperty(const CustomProperty& p) {
    VARIANT v;
    VariantInit(&v);
    if (p.isText) {
        v.vt = VT_BSTR;
        v.bstrVal = const_cast<wchar_t*>(p.text.c_str());
        return v;
    }
    const nlohmann::json value = nlohmann::json::parse(p.literal, nullptr, false);
    if (value.is_number()) {
        v.vt = VT_R8;
        v.dblVal = value.get<double>();
    } else if (value.is_boolean()) {
        v.vt = VT_I4;
        v.lVal = value.get<bool>() ? 1 : 0;
    }
    return v;
}

bool fillPropertyArrays(const GraphicRecord& g, SAFEARRAY* names, SAFEARRAY* values) {
    const PropertyList& properties = propertiesOf(g);
    for (uint32_t i = 0; i < properties.size(); ++i) {
        const CustomProperty& p = properties[i];
        const VARIANT value = variantOfProperty(p);
        if (kvSafeArrayPutElement(names, i, p.name.c_str()) != S_OK ||
            kvSafeArrayPutElement(values, i, &value) != S_OK)
            return false;
    }
    return true;
}

void setOut(SAFEARRAY** out, SAFEARRAY* array) {
    if (out)
        *out = array;
    else
        SafeArrayDestroy(array);
}

} // namespace

// [SECTION] Host interface ------------------------------------------------------------------

// `recursive` 0 visits only g's children; `includeSelf` visits g first. The callback gets
// the walk's own counter, which starts at 0.
KORVEX_API int GraphicWalk(GraphicStruct* g, GraphicWalkCallback callback, int recursive,
                           int includeSelf, int) {
    if (!g || !callback) return 0;
    int32_t counter = 0;
    return walkSubtree(asGraphic(g), callback, recursive != 0, includeSelf != 0, &counter);
}

// `levels` 0 or less takes every level. A null filter accepts every graphic; g itself is
// listed only when the filter accepts it too.
KORVEX_API int GraphicWalkFillChildsList(GraphicStruct* g, GraphicFilter filter, GraphicList* list,
                                         int levels, int includeSelf) {
    if (!g || !list) return 0;
    auto take = [&](GraphicRecord* graphic) {
        if (!filter || filter(graphic)) list->push_back(graphic);
    };
    if (includeSelf) take(asGraphic(g));
    forEachDescendant(asGraphic(g), levels, take);
    return 1;
}

// Selector and first array are the host's signature; the first array comes back empty. On a
// failed record creation every array is released, the pointers are cleared and 0 answered.
KORVEX_API int GraphicEnumerateProperties(GraphicStruct* g, SAFEARRAY** first, SAFEARRAY** names,
                                          SAFEARRAY** values, int) {
    for (SAFEARRAY** out : {first, names, values})
        if (out) *out = nullptr;
    if (!g) return 0;
    const GraphicRecord& graphic = *asGraphic(g);
    const auto count = static_cast<uint32_t>(propertiesOf(graphic).size());
    SAFEARRAY* empty = kvSafeArrayCreate(VT_VARIANT, 0);
    SAFEARRAY* nameArray = kvSafeArrayCreate(VT_BSTR, count);
    SAFEARRAY* valueArray = kvSafeArrayCreate(VT_VARIANT, count);
    bool filled = false;
    try {
        filled =
            empty && nameArray && valueArray && fillPropertyArrays(graphic, nameArray, valueArray);
    } catch (const std::bad_alloc&) {
        filled = false;
    }
    if (!filled) {
        for (SAFEARRAY* array : {empty, nameArray, valueArray})
            SafeArrayDestroy(array);
        return 0;
    }
    setOut(first, empty);
    setOut(names, nameArray);
    setOut(values, valueArray);
    return static_cast<int>(count);
}

KORVEX_API int GraphicGetLayer(const GraphicStruct* g) {
    return g ? asGraphic(g)->layer : 0;
}

KORVEX_API void GraphicSetLayer(GraphicStruct* g, int layer) {
    if (g) asGraphic(g)->layer = layer;
}

namespace korvex {
// The copy GraphicCopyEx answers; allocation failure reaches it as std::bad_alloc.
GraphicRecord* copyWithCache(const GraphicRecord& original, const MatrixStruct* m);
} // namespace korvex

KORVEX_API GraphicStruct* GraphicCopyEx(const GraphicStruct* g, const MatrixStruct* m, int,
                                        uint16_t) {
    if (!g) return nullptr;
    const GraphicRecord& original = *asGraphic(g);
    try {
        return korvex::copyWithCache(original, m);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace korvex {

GraphicRecord* copyWithCache(const GraphicRecord& original, const MatrixStruct* m) {
    GraphicTree copy = copyNode(original, true);
    if (!copy) return nullptr;
    // A copy placed by a matrix is one its caller means to change: it gets vertices of its own
    // here, where a failure answers null, rather than when it is baked.
    if (m) {
        copy->matrix = compose(*m, ownMatrix(*copy));
        ownSubtreeVertices(copy.get());
    }
    // A copy shares the original's picking cache, which may also carry transforms baked into
    // the original since it was built. Where the copy sits alike in the world, it takes the
    // original's extents too.
    if (currentCache(original)) {
        DerivedState& derived = copy->derived.made();
        derived.cache = original.derived->cache;
        derived.cacheToOwn = original.derived->cacheToOwn;
        derived.cacheRevision = copy->revision;
    }
    if (!m && !parentOf(&original) && !original.extentsDirty) {
        copy->cachedExtents = original.cachedExtents;
        copy->extentsDirty = false;
    }
    return copy.release();
}

} // namespace korvex

// Only a graphic outside any tree can be attached; attaching moves it from its previous
// drawing. Attachment records where the graphic lives; it is not drawn as part of the model.
KORVEX_API int GraphicAttach(GraphicStruct* g, DrawingStruct* drawing) {
    if (!g) return 0;
    GraphicRecord* graphic = asGraphic(g);
    auto* d = static_cast<DrawingRecord*>(drawing);
    if (graphic->attachedTo == d) return 1;
    if (d && (parentOf(graphic) || graphic->modelOf)) return 0;
    detachFromDrawing(graphic);
    if (d) {
        graphic->attachedIndex = d->attached.size();
        d->attached.push_back(graphic);
        graphic->attachedTo = d;
    }
    return 1;
}

KORVEX_API const MatrixStruct* GraphicGetMatrix(const GraphicStruct* g) {
    if (!g || !asGraphic(g)->matrix) return nullptr;
    return &*asGraphic(g)->matrix;
}

// A null matrix removes the own matrix. Without room for a first matrix the graphic stays as
// it was; a graphic that has had one keeps its room.
KORVEX_API void GraphicSetMatrix(GraphicStruct* g, const MatrixStruct* m, int) {
    if (!g) return;
    GraphicRecord* graphic = asGraphic(g);
    changeOrKeep([graphic, m] {
        if (m)
            graphic->matrix = *m;
        else
            graphic->matrix.reset();
        noteGeometryChanged(graphic, true);
    });
}

// m acts in g's own coordinates: g keeps its own matrix, every vertex v of a descendant d
// becomes m (matrices from g down to d) v, and the descendants' matrices are cleared. The
// reference points move with their graphics.
// Without room for the vertices it changes, the subtree stays as it was.
KORVEX_API void GraphicTransform(GraphicStruct* g, const MatrixStruct* m, int, int, int, int) {
    if (!g || !m) return;
    GraphicRecord* graphic = asGraphic(g);
    if (!madeRoom([graphic] { ownSubtreeVertices(graphic); })) return;
    const MatrixStruct cacheToOwn = compose(*m, cacheToOwnOf(*graphic));
    // A flattening transform leaves the cache for a rebuild: picking must invert it. So does a
    // transform without room to carry the cache over.
    const bool keepsCache = currentCache(*graphic) && wellConditioned(cacheToOwn) &&
                            madeRoom([graphic] { graphic->derived->cacheToOwn.reserve(); });
    bakeSubtree(graphic, *m);
    if (!keepsCache) return;
    graphic->derived->cacheToOwn = cacheToOwn;
    graphic->derived->cacheRevision = graphic->revision;
}

// Marking dirty makes the next GraphicGetExtents measure again, here and in the ancestors.
KORVEX_API void GraphicSetExtentsDirty(GraphicStruct* g, int dirty) {
    if (!g) return;
    if (!dirty) {
        // Without room for the cache the extents stay dirty: they are measured when asked.
        changeOrKeep([g] {
            asGraphic(g)->cachedExtents.made();
            asGraphic(g)->extentsDirty = false;
        });
        return;
    }
    for (GraphicRecord* p = asGraphic(g); p; p = parentOf(p))
        p->extentsDirty = true;
}

// World coordinates: the ancestors' matrices and g's own are applied. 0, with `out` emptied,
// for a graphic without vertices.
KORVEX_API int GraphicGetGeometricExtents(GraphicStruct* g, ExtentsStruct* out, int, int, int,
                                          int) {
    if (!g || !out) return 0;
    *out = worldExtentsOf(*asGraphic(g));
    return out->valid;
}

KORVEX_API const ExtentsStruct* GraphicGetExtents(GraphicStruct* g, int, int, int, int, int, int) {
    if (!g) return nullptr;
    GraphicRecord* graphic = asGraphic(g);
    if (graphic->extentsDirty) {
        // The cache lives on the heap: without room for it there are no extents to answer.
        try {
            graphic->cachedExtents = worldExtentsOf(*graphic);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        graphic->extentsDirty = false;
    }
    return &*graphic->cachedExtents;
}

KORVEX_API const VertexStruct* GraphicGetReferencePoint(const GraphicStruct* g) {
    if (!g || !asGraphic(g)->refPoint) return nullptr;
    return &*asGraphic(g)->refPoint;
}

KORVEX_API MatrixStruct* GraphicBuildMatrixInWordCS(const GraphicStruct* g) {
    if (!g) return nullptr;
    MatrixStruct* m = newRecord<MatrixStruct>(KvMatrix);
    if (m) *m = matrixInWorld(*asGraphic(g));
    return m;
}

// Descendants down to `levels` levels (1: children; 0 or less: all).
KORVEX_API int GraphicCount(const GraphicStruct* g, int, int levels) {
    if (!g) return 0;
    int count = 0;
    forEachDescendant(const_cast<GraphicRecord*>(asGraphic(g)), levels,
                      [&count](GraphicRecord*) { ++count; });
    return count;
}

// The children in order; the position keeps the index of the last one handed out.
KORVEX_API GraphicStruct* GraphicFirst(GraphicStruct* g, GraphicPosition* pos, int, int) {
    if (!g || !pos || asGraphic(g)->children.empty()) return nullptr;
    pos->at = reinterpret_cast<void*>(uintptr_t{0});
    return asGraphic(g)->children.front();
}

KORVEX_API GraphicStruct* GraphicNext(GraphicStruct* g, GraphicPosition* pos, int, int) {
    if (!g || !pos) return nullptr;
    const size_t next = reinterpret_cast<uintptr_t>(pos->at) + 1;
    const auto& children = asGraphic(g)->children;
    if (next >= children.size()) return nullptr;
    pos->at = reinterpret_cast<void*>(uintptr_t{next});
    return children[next];
}

KORVEX_API uint32_t GraphicGetPenColor(const GraphicStruct* g) {
    return g ? asGraphic(g)->penColor : 0;
}

KORVEX_API int GraphicVertexCount(const GraphicStruct* g, int, uint32_t) {
    return g ? vertexCountOf(*asGraphic(g)) : 0;
}

// The vertices in list order; the position keeps the last one handed out. They are shared with
// the graphic's copies, so they are handed out to be read and walked, not written: the
// graphic's vertices change through GraphicTransform and the host-application API, and a
// vertex handed out is valid until they do.
KORVEX_API VertexStruct* GraphicVertexFirst(GraphicStruct* g, GraphicPosition* pos, int, uint32_t) {
    if (!g || !pos) return nullptr;
    auto* first = const_cast<VertexStruct*>(firstVertexOf(*asGraphic(g)));
    pos->at = first;
    return first;
}

KORVEX_API VertexStruct* GraphicVertexNext(GraphicStruct* g, GraphicPosition* pos, int, uint32_t) {
    if (!g || !pos || !pos->at) return nullptr;
    VertexStruct* next = static_cast<VertexStruct*>(pos->at)->next;
    if (next == firstVertexOf(*asGraphic(g))) return nullptr;
    pos->at = next;
    return next;
}

// The reference host has no current layer: 0xFFFFFFFF, "the current layer", is layer 0. The
// drawing and flags are not used; the graphic is not attached.
KORVEX_API GraphicStruct* GraphicNewEx(DrawingStruct*, uint32_t layer, int kind, int, int) {
    GraphicRecord* g = createGraphic(kind, true);
    if (g) g->layer = layer == 0xFFFFFFFF ? 0 : static_cast<int>(layer);
    return g;
}

KORVEX_API int GraphicGetSpaceMode(const GraphicStruct* g) {
    return g ? asGraphic(g)->spaceMode : 0;
}

KORVEX_API void GraphicSetSpaceMode(GraphicStruct* g, int mode, int) {
    if (g) asGraphic(g)->spaceMode = mode;
}

// A graphic inside a tree leaves its parent first. A drawing's model root belongs to the
// drawing and is released only by DrawingDispose.
KORVEX_API void GraphicDispose(GraphicStruct** g) {
    if (!g || !*g) return;
    GraphicRecord* graphic = asGraphic(*g);
    *g = nullptr;
    if (graphic->modelOf) return;
    unlinkFromParent(graphic);
    detachFromDrawing(graphic);
    destroyGraphicTree(graphic);
}
