// The sample assembly: a base plate, two L-brackets each held by two bolts with nuts, a shaft
// through the brackets and a lever turned on it, modelled as b-rep solids in an XDE document
// with product names, colours and placements, and written as STEP, IGES, STL, OBJ or glTF.
// The demo and the tests open what this writes and compare it with what was modelled.
#ifndef TILLER_TOOLS_CAD_ASSEMBLY_H
#define TILLER_TOOLS_CAD_ASSEMBLY_H

#include <TDocStd_Document.hxx>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tiller::tools::cad {

// One placed part as modelled: its path of instance names, colour (0x00BBGGRR), its
// placement in the world (16 numbers, column-major) and its exact bounding box there.
struct ModelledPart {
    std::string path;
    uint32_t colour = 0;
    std::array<double, 16> placement{};
    std::array<double, 3> min{}, max{};
};

struct Assembly {
    Handle(TDocStd_Document) doc;
    std::vector<ModelledPart> parts;
    Assembly();
    ~Assembly();
    Assembly(const Assembly&) = delete;
    Assembly& operator=(const Assembly&) = delete;
};

// Builds the assembly, with `extraPlates` more perforated plates of different patterns
// beside it (to make larger files). Throws std::runtime_error when the modelling fails.
void BuildAssembly(Assembly* assembly, int extraPlates = 0);
// Writes it in the format of the path's extension (.step, .iges, .stl, .obj, .gltf, .glb);
// mesh formats carry a tessellation of `deflection` millimetres. False with the reason on
// failure.
bool WriteAssembly(Assembly& assembly, const std::string& path, double deflection,
                   std::string* reason);

} // namespace tiller::tools::cad

#endif
