// The drawing database's records: graphics with their vertices, faces, properties and
// children, layer tables and drawings, and the operations the database's sources share.
//
// Index
//   [SECTION] Graphics
//   [SECTION] Drawings
//   [SECTION] Files
//   [SECTION] Text
#ifndef KORVEX_GRAPHIC_RECORDS_H
#define KORVEX_GRAPHIC_RECORDS_H

#include "records.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct DrawingRecord;

namespace korvex {

// One custom property: a text value, or a non-text value kept as its JSON literal so that
// files round-trip exactly.
struct CustomProperty {
    std::wstring name;
    bool isText = true;
    std::wstring text;
    std::string literal; // JSON text of a non-text value
};

// Host-private derived data of a graphic (bounds, triangle hierarchy), rebuilt after changes.
struct GraphicCache;
// What a graphic tree shows (display_records.h).
struct Geometry;

} // namespace korvex

// Ownership: a graphic owns its vertices and children. A graphic made by GraphicNewEx,
// GraphicCopyEx or kvGraphicNew is `counted` (a live KvGraphic record) until it is freed,
// wherever it ends up; the children a copy or a file reader makes are not.
struct GraphicRecord : GraphicStruct {
    int layer = 0;
    uint32_t penColor = 0x00FFFFFF;
    int spaceMode = 0;
    std::optional<MatrixStruct> matrix;   // own matrix; none means identity
    std::optional<VertexStruct> refPoint; // links unused
    std::vector<korvex::CustomProperty> properties;
    VertexStruct* firstVertex = nullptr; // circular doubly linked list, owned
    int vertexCount = 0;
    // A copy's vertices, made in one block and linked into the list; vertices added later are
    // made one by one.
    std::unique_ptr<VertexStruct[]> vertexBlock;
    int vertexBlockSize = 0;
    std::vector<std::array<int, 3>> faces; // meshes: indices into the vertex list
    std::vector<GraphicRecord*> children;  // owned, in order
    DrawingRecord* attachedTo = nullptr;   // set by GraphicAttach (not owned)
    size_t attachedIndex = 0;              // its place in attachedTo->attached
    bool extentsDirty = true;
    ExtentsStruct cachedExtents;
    // The state of the geometry of the graphic's tree: a stamp unique in the process, new on
    // every change of its geometry or of any descendant's (their matrices included), never on a
    // change of its own matrix alone. A copy takes its original's stamps, so graphics with one
    // revision hold the same geometry and share what is derived from it (DerivedByRevision).
    uint64_t revision = 0;
    // Picking's cache, current while cacheRevision == revision. It holds the geometry as it
    // was when built; cacheToOwn carries it into the graphic's own coordinates as they are now
    // (transforms baked since), so that baking a matrix or copying the graphic keeps it, and
    // copies share it. Derived data: built on demand, also through const access.
    mutable std::shared_ptr<const korvex::GraphicCache> cache;
    mutable uint64_t cacheRevision = 0;
    mutable MatrixStruct cacheToOwn{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    // The display snapshot elements made from this graphic draw, current while
    // snapshotRevision == revision.
    std::shared_ptr<const korvex::Geometry> snapshot;
    uint64_t snapshotRevision = 0;
    bool vectorizeContour = true; // meshes draw their contour edges
    bool counted = false;
    DrawingRecord* modelOf = nullptr; // the drawing whose model root this is
};

struct TableStruct {
    int notifyChanges = 1;
};

struct DrawingRecord : DrawingStruct {
    GraphicRecord* root = nullptr;    // owned model root (a group)
    std::map<int, bool> layerVisible; // missing layers are visible
    TableStruct layerTable;
    std::vector<ViewportStruct*> viewports; // owned
    ViewportStruct* activeViewport = nullptr;
    // Graphics attached by GraphicAttach, not owned, in no particular order: detaching moves
    // the last one into the freed place, so that it costs the same with any number attached.
    std::vector<GraphicRecord*> attached;
    std::wstring path;
};

namespace korvex {

// [SECTION] Graphics ------------------------------------------------------------------------

// Kinds 2 line, 3 polygon, 7 group, 11 pick and 18 mesh.
bool isKnownGraphicKind(int kind);
// Which kinds hold vertices, faces and children.
bool kindHasVertices(int kind);
bool kindHasFaces(int kind);
bool kindHasChildren(int kind);
// The fewest vertices a graphic of the kind needs to be drawn: 2 for a line, 3 for a polygon.
int minimumVertexCount(int kind);

// A new graphic of a known kind on layer 0 with no parent; a counted one may be made to fail
// by fault injection. Null then, or for an unknown kind.
GraphicRecord* createGraphic(int kind, bool counted);
// Frees g and its subtree, releasing the counted records among them. g must already be off
// its parent's list and detached from any drawing.
void destroyGraphicTree(GraphicRecord* g);
// A deep copy of g without parent, drawing or cache; only the copy itself is counted.
GraphicRecord* copyGraphicTree(const GraphicRecord& g);
void appendChild(GraphicRecord* parent, GraphicRecord* child);
void appendVertex(GraphicRecord* g, double x, double y, double z);
// Records a geometric change of g: a new revision of its ancestors, and of g itself unless only
// its own matrix moved; the cached extents of g, of its ancestors and, when its own matrix
// moved, of its descendants become stale.
void noteGeometryChanged(GraphicRecord* g, bool matrixMoved);
// A revision no graphic has had yet.
uint64_t newRevision();

// What is derived from a revision's geometry (picking caches, display snapshots), kept while
// any graphic holds it, so that every graphic of that revision finds it made: the copies of one
// graphic derive it once between them.
template <class T> class DerivedByRevision {
  public:
    static std::shared_ptr<const T> find(uint64_t revision) {
        const auto found = table().find(revision);
        return found == table().end() ? nullptr : found->second.lock();
    }
    // Keeps `made` (taken over) for the revision.
    static std::shared_ptr<const T> keep(uint64_t revision, std::unique_ptr<T> made) {
        std::shared_ptr<const T> shared(made.release(), [revision](const T* gone) {
            const auto found = table().find(revision);
            if (found != table().end() && found->second.expired()) table().erase(found);
            delete gone;
        });
        table()[revision] = shared;
        return shared;
    }

  private:
    static std::unordered_map<uint64_t, std::weak_ptr<const T>>& table() {
        // Never destroyed: graphics released while the process ends still reach it.
        static auto* byRevision = new std::unordered_map<uint64_t, std::weak_ptr<const T>>;
        return *byRevision;
    }
};
GraphicRecord* parentOf(const GraphicRecord* g);
// The graphic's own matrix, the identity when it has none.
const MatrixStruct& ownMatrix(const GraphicRecord& g);

// [SECTION] Drawings ------------------------------------------------------------------------

// A new drawing (a counted KvDrawing) whose model root is an empty group; null when the
// creation fails.
DrawingRecord* createDrawing();
// Releases a viewport record of the display side (its render scene with it).
void disposeViewportRecord(ViewportStruct* vp);
// Kind 12, phase 1, flags 0: slot 0 the application, slot 1 the viewport about to close.
void announceViewportClosing(ViewportStruct* vp);

// [SECTION] Files ---------------------------------------------------------------------------

// The compact JSON literal of a non-text property value written as JSON text: false for text
// that is not JSON within the file format's limits (numbers within the range of a double)
// or is a string.
bool nonTextLiteral(const std::string& json, std::string* literal);

// [SECTION] Text ----------------------------------------------------------------------------

// Wide text is UTF-32 here; files and the host-application API use UTF-8.
std::string utf8FromWide(const std::wstring& text);
// False for text that is not valid UTF-8.
bool wideFromUtf8(const std::string& text, std::wstring* out);

} // namespace korvex

#endif
