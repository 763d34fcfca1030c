// The drawing database: walks and child lists, copies and baked transforms, extents in
// world coordinates, vertex list links, custom properties as safe arrays, and the building
// API's refusals.
#include "korvex/drawing.h"
#include "support/live_records.h"
#include "support/math3d.h"
#include "tiller/host/arbor.h"

#include <string>
#include <vector>

namespace {

// A quarter turn about Z: x -> y, y -> -x.
MatrixStruct quarterTurnZ() {
    return {{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

GraphicStruct* addGraphic(GraphicStruct* parent, int kind, int layer) {
    GraphicStruct* g = kvGraphicNew(kind);
    GraphicSetLayer(g, layer);
    EXPECT_TRUE(kvGraphicAddChild(parent, g));
    return g;
}

GraphicStruct* addLine(GraphicStruct* parent, int layer, double x1, double y1, double z1, double x2,
                       double y2, double z2) {
    GraphicStruct* line = addGraphic(parent, GraphicKindLine, layer);
    kvGraphicAddVertex(line, x1, y1, z1);
    kvGraphicAddVertex(line, x2, y2, z2);
    return line;
}

std::vector<double> vertexXs(GraphicStruct* g) {
    std::vector<double> xs;
    GraphicPosition pos;
    for (VertexStruct* v = GraphicVertexFirst(g, &pos, 0, 0xFFFF); v;
         v = GraphicVertexNext(g, &pos, 0, 0xFFFF))
        xs.push_back(v->x);
    return xs;
}

// The first graphic on `layer` below g.
GraphicStruct* childOnLayer(GraphicStruct* g, int layer) {
    GraphicList all;
    GraphicWalkFillChildsList(g, nullptr, &all, 0, 0);
    for (GraphicStruct* child : all)
        if (GraphicGetLayer(child) == layer) return child;
    return nullptr;
}

std::vector<int> visited;
int recordLayer(GraphicStruct* g, int32_t* counter) {
    visited.push_back(GraphicGetLayer(g));
    ++*counter;
    return GraphicGetLayer(g) != 99;
}
int isGroup(GraphicStruct* g) {
    return g->kind == GraphicKindGroup;
}

// root(0) -> [A group(1) -> [a1 line(11), a2 group(12) -> [b line(121)]], B line(2)]. Layers
// name the graphics.
class DrawingTest : public LiveRecordsTest {
  protected:
    void SetUp() override {
        LiveRecordsTest::SetUp();
        graphicsBefore = kvLiveCount(KvGraphic);
        drawing = kvDrawingNew();
        root = DrawingGetModelRoot(drawing);
        groupA = addGraphic(root, GraphicKindGroup, 1);
        addLine(groupA, 11, 0, 0, 0, 1, 0, 0);
        groupA2 = addGraphic(groupA, GraphicKindGroup, 12);
        lineB = addLine(groupA2, 121, 1, 2, 3, 4, 5, 6);
        addLine(root, 2, -1, 0, 0, -2, 0, 0);
    }
    void ReleaseAll() override { DrawingDispose(&drawing); }

    // Graphics made here beyond those of SetUp.
    long extraGraphics() const { return kvLiveCount(KvGraphic) - graphicsBefore - 5; }

    long graphicsBefore = 0;
    DrawingStruct* drawing = nullptr;
    GraphicStruct *root = nullptr, *groupA = nullptr, *groupA2 = nullptr, *lineB = nullptr;
};

TEST_F(DrawingTest, WalksVisitParentsBeforeChildrenAndReportAStop) {
    visited.clear();
    EXPECT_EQ(GraphicWalk(root, recordLayer, 1, 1, 0), 0);
    EXPECT_EQ(visited, (std::vector<int>{0, 1, 11, 12, 121, 2}));
    visited.clear();
    EXPECT_EQ(GraphicWalk(groupA, recordLayer, 0, 0, 0), 0);
    EXPECT_EQ(visited, (std::vector<int>{11, 12}));

    GraphicSetLayer(groupA2, 99);
    visited.clear();
    EXPECT_EQ(GraphicWalk(root, recordLayer, 1, 1, 0), 1);
    EXPECT_EQ(visited, (std::vector<int>{0, 1, 11, 99}));

    GraphicList list;
    EXPECT_TRUE(GraphicWalkFillChildsList(root, isGroup, &list, 1, 0));
    EXPECT_EQ(list, (GraphicList{groupA}));
    list.clear();
    EXPECT_TRUE(GraphicWalkFillChildsList(root, isGroup, &list, 0, 1));
    EXPECT_EQ(list, (GraphicList{root, groupA, groupA2}));
    list.clear();
    EXPECT_TRUE(GraphicWalkFillChildsList(root, nullptr, &list, 2, 0));
    EXPECT_EQ(list.size(), 4u);
    EXPECT_FALSE(GraphicWalkFillChildsList(nullptr, isGroup, &list, 1, 0));

    EXPECT_EQ(GraphicCount(root, 0, 1), 2);
    EXPECT_EQ(GraphicCount(root, 0, 0), 5);
    GraphicPosition pos;
    std::vector<int> layers;
    for (GraphicStruct* g = GraphicFirst(groupA, &pos, 1, 1); g;
         g = GraphicNext(groupA, &pos, 1, 1))
        layers.push_back(GraphicGetLayer(g));
    EXPECT_EQ(layers, (std::vector<int>{11, 99}));
}

TEST_F(DrawingTest, ACopyCarriesTheGivenMatrixAfterItsOwn) {
    const MatrixStruct turn = quarterTurnZ(), shift = Translation(10, 0, 0);
    GraphicSetMatrix(groupA, &turn, 0);
    kvGraphicAddTextProperty(groupA, "handle_name", "A");
    GraphicStruct* copy = GraphicCopyEx(groupA, &shift, 0, 4);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(extraGraphics(), 1);
    EXPECT_EQ(copy->parent, nullptr);
    EXPECT_TRUE(copy->flags & GraphicFlagNoParent);
    const MatrixStruct* own = GraphicGetMatrix(copy);
    ASSERT_NE(own, nullptr);
    // shift after turn: the local X axis maps to +Y, the origin to (10, 0, 0).
    EXPECT_EQ(own->m[1], 1);
    EXPECT_EQ(own->m[12], 10);
    EXPECT_EQ(kvGraphicPropertyCount(copy), 1);
    EXPECT_EQ(GraphicCount(copy, 0, 0), 3);

    GraphicTransform(copy, &shift, 0, 1, 1, 0);
    EXPECT_EQ(vertexXs(lineB), (std::vector<double>{1, 4})) << "the original is untouched";
    GraphicStruct* copyOfB = childOnLayer(copy, 121);
    EXPECT_EQ(vertexXs(copyOfB), (std::vector<double>{11, 14}));

    // A copy shares vertices, faces and properties with its original until one side changes
    // them; either side's change leaves the other as it was, its vertex list whole.
    GraphicStruct* mesh = addGraphic(groupA, GraphicKindMesh, 13);
    for (int i = 0; i < 3; ++i)
        kvGraphicAddVertex(mesh, i, i * i, 0);
    kvGraphicAddFace(mesh, 0, 1, 2);
    GraphicStruct* second = GraphicCopyEx(groupA, nullptr, 0, 4);
    kvGraphicAddVertex(lineB, 7, 0, 0);
    kvGraphicAddFace(mesh, 2, 1, 0);
    kvGraphicAddTextProperty(groupA, "more", "B");
    GraphicTransform(copyOfB, &shift, 0, 1, 1, 0);
    EXPECT_EQ(vertexXs(childOnLayer(second, 121)), (std::vector<double>{1, 4}));
    EXPECT_EQ(kvGraphicFaceCount(childOnLayer(second, 13)), 1);
    EXPECT_EQ(kvGraphicPropertyCount(second), 1);
    GraphicTransform(childOnLayer(second, 13), &shift, 0, 1, 1, 0);
    kvGraphicAddVertex(childOnLayer(second, 121), 9, 0, 0);
    EXPECT_EQ(vertexXs(childOnLayer(second, 13)), (std::vector<double>{10, 11, 12}));
    EXPECT_EQ(vertexXs(childOnLayer(second, 121)), (std::vector<double>{1, 4, 9}));
    EXPECT_EQ(vertexXs(mesh), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(vertexXs(lineB), (std::vector<double>{1, 4, 7}));
    EXPECT_EQ(vertexXs(copyOfB), (std::vector<double>{21, 24}));
    EXPECT_EQ(kvGraphicFaceCount(mesh), 2);
    EXPECT_EQ(kvGraphicPropertyCount(groupA), 2);

    for (GraphicStruct** made : {&copy, &second})
        GraphicDispose(made);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(extraGraphics(), 1) << "the mesh alone";
}

TEST_F(DrawingTest, TransformBakesDescendantMatricesAndReferencePoints) {
    const MatrixStruct shift = Translation(0, 0, 100), turn = quarterTurnZ(),
                       own = Translation(5, 5, 5);
    GraphicSetMatrix(groupA2, &shift, 0);
    GraphicSetMatrix(groupA, &own, 0);
    kvGraphicSetReferencePoint(lineB, 1, 0, 0);
    GraphicTransform(groupA, &turn, 0, 1, 1, 0);

    EXPECT_EQ(GraphicGetMatrix(groupA2), nullptr);
    ASSERT_NE(GraphicGetMatrix(groupA), nullptr) << "g keeps its own matrix";
    GraphicPosition pos;
    const VertexStruct* v = GraphicVertexFirst(lineB, &pos, 0, 0xFFFF);
    EXPECT_DOUBLE_EQ(v->x, -2);
    EXPECT_DOUBLE_EQ(v->y, 1);
    EXPECT_DOUBLE_EQ(v->z, 103);
    const VertexStruct* ref = GraphicGetReferencePoint(lineB);
    EXPECT_DOUBLE_EQ(ref->x, 0);
    EXPECT_DOUBLE_EQ(ref->y, 1);
}

TEST_F(DrawingTest, ExtentsAreInWorldCoordinatesAndFollowEveryChange) {
    ExtentsStruct* box = ExtentsNewEx();
    const MatrixStruct up = Translation(0, 0, 10);
    GraphicSetMatrix(groupA, &up, 0);
    ASSERT_TRUE(GraphicGetGeometricExtents(lineB, box, 0, 1, 0, 0));
    EXPECT_EQ(ExtentsGetZ1(box), 13);
    EXPECT_EQ(ExtentsGetZ2(box), 16);
    const ExtentsStruct* cached = GraphicGetExtents(root, 0, 0, 1, 0, 0, 0);
    EXPECT_EQ(ExtentsGetX1(cached), -2);
    EXPECT_EQ(ExtentsGetZ2(cached), 16);

    kvGraphicAddVertex(lineB, 50, 0, 0);
    EXPECT_EQ(ExtentsGetX2(GraphicGetExtents(root, 0, 0, 1, 0, 0, 0)), 50);
    EXPECT_EQ(ExtentsGetZ1(GraphicGetExtents(lineB, 0, 0, 1, 0, 0, 0)), 10);
    const MatrixStruct down = Translation(0, 0, -10);
    GraphicSetMatrix(groupA, &down, 0);
    EXPECT_EQ(ExtentsGetZ2(GraphicGetExtents(lineB, 0, 0, 1, 0, 0, 0)), -4)
        << "an ancestor's move reaches the cached box";

    MatrixStruct* world = GraphicBuildMatrixInWordCS(lineB);
    EXPECT_EQ(world->m[14], -10);
    MatrixDispose(&world);
    GraphicStruct* pick = GraphicNewEx(drawing, 0xFFFFFFFF, GraphicKindPick, 0, 1);
    EXPECT_FALSE(GraphicGetGeometricExtents(pick, box, 0, 1, 0, 0));
    EXPECT_FALSE(ExtentsValid(box));
    GraphicDispose(&pick);
    ExtentsDispose(&box);
}

TEST_F(DrawingTest, PropertiesComeAsNameAndValueArraysInOrder) {
    kvGraphicAddTextProperty(groupA, "handle_name", "AxisX");
    kvGraphicAddValueProperty(groupA, "handle_priority", "0.5");
    kvGraphicAddValueProperty(groupA, "flag", "true");
    kvGraphicAddValueProperty(groupA, "list", "[1, 2]");
    kvGraphicAddTextProperty(groupA, "handle_name", "Second");
    SAFEARRAY *first, *names, *values;
    ASSERT_EQ(GraphicEnumerateProperties(groupA, &first, &names, &values, 7), 5);
    EXPECT_EQ(first->count, 0u);
    const VARTYPE types[] = {VT_BSTR, VT_R8, VT_I4, VT_EMPTY, VT_BSTR};
    for (int32_t i = 0; i < 5; ++i) {
        VARIANT value;
        ASSERT_EQ(SafeArrayGetElement(values, &i, &value), S_OK);
        EXPECT_EQ(value.vt, types[i]) << i;
        VariantClear(&value);
    }
    int32_t index = 4;
    BSTR name = nullptr;
    SafeArrayGetElement(names, &index, &name);
    EXPECT_EQ(std::wstring(name), L"handle_name");
    SysFreeString(name);
    VARIANT number;
    index = 1;
    SafeArrayGetElement(values, &index, &number);
    EXPECT_EQ(number.dblVal, 0.5);
    for (SAFEARRAY* array : {first, names, values})
        SafeArrayDestroy(array);

    for (long n = 1;; ++n) {
        kvFailNthCreation(n);
        const int count = GraphicEnumerateProperties(groupA, &first, &names, &values, 7);
        if (!kvFailureFired()) {
            EXPECT_EQ(count, 5);
            for (SAFEARRAY* array : {first, names, values})
                SafeArrayDestroy(array);
            break;
        }
        EXPECT_EQ(count, 0);
        EXPECT_EQ(names, nullptr);
    }
}

TEST_F(DrawingTest, TheBuildingApiRefusesWhatWouldBreakTheTree) {
    EXPECT_EQ(kvGraphicNew(5), nullptr);
    EXPECT_FALSE(kvGraphicAddChild(lineB, kvDrawingFindGraphic(drawing, "root/children[1]")));
    EXPECT_FALSE(kvGraphicAddChild(groupA2, groupA)) << "a graphic already in a tree";
    EXPECT_FALSE(kvGraphicAddChild(groupA2, root));
    EXPECT_FALSE(kvGraphicAddVertex(groupA, 0, 0, 0));
    EXPECT_FALSE(kvGraphicAddFace(lineB, 0, 1, 0));
    GraphicStruct* mesh = addGraphic(root, GraphicKindMesh, 0);
    kvGraphicAddVertex(mesh, 0, 0, 0);
    EXPECT_FALSE(kvGraphicAddFace(mesh, 0, 0, 1));
    EXPECT_TRUE(kvGraphicAddFace(mesh, 0, 0, 0));
    for (const char* literal : {"\"text\"", "nan", "[1,", "{\"a\": 1, \"a\": 2}", "1e999"})
        EXPECT_FALSE(kvGraphicAddValueProperty(groupA, "x", literal)) << literal;
    EXPECT_FALSE(kvGraphicAddTextProperty(groupA, "x", "\xC3("));
    EXPECT_EQ(kvGraphicPropertyCount(groupA), 0);

    GraphicStruct* detached = kvGraphicNew(GraphicKindGroup);
    EXPECT_TRUE(GraphicAttach(detached, drawing));
    EXPECT_FALSE(kvGraphicAddChild(root, detached)) << "attached graphics stay outside trees";
    EXPECT_FALSE(GraphicAttach(lineB, drawing)) << "only graphics outside trees attach";
    GraphicDispose(&root);
    EXPECT_EQ(DrawingGetModelRoot(drawing)->kind, GraphicKindGroup) << "the root is the drawing's";
    DrawingDispose(&drawing);
    EXPECT_EQ(kvLiveCount(KvGraphic) - graphicsBefore, 1) << "an attached graphic outlives it";
    GraphicDispose(&detached);
}

TEST_F(DrawingTest, DisposingReleasesSubtreesAndLayersStayPerDrawing) {
    GraphicStruct* a2 = groupA2;
    GraphicDispose(&a2);
    EXPECT_EQ(GraphicCount(groupA, 0, 1), 1);
    EXPECT_EQ(extraGraphics(), -2);

    EXPECT_TRUE(LayerGetVisible(drawing, 1));
    LayerSetVisible(drawing, 1, 0, 0);
    EXPECT_FALSE(LayerGetVisible(drawing, 1));
    EXPECT_TRUE(LayerGetVisible(drawing, 2));
    TableStruct* table = LayerGetHandle(drawing);
    EXPECT_TRUE(TableGetIsNotifyChanges(table));
    TableSetIsNotifyChanges(table, 0);
    EXPECT_FALSE(TableGetIsNotifyChanges(table));
    EXPECT_EQ(EngineEnable(1, 0, 0), 1);

    DrawingDispose(&drawing);
    EXPECT_EQ(drawing, nullptr);
    EXPECT_EQ(kvLiveCount(KvGraphic), graphicsBefore);
}

} // namespace
