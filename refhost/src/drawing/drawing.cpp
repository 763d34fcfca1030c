// Drawings of the drawing database: the model root, layers and their table, the engine
// switch, and the host-application API that builds drawings and reads them back.
//
// Index
//   [SECTION] Text
//   [SECTION] Host interface
//   [SECTION] Building
//   [SECTION] Reading
#include "korvex/drawing.h"
#include "graphic_records.h"
#include "tiller/host/arbor.h"
#include "tiller/host/utf8.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

namespace korvex {

DrawingRecord* createDrawing() {
    auto* d = newRecord<DrawingRecord>(KvDrawing);
    if (!d) return nullptr;
    d->engineLink = nullptr;
    // The model root is not a counted record, so making it throws when memory runs out.
    try {
        d->root = createGraphic(GraphicKindGroup, false);
    } catch (const std::bad_alloc&) {
        d->root = nullptr;
    }
    if (!d->root) {
        deleteRecord(KvDrawing, d);
        return nullptr;
    }
    d->root->modelOf = d;
    return d;
}

// [SECTION] Text ----------------------------------------------------------------------------

// Characters that are not Unicode scalar values are written as U+FFFD.
std::string utf8FromWide(const std::wstring& text) {
    std::wstring scalars = text;
    for (wchar_t& c : scalars)
        if (!utf8::IsScalar(static_cast<char32_t>(c))) c = 0xFFFD;
    return utf8::Narrow(scalars).value_or(std::string());
}

bool wideFromUtf8(const std::string& text, std::wstring* out) {
    std::optional<std::wstring> wide = utf8::Widen(text);
    if (!wide) return false;
    *out = std::move(*wide);
    return true;
}

} // namespace korvex

using namespace korvex;

namespace {

DrawingRecord* asDrawing(DrawingStruct* d) {
    return static_cast<DrawingRecord*>(d);
}
GraphicRecord* asGraphic(GraphicStruct* g) {
    return static_cast<GraphicRecord*>(g);
}
const GraphicRecord* asGraphic(const GraphicStruct* g) {
    return static_cast<const GraphicRecord*>(g);
}

bool isAncestorOrSelf(const GraphicRecord* candidate, const GraphicRecord* g) {
    for (const GraphicRecord* p = g; p; p = parentOf(p))
        if (p == candidate) return true;
    return false;
}

bool addProperty(GraphicStruct* g, const char* name, bool isText, const std::string& text,
                 const std::string& literal) {
    CustomProperty p;
    p.isText = isText;
    p.literal = literal;
    if (!wideFromUtf8(name, &p.name) || !wideFromUtf8(text, &p.text)) return false;
    changeableProperties(asGraphic(g)).push_back(std::move(p));
    return true;
}

// One step of a graphic path: "children[<index>]". Answers the index, or -1.
long childIndexOf(const std::string& step) {
    const std::string prefix = "children[";
    if (step.size() <= prefix.size() + 1 || step.compare(0, prefix.size(), prefix) != 0 ||
        step.back() != ']')
        return -1;
    const std::string digits = step.substr(prefix.size(), step.size() - prefix.size() - 1);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stol(digits);
}

} // namespace

// [SECTION] Host interface ------------------------------------------------------------------

KORVEX_API GraphicStruct* DrawingGetModelRoot(DrawingStruct* d) {
    return d ? asDrawing(d)->root : nullptr;
}

// Releases the drawing's viewports and model. Graphics attached to it stay their owners'
// and are only detached.
KORVEX_API void DrawingDispose(DrawingStruct** d) {
    if (!d || !*d) return;
    DrawingRecord* drawing = asDrawing(*d);
    *d = nullptr;
    for (ViewportStruct* vp : drawing->viewports)
        disposeViewportRecord(vp);
    drawing->viewports.clear();
    drawing->activeViewport = nullptr;
    for (GraphicRecord* g : drawing->attached)
        g->attachedTo = nullptr;
    destroyGraphicTree(drawing->root);
    deleteRecord(KvDrawing, drawing);
}

// A layer nobody has hidden is visible; a null drawing shows nothing.
KORVEX_API int LayerGetVisible(DrawingStruct* d, int layer) {
    if (!d) return 0;
    const auto& visible = asDrawing(d)->layerVisible;
    const auto it = visible.find(layer);
    return it == visible.end() || it->second;
}

KORVEX_API TableStruct* LayerGetHandle(DrawingStruct* d) {
    return d ? &asDrawing(d)->layerTable : nullptr;
}

// A missing layer is visible, and a layer once listed stays listed: only hiding a layer never
// hidden before needs room, and without it the layer stays visible.
KORVEX_API void LayerSetVisible(DrawingStruct* d, int layer, int visible, int) {
    if (!d) return;
    std::map<int, bool>& layers = asDrawing(d)->layerVisible;
    if (const auto listed = layers.find(layer); listed != layers.end())
        listed->second = visible != 0;
    else if (!visible)
        changeOrKeep([&layers, layer] { layers.emplace(layer, false); });
}

KORVEX_API int TableGetIsNotifyChanges(TableStruct* t) {
    return t ? t->notifyChanges : 0;
}

KORVEX_API void TableSetIsNotifyChanges(TableStruct* t, int notify) {
    if (t) t->notifyChanges = notify != 0;
}

// The reference host's engine is always enabled.
KORVEX_API int EngineEnable(int, int, int) {
    return 1;
}

// [SECTION] Building ------------------------------------------------------------------------

KORVEX_API DrawingStruct* kvDrawingNew() {
    return createDrawing();
}

KORVEX_API GraphicStruct* kvGraphicNew(int kind) {
    return createGraphic(kind, true);
}

KORVEX_API int kvGraphicAddChild(GraphicStruct* group, GraphicStruct* child) {
    if (!group || !child) return 0;
    GraphicRecord* parent = asGraphic(group);
    GraphicRecord* graphic = asGraphic(child);
    if (!kindHasChildren(parent->kind) || parentOf(graphic) || graphic->attachedTo ||
        graphic->modelOf || isAncestorOrSelf(graphic, parent))
        return 0;
    appendChild(parent, graphic);
    return 1;
}

KORVEX_API int kvGraphicAddVertex(GraphicStruct* g, double x, double y, double z) {
    if (!g || !kindHasVertices(g->kind)) return 0;
    appendVertex(asGraphic(g), x, y, z);
    return 1;
}

KORVEX_API int kvGraphicAddFace(GraphicStruct* mesh, int a, int b, int c) {
    if (!mesh || !kindHasFaces(mesh->kind)) return 0;
    GraphicRecord* g = asGraphic(mesh);
    for (int index : {a, b, c})
        if (index < 0 || index >= vertexCountOf(*g)) return 0;
    changeableFaces(g).push_back({a, b, c});
    noteGeometryChanged(g, false);
    return 1;
}

// The colour is drawn: snapshots made before the change are stale.
KORVEX_API void kvGraphicSetPen(GraphicStruct* g, uint32_t color) {
    if (!g) return;
    asGraphic(g)->penColor = color & 0x00FFFFFF;
    noteGeometryChanged(asGraphic(g), false);
}

KORVEX_API void kvGraphicSetReferencePoint(GraphicStruct* g, double x, double y, double z) {
    if (g)
        changeOrKeep([g, x, y, z] {
            asGraphic(g)->refPoint = VertexStruct{x, y, z, nullptr, nullptr};
        });
}

KORVEX_API int kvGraphicAddTextProperty(GraphicStruct* g, const char* name, const char* text) {
    if (!g || !name || !text) return 0;
    return addProperty(g, name, true, text, {});
}

KORVEX_API int kvGraphicAddValueProperty(GraphicStruct* g, const char* name, const char* json) {
    std::string literal;
    if (!g || !name || !json || !nonTextLiteral(json, &literal)) return 0;
    return addProperty(g, name, false, {}, literal);
}

// [SECTION] Reading -------------------------------------------------------------------------

KORVEX_API int kvGraphicPropertyCount(const GraphicStruct* g) {
    return g ? static_cast<int>(propertiesOf(*asGraphic(g)).size()) : 0;
}

KORVEX_API int kvGraphicGetProperty(const GraphicStruct* g, int index, KvProperty* out) {
    if (!g || !out || index < 0 || index >= kvGraphicPropertyCount(g)) return 0;
    const CustomProperty& p = propertiesOf(*asGraphic(g))[index];
    out->name = utf8FromWide(p.name);
    out->isText = p.isText;
    out->value = p.isText ? utf8FromWide(p.text) : p.literal;
    return 1;
}

KORVEX_API int kvGraphicFaceCount(const GraphicStruct* g) {
    return g ? static_cast<int>(facesOf(*asGraphic(g)).size()) : 0;
}

KORVEX_API int kvGraphicGetFace(const GraphicStruct* g, int index, int out[3]) {
    if (!g || !out || index < 0 || index >= kvGraphicFaceCount(g)) return 0;
    std::memcpy(out, facesOf(*asGraphic(g))[index].data(), 3 * sizeof(int));
    return 1;
}

KORVEX_API GraphicStruct* kvDrawingFindGraphic(DrawingStruct* d, const char* path) {
    if (!d || !path) return nullptr;
    const std::string text = path;
    const std::string rootName = "root";
    if (text.compare(0, rootName.size(), rootName) != 0) return nullptr;
    GraphicRecord* g = asDrawing(d)->root;
    size_t at = rootName.size();
    while (at < text.size()) {
        if (text[at] != '/') return nullptr;
        const size_t end = std::min(text.find('/', at + 1), text.size());
        const long index = childIndexOf(text.substr(at + 1, end - at - 1));
        if (index < 0 || static_cast<size_t>(index) >= g->children.size()) return nullptr;
        g = g->children[index];
        at = end;
    }
    return g;
}
