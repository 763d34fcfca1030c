// Rendering: elements appear where they project, over the model when their draw priority is
// higher, scaled by their view-dependent matrix, blended when transparent; the PNG holds the
// rendered pixels.
#include "korvex/drawing.h"
#include "korvex/session.h"
#include "support/live_records.h"
#include "support/math3d.h"

#include <cstdio>
#include <memory>
#include <png.h>

namespace {

struct Pixel {
    int r, g, b;
};

bool reddish(Pixel p) {
    return p.r > p.g + 60 && p.r > p.b + 60;
}
bool greyish(Pixel p) {
    return std::abs(p.r - p.g) < 12 && std::abs(p.g - p.b) < 12;
}

class RenderTest : public LiveRecordsTest {
  protected:
    void SetUp() override {
        LiveRecordsTest::SetUp();
        scene = kvSceneNew();
        vp = kvViewportCreate(kvSceneDrawing(scene), 200, 150);
        kvViewportSetCamera(vp, {0, 0, 10}, {0, 0, 0}, {0, 1, 0});
        kvViewportSetParallel(vp, 0.02);
        ASSERT_NE(kvSceneAddBox(scene, {-1, -1, -1}, {1, 1, 1}, 0x808080), nullptr);
        // A red square of side 0.2 about its own origin, drawn under the box.
        GraphicStruct* square = kvGraphicNew(GraphicKindMesh);
        kvGraphicSetPen(square, 0x0000FF);
        for (const KvPoint p : {KvPoint{-0.1, -0.1, 0}, KvPoint{0.1, -0.1, 0}, KvPoint{0.1, 0.1, 0},
                                KvPoint{-0.1, 0.1, 0}})
            kvGraphicAddVertex(square, p.x, p.y, p.z);
        kvGraphicAddFace(square, 0, 1, 2);
        kvGraphicAddFace(square, 0, 2, 3);
        element = std::make_unique<CRedUIElement>();
        element->SetSceneByViewport(vp);
        element->CreatePrimByGraphic(square, false);
        element->SetDrawInViewport(vp, true, false);
        GraphicDispose(&square);
        place(0.3, 0.3, -3);
    }
    void ReleaseAll() override {
        element.reset();
        kvSceneDispose(&scene);
    }

    void place(double x, double y, double z) {
        const MatrixStruct m = Translation(x, y, z);
        element->SetMatrix(&m, false);
    }
    Pixel at(KvPoint world) {
        std::vector<uint8_t> rgba;
        EXPECT_EQ(kvRenderViewport(vp, &rgba), 1);
        double px, py;
        EXPECT_EQ(kvViewportWorldToPixel(vp, world, &px, &py), 1);
        const size_t i = (static_cast<size_t>(py) * 200 + static_cast<size_t>(px)) * 4;
        return {rgba[i], rgba[i + 1], rgba[i + 2]};
    }

    KvScene* scene = nullptr;
    ViewportStruct* vp = nullptr;
    std::unique_ptr<CRedUIElement> element;
};

TEST_F(RenderTest, ElementsOfHigherPriorityShowOverTheModelWhereTheyProject) {
    element->SetDrawpriority(0, false);
    EXPECT_TRUE(greyish(at({0.3, 0.3, 1}))) << "the nearer box hides it";
    element->SetDrawpriority(1, false);
    EXPECT_TRUE(reddish(at({0.3, 0.3, 1})));
    EXPECT_TRUE(greyish(at({0.55, 0.3, 1}))) << "only where it projects";
    place(1.6, -1.2, -3);
    EXPECT_TRUE(reddish(at({1.6, -1.2, 0})));
    EXPECT_TRUE(greyish(at({1.6, 1.2, 0}))) << "background";
    element->SetGlobalVisible(false, false);
    EXPECT_TRUE(greyish(at({1.6, -1.2, 0})));

    kvViewportSetCamera(vp, {4, -6, 5}, {0, 0, 0}, {0, 0, 1});
    kvViewportSetPerspective(vp, 40);
    element->SetGlobalVisible(true, false);
    place(1.6, -1.2, 1.5);
    EXPECT_TRUE(reddish(at({1.6, -1.2, 1.5})));
}

TEST_F(RenderTest, ViewDependentScaleAndTransparencyShowInTheImage) {
    element->SetDrawpriority(1, false);
    place(1.5, 0.8, 0);
    EXPECT_FALSE(reddish(at({1.5 + 0.15, 0.8, 0})));
    element->SetMaxResolution(0.01); // 0.02 units per pixel: drawn twice as large
    EXPECT_TRUE(reddish(at({1.5 + 0.15, 0.8, 0})));
    EXPECT_TRUE(reddish(at({1.5 - 0.15, 0.8 - 0.15, 0}))) << "about its own origin";

    const Pixel solid = at({1.5, 0.8, 0});
    element->SetTransparency(0.5f, false);
    const Pixel blended = at({1.5, 0.8, 0});
    EXPECT_LT(blended.r - blended.b, solid.r - solid.b - 40);
    EXPECT_GT(blended.r - blended.b, 20);
}

TEST_F(RenderTest, PngHoldsTheRenderedPixels) {
    element->SetDrawpriority(1, false);
    const std::string path = std::string(TILLER_BUILD_DIR) + "/test_render_output.png";
    std::string reason;
    ASSERT_EQ(kvRenderViewportToPng(vp, path.c_str(), &reason), 1) << reason;
    std::vector<uint8_t> rendered;
    kvRenderViewport(vp, &rendered);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0);
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> read(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, read.data(), 0, nullptr), 0);
    EXPECT_EQ(image.width, 200u);
    EXPECT_EQ(image.height, 150u);
    EXPECT_EQ(read, rendered);
    std::remove(path.c_str());
    EXPECT_EQ(kvRenderViewportToPng(vp, "/nonexistent-folder/x.png", &reason), 0);
    EXPECT_NE(reason.find("nonexistent-folder"), std::string::npos);
}

} // namespace
