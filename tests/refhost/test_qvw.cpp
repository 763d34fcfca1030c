// The .qvw file: broken files are rejected whole with the reason naming graphic and field,
// a written drawing reads back bit for bit, and reading, writing and disposing leak nothing.
#include "korvex/drawing.h"
#include "support/live_records.h"
#include "tiller/host/arbor.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path Corpus = fs::path(TILLER_SOURCE_DIR) / "tests/refhost/qvw_corpus";

fs::path scratchFile(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("qvw-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir / name;
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string rejection(const fs::path& path) {
    std::string reason;
    DrawingStruct* d = kvReadDrawingFile(path.c_str(), &reason);
    if (d) {
        DrawingDispose(&d);
        return "(accepted)";
    }
    return reason;
}

class QvwTest : public LiveRecordsTest {};

TEST_F(QvwTest, BrokenFilesAreRejectedWithTheirReason) {
    // Each file of the corpus and the reason it is rejected with.
    const nlohmann::json expected =
        nlohmann::json::parse(std::ifstream(Corpus.parent_path() / "qvw_rejections.json"));
    for (const auto& [file, reason] : expected.items())
        EXPECT_EQ(rejection(Corpus / file), reason.get<std::string>()) << file;
    for (const char* file : {"not_json.qvw", "empty.qvw"})
        EXPECT_EQ(rejection(Corpus / file).rfind("not JSON: ", 0), 0u) << file;
    EXPECT_EQ(rejection(Corpus / "no_such_file.qvw"),
              "cannot open '" + (Corpus / "no_such_file.qvw").string() + "'");
}

// n graphics nested in each other below the root.
std::string nestedGroups(int n) {
    std::string text = "{\"format\": \"qvw\", \"version\": 1, \"root\": {\"kind\": 7";
    for (int i = 0; i < n; ++i)
        text += ", \"children\": [{\"kind\": 7";
    for (int i = 0; i < n; ++i)
        text += "}]";
    return text + "}}";
}

TEST_F(QvwTest, NestingBeyondTheLimitsIsRejected) {
    const fs::path file = scratchFile("deep.qvw");
    writeText(file, nestedGroups(64));
    EXPECT_EQ(rejection(file), "(accepted)");
    writeText(file, nestedGroups(65));
    std::string path = "root";
    for (int i = 0; i < 65; ++i)
        path += "/children[0]";
    EXPECT_EQ(rejection(file), path + ": graphics nest deeper than 64 levels");

    std::string deepValue(300, '[');
    deepValue += std::string(300, ']');
    writeText(file, "{\"format\": \"qvw\", \"version\": 1, \"root\": {\"kind\": 7, "
                    "\"properties\": [[\"x\", " +
                        deepValue + "]]}}");
    EXPECT_EQ(rejection(file), "the document nests deeper than 256 levels");
}

// Text the lexer alone would let through: a NUL byte it takes for the end, an escaped lone
// surrogate that decodes to bytes that are not UTF-8, and a key repeated far apart in a large
// object.
TEST_F(QvwTest, TextThatIsNotCleanJsonIsRefused) {
    const std::string head = "{\"format\": \"qvw\", \"version\": 1, \"root\": {\"kind\": 7";
    std::string wide = "{\"format\": \"qvw\", \"version\": 1, \"root\": {\"kind\": 7, "
                       "\"properties\": [[\"x\", {";
    for (int i = 0; i < 200000; ++i)
        wide += "\"k" + std::to_string(i) + "\": 0, ";
    const std::pair<std::string, std::string> cases[] = {
        {head + "}}" + std::string(1, '\0') + "{}",
         "not JSON: syntax error: a NUL byte in the text"},
        {head + ", \"properties\": [[\"\\udc00\", 1]]}}",
         "not JSON: a text escapes a lone surrogate"},
        {wide + "\"k17\": 1}]]}}", "not JSON: the key 'k17' appears twice in one object"},
    };
    const fs::path file = scratchFile("unclean.qvw");
    for (const auto& [text, reason] : cases) {
        writeText(file, text);
        EXPECT_EQ(rejection(file), reason);
    }
}

void expectSameBits(double a, double b, const std::string& what) {
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << what << ": " << a << " vs " << b;
}

// Compares two graphic trees attribute by attribute, numbers bit for bit.
void expectSameTree(GraphicStruct* a, GraphicStruct* b, const std::string& path) {
    ASSERT_EQ(a->kind, b->kind) << path;
    EXPECT_EQ(GraphicGetLayer(a), GraphicGetLayer(b)) << path;
    EXPECT_EQ(GraphicGetPenColor(a), GraphicGetPenColor(b)) << path;
    const MatrixStruct *ma = GraphicGetMatrix(a), *mb = GraphicGetMatrix(b);
    ASSERT_EQ(ma == nullptr, mb == nullptr) << path;
    for (int i = 0; ma && i < 16; ++i)
        expectSameBits(ma->m[i], mb->m[i], path + " matrix");
    const VertexStruct *ra = GraphicGetReferencePoint(a), *rb = GraphicGetReferencePoint(b);
    ASSERT_EQ(ra == nullptr, rb == nullptr) << path;
    if (ra) expectSameBits(ra->z, rb->z, path + " refpoint");
    ASSERT_EQ(kvGraphicPropertyCount(a), kvGraphicPropertyCount(b)) << path;
    for (int i = 0; i < kvGraphicPropertyCount(a); ++i) {
        KvProperty pa, pb;
        kvGraphicGetProperty(a, i, &pa);
        kvGraphicGetProperty(b, i, &pb);
        EXPECT_EQ(pa.name, pb.name) << path;
        EXPECT_EQ(pa.value, pb.value) << path;
        EXPECT_EQ(pa.isText, pb.isText) << path;
    }
    ASSERT_EQ(GraphicVertexCount(a, 0, 0xFFFF), GraphicVertexCount(b, 0, 0xFFFF)) << path;
    GraphicPosition pa, pb;
    for (VertexStruct *va = GraphicVertexFirst(a, &pa, 0, 0xFFFF),
                      *vb = GraphicVertexFirst(b, &pb, 0, 0xFFFF);
         va && vb;
         va = GraphicVertexNext(a, &pa, 0, 0xFFFF), vb = GraphicVertexNext(b, &pb, 0, 0xFFFF)) {
        expectSameBits(va->x, vb->x, path + " vertex");
        expectSameBits(va->y, vb->y, path + " vertex");
        expectSameBits(va->z, vb->z, path + " vertex");
    }
    ASSERT_EQ(kvGraphicFaceCount(a), kvGraphicFaceCount(b)) << path;
    for (int i = 0; i < kvGraphicFaceCount(a); ++i) {
        int fa[3], fb[3];
        kvGraphicGetFace(a, i, fa);
        kvGraphicGetFace(b, i, fb);
        EXPECT_EQ(std::memcmp(fa, fb, sizeof fa), 0) << path;
    }
    ASSERT_EQ(GraphicCount(a, 0, 1), GraphicCount(b, 0, 1)) << path;
    GraphicPosition ca, cb;
    int index = 0;
    for (GraphicStruct *x = GraphicFirst(a, &ca, 1, 1), *y = GraphicFirst(b, &cb, 1, 1); x && y;
         x = GraphicNext(a, &ca, 1, 1), y = GraphicNext(b, &cb, 1, 1))
        expectSameTree(x, y, path + "/children[" + std::to_string(index++) + "]");
}

GraphicStruct* addGraphic(GraphicStruct* parent, int kind) {
    GraphicStruct* g = kvGraphicNew(kind);
    kvGraphicAddChild(parent, g);
    return g;
}

// A drawing that uses every attribute the format holds, with numbers that only survive a
// shortest round-trip form.
DrawingStruct* drawingWithEveryAttribute() {
    DrawingStruct* d = kvDrawingNew();
    GraphicStruct* root = DrawingGetModelRoot(d);
    GraphicStruct* group = addGraphic(root, GraphicKindGroup);
    GraphicSetLayer(group, 7);
    kvGraphicSetPen(group, 0x12AB34);
    const MatrixStruct awkward = {{0.1, 1.0 / 3, -0.0, 0, 2.0 / 3, 0.1 + 0.2, 5e-324, 0, 1e-300,
                                   -1.7976931348623157e308, 1, 0, 3.141592653589793, -2.5e-17,
                                   123456789.123456789, 1}};
    GraphicSetMatrix(group, &awkward, 0);
    kvGraphicSetReferencePoint(group, 0.7, -0.0, 1e21);
    kvGraphicAddTextProperty(group, "handle_name", "AxisX");
    kvGraphicAddTextProperty(group, "note", "Grüße \"quoted\" \\ \t tab \u2603");
    kvGraphicAddValueProperty(group, "handle_name", "42");
    kvGraphicAddValueProperty(group, "ratio", "0.30000000000000004");
    kvGraphicAddValueProperty(group, "big", "18446744073709551615");
    for (const char* literal : {"true", "false", "null", "[1, \"a\", {\"b\": null}]", "{}"})
        kvGraphicAddValueProperty(group, "value", literal);
    kvGraphicAddTextProperty(group, "", "");

    GraphicStruct* line = addGraphic(group, GraphicKindLine);
    kvGraphicAddVertex(line, 0.1, 0.2, 0.3);
    kvGraphicAddVertex(line, -1e-310, 1e308, 4.9406564584124654e-324);
    GraphicStruct* polygon = addGraphic(root, GraphicKindPolygon);
    for (int i = 0; i < 4; ++i)
        kvGraphicAddVertex(polygon, std::cos(i * 0.5), std::sin(i * 0.5), i / 7.0);
    GraphicStruct* mesh = addGraphic(addGraphic(root, GraphicKindGroup), GraphicKindMesh);
    for (int i = 0; i < 5; ++i)
        kvGraphicAddVertex(mesh, i * 0.1, i * i * 0.01, -i / 3.0);
    kvGraphicAddFace(mesh, 0, 1, 2);
    kvGraphicAddFace(mesh, 2, 3, 4);
    kvGraphicAddFace(mesh, 4, 4, 0);
    addGraphic(root, GraphicKindPick);
    addGraphic(root, GraphicKindGroup);
    return d;
}

TEST_F(QvwTest, AWrittenDrawingReadsBackExactly) {
    DrawingStruct* original = drawingWithEveryAttribute();
    const fs::path first = scratchFile("round.qvw"), second = scratchFile("round2.qvw");
    std::string reason;
    ASSERT_TRUE(kvWriteDrawingFile(original, first.c_str(), &reason)) << reason;
    DrawingStruct* copy = kvReadDrawingFile(first.c_str(), &reason);
    ASSERT_NE(copy, nullptr) << reason;
    expectSameTree(DrawingGetModelRoot(original), DrawingGetModelRoot(copy), "root");

    KvProperty repeated;
    kvGraphicGetProperty(kvDrawingFindGraphic(copy, "root/children[0]"), 2, &repeated);
    EXPECT_EQ(repeated.name, "handle_name");
    EXPECT_EQ(repeated.value, "42");
    EXPECT_FALSE(repeated.isText);

    ASSERT_TRUE(kvWriteDrawingFile(copy, second.c_str(), &reason)) << reason;
    EXPECT_EQ(readText(first), readText(second));
    EXPECT_FALSE(fs::exists(first.string() + ".partial"));
    for (DrawingStruct* d : {original, copy})
        DrawingDispose(&d);
}

// However a number is written, the reader makes of it what strtod does, bit for bit: short
// decimals, long ones, exponents, whole numbers past 2^53 and 2^64, subnormals, zeros.
TEST_F(QvwTest, NumbersAreReadExactlyInEveryForm) {
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "-0.0",
                                      "0.1",
                                      "1e22",
                                      "1e23",
                                      "4.9e-324",
                                      "2.4e-324",
                                      "1e-400",
                                      "-0.465",
                                      "123456789012345.6",
                                      "9007199254740993",
                                      "-9223372036854775809",
                                      "18446744073709551616",
                                      "2.2250738585072011e-308",
                                      "0.000000000000001",
                                      "1.7976931348623157e308"};
    std::mt19937_64 random(15);
    const char* forms[] = {"%.*f", "%.*g", "%.*e"};
    while (texts.size() % 3 != 0 || texts.size() < 900) {
        const double magnitude =
            std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 90) - 80);
        char text[64];
        std::snprintf(text, sizeof text, forms[texts.size() % 3], static_cast<int>(random() % 19),
                      texts.size() % 2 ? -magnitude : magnitude);
        texts.push_back(text);
    }
    std::string vertices;
    for (size_t i = 0; i < texts.size(); i += 3)
        vertices += (i ? ", [" : "[") + texts[i] + ", " + texts[i + 1] + ", " + texts[i + 2] + "]";
    const fs::path file = scratchFile("numbers.qvw");
    writeText(file, R"({"format": "qvw", "version": 1, "root": {"kind": 7, "children": [)"
                    R"({"kind": 2, "vertices": [)" +
                        vertices + "]}]}}");
    std::string reason;
    DrawingStruct* d = kvReadDrawingFile(file.c_str(), &reason);
    ASSERT_NE(d, nullptr) << reason;
    GraphicStruct* line = kvDrawingFindGraphic(d, "root/children[0]");
    ASSERT_EQ(GraphicVertexCount(line, 0, 0xFFFF), static_cast<int>(texts.size() / 3));
    GraphicPosition pos;
    size_t at = 0;
    for (const VertexStruct* v = GraphicVertexFirst(line, &pos, 0, 0xFFFF); v;
         v = GraphicVertexNext(line, &pos, 0, 0xFFFF))
        for (double read : {v->x, v->y, v->z}) {
            // A whole number is an integer: "-0" is 0.
            const double parsed = std::strtod(texts[at].c_str(), nullptr);
            const bool whole = texts[at].find_first_of(".eE") == std::string::npos;
            const double expected = whole && parsed == 0 ? 0.0 : parsed;
            EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0)
                << texts[at] << " read as " << read;
            ++at;
        }
    DrawingDispose(&d);
}

TEST_F(QvwTest, DrawingsTheFormatCannotHoldAreNotWritten) {
    DrawingStruct* d = kvDrawingNew();
    GraphicStruct* group = addGraphic(DrawingGetModelRoot(d), GraphicKindGroup);
    GraphicStruct* line = addGraphic(group, GraphicKindLine);
    kvGraphicAddVertex(line, 0, 0, 0);
    const fs::path file = scratchFile("refused.qvw");
    writeText(file, "old contents");
    std::string reason;
    EXPECT_FALSE(kvWriteDrawingFile(d, file.c_str(), &reason));
    EXPECT_EQ(reason, "root/children[0]/children[0]: vertices: too few for its kind (1)");
    kvGraphicAddVertex(line, std::numeric_limits<double>::quiet_NaN(), 0, 0);
    EXPECT_FALSE(kvWriteDrawingFile(d, file.c_str(), &reason));
    EXPECT_EQ(reason,
              "root/children[0]/children[0]: vertices[1]: holds a number that is not finite");
    EXPECT_EQ(readText(file), "old contents");

    GraphicDispose(&line);
    EXPECT_FALSE(kvWriteDrawingFile(d, "/nonexistent-dir/x.qvw", &reason));
    EXPECT_EQ(reason, "cannot write '/nonexistent-dir/x.qvw'");
    GraphicStruct* deepest = group;
    for (int depth = 1; depth < 64; ++depth)
        deepest = addGraphic(deepest, GraphicKindGroup);
    EXPECT_TRUE(kvWriteDrawingFile(d, file.c_str(), &reason)) << reason;
    addGraphic(deepest, GraphicKindGroup);
    EXPECT_FALSE(kvWriteDrawingFile(d, file.c_str(), &reason));
    EXPECT_NE(reason.find(": graphics nest deeper than 64 levels"), std::string::npos) << reason;
    DrawingDispose(&d);
}

TEST_F(QvwTest, AFailedCreationWhileReadingLeavesNothingBehind) {
    DrawingStruct* d = drawingWithEveryAttribute();
    const fs::path file = scratchFile("fault.qvw");
    ASSERT_TRUE(kvWriteDrawingFile(d, file.c_str(), nullptr));
    DrawingDispose(&d);
    kvFailNthCreation(1);
    EXPECT_EQ(qvCustomRead(AppGetCurrentApp(), 0, file.wstring().c_str(), 0, 0, 0, 1), nullptr);
    EXPECT_TRUE(kvFailureFired());
}

// Only plain files are read, and refused at once otherwise (a FIFO without a writer would block
// the open forever); a document far larger in memory than on disk is refused before it is built.
TEST_F(QvwTest, WhatIsNotAPlainFileOrTooCostlyToHoldIsRefused) {
    const fs::path fifo = scratchFile("fifo.qvw");
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path folder = scratchFile("folder.qvw");
    fs::create_directories(folder);
    const fs::path empties = scratchFile("empties.qvw");
    std::string text = "[";
    for (int i = 0; i < 1500000; ++i)
        text += "[],";
    writeText(empties, text + "[]]");
    const std::pair<fs::path, std::string> cases[] = {
        {fifo, "'" + fifo.string() + "' is a FIFO, not a file"},
        {folder, "'" + folder.string() + "' is a directory"},
        {"/dev/zero", "'/dev/zero' is a device, not a file"},
        {empties, "the document needs more memory than 6 times its size to read"},
    };
    for (const auto& [path, reason] : cases)
        EXPECT_EQ(rejection(path), reason);
    fs::remove(fifo);
    fs::remove(empties);
}

} // namespace
