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
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
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

using korvex::JsonValue;

// Numbers beyond the range of a double are refused by the parser itself, so every number read
// is finite.
bool parseJson(const std::string& text, json* out, std::string* reason) {
    return korvex::parseStrictJson(text, MaxJsonDepth, out, reason);
}

bool isWholeNumber(const JsonValue& v) {
    return v.IsInt64() || v.IsUint64();
}

// A whole number, clamped into long long (every caller range-checks it).
long long wholeNumber(const JsonValue& v) {
    if (v.IsInt64()) return v.GetInt64();
    return std::numeric_limits<long long>::max();
}

// A value as compact JSON text, numbers in their shortest form that reads back the same.
json asJson(const JsonValue& v) {
    if (v.IsString()) return std::string(v.GetString(), v.GetStringLength());
    if (v.IsBool()) return v.GetBool();
    if (v.IsInt64()) return v.GetInt64();
    if (v.IsUint64()) return v.GetUint64();
    if (v.IsNumber()) return v.GetDouble();
    if (v.IsArray()) {
        json list = json::array();
        for (const JsonValue& item : v.GetArray())
            list.push_back(asJson(item));
        return list;
    }
    if (v.IsObject()) {
        json object = json::object();
        for (const auto& member : v.GetObject())
            object[std::string(member.name.GetString(), member.name.GetStringLength())] =
                asJson(member.value);
        return object;
    }
    return json();
}

std::string textOf(const JsonValue& v) {
    return asJson(v).dump();
}

// The member `name` of an object, or null.
const JsonValue* field(const JsonValue& object, const char* name) {
    const auto member = object.FindMember(name);
    return member == object.MemberEnd() ? nullptr : &member->value;
}

// [SECTION] Reader --------------------------------------------------------------------------

struct TreeDeleter {
    void operator()(GraphicRecord* g) const { korvex::destroyGraphicTree(g); }
};
using GraphicTree = std::unique_ptr<GraphicRecord, TreeDeleter>;

class DrawingReader {
  public:
    // A new drawing, or null with the reason.
    DrawingRecord* read(const JsonValue& document) {
        if (!document.IsObject()) return refuse("the document is not a JSON object");
        for (const auto& member : document.GetObject()) {
            const std::string key(member.name.GetString(), member.name.GetStringLength());
            if (key != "format" && key != "version" && key != "root")
                return refuse("unknown field '" + key + "'");
        }
        const JsonValue* format = field(document, "format");
        if (!format) return refuse("missing field 'format'");
        if (!format->IsString() || std::string(format->GetString()) != "qvw")
            return refuse("format: expected \"qvw\"");
        const JsonValue* version = field(document, "version");
        if (!version) return refuse("missing field 'version'");
        if (!isWholeNumber(*version)) return refuse("version: expected an integer");
        if (wholeNumber(*version) != FormatVersion)
            return refuse("version: version " + textOf(*version) +
                          " is not supported (this reader reads version 1)");
        const JsonValue* rootValue = field(document, "root");
        if (!rootValue) return refuse("missing field 'root'");
        GraphicTree root = readGraphic(*rootValue, "root", 0);
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

    // A graphic object's members, found in one pass: null where a member is missing.
    struct GraphicFields {
        const JsonValue *kind = nullptr, *layer = nullptr, *pen = nullptr, *matrix = nullptr,
                        *refpoint = nullptr, *properties = nullptr, *children = nullptr,
                        *vertices = nullptr, *faces = nullptr;

        // False for a member the format does not know. A repeated key never gets here.
        bool take(const JsonValue& name, const JsonValue& value) {
            const std::string_view key(name.GetString(), name.GetStringLength());
            const std::pair<const char*, const JsonValue**> slots[] = {
                {"kind", &kind},         {"layer", &layer},       {"pen", &pen},
                {"matrix", &matrix},     {"refpoint", &refpoint}, {"properties", &properties},
                {"children", &children}, {"vertices", &vertices}, {"faces", &faces}};
            for (const auto& [known, slot] : slots)
                if (key == known) {
                    *slot = &value;
                    return true;
                }
            return false;
        }
    };

    GraphicTree readGraphic(const JsonValue& j, const std::string& path, int depth) {
        if (!j.IsObject()) return failed(path, "expected a graphic (a JSON object)");
        if (depth > MaxGraphicDepth)
            return failed(path, "graphics nest deeper than " + std::to_string(MaxGraphicDepth) +
                                    " levels");
        if (++graphics_ > MaxGraphics)
            return failed(path,
                          "more than " + std::to_string(MaxGraphics) + " graphics in the drawing");
        GraphicFields f;
        for (const auto& member : j.GetObject())
            if (!f.take(member.name, member.value))
                return failed(
                    path, "unknown field '" +
                              std::string(member.name.GetString(), member.name.GetStringLength()) +
                              "'");
        int kind = 0;
        if (!readKind(f, path, &kind) || !checkPayloadFields(f, path, kind)) return nullptr;
        GraphicTree g(korvex::createGraphic(kind, false));
        if (!readLayer(f, path, g.get()) || !readPen(f, path, g.get()) ||
            !readMatrix(f, path, g.get()) || !readReferencePoint(f, path, g.get()) ||
            !readProperties(f, path, g.get()) || !readVertices(f, path, g.get()) ||
            !readFaces(f, path, g.get()) || !readChildren(f, path, depth, g.get()))
            return nullptr;
        return g;
    }

    GraphicTree failed(const std::string& path, const std::string& problem) {
        fail(path, problem);
        return nullptr;
    }

    bool readKind(const GraphicFields& f, const std::string& path, int* kind) {
        const JsonValue* value = f.kind;
        if (!value) return fail(path, "missing field 'kind'");
        if (!isWholeNumber(*value)) return fail(path, "kind: expected an integer");
        const long long code = wholeNumber(*value);
        if (code < 0 || code > 255 || !korvex::isKnownGraphicKind(static_cast<int>(code)))
            return fail(path, "kind: unknown kind " + textOf(*value) +
                                  " (known: 2 line, 3 polygon, 7 group, 11 pick, 18 mesh)");
        *kind = static_cast<int>(code);
        return true;
    }

    bool checkPayloadFields(const GraphicFields& f, const std::string& path, int kind) {
        const std::string which = " (kind " + std::to_string(kind) + ")";
        if (f.children && !korvex::kindHasChildren(kind))
            return fail(path, "children: only groups have children" + which);
        if (f.vertices && !korvex::kindHasVertices(kind))
            return fail(path, "vertices: only lines, polygons and meshes have vertices" + which);
        if (f.faces && !korvex::kindHasFaces(kind))
            return fail(path, "faces: only meshes have faces" + which);
        return true;
    }

    bool readLayer(const GraphicFields& f, const std::string& path, GraphicRecord* g) {
        const JsonValue* value = f.layer;
        if (!value) return true;
        if (!value->IsInt()) return fail(path, "layer: expected a 32-bit integer");
        g->layer = value->GetInt();
        return true;
    }

    bool readPen(const GraphicFields& f, const std::string& path, GraphicRecord* g) {
        const JsonValue* value = f.pen;
        if (!value) return true;
        const std::string hexDigits = "0123456789abcdefABCDEF";
        const std::string text =
            value->IsString() ? std::string(value->GetString(), value->GetStringLength()) : "";
        const bool wellFormed = text.size() == 8 && text.compare(0, 2, "0x") == 0 &&
                                text.find_first_not_of(hexDigits, 2) == std::string::npos;
        if (!wellFormed) return fail(path, "pen: expected a colour text \"0xBBGGRR\"");
        g->penColor = static_cast<uint32_t>(std::stoul(text, nullptr, 16));
        return true;
    }

    bool readNumbers(const JsonValue& value, size_t count, double* out) {
        if (!value.IsArray() || value.Size() != count) return false;
        for (rapidjson::SizeType i = 0; i < count; ++i) {
            if (!value[i].IsNumber()) return false;
            out[i] = value[i].GetDouble();
        }
        return true;
    }

    bool readMatrix(const GraphicFields& f, const std::string& path, GraphicRecord* g) {
        const JsonValue* value = f.matrix;
        if (!value) return true;
        MatrixStruct m;
        if (!readNumbers(*value, 16, m.m)) return fail(path, "matrix: expected 16 numbers");
        g->matrix = m;
        return true;
    }

    bool readReferencePoint(const GraphicFields& f, const std::string& path, GraphicRecord* g) {
        const JsonValue* value = f.refpoint;
        if (!value) return true;
        double p[3];
        if (!readNumbers(*value, 3, p)) return fail(path, "refpoint: expected three numbers");
        g->refPoint = VertexStruct{p[0], p[1], p[2], nullptr, nullptr};
        return true;
    }

    bool readProperties(const GraphicFields& f, const std::string& path, GraphicRecord* g) {
        const JsonValue* list = f.properties;
        if (!list) return true;
        if (!list->IsArray()) return fail(path, "properties: expected a list of [name, value]");
        if (list->Size() > MaxProperties)
            return fail(path,
                        "properties: more than " + std::to_string(MaxProperties) + " properties");
        for (rapidjson::SizeType i = 0; i < list->Size(); ++i) {
            const auto where = [i] { return "properties[" + std::to_string(i) + "]"; };
            const JsonValue& pair = (*list)[i];
            if (!pair.IsArray() || pair.Size() != 2)
                return fail(path, where() + ": expected a [name, value] pair");
            if (!pair[0].IsString()) return fail(path, where() + ": the name must be a text");
            korvex::CustomProperty p;
            korvex::wideFromUtf8(std::string(pair[0].GetString(), pair[0].GetStringLength()),
                                 &p.name);
            p.isText = pair[1].IsString();
            if (p.isText)
                korvex::wideFromUtf8(std::string(pair[1].GetString(), pair[1].GetStringLength()),
                                     &p.text);
            else
                p.literal = textOf(pair[1]);
            korvex::changeableProperties(g).push_back(std::move(p));
        }
        return true;
    }

    bool readVertices(const GraphicFields& f, const std::string& path, GraphicRecord* g) {
        const JsonValue* list = f.vertices;
        if (list && !list->IsArray()) return fail(path, "vertices: expected a list of [x, y, z]");
        const long count = list ? static_cast<long>(list->Size()) : 0;
        if (vertices_ + count > MaxVertices)
            return fail(path, "vertices: more than " + std::to_string(MaxVertices) +
                                  " vertices in the drawing");
        vertices_ += count;
        if (count > 0) {
            korvex::VertexBlock& block = korvex::changeableVertices(g);
            block.reserve(static_cast<size_t>(count));
            for (long i = 0; i < count; ++i) {
                double p[3];
                if (!readNumbers((*list)[static_cast<rapidjson::SizeType>(i)], 3, p))
                    return fail(path,
                                "vertices[" + std::to_string(i) + "]: expected three numbers");
                block.push_back({p[0], p[1], p[2], nullptr, nullptr});
            }
            korvex::linkVertices(block);
            korvex::noteGeometryChanged(g, false);
        }
        const int needed = korvex::minimumVertexCount(g->kind);
        if (count < needed)
            return fail(path, std::string("vertices: a ") +
                                  (g->kind == GraphicKindLine ? "line" : "polygon") +
                                  " needs at least " + std::to_string(needed) +
                                  " vertices, found " + std::to_string(count));
        return true;
    }

    bool readFaces(const GraphicFields& f, const std::string& path, GraphicRecord* g) {
        const JsonValue* list = f.faces;
        if (!list) return true;
        if (!list->IsArray()) return fail(path, "faces: expected a list of [a, b, c]");
        if (faces_ + static_cast<long>(list->Size()) > MaxFaces)
            return fail(path,
                        "faces: more than " + std::to_string(MaxFaces) + " faces in the drawing");
        faces_ += static_cast<long>(list->Size());
        korvex::FaceList& faces = korvex::changeableFaces(g);
        faces.reserve(list->Size());
        const int vertexCount = korvex::vertexCountOf(*g);
        for (rapidjson::SizeType i = 0; i < list->Size(); ++i) {
            const JsonValue& face = (*list)[i];
            std::array<int, 3> indices{};
            if (!face.IsArray() || face.Size() != 3)
                return fail(path,
                            "faces[" + std::to_string(i) + "]: expected three vertex indices");
            for (rapidjson::SizeType k = 0; k < 3; ++k)
                if (!readIndex(face[k], path, i, vertexCount, &indices[k])) return false;
            faces.push_back(indices);
        }
        return true;
    }

    // The reason names the face only when there is one: most indices are fine.
    bool readIndex(const JsonValue& value, const std::string& path, rapidjson::SizeType face,
                   int vertexCount, int* index) {
        const auto where = [face] { return "faces[" + std::to_string(face) + "]"; };
        if (!isWholeNumber(value)) return fail(path, where() + ": expected three vertex indices");
        const long long n = wholeNumber(value);
        if (n < 0) return fail(path, where() + ": index " + textOf(value) + " is negative");
        if (n >= vertexCount)
            return fail(path, where() + ": index " + textOf(value) + " is past the " +
                                  std::to_string(vertexCount) + " vertices");
        *index = static_cast<int>(n);
        return true;
    }

    bool readChildren(const GraphicFields& f, const std::string& path, int depth,
                      GraphicRecord* g) {
        const JsonValue* list = f.children;
        if (!list) return true;
        if (!list->IsArray()) return fail(path, "children: expected a list of graphics");
        for (rapidjson::SizeType i = 0; i < list->Size(); ++i) {
            GraphicTree child =
                readGraphic((*list)[i], path + "/children[" + std::to_string(i) + "]", depth + 1);
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

// A file's bytes and a NUL after them, in a block the reader decodes in place.
struct FileText {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
};

// Opening never blocks (a FIFO without a writer would wait forever); anything but a plain file
// is refused before a byte is read.
bool readFileText(const std::string& path, FileText* text, std::string* reason) {
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
        text->size = static_cast<size_t>(info.st_size);
        text->bytes.reset(new char[text->size + 1]);
        size_t got = 0;
        while (got < text->size) {
            const ssize_t n = ::read(fd, text->bytes.get() + got, text->size - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        text->bytes[got] = '\0';
        done = got == text->size;
        if (!done) *reason = "cannot read '" + path + "'";
    }
    ::close(fd);
    return done;
}

DrawingRecord* readDrawingOrThrow(const std::string& path, std::string* reason) {
    FileText text;
    korvex::JsonDocument document;
    if (!readFileText(path, &text, reason) ||
        !korvex::parseStrictDocument(text.bytes.get(), text.size, MaxJsonDepth, &document, reason))
        return nullptr;
    DrawingReader reader;
    DrawingRecord* d = reader.read(document);
    if (!d) *reason = reader.reason();
    return d;
}

// The host's callers get null rather than an exception when memory runs out.
DrawingRecord* readDrawing(const std::string& path, std::string* reason) {
    try {
        return readDrawingOrThrow(path, reason);
    } catch (const std::bad_alloc&) {
        *reason = "out of memory reading '" + path + "'";
        return nullptr;
    }
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
        if (korvex::propertiesOf(g).size() > MaxProperties)
            return fail(path,
                        "properties: more than " + std::to_string(MaxProperties) + " properties");
        return checkVertices(g, path) && checkChildren(g, path, depth);
    }

    bool checkVertices(const GraphicRecord& g, const std::string& path) {
        const int count = korvex::vertexCountOf(g);
        vertices_ += count;
        faces_ += static_cast<long>(korvex::facesOf(g).size());
        if (vertices_ > MaxVertices) return fail(path, "vertices: too many in the drawing");
        if (faces_ > MaxFaces) return fail(path, "faces: too many in the drawing");
        for (int i = 0; i < count; ++i) {
            const VertexStruct& v = (*g.vertices)[static_cast<size_t>(i)];
            const double p[3] = {v.x, v.y, v.z};
            if (!finite(p, 3))
                return fail(path, "vertices[" + std::to_string(i) +
                                      "]: holds a number that is not finite");
        }
        if (count < korvex::minimumVertexCount(g.kind))
            return fail(path, "vertices: too few for its kind (" + std::to_string(count) + ")");
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
    if (!korvex::propertiesOf(g).empty()) {
        std::vector<std::string> pairs;
        for (const korvex::CustomProperty& p : korvex::propertiesOf(g))
            pairs.push_back("[" + json(korvex::utf8FromWide(p.name)).dump() + ", " +
                            (p.isText ? json(korvex::utf8FromWide(p.text)).dump() : p.literal) +
                            "]");
        fields.push_back("\"properties\": " + listText(pairs, level + 1));
    }
    if (korvex::vertexCountOf(g) > 0) {
        std::vector<std::string> triples;
        for (const VertexStruct& v : *g.vertices)
            triples.push_back(tripleText(v.x, v.y, v.z));
        fields.push_back("\"vertices\": " + listText(triples, level + 1));
    }
    if (!korvex::facesOf(g).empty()) {
        std::vector<std::string> faces;
        for (const auto& f : korvex::facesOf(g))
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
// Everything that may need room is made before the drawing, which then takes it without any.
KORVEX_API DrawingStruct* qvCustomRead(AppStruct*, int, const wchar_t* path, int, int, int, int) {
    return korvex::answerOrFail<DrawingStruct*>(nullptr, [path]() -> DrawingStruct* {
        const std::optional<std::string> file = path ? utf8::Narrow(path) : std::nullopt;
        if (!file) return nullptr;
        std::wstring name = path;
        std::string reason;
        DrawingRecord* d = readDrawing(*file, &reason);
        if (d) d->path.swap(name);
        return d;
    });
}

// [SECTION] Host-application API ------------------------------------------------------------

KORVEX_API DrawingStruct* kvReadDrawingFile(const char* path, std::string* reason) {
    return korvex::answerOrFail<DrawingStruct*>(nullptr, [path, reason]() -> DrawingStruct* {
        std::string why = path ? std::string() : "no path given";
        std::wstring name = path ? utf8::Widen(path).value_or(std::wstring()) : std::wstring();
        DrawingRecord* d = path ? readDrawing(path, &why) : nullptr;
        if (d) d->path.swap(name);
        if (reason) reason->swap(why);
        return d;
    });
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
