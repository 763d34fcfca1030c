// Host-application API of the reference host: CAD models. Opens STEP, IGES, STL, OBJ and
// glTF/GLB files into a scene's model, names their parts, and selects parts by name or by a
// click, as a CAD application does. Tools, tests and demos call these; the Tiller library
// never does. kvSceneOpenFile lives in libkorvex_cad.so, which links Open CASCADE; the rest
// in libkorvex.so.
//
// Conventions
//   * A file becomes a group per assembly node and a mesh per part, each carried by its
//     placement in the assembly (the graphic's own matrix) and named by a text property
//     "Name": the product's name and its place among the siblings of the same product,
//     "bolt_1", "bolt_2". A part's path is the names from the model root down, joined by "/":
//     "bracket-assembly_1/l-bracket-assembly_2/nut-bolt-assembly_1/bolt_1". An STL file is
//     one part named after the file.
//   * Drawing units are millimetres, Z up: files in other units or with Y up are converted.
//   * B-rep parts are tessellated with a chord deviation of `relativeDeflection` times the
//     diagonal of the part's bounding box, and an angular deviation of `angularDeflection`.
//   * Mesh colours: the part's surface colour (its instance's, its product's, then its faces'
//     first), the material's base colour, or a light grey.
#ifndef KORVEX_CAD_H
#define KORVEX_CAD_H

#include "korvex/session.h"

#include <string>
#include <vector>

struct KvCadOptions {
    double relativeDeflection = 0.002;
    double angularDeflectionDegrees = 20;
    // A file whose parts make more triangles than this is refused (0: no limit): it bounds
    // the memory a file takes, at about 0.5 KB a triangle.
    long maxTriangles = 2000000;
};

struct KvCadSummary {
    int parts = 0;      // meshes made
    int assemblies = 0; // groups made
    long triangles = 0;
};

// Adds the model of a file to the scene and selects every part added. The type follows the
// extension: .step/.stp, .iges/.igs, .stl, .obj, .gltf/.glb, and .qvw (a drawing file, as
// kvSceneLoadFile). A file that cannot be read, or holds no part, adds nothing and leaves the
// selection as it was: 0 and a one-line reason. `options` and `summary` may be null.
KORVEX_API int kvSceneOpenFile(KvScene* scene, const char* path, const KvCadOptions* options,
                               KvCadSummary* summary, std::string* reason);

// The value of g's "Name" property; empty without one.
KORVEX_API std::string kvGraphicName(const GraphicStruct* g);
// The names from below the model root down to g joined by "/", or empty when g is not in the
// scene's model.
KORVEX_API std::string kvScenePartPath(KvScene* scene, const GraphicStruct* g);
// The graphics of the model whose path is `name` or ends with it ("bolt_1",
// "nut-bolt-assembly_2/bolt_1"), in model order.
KORVEX_API std::vector<GraphicStruct*> kvSceneFindParts(KvScene* scene, const char* name);
// Selects the graphic named `name` (see kvSceneFindParts), alone or (add) besides the
// selection. 0 and the reason when no graphic or more than one has the name, or the selection
// has no room; the selection is kept then.
KORVEX_API int kvSceneSelectByName(KvScene* scene, const char* name, int add, std::string* reason);
// The part (a mesh of the model, at any depth) nearest along the pixel's sight line, or null
// over empty space. Graphics on hidden layers are not found.
KORVEX_API GraphicStruct* kvScenePickPart(KvScene* scene, ViewportStruct* vp, double px, double py);
// A click in the viewport: the part under the pixel becomes the selection, or (add) joins it,
// or leaves it when it was selected; a click over nothing clears the selection unless `add`.
// Answers the part, or null (also when the selection had no room for it).
KORVEX_API GraphicStruct* kvSceneClickSelect(KvScene* scene, ViewportStruct* vp, double px,
                                             double py, int add);

#endif
