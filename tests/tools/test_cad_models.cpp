// CAD models end to end: the sample assembly as the project's STEP file and as STL, OBJ and
// glTF written by Open CASCADE, read back into a scene and compared with what was modelled
// (parts, names, colours, world extents); parts selected by name and by click; a part turned
// in its assembly measured in its own frame; a selected part dragged through the exports in
// both projections; bad files refused whole with their reason.
#include <cmath>

#include "assembly.h"
#include "play.h"

#include "control/control_fixture.h"
#include "korvex/cad.h"
#include "korvex/drawing.h"
#include "tiller/tiller.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using tiller::tools::cad::ModelledPart;

const fs::path kStep = TILLER_SOURCE_DIR "/examples/assembly.step";
constexpr double kRelativeDeflection = 0.002; // the host's default
constexpr double kMeshDeflection = 0.05;      // of the mesh files written here

class CadModelTest : public LiveRecordsTest {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("tiller-cad-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        assembly_ = new tiller::tools::cad::Assembly;
        tiller::tools::cad::BuildAssembly(assembly_);
        for (const char* name :
             {"assembly.stl", "assembly.obj", "assembly.glb", "assembly.gltf", "assembly.igs"}) {
            std::string reason;
            ASSERT_TRUE(WriteAssembly(*assembly_, (dir_ / name).string(), kMeshDeflection, &reason))
                << reason;
        }
    }
    static void TearDownTestSuite() {
        delete assembly_;
        fs::remove_all(dir_);
    }
    void SetUp() override {
        LiveRecordsTest::SetUp();
        scene = kvSceneNew();
        vp = kvViewportCreate(kvSceneDrawing(scene), 800, 600);
    }
    void ReleaseAll() override {
        dbDisposeGCtrlManager();
        kvSceneDispose(&scene);
    }

    static const std::vector<ModelledPart>& Modelled() { return assembly_->parts; }

    void Open(const fs::path& file) {
        std::string reason;
        ASSERT_TRUE(kvSceneOpenFile(scene, file.c_str(), nullptr, &summary, &reason)) << reason;
    }

    // The world box of one selected graphic.
    std::array<double, 6> WorldBox(GraphicStruct* g) {
        kvSceneClearSelection(scene);
        kvSceneSelect(scene, g, 1);
        ExtentsStruct* e = ExtentsNewEx();
        kvSceneSelectionExtents(scene, nullptr, e);
        const std::array<double, 6> box{ExtentsGetX1(e), ExtentsGetY1(e), ExtentsGetZ1(e),
                                        ExtentsGetX2(e), ExtentsGetY2(e), ExtentsGetZ2(e)};
        ExtentsDispose(&e);
        return box;
    }

    static void ExpectBox(const std::array<double, 6>& box, const std::array<double, 3>& min,
                          const std::array<double, 3>& max, double tolerance,
                          const std::string& what) {
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(box[a], min[a], tolerance) << what << " axis " << a;
            EXPECT_NEAR(box[a + 3], max[a], tolerance) << what << " axis " << a;
        }
    }

    void FitView(bool perspective) {
        if (perspective) kvViewportSetPerspective(vp, 40);
        kvViewportSetPreset(vp, KvViewIso);
        ExtentsStruct* all = ExtentsNewEx();
        ExtentsSet(all, 0, 0, -30, 160, 100, 100);
        kvViewportFit(vp, all, 0.8);
        ExtentsDispose(&all);
    }

    std::string HandleName(GControl* c, GHandle* h) {
        return h ? dbGHandleGetParams(c, h)->csName : "";
    }
    KvPoint PixelOf(KvPoint world) {
        KvPoint p{};
        EXPECT_TRUE(kvViewportWorldToPixel(vp, world, &p.x, &p.y));
        return p;
    }

    static inline fs::path dir_;
    static inline tiller::tools::cad::Assembly* assembly_ = nullptr;
    KvScene* scene = nullptr;
    ViewportStruct* vp = nullptr;
    KvCadSummary summary;
};

// [SECTION] Reading the formats ---------------------------------------------------------------

// Every modelled part comes back once, under its path (STEP and glTF keep the assembly tree;
// OBJ keeps the parts' names), in its colour and where it was placed: the
// world box of its triangles lies within the tessellation tolerance of the exact solid's box.
TEST_F(CadModelTest, EveryFormatBringsBackThePartsNamesColoursAndPlacements) {
    struct Case {
        fs::path file;
        bool fullPaths;
        double tolerance;
    };
    const Case cases[] = {{kStep, true, 0},
                          {dir_ / "assembly.obj", false, kMeshDeflection},
                          {dir_ / "assembly.glb", true, kMeshDeflection},
                          {dir_ / "assembly.gltf", true, kMeshDeflection}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.string());
        kvSceneDispose(&scene);
        scene = kvSceneNew();
        Open(c.file);
        EXPECT_EQ(summary.parts, static_cast<int>(Modelled().size()));
        EXPECT_GT(summary.triangles, 1000);
        for (const ModelledPart& part : Modelled()) {
            const std::string leaf = part.path.substr(part.path.rfind('/') + 1);
            const std::string product = leaf.substr(0, leaf.rfind('_'));
            std::vector<GraphicStruct*> found = kvSceneFindParts(scene, part.path.c_str());
            if (!c.fullPaths) {
                // Without the tree the instances are counted anew: the part is the one of its
                // product placed where it was.
                for (int k = 1; k <= 4; ++k)
                    for (GraphicStruct* g :
                         kvSceneFindParts(scene, (product + "_" + std::to_string(k)).c_str())) {
                        const auto box = WorldBox(g);
                        if (std::fabs(box[0] - part.min[0]) < 1 &&
                            std::fabs(box[1] - part.min[1]) < 1)
                            found.push_back(g);
                    }
            }
            ASSERT_EQ(found.size(), 1u) << part.path;
            EXPECT_EQ(kvGraphicName(found[0]).rfind(product + "_", 0), 0u) << part.path;
            const uint32_t colour = GraphicGetPenColor(found[0]);
            for (int shift = 0; shift < 24; shift += 8)
                EXPECT_NEAR(int(colour >> shift & 0xFF), int(part.colour >> shift & 0xFF), 2)
                    << part.path;
            double diagonal = 0;
            for (int a = 0; a < 3; ++a)
                diagonal += (part.max[a] - part.min[a]) * (part.max[a] - part.min[a]);
            const double tolerance =
                (c.tolerance > 0 ? c.tolerance : kRelativeDeflection * std::sqrt(diagonal)) + 1e-6;
            ExpectBox(WorldBox(found[0]), part.min, part.max, tolerance, part.path);
        }
    }
}

// STL has neither names nor structure: the whole assembly is one part named after the file.
// IGES keeps no assembly either. Both cover what was modelled.
TEST_F(CadModelTest, StlAndIgesFilesBringBackTheWholeAssembly) {
    std::array<double, 3> min{1e9, 1e9, 1e9}, max{-1e9, -1e9, -1e9};
    for (const ModelledPart& p : Modelled())
        for (int a = 0; a < 3; ++a)
            min[a] = std::min(min[a], p.min[a]), max[a] = std::max(max[a], p.max[a]);
    const std::pair<const char*, double> cases[] = {{"assembly.stl", kMeshDeflection + 1e-4},
                                                    {"assembly.igs", 0.5}};
    for (const auto& [name, tolerance] : cases) {
        kvSceneDispose(&scene);
        scene = kvSceneNew();
        Open(dir_ / name);
        if (name == std::string("assembly.stl")) {
            EXPECT_EQ(summary.parts, 1);
            EXPECT_EQ(kvSceneFindParts(scene, "assembly_1").size(), 1u);
        }
        ExtentsStruct* e = ExtentsNewEx();
        ASSERT_TRUE(kvSceneSelectionExtents(scene, nullptr, e));
        ExpectBox({ExtentsGetX1(e), ExtentsGetY1(e), ExtentsGetZ1(e), ExtentsGetX2(e),
                   ExtentsGetY2(e), ExtentsGetZ2(e)},
                  min, max, tolerance, name);
        ExtentsDispose(&e);
    }
}

// [SECTION] Selecting parts -------------------------------------------------------------------

TEST_F(CadModelTest, PartsAreSelectedByNameOrPathAndByClick) {
    Open(kStep);
    // The file's top node is selected as it opens.
    ASSERT_EQ(kvSceneSelection(scene).size(), 1u);
    EXPECT_EQ(kvScenePartPath(scene, kvSceneSelection(scene)[0]), "bracket-assembly_1");

    std::string reason;
    EXPECT_FALSE(kvSceneSelectByName(scene, "bolt_1", 0, &reason));
    EXPECT_NE(reason.find("4 parts are named \"bolt_1\""), std::string::npos) << reason;
    EXPECT_FALSE(kvSceneSelectByName(scene, "washer_1", 0, &reason));
    EXPECT_EQ(kvSceneSelection(scene).size(), 1u) << "a failed selection keeps the old one";
    ASSERT_TRUE(
        kvSceneSelectByName(scene, "l-bracket-assembly_2/nut-bolt-assembly_1/bolt_1", 0, &reason));
    ASSERT_TRUE(kvSceneSelectByName(scene, "shaft_1", 1, &reason));
    const auto selected = kvSceneSelection(scene);
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_EQ(kvScenePartPath(scene, selected[0]),
              "bracket-assembly_1/l-bracket-assembly_2/nut-bolt-assembly_1/bolt_1");

    // A click finds the nearest part under the pixel in either projection: the lever stands
    // in front of everything seen from the front right.
    const ModelledPart& lever = Modelled().back();
    ASSERT_EQ(lever.path, "bracket-assembly_1/lever_1");
    const KvPoint centre{(lever.min[0] + lever.max[0]) / 2, (lever.min[1] + lever.max[1]) / 2,
                         (lever.min[2] + lever.max[2]) / 2};
    for (bool perspective : {false, true}) {
        FitView(perspective);
        const KvPoint at = PixelOf(centre);
        EXPECT_EQ(kvScenePartPath(scene, kvSceneClickSelect(scene, vp, at.x, at.y, 0)), lever.path);
        EXPECT_EQ(kvSceneSelection(scene).size(), 1u);
        const KvPoint plate = PixelOf({5, 5, 10});
        EXPECT_EQ(kvScenePartPath(scene, kvSceneClickSelect(scene, vp, plate.x, plate.y, 1)),
                  "bracket-assembly_1/base-plate_1");
        EXPECT_EQ(kvSceneSelection(scene).size(), 2u);
        kvSceneClickSelect(scene, vp, at.x, at.y, 1); // Ctrl+click on a selected part drops it
        EXPECT_EQ(kvSceneSelection(scene).size(), 1u);
        EXPECT_EQ(kvSceneClickSelect(scene, vp, 2, 2, 0), nullptr);
        EXPECT_TRUE(kvSceneSelection(scene).empty()) << "a click over nothing clears";
    }
    // A part on a hidden layer is not found.
    LayerSetVisible(kvSceneDrawing(scene), 0, 0, 0);
    const KvPoint at = PixelOf(centre);
    EXPECT_EQ(kvScenePickPart(scene, vp, at.x, at.y), nullptr);
}

// The lever is turned 30 degrees about X in the assembly: measured along its own axes its box
// is the modelled block, 8 x 16 x 43, and the control's frames turn with it.
TEST_F(CadModelTest, APartTurnedInItsAssemblyIsMeasuredInItsOwnFrame) {
    Open(kStep);
    ASSERT_TRUE(kvSceneSelectByName(scene, "lever_1", 0, nullptr));
    KvSetupGeometry world{}, own{};
    ASSERT_TRUE(kvSceneSetupGeometryAligned(scene, 0, &world));
    ASSERT_TRUE(kvSceneSetupGeometryAligned(scene, 1, &own));
    const ModelledPart& lever = Modelled().back();
    const double size[3] = {8, 16, 43};
    const double tolerance = 0.002 * std::sqrt(8 * 8 + 16 * 16 + 43 * 43) + 1e-6;
    EXPECT_NEAR(own.extentsMax.x - own.extentsMin.x, size[0], tolerance);
    EXPECT_NEAR(own.extentsMax.y - own.extentsMin.y, size[1], tolerance);
    EXPECT_NEAR(own.extentsMax.z - own.extentsMin.z, size[2], tolerance);
    EXPECT_GT(world.extentsMax.y - world.extentsMin.y, size[1] + 10);
    for (int i = 0; i < 12; ++i) {
        if (i % 4 == 3) continue;
        EXPECT_NEAR(own.controlCS.m[i], lever.placement[i], 1e-9) << i;
        EXPECT_NEAR(own.selectionCS.m[i], lever.placement[i], 1e-9) << i;
        EXPECT_EQ(world.controlCS.m[i], i % 5 == 0 ? 1 : 0) << i;
    }
    // Both centres are the centre of the same solid.
    for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(own.controlCS.m[12 + a], world.controlCS.m[12 + a], tolerance);
}

// [SECTION] Dragging a part -------------------------------------------------------------------

// A bolt selected by its path, its control set up, the X arrow dragged through the exports and
// the drag applied at the release: the bolt alone moves, by the drag matrix.
TEST_F(CadModelTest, ASelectedPartIsDraggedThroughTheExportsInBothProjections) {
    const std::string assembly = "l-bracket-assembly_1/nut-bolt-assembly_2/";
    for (bool perspective : {false, true}) {
        SCOPED_TRACE(perspective ? "perspective" : "parallel");
        kvSceneDispose(&scene);
        scene = kvSceneNew();
        vp = kvViewportCreate(kvSceneDrawing(scene), 800, 600);
        Open(kStep);
        FitView(perspective);
        GraphicStruct* bolt = kvSceneFindParts(scene, (assembly + "bolt_1").c_str())[0];
        GraphicStruct* nut = kvSceneFindParts(scene, (assembly + "nut_1").c_str())[0];
        const auto nutBefore = WorldBox(nut),
                   boltBefore = WorldBox(bolt); // the bolt stays selected
        GControl* control =
            dbGCtrlCreate("UniversalCtrl.qvw", "cad", kvSceneDrawing(scene), kvSelectionExtents);
        ASSERT_NE(control, nullptr);
        ASSERT_EQ(SetupOverSelection(scene, vp, control, GControlProperties{}), 1);
        ASSERT_TRUE(dbGCtrlShow(control, 1, 1));

        // The arrow lies along the image of world X from the control's centre.
        KvSetupGeometry g{};
        ASSERT_TRUE(kvSceneSetupGeometry(scene, &g));
        const KvPoint c = PixelOf(g.refPoint), x = PixelOf(g.refPoint + KvPoint{1, 0, 0});
        const KvPoint u = Unit(x - c);
        double r = 30;
        while (r < 160 && HandleName(control, PointerMove(scene, vp, control, c.x + r * u.x,
                                                          c.y + r * u.y)) != "AxisX")
            r += 4;
        ASSERT_LT(r, 160) << "no X arrow along the image of world X";
        GHandle* handle = PointerMove(scene, vp, control, c.x + r * u.x, c.y + r * u.y);
        ASSERT_EQ(Press(scene, vp, control, handle, c.x + r * u.x, c.y + r * u.y), 1);
        for (int step = 1; step <= 4; ++step)
            PointerMove(scene, vp, control, c.x + (r + 12 * step) * u.x,
                        c.y + (r + 12 * step) * u.y);
        const MatrixStruct drag = *dbGHandleGetParams(control, handle)->mDrag;
        dbGCtrlSetState(control, 0, nullptr, 0, 0, 0, 0, 0, 0, 0);
        kvScenePointerRelease(scene);
        ASSERT_TRUE(kvSceneTransformSelection(scene, &drag));

        EXPECT_GT(drag.m[12], 5);
        EXPECT_EQ(drag.m[13], 0);
        EXPECT_EQ(drag.m[14], 0);
        const auto boltAfter = WorldBox(bolt);
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(boltAfter[i], boltBefore[i] + (i % 3 == 0 ? drag.m[12] : 0), 1e-9) << i;
        EXPECT_EQ(WorldBox(nut), nutBefore);
        dbDisposeGCtrlManager();
    }
}

// [SECTION] Bad files -------------------------------------------------------------------------

// A file that cannot be read adds nothing, keeps the selection, leaks nothing and says why in
// one line.
TEST_F(CadModelTest, BadFilesAreRefusedWholeWithTheirReason) {
    std::ifstream in(kStep);
    std::stringstream text;
    text << in.rdbuf();
    const std::string step = text.str();
    const std::string noSolids =
        step.substr(0, step.find("DATA;") + 5) + "\nENDSEC;\nEND-ISO-10303-21;\n";
    struct Case {
        std::string name, content, reason;
    };
    const Case cases[] = {
        {"empty.step", "", "the file is empty"},
        {"truncated.step", step.substr(0, step.size() / 2), "STEP"},
        {"picture.step", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, '\0'), "STEP"},
        {"noise.obj", "v 1 2\nf 9 9 9\n", "holds no solid or mesh"},
        {"half.glb", "glTF\x02\x00\x00\x00", "glTF"},
        {"empty-data.step", noSolids, "holds no solid or mesh"},
        {"model.dwg", "AC1032", "unknown file type \".dwg\""},
        {"missing.step", "", "no such file"},
        {"folder.step", "", "not a regular file"},
    };
    GraphicStruct* box = kvSceneAddBox(scene, {0, 0, 0}, {1, 1, 1}, 0);
    GraphicStruct* root = DrawingGetModelRoot(kvSceneDrawing(scene));
    for (const Case& c : cases) {
        const fs::path file = dir_ / c.name;
        if (c.name == "folder.step")
            fs::create_directories(file);
        else if (c.name != "missing.step")
            std::ofstream(file, std::ios::binary) << c.content;
        std::string reason;
        EXPECT_FALSE(kvSceneOpenFile(scene, file.c_str(), nullptr, nullptr, &reason)) << c.name;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
        EXPECT_EQ(GraphicCount(root, 0, 1), 1) << c.name;
        EXPECT_EQ(kvSceneSelection(scene), std::vector<GraphicStruct*>{box}) << c.name;
    }
}

// `tiller play` names the session, the selection's line and the file before the reason, and a
// named part is selected alone.
TEST_F(CadModelTest, PlayOpensTheFileSelectsTheNamedPartsAndReportsBadFiles) {
    const std::string session = R"({
  "profile": "UniversalCtrl.qvw",
  "selection": {"file": "FILE", "parts": ["PART"]},
  "steps": [{"setup": {"frame": "selection"}}, {"show": 1}]
})";
    auto play = [&](const std::string& file, const std::string& part, std::string* errors) {
        std::string text = session;
        text.replace(text.find("FILE"), 4, file);
        text.replace(text.find("PART"), 4, part);
        tiller::tools::Session s;
        std::string error;
        EXPECT_TRUE(tiller::tools::ParseSessionText(text, dir_.string(), &s, &error)) << error;
        s.name = "cad.json";
        std::ostringstream log, err;
        const int result = tiller::tools::PlaySession(s, (dir_ / "out").string(), log, err);
        *errors = err.str();
        return result == 0 ? log.str() : std::string();
    };
    std::ofstream(dir_ / "empty.step").close();
    std::string errors;
    const std::string log = play(kStep.string(), "lever_1", &errors);
    EXPECT_NE(log.find("\"action\":\"setup\",\"result\":1"), std::string::npos) << log << errors;
    play("empty.step", "lever_1", &errors);
    EXPECT_EQ(errors, "cad.json: line 3: empty.step: the file is empty\n");
    play(kStep.string(), "bolt_1", &errors);
    EXPECT_NE(errors.find("cad.json: line 3: "), std::string::npos) << errors;
    EXPECT_NE(errors.find("4 parts are named \"bolt_1\""), std::string::npos) << errors;
}

} // namespace
