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

// A graphic's vertices lie in one block, linked in order into a circular list; its faces index
// into that order.
using VertexBlock = std::vector<VertexStruct>;
using FaceList = std::vector<std::array<int, 3>>;
using PropertyList = std::vector<CustomProperty>;

// An optional value kept on the heap, copied with its holder: a graphic pays a pointer for
// what most graphics lack. The room a value once had is kept when the value goes, so that a
// value set again needs no allocation: reserve() makes it ahead, and after it setting a value
// cannot fail.
template <class T> class HeapOptional {
  public:
    HeapOptional() = default;
    HeapOptional(const HeapOptional& other) {
        if (other) *this = *other;
    }
    HeapOptional& operator=(const HeapOptional& other) {
        if (!other)
            reset();
        else if (this != &other)
            *this = *other;
        return *this;
    }
    HeapOptional& operator=(const T& value) {
        reserve();
        room_->value = value;
        room_->present = true;
        return *this;
    }
    // The value, a default one made first when there is none.
    T& made() {
        if (!*this) *this = T();
        return room_->value;
    }
    void reserve() {
        if (!room_) room_ = std::make_unique<Room>();
    }
    // Drops the value and what it holds; the room stays.
    void reset() {
        if (*this) room_->value = T(), room_->present = false;
    }
    explicit operator bool() const { return room_ && room_->present; }
    T& operator*() { return room_->value; }
    const T& operator*() const { return room_->value; }
    T* operator->() { return &room_->value; }
    const T* operator->() const { return &room_->value; }

  private:
    struct Room {
        T value{};
        bool present = false;
    };
    std::unique_ptr<Room> room_;
};

// Host-private derived data of a graphic (bounds, triangle hierarchy), rebuilt after changes.
struct GraphicCache;
// What a graphic tree shows (display_records.h).
struct Geometry;

// What picking and display derive from a graphic, made the first time they ask: most graphics
// of a tree are never picked or drawn on their own.
struct DerivedState {
    // Picking's cache, current while cacheRevision is the graphic's revision. It holds the
    // geometry as it was when built; cacheToOwn carries it into the graphic's own coordinates
    // as they are now (transforms baked since), so that baking a matrix or copying the graphic
    // keeps it, and copies share it.
    std::shared_ptr<const GraphicCache> cache;
    uint64_t cacheRevision = 0;
    HeapOptional<MatrixStruct> cacheToOwn; // none: the identity
    // The display snapshot elements made from the graphic draw, current while
    // snapshotRevision is the graphic's revision.
    std::shared_ptr<const Geometry> snapshot;
    uint64_t snapshotRevision = 0;
};

} // namespace korvex

// Ownership: a graphic owns its children. A graphic made by GraphicNewEx, GraphicCopyEx or
// kvGraphicNew is `counted` (a live KvGraphic record) until it is freed, wherever it ends up;
// the children a copy or a file reader makes are not. Its vertices, faces and properties are
// shared with its copies until one of them changes them: read them through the accessors
// below, change them only through the `changeable...` ones, which unshare them first.
struct GraphicRecord : GraphicStruct {
    int layer = 0;
    uint32_t penColor = 0x00FFFFFF;
    int spaceMode = 0;
    korvex::HeapOptional<MatrixStruct> matrix;   // own matrix; none means identity
    korvex::HeapOptional<VertexStruct> refPoint; // links unused
    // Null while there are none.
    std::shared_ptr<korvex::PropertyList> properties;
    std::shared_ptr<korvex::VertexBlock> vertices;
    std::shared_ptr<korvex::FaceList> faces; // meshes
    std::vector<GraphicRecord*> children;    // owned, in order
    DrawingRecord* attachedTo = nullptr;     // set by GraphicAttach (not owned)
    size_t attachedIndex = 0;                // its place in attachedTo->attached
    // Made when first measured; always there while the extents are not dirty.
    bool extentsDirty = true;
    korvex::HeapOptional<ExtentsStruct> cachedExtents;
    // The state of the geometry of the graphic's tree: a stamp unique in the process, new on
    // every change of its geometry or of any descendant's (their matrices included), never on a
    // change of its own matrix alone. A copy takes its original's stamps, so graphics with one
    // revision hold the same geometry and share what is derived from it (DerivedByRevision).
    uint64_t revision = 0;
    // Built on demand, also through const access.
    mutable korvex::HeapOptional<korvex::DerivedState> derived;
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

// The shared parts of a graphic, for reading: empty while it has none.
int vertexCountOf(const GraphicRecord& g);
// The first vertex of the circular list, or null.
const VertexStruct* firstVertexOf(const GraphicRecord& g);
const FaceList& facesOf(const GraphicRecord& g);
const PropertyList& propertiesOf(const GraphicRecord& g);
// The graphic's own vertices, faces or properties to change, copied first while another graphic
// shares them. Vertices added to the block must be linked in (linkVertices). The caller notes
// geometric changes (noteGeometryChanged).
VertexBlock& changeableVertices(GraphicRecord* g);
FaceList& changeableFaces(GraphicRecord* g);
PropertyList& changeableProperties(GraphicRecord* g);
// Links the block's vertices in order into a circular list.
void linkVertices(VertexBlock& block);
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
// Picking's cache while it is current, or null.
const GraphicCache* currentCache(const GraphicRecord& g);
const MatrixStruct& cacheToOwnOf(const GraphicRecord& g);

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
