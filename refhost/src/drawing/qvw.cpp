// The .qvw drawing file: a versioned JSON document of a drawing's graphic tree (see
// docs/qvw-format.md). The reader takes a file whole or not at all; the writer refuses a
// drawing it could not read back exactly.
//
// Index
//   [SECTION] Limits
//   [SECTION] JSON
//   [SECTION] Reader
//   [SECTION] Writer
//   [SECTION] Host interface
//   [SECTION] Host-application API
#include "graphic_records.h"
#include "korvex/drawing.h"
#include "korvex/strict_json.h"
#include "tiller/host/arbor.h"
#include "tiller/host/utf8.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>

using nlohmann::json;

namespace {

// [SECTION] Limits --------------------------------------------------------------------------

constexpr int FormatVersion = 1;
constexpr int MaxGraphicDepth = 64;     // the model root is at depth 0
constexpr int MaxJsonDepth = 256;       // nesting of the JSON document itself
constexpr long MaxGraphics = 100000;    // in one drawing
constexpr long MaxVertices = 1000000;   // in one drawing
constexpr long MaxFaces = 2000000;      // in one drawing
constexpr size_t MaxProperties = 10000; // of one graphic
constexpr long long MaxFileBytes = 64LL << 20;

// [SECTION] JSON ----------------------------------------------------------------------------

struct DocumentRejected {
    std::string reason;
};

// Numbers beyond the range of a double are refused by the parser itself, so every number read
// is finite.
bool parseJson(const std::string& text, json* out, std::string* reason) {
    return korvex::parseStrictJson(text, MaxJsonDepth, out, reason);
}

// [SECTION] Reader --------------------------------------------------------------------------

struct TreeDeleter {
    void operator()(GraphicRecord* g) const { korvex::destroyGraphicTree(g); }
};
using GraphicTree = std::unique_ptr<GraphicRecord, TreeDeleter>;

class DrawingReader {
  public:
    // A new drawing, or null with the reason.
    DrawingRecord* read(const json& document) {
        if (!document.is_object()) return refuse("the document is not a JSON object");
        for (const auto& [key, value] : document.items())
            if (key != "format" && key != "version" && key != "root")
                return refuse("unknown field '" + key + "'");
        if (!document.contains("format")) return refuse("missing field 'format'");
        if (document["format"] != "qvw") return refuse("format: expected \"qvw\"");
        if (!document.contains("version")) return refuse("missing field 'version'");
        const json& version = document["version"];
        if (!version.is_number_integer()) return refuse("version: expected an integer");
        if (version != FormatVersion)
            return refuse("version: version " + version.dump() +
                          " is not supported (this reader reads version 1)");
        if (!document.contains("root")) return refuse("missing field 'root'");
        GraphicTree root = readGraphic(document["root"], "root", 0);
        if (!root) return nullptr;
        if (root->kind != GraphicKindGroup)
            return refuse("root: the model root must be a group (kind 7)");
        DrawingRecord* d = korvex::createDrawing();
        if (!d) return refuse("the drawing record cannot be made");
        korvex::destroyGraphicTree(d->root);
        d->root = root.release();
        d->root->modelOf = d;
        return d;
    }

    const std::string& reason() const { return reason_; }

  private:
    std::string reason_;
    long graphics_ = 0, vertices_ = 0, faces_ = 0;

    std::nullptr_t refuse(const std::string& reason) {
        reason_ = reason;
        return nullptr;
    }
    bool fail(const std::string& path, const std::string& problem) {
        reason_ = path + ": " + problem;
        return false;
    }

    static bool isGraphicField(const std::string& key) {
        for (const char* field : {"kind", "layer", "pen", "matrix", "refpoint", "properties",
                                  "children", "vertices", "faces"})
            if (key == field) return true;
        return false;
    }

    GraphicTree readGraphic(const json& j, const std::string& path, int depth) {
        if (!j.is_object()) return failed(path, "expected a graphic (a JSON object)");
        if (depth > MaxGraphicDepth)
            return failed(path, "graphics nest deeper than " + std::to_string(MaxGraphicDepth) +
                                    " levels");
        if (++graphics_ > MaxGraphics)
            return failed(path,
                          "more than " + std::to_string(MaxGraphics) + " graphics in the drawing");
        for (const auto& [key, value] : j.items())
            if (!isGraphicField(key)) return failed(path, "unknown field '" + key + "'");
        int kind = 0;
        if (!readKind(j, path, &kind) || !checkPayloadFields(j, path, kind)) return nullptr;
        GraphicTree g(korvex::createGraphic(kind, false));
        if (!readLayer(j, path, g.get()) || !readPen(j, path, g.get()) ||
            !readMatrix(j, path, g.get()) || !readReferencePoint(j, path, g.get()) ||
            !readProperties(j, path, g.get()) || !readVertices(j, path, g.get()) ||
            !readFaces(j, path, g.get()) || !readChildren(j, path, depth, g.get()))
            return nullptr;
        return g;
    }

    GraphicTree failed(const std::string& path, const std::string& problem) {
        fail(path, problem);
        return nullptr;
    }

    bool readKind(const json& j, const std::string& path, int* kind) {
        if (!j.contains("kind")) return fail(path, "missing field 'kind'");
        const json& value = j["kind"];
        if (!value.is_number_integer()) return fail(path, "kind: expected an integer");
        const long long code = value.get<long long>();
        if (code < 0 || code > 255 || !korvex::isKnownGraphicKind(static_cast<int>(code)))
            return fail(path, "kind: unknown kind " + value.dump() +
                                  " (known: 2 line, 3 polygon, 7 group, 11 pick, 18 mesh)");
        *kind = static_cast<int>(code);
        return true;
    }

    bool checkPayloadFields(const json& j, const std::string& path, int kind) {
        const std::string which = " (kind " + std::to_string(kind) + ")";
        if (j.contains("children") && !korvex::kindHasChildren(kind))
            return fail(path, "children: only groups have children" + which);
        if (j.contains("vertices") && !korvex::kindHasVertices(kind))
            return fail(path, "vertices: only lines, polygons and meshes have vertices" + which);
        if (j.contains("faces") && !korvex::kindHasFaces(kind))
            return fail(path, "faces: only meshes have faces" + which);
        return true;
    }

    bool readLayer(const json& j, const std::string& path, GraphicRecord* g) {
        if (!j.contains("layer")) return true;
        const json& value = j["layer"];
        if (!value.is_number_integer() ||
            value.get<long long>() < std::numeric_limits<int>::min() ||
            value.get<long long>() > std::numeric_limits<int>::max())
            return fail(path, "layer: expected a 32-bit integer");
        g->layer = value.get<int>();
        return true;
    }

    bool readPen(const json& j, const std::string& path, GraphicRecord* g) {
        if (!j.contains("pen")) return true;
        const json& value = j["pen"];
        const std::string hexDigits = "0123456789abcdefABCDEF";
        const bool wellFormed =
            value.is_string() && value.get<std::string>().size() == 8 &&
            value.get<std::string>().compare(0, 2, "0x") == 0 &&
            value.get<std::string>().find_first_not_of(hexDigits, 2) == std::string::npos;
        if (!wellFormed) return fail(path, "pen: expected a colour text \"0xBBGGRR\"");
        g->penColor = static_cast<uint32_t>(std::stoul(value.get<std::string>(), nullptr, 16));
        return true;
    }

    bool readNumbers(const json& value, size_t count, double* out) {
        if (!value.is_array() || value.size() != count) return false;
        for (size_t i = 0; i < count; ++i) {
            if (!value[i].is_number()) return false;
            out[i] = value[i].get<double>();
        }
        return true;
    }

    bool readMatrix(const json& j, const std::string& path, GraphicRecord* g) {
        if (!j.contains("matrix")) return true;
        MatrixStruct m;
        if (!readNumbers(j["matrix"], 16, m.m)) return fail(path, "matrix: expected 16 numbers");
        g->matrix = m;
        return true;
    }

    bool readReferencePoint(const json& j, const std::string& path, GraphicRecord* g) {
        if (!j.contains("refpoint")) return true;
        double p[3];
        if (!readNumbers(j["refpoint"], 3, p))
            return fail(path, "refpoint: expected three numbers");
        g->refPoint = VertexStruct{p[0], p[1], p[2], nullptr, nullptr};
        return true;
    }

    bool readProperties(const json& j, const std::string& path, GraphicRecord* g) {
        if (!j.contains("properties")) return true;
        const json& list = j["properties"];
        if (!list.is_array()) return fail(path, "properties: expected a list of [name, value]");
        if (list.size() > MaxProperties)
            return fail(path,
                        "properties: more than " + std::to_string(MaxProperties) + " properties");
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string where = "properties[" + std::to_string(i) + "]";
            const json& pair = list[i];
            if (!pair.is_array() || pair.size() != 2)
                return fail(path, where + ": expected a [name, value] pair");
            if (!pair[0].is_string()) return fail(path, where + ": the name must be a text");
            korvex::CustomProperty p;
            korvex::wideFromUtf8(pair[0].get<std::string>(), &p.name);
            p.isText = pair[1].is_string();
            if (p.isText)
                korvex::wideFromUtf8(pair[1].get<std::string>(), &p.text);
            else
                p.literal = pair[1].dump();
            g->properties.push_back(std::move(p));
        }
        return true;
    }

    bool readVertices(const json& j, const std::string& path, GraphicRecord* g) {
        const json empty = json::array();
        const json& list = j.contains("vertices") ? j["vertices"] : empty;
        if (!list.is_array()) return fail(path, "vertices: expected a list of [x, y, z]");
        if (vertices_ + static_cast<long>(list.size()) > MaxVertices)
            return fail(path, "vertices: more than " + std::to_string(MaxVertices) +
                                  " vertices in the drawing");
        vertices_ += static_cast<long>(list.size());
        for (size_t i = 0; i < list.size(); ++i) {
            double p[3];
            if (!readNumbers(list[i], 3, p))
                return fail(path, "vertices[" + std::to_string(i) + "]: expected three numbers");
            korvex::appendVertex(g, p[0], p[1], p[2]);
        }
        const int needed = korvex::minimumVertexCount(g->kind);
        if (g->vertexCount < needed)
            return fail(path, std::string("vertices: a ") +
                                  (g->kind == GraphicKindLine ? "line" : "polygon") +
                                  " needs at least " + std::to_string(needed) +
                                  " vertices, found " + std::to_string(g->vertexCount));
        return true;
    }

    bool readFaces(const json& j, const std::string& path, GraphicRecord* g) {
        if (!j.contains("faces")) return true;
        const json& list = j["faces"];
        if (!list.is_array()) return fail(path, "faces: expected a list of [a, b, c]");
        if (faces_ + static_cast<long>(list.size()) > MaxFaces)
            return fail(path,
                        "faces: more than " + std::to_string(MaxFaces) + " faces in the drawing");
        faces_ += static_cast<long>(list.size());
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string where = "faces[" + std::to_string(i) + "]";
            const json& face = list[i];
            if (!face.is_array() || face.size() != 3)
                return fail(path, where + ": expected three vertex indices");
            std::array<int, 3> indices{};
            for (int k = 0; k < 3; ++k) {
                if (!face[k].is_number_integer())
                    return fail(path, where + ": expected three vertex indices");
                const long long index = face[k].get<long long>();
                if (index < 0)
                    return fail(path, where + ": index " + face[k].dump() + " is negative");
                if (index >= g->vertexCount)
                    return fail(path, where + ": index " + face[k].dump() + " is past the " +
                                          std::to_string(g->vertexCount) + " vertices");
                indices[k] = static_cast<int>(index);
            }
            g->faces.push_back(indices);
        }
        return true;
    }

    bool readChildren(const json& j, const std::string& path, int depth, GraphicRecord* g) {
        if (!j.contains("children")) return true;
        const json& list = j["children"];
        if (!list.is_array()) return fail(path, "children: expected a list of graphics");
        for (size_t i = 0; i < list.size(); ++i) {
            GraphicTree child =
                readGraphic(list[i], path + "/children[" + std::to_string(i) + "]", depth + 1);
            if (!child) return false;
            korvex::appendChild(g, child.release());
        }
        return true;
    }
};

// Why a file that is not a plain file cannot be read, or "" for a plain file.
std::string notPlainFile(const struct stat& info) {
    if (S_ISREG(info.st_mode)) return "";
    if (S_ISDIR(info.st_mode)) return "is a directory";
    if (S_ISFIFO(info.st_mode)) return "is a FIFO, not a file";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "is a device, not a file";
    return "is not a regular file";
}

// Opening never blocks (a FIFO without a writer would wait forever); anything but a plain file
// is refused before a byte is read.
bool readFileText(const std::string& path, std::string* text, std::string* reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *reason = "cannot open '" + path + "'";
        return false;
    }
    struct stat info {};
    bool done = false;
    if (fstat(fd, &info) != 0) {
        *reason = "cannot open '" + path + "'";
    } else if (const std::string notPlain = notPlainFile(info); !notPlain.empty()) {
        *reason = "'" + path + "' " + notPlain;
    } else if (info.st_size > MaxFileBytes) {
        *reason = "the file is larger than 64 MiB";
    } else {
        text->resize(static_cast<size_t>(info.st_size));
        size_t got = 0;
        while (got < text->size()) {
            const ssize_t n = ::read(fd, text->data() + got, text->size() - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        done = got == text->size();
        if (!done) *reason = "cannot read '" + path + "'";
    }
    ::close(fd);
    return done;
}

DrawingRecord* readDrawing(const std::string& path, std::string* reason) {
    std::string text;
    json document;
    if (!readFileText(path, &text, reason) || !parseJson(text, &document, reason)) return nullptr;
    DrawingReader reader;
    DrawingRecord* d = reader.read(document);
    if (!d) *reason = reader.reason();
    return d;
}

// [SECTION] Writer --------------------------------------------------------------------------

// Checks a drawing against the format before anything is written, with the reader's limits.
class DrawingChecker {
  public:
    bool check(const GraphicRecord& root) { return checkGraphic(root, "root", 0); }
    const std::string& reason() const { return reason_; }

  private:
    std::string reason_;
    long graphics_ = 0, vertices_ = 0, faces_ = 0;

    bool fail(const std::string& path, const std::string& problem) {
        reason_ = path + ": " + problem;
        return false;
    }

    static bool finite(const double* values, int count) {
        for (int i = 0; i < count; ++i)
            if (!std::isfinite(values[i])) return false;
        return true;
    }

    bool checkGraphic(const GraphicRecord& g, const std::string& path, int depth) {
        if (depth > MaxGraphicDepth)
            return fail(path,
                        "graphics nest deeper than " + std::to_string(MaxGraphicDepth) + " levels");
        if (++graphics_ > MaxGraphics) return fail(path, "too many graphics in the drawing");
        if (g.matrix && !finite(g.matrix->m, 16))
            return fail(path, "matrix: holds a number that is not finite");
        if (g.refPoint) {
            const double p[3] = {g.refPoint->x, g.refPoint->y, g.refPoint->z};
            if (!finite(p, 3)) return fail(path, "refpoint: holds a number that is not finite");
        }
        if (g.properties.size() > MaxProperties)
            return fail(path,
                        "properties: more than " + std::to_string(MaxProperties) + " properties");
        return checkVertices(g, path) && checkChildren(g, path, depth);
    }

    bool checkVertices(const GraphicRecord& g, const std::string& path) {
        vertices_ += g.vertexCount;
        faces_ += static_cast<long>(g.faces.size());
        if (vertices_ > MaxVertices) return fail(path, "vertices: too many in the drawing");
        if (faces_ > MaxFaces) return fail(path, "faces: too many in the drawing");
        const VertexStruct* v = g.firstVertex;
        for (int i = 0; i < g.vertexCount; ++i, v = v->next) {
            const double p[3] = {v->x, v->y, v->z};
            if (!finite(p, 3))
                return fail(path, "vertices[" + std::to_string(i) +
                                      "]: holds a number that is not finite");
        }
        if (g.vertexCount < korvex::minimumVertexCount(g.kind))
            return fail(path,
                        "vertices: too few for its kind (" + std::to_string(g.vertexCount) + ")");
        return true;
    }

    bool checkChildren(const GraphicRecord& g, const std::string& path, int depth) {
        for (size_t i = 0; i < g.children.size(); ++i)
            if (!checkGraphic(*g.children[i], path + "/children[" + std::to_string(i) + "]",
                              depth + 1))
                return false;
        return true;
    }
};

std::string indent(int level) {
    return std::string(2 * static_cast<size_t>(level), ' ');
}

// The shortest text that reads back as the same double.
std::string numberText(double value) {
    return json(value).dump();
}

std::string tripleText(double x, double y, double z) {
    return "[" + numberText(x) + ", " + numberText(y) + ", " + numberText(z) + "]";
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? separator : "") + items[i];
    return out;
}

// A list with one item per line, at `level`.
std::string listText(const std::vector<std::string>& items, int level) {
    return "[\n" + indent(level + 1) + joined(items, ",\n" + indent(level + 1)) + "\n" +
           indent(level) + "]";
}

std::string penText(uint32_t color) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", color & 0x00FFFFFFu);
    return text;
}

std::string graphicText(const GraphicRecord& g, int level) {
    std::vector<std::string> fields = {"\"kind\": " + std::to_string(g.kind),
                                       "\"layer\": " + std::to_string(g.layer),
                                       "\"pen\": \"" + penText(g.penColor) + "\""};
    if (g.matrix) {
        std::vector<std::string> rows;
        for (int row = 0; row < 4; ++row) {
            const double* m = g.matrix->m + 4 * row;
            rows.push_back(numberText(m[0]) + ", " + numberText(m[1]) + ", " + numberText(m[2]) +
                           ", " + numberText(m[3]));
        }
        fields.push_back("\"matrix\": [" + joined(rows, ",\n" + indent(level + 2)) + "]");
    }
    if (g.refPoint)
        fields.push_back("\"refpoint\": " +
                         tripleText(g.refPoint->x, g.refPoint->y, g.refPoint->z));
    if (!g.properties.empty()) {
        std::vector<std::string> pairs;
        for (const korvex::CustomProperty& p : g.properties)
            pairs.push_back("[" + json(korvex::utf8FromWide(p.name)).dump() + ", " +
                            (p.isText ? json(korvex::utf8FromWide(p.text)).dump() : p.literal) +
                            "]");
        fields.push_back("\"properties\": " + listText(pairs, level + 1));
    }
    if (g.vertexCount > 0) {
        std::vector<std::string> triples;
        const VertexStruct* v = g.firstVertex;
        for (int i = 0; i < g.vertexCount; ++i, v = v->next)
            triples.push_back(tripleText(v->x, v->y, v->z));
        fields.push_back("\"vertices\": " + listText(triples, level + 1));
    }
    if (!g.faces.empty()) {
        std::vector<std::string> faces;
        for (const auto& f : g.faces)
            faces.push_back("[" + std::to_string(f[0]) + ", " + std::to_string(f[1]) + ", " +
                            std::to_string(f[2]) + "]");
        fields.push_back("\"faces\": " + listText(faces, level + 1));
    }
    if (!g.children.empty()) {
        std::vector<std::string> children;
        for (const GraphicRecord* child : g.children)
            children.push_back(graphicText(*child, level + 2));
        fields.push_back("\"children\": " + listText(children, level + 1));
    }
    return "{\n" + indent(level + 1) + joined(fields, ",\n" + indent(level + 1)) + "\n" +
           indent(level) + "}";
}

std::string documentText(const DrawingRecord& d) {
    return "{\n  \"format\": \"qvw\",\n  \"version\": " + std::to_string(FormatVersion) +
           ",\n  \"root\": " + graphicText(*d.root, 1) + "\n}\n";
}

// Writes beside the target and renames, so a failed write leaves the old file as it was.
bool writeFileText(const std::string& path, const std::string& text, std::string* reason) {
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::remove(partial.c_str());
            *reason = "cannot write '" + path + "'";
            return false;
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        *reason = "cannot replace '" + path + "'";
        return false;
    }
    return true;
}

} // namespace

namespace korvex {

bool nonTextLiteral(const std::string& text, std::string* literal) {
    json value;
    std::string reason;
    if (!parseJson(text, &value, &reason) || value.is_string()) return false;
    *literal = value.dump();
    return true;
}

} // namespace korvex

// [SECTION] Host interface ------------------------------------------------------------------

// The application and the remaining arguments are not used: the reference host reads .qvw
// files only. Null for any file that cannot be read whole.
KORVEX_API DrawingStruct* qvCustomRead(AppStruct*, int, const wchar_t* path, int, int, int, int) {
    const std::optional<std::string> file = path ? utf8::Narrow(path) : std::nullopt;
    if (!file) return nullptr;
    std::string reason;
    DrawingRecord* d = readDrawing(*file, &reason);
    if (d) d->path = path;
    return d;
}

// [SECTION] Host-application API ------------------------------------------------------------

KORVEX_API DrawingStruct* kvReadDrawingFile(const char* path, std::string* reason) {
    std::string why;
    DrawingRecord* d = path ? readDrawing(path, &why) : nullptr;
    if (!path) why = "no path given";
    if (d) d->path = utf8::Widen(path).value_or(std::wstring());
    if (reason) *reason = d ? std::string() : why;
    return d;
}

KORVEX_API int kvWriteDrawingFile(DrawingStruct* d, const char* path, std::string* reason) {
    std::string why;
    auto* drawing = static_cast<DrawingRecord*>(d);
    DrawingChecker checker;
    bool written = false;
    if (!drawing || !path)
        why = "no drawing or no path given";
    else if (!checker.check(*drawing->root))
        why = checker.reason();
    else
        written = writeFileText(path, documentText(*drawing), &why);
    if (reason) *reason = written ? std::string() : why;
    return written;
}
