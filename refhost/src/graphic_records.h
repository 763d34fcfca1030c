// The drawing database's records: graphics with their vertices, faces, properties and
// children, layer tables and drawings.
#ifndef KORVEX_GRAPHIC_RECORDS_H
#define KORVEX_GRAPHIC_RECORDS_H

#include "records.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
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

} // namespace korvex

struct GraphicRecord : GraphicStruct {
    int layer = 0;
    uint32_t penColor = 0x00FFFFFF;
    int spaceMode = 0;
    std::optional<MatrixStruct> matrix;     // own matrix; none means identity
    std::optional<VertexStruct> refPoint;   // links unused
    std::vector<korvex::CustomProperty> properties;
    VertexStruct* firstVertex = nullptr;    // circular doubly linked list, owned
    int vertexCount = 0;
    std::vector<std::array<int, 3>> faces;  // meshes: indices into the vertex list
    std::vector<GraphicRecord*> children;   // owned, in order
    DrawingRecord* attachedTo = nullptr;    // set by GraphicAttach (not owned)
    bool extentsDirty = true;
    ExtentsStruct cachedExtents;
    uint64_t revision = 0;                  // bumped on every geometric change
    std::shared_ptr<korvex::GraphicCache> cache;
    bool vectorizeContour = true;           // meshes draw their contour edges
};

struct TableStruct {
    int notifyChanges = 1;
};

struct DrawingRecord : DrawingStruct {
    GraphicRecord* root = nullptr;               // owned model root (a group)
    std::map<int, bool> layerVisible;            // missing layers are visible
    TableStruct layerTable;
    std::vector<ViewportStruct*> viewports;      // owned
    ViewportStruct* activeViewport = nullptr;
    std::vector<GraphicRecord*> attached;        // graphics attached by GraphicAttach, not owned
    std::wstring path;
};

#endif
