// The trace facility. The host application switches tracing on; every line written is kept
// for tests and echoed to stderr when KORVEX_TRACE=1. The kept lines outlive static
// destruction because modules trace from their unload hooks, which run after it.
#include "records.h"
#include "tiller/host/tracery.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool debugTracing = false;
bool readWriteTracing = false;

std::vector<std::string>& keptLines() {
    static auto* lines = new std::vector<std::string>;
    return *lines;
}

bool echoToStderr() {
    const char* setting = std::getenv("KORVEX_TRACE");
    return setting && std::strcmp(setting, "1") == 0;
}

// "source(line): text", without the text's own line end.
std::string formatLine(const char* source, int line, const char* text) {
    std::string body = text ? text : "";
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
        body.pop_back();
    return std::string(source ? source : "") + "(" + std::to_string(line) + "): " + body;
}

void writeLine(const char* source, int line, const char* text) {
    std::string formatted = formatLine(source, line, text);
    if (echoToStderr()) std::fprintf(stderr, "%s\n", formatted.c_str());
    keptLines().push_back(std::move(formatted));
}

} // namespace

KORVEX_API bool QVDebugGetEnable() {
    return debugTracing;
}

KORVEX_API bool QVRWDebugGetEnable() {
    return readWriteTracing;
}

KORVEX_API void QVDebugTraceEx(const char* source, int line, const char* text) {
    writeLine(source, line, text);
}

// The level only ranks the line on a real host; every level is kept here.
KORVEX_API void QVDebugLine(const char* source, int line, const char* text, int) {
    writeLine(source, line, text);
}

KORVEX_API void kvSetTracing(bool on) {
    debugTracing = on;
}

KORVEX_API void kvSetReadWriteTracing(bool on) {
    readWriteTracing = on;
}

KORVEX_API std::vector<std::string> kvTraceLines() {
    return keptLines();
}

KORVEX_API void kvClearTrace() {
    keptLines().clear();
}
