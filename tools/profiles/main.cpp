// tiller-profiles OUTDIR: writes the shipped profiles UniversalCtrl.qvw and
// UniversalCtrlSimple.qvw into OUTDIR.
#include "korvex/drawing.h"
#include "universal.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

bool writeProfile(DrawingStruct* (*build)(), const std::filesystem::path& path) {
    DrawingStruct* d = build();
    std::string reason = "the drawing cannot be made";
    const bool written = d && kvWriteDrawingFile(d, path.c_str(), &reason);
    DrawingDispose(&d);
    if (!written) std::fprintf(stderr, "tiller-profiles: %s: %s\n", path.c_str(), reason.c_str());
    return written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tiller-profiles OUTDIR\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "tiller-profiles: %s: %s\n", folder.c_str(), error.message().c_str());
        return 1;
    }
    const bool universal =
        writeProfile(profiles::buildUniversalProfile, folder / "UniversalCtrl.qvw");
    const bool simple =
        writeProfile(profiles::buildUniversalSimpleProfile, folder / "UniversalCtrlSimple.qvw");
    return universal && simple ? 0 : 1;
}
