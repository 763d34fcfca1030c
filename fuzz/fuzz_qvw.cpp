// Feeds the drawing-file reader arbitrary bytes. It must answer a drawing or null with a
// reason, never crash, and leave no host record alive once the drawing is disposed.
#include "korvex/drawing.h"
#include "korvex/testing.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/tiller-fuzz-qvw-" + std::to_string(getpid()) + ".qvw";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const long before = kvLiveTotal();
    std::string reason;
    DrawingStruct* drawing = kvReadDrawingFile(path.c_str(), &reason);
    if (!drawing && reason.empty()) std::abort(); // a rejection always says why
    DrawingDispose(&drawing);
    if (kvLiveTotal() != before) std::abort();
    return 0;
}
