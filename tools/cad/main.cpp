// tiller-assembly: writes the sample assembly into each file named on the command line, in
// the format of its extension. `make assembly` refreshes the STEP file the demo opens.
#include "assembly.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tiller-assembly FILE.step|.iges|.stl|.obj|.gltf|.glb ...\n");
        return 2;
    }
    try {
        tiller::tools::cad::Assembly assembly;
        tiller::tools::cad::BuildAssembly(&assembly);
        for (int i = 1; i < argc; ++i) {
            std::string reason;
            if (!tiller::tools::cad::WriteAssembly(assembly, argv[i], 0.05, &reason)) {
                std::fprintf(stderr, "tiller-assembly: %s\n", reason.c_str());
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tiller-assembly: %s\n", e.what());
        return 1;
    }
    return 0;
}
