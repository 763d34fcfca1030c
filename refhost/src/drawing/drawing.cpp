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

#include <algorithm>
#include <cstring>

namespace korvex {

DrawingRecord* createDrawing() {
    auto* d = newRecord<DrawingRecord>(KvDrawing);
    if (!d) return nullptr;
    d->engineLink = nullptr;
    d->root = createGraphic(GraphicKindGroup, false);
    d->root->modelOf = d;
    return d;
}

// [SECTION] Text ----------------------------------------------------------------------------

namespace {

bool isEncodable(uint32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void appendUtf8(uint32_t c, std::string* out) {
    if (!isEncodable(c)) c = 0xFFFD;
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The number of bytes of a sequence led by `lead`, 0 for a byte that cannot lead one.
int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

} // namespace

std::string utf8FromWide(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        appendUtf8(static_cast<uint32_t>(c), &out);
    return out;
}

bool wideFromUtf8(const std::string& text, std::wstring* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = sequenceLength(lead);
        if (length == 0 || i + length > text.size()) return false;
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if ((byte & 0xC0) != 0x80) return false;
            c = (c << 6) | (byte & 0x3F);
        }
        const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < smallest[length] || !isEncodable(c)) return false;
        out->push_back(static_cast<wchar_t>(c));
        i += length;
    }
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
    asGraphic(g)->properties.push_back(std::move(p));
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

KORVEX_API void LayerSetVisible(DrawingStruct* d, int layer, int visible, int) {
    if (d) asDrawing(d)->layerVisible[layer] = visible != 0;
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
        if (index < 0 || index >= g->vertexCount) return 0;
    g->faces.push_back({a, b, c});
    noteGeometryChanged(g, false);
    return 1;
}

KORVEX_API void kvGraphicSetPen(GraphicStruct* g, uint32_t color) {
    if (g) asGraphic(g)->penColor = color & 0x00FFFFFF;
}

KORVEX_API void kvGraphicSetReferencePoint(GraphicStruct* g, double x, double y, double z) {
    if (g) asGraphic(g)->refPoint = VertexStruct{x, y, z, nullptr, nullptr};
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
    return g ? static_cast<int>(asGraphic(g)->properties.size()) : 0;
}

KORVEX_API int kvGraphicGetProperty(const GraphicStruct* g, int index, KvProperty* out) {
    if (!g || !out || index < 0 || index >= kvGraphicPropertyCount(g)) return 0;
    const CustomProperty& p = asGraphic(g)->properties[index];
    out->name = utf8FromWide(p.name);
    out->isText = p.isText;
    out->value = p.isText ? utf8FromWide(p.text) : p.literal;
    return 1;
}

KORVEX_API int kvGraphicFaceCount(const GraphicStruct* g) {
    return g ? static_cast<int>(asGraphic(g)->faces.size()) : 0;
}

KORVEX_API int kvGraphicGetFace(const GraphicStruct* g, int index, int out[3]) {
    if (!g || !out || index < 0 || index >= kvGraphicFaceCount(g)) return 0;
    std::memcpy(out, asGraphic(g)->faces[index].data(), 3 * sizeof(int));
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
