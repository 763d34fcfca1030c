// Host-application API of the reference host: building drawings, reading them back, and the
// .qvw drawing file (docs/qvw-format.md). Tools, tests and demos call these; the Tiller
// library never does.
//
// Conventions
//   * Names and texts are UTF-8 here; inside the drawing they are wide text.
//   * Graphic kinds: 2 line (an open polyline of two or more vertices), 3 polygon (closed,
//     filled, three or more vertices), 7 group (children only), 11 pick (empty), 18 mesh
//     (vertices and triangle faces).
//   * A graphic is named by its path from the model root: "root", "root/children[3]",
//     "root/children[3]/children[0]". File errors name the graphic the same way.
//   * The own matrix and the layer are set with GraphicSetMatrix and GraphicSetLayer of the
//     host interface (tiller/host/korvex.h).
#ifndef KORVEX_DRAWING_H
#define KORVEX_DRAWING_H

#include "tiller/host/korvex.h"

#include <cstdint>
#include <string>

// [SECTION] Building ------------------------------------------------------------------------

// A new drawing whose model root is an empty group; DrawingDispose releases it. Null when
// the record cannot be made.
KORVEX_API DrawingStruct* kvDrawingNew();
// A new graphic of `kind`, outside any tree, on layer 0 with a white pen. Null for an unknown
// kind or when the record cannot be made. Released with GraphicDispose unless it is added to
// a tree, which then owns it.
KORVEX_API GraphicStruct* kvGraphicNew(int kind);
// Appends `child` to the children of `group`, which takes it over. 0 when `group` is not a
// group, or `child` is already in a tree, attached to a drawing, a model root or an
// ancestor of `group`.
KORVEX_API int kvGraphicAddChild(GraphicStruct* group, GraphicStruct* child);
// Appends a vertex to a line, polygon or mesh; 0 for other kinds.
KORVEX_API int kvGraphicAddVertex(GraphicStruct* g, double x, double y, double z);
// Appends a triangle of a mesh by the indices of three of its vertices (added before); 0
// for another kind or an index that is not a vertex.
KORVEX_API int kvGraphicAddFace(GraphicStruct* mesh, int a, int b, int c);
// Pen colour 0x00BBGGRR; the top byte is ignored.
KORVEX_API void kvGraphicSetPen(GraphicStruct* g, uint32_t color);
// The reference point, in the graphic's own coordinates.
KORVEX_API void kvGraphicSetReferencePoint(GraphicStruct* g, double x, double y, double z);
// Appends a custom property; keys may repeat. A text value, or a non-text value given as a
// JSON literal that is not a string: a number, true, false, null, an array or an object.
// 0 for text that is not UTF-8 or a literal that is not such JSON.
KORVEX_API int kvGraphicAddTextProperty(GraphicStruct* g, const char* name, const char* text);
KORVEX_API int kvGraphicAddValueProperty(GraphicStruct* g, const char* name, const char* json);

// [SECTION] Reading -------------------------------------------------------------------------

struct KvProperty {
    std::string name;
    std::string value; // the text, or the JSON literal of a non-text value
    bool isText = true;
};

KORVEX_API int kvGraphicPropertyCount(const GraphicStruct* g);
// Property `index` in order; 0 when there is none.
KORVEX_API int kvGraphicGetProperty(const GraphicStruct* g, int index, KvProperty* out);
KORVEX_API int kvGraphicFaceCount(const GraphicStruct* g);
// The vertex indices of face `index`; 0 when there is none.
KORVEX_API int kvGraphicGetFace(const GraphicStruct* g, int index, int out[3]);
// The graphic at `path` (see Conventions), or null.
KORVEX_API GraphicStruct* kvDrawingFindGraphic(DrawingStruct* d, const char* path);

// [SECTION] Files ---------------------------------------------------------------------------

// Reads a .qvw file into a new drawing (released with DrawingDispose). A file that breaks
// the format is rejected as a whole: null, and `reason` (when given) says which graphic and
// which field, e.g. "root/children[3]: faces[5]: index 12 is past the 8 vertices".
KORVEX_API DrawingStruct* kvReadDrawingFile(const char* path, std::string* reason);
// Writes the drawing's model as a .qvw file, replacing the file only once it is complete.
// 0 and the reason when the drawing cannot be written in the format (a number that is not
// finite, a line with one vertex, a size beyond the format's limits) or the file cannot be
// written.
KORVEX_API int kvWriteDrawingFile(DrawingStruct* d, const char* path, std::string* reason);

#endif
