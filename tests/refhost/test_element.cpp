// Display elements: the moment the callback of the view-dependent matrix K runs, scene life and
// redraw counting. K itself against the screen-size limits is checked through the library
// (tests/control/test_display.cpp).
#include "korvex/view.h"
#include "support/failing_allocations.h"
#include "support/live_records.h"
#include "support/math3d.h"

#include <memory>
#include <vector>

namespace {

struct Listener {
    int calls = 0;
    bool calledInsideSetMatrix = false;
    MatrixStruct last{};
};

bool insideSetMatrix = false;

bool onViewMatrix(const MatrixStruct* k, void* owner) {
    auto* listener = static_cast<Listener*>(owner);
    ++listener->calls;
    listener->calledInsideSetMatrix |= insideSetMatrix;
    listener->last = *k;
    return true;
}

// The uniform scale K applies and the point it keeps in place.
void expectScaleAbout(const MatrixStruct& k, double factor, KvPoint fixed) {
    EXPECT_NEAR(k.m[0], factor, 1e-12);
    EXPECT_NEAR(k.m[5], factor, 1e-12);
    EXPECT_NEAR(k.m[10], factor, 1e-12);
    EXPECT_NEAR(k.m[12], fixed.x * (1 - factor), 1e-12);
    EXPECT_NEAR(k.m[13], fixed.y * (1 - factor), 1e-12);
    EXPECT_NEAR(k.m[14], fixed.z * (1 - factor), 1e-12);
}

class ElementTest : public LiveRecordsTest {
  protected:
    void SetUp() override {
        LiveRecordsTest::SetUp();
        vp = kvViewportCreate(nullptr, 800, 600);
        kvViewportSetCamera(vp, {0, 0, 10}, {0, 0, 0}, {0, 1, 0});
        kvViewportSetParallel(vp, 0.01);
        element.reset(new (std::nothrow) CRedUIElement());
        ASSERT_TRUE(element);
        ASSERT_EQ(element->SetSceneByViewport(vp), 0);
        element->SetDrawInViewport(vp, true, false);
    }
    void ReleaseAll() override {
        element.reset();
        ViewportDispose(&vp);
    }
    MatrixStruct viewMatrix() {
        KvElementInfo info;
        kvElementGetInfo(element.get(), &info);
        return info.viewMatrix;
    }

    ViewportStruct* vp = nullptr;
    std::unique_ptr<CRedUIElement> element;
};

TEST_F(ElementTest, CallbackRunsAfterSetMatrixReturnsAndOnCameraChanges) {
    Listener listener;
    element->SetMaxResolution(0.005);
    element->SetCallback_ViewMatrixWasChanged(onViewMatrix);
    element->SetOwner(&listener);
    EXPECT_EQ(listener.calls, 0) << "registration itself calls nobody";
    ViewportGetMatrix(vp);
    ASSERT_EQ(listener.calls, 1) << "the next host call reports the first K";
    expectScaleAbout(listener.last, 2.0, {0, 0, 0});

    kvViewportZoom(vp, 4); // r = 0.0025, inside the limit
    ASSERT_EQ(listener.calls, 2) << "a camera change reports at once";
    expectScaleAbout(listener.last, 1.0, {0, 0, 0});
    kvViewportPan(vp, 30, 0);
    EXPECT_EQ(listener.calls, 2) << "an unchanged K is not reported";

    kvViewportSetPerspective(vp, 90);
    ViewportIsPerspective(vp);
    const int before = listener.calls;
    const MatrixStruct moved = Translation({0, 0, -5});
    insideSetMatrix = true;
    element->SetMatrix(&moved, false);
    insideSetMatrix = false;
    EXPECT_EQ(listener.calls, before);
    kvViewportSetCursorPixel(vp, 10, 10);
    EXPECT_EQ(listener.calls, before + 1);
    EXPECT_FALSE(listener.calledInsideSetMatrix);
    expectScaleAbout(listener.last, (15.0 / 300) / 0.005, {0, 0, 0});

    element->SetCallback_ViewMatrixWasChanged(nullptr);
    kvViewportZoom(vp, 2);
    EXPECT_EQ(listener.calls, before + 1) << "a cleared callback is not called";
}

TEST_F(ElementTest, SceneLifeRedrawsAndFailedCreation) {
    EXPECT_EQ(element->TestElement(), 0);
    const int id = element->GetSceneId();
    EXPECT_NE(RenderSceneGetSceneByID(id), nullptr);
    EXPECT_EQ(kvLiveCount(KvElement), 1);

    const long redraws = kvViewportRedrawCount(vp);
    EXPECT_EQ(element->RedrawImmediately(), 0);
    element->SetGlobalVisible(false, true);
    EXPECT_EQ(kvViewportRedrawCount(vp), redraws + 2);
    ASSERT_EQ(kvViewportElements(vp).size(), 1u);
    EXPECT_EQ(kvViewportElements(vp)[0], element.get());

    ViewportDispose(&vp);
    EXPECT_EQ(RenderSceneGetSceneByID(id), nullptr);
    const RedUIElementState state = element->TestElement();
    EXPECT_NE(state, 0);
    EXPECT_STRNE(CAbstractUIObject::GetRedUIErrorString(state), "");
    EXPECT_NE(element->RedrawImmediately(), 0);
    element.reset();
    EXPECT_EQ(kvLiveCount(KvElement), 0);

    kvFailNthCreation(1);
    EXPECT_EQ(new (std::nothrow) CRedUIElement(), nullptr);
    EXPECT_TRUE(kvFailureFired());
    EXPECT_EQ(kvLiveCount(KvElement), 0);
}

// An element is made whole or not at all, whichever of its allocations fails; once made, it
// registers its view callback without needing memory, however many elements there are.
TEST_F(ElementTest, MadeWholeOrNotAtAllAndRegistersWithoutMemory) {
    for (long n = 1;; ++n) {
        FailNthAllocation(n);
        std::unique_ptr<CRedUIElement> made;
        try {
            made.reset(new (std::nothrow) CRedUIElement());
        } catch (const std::bad_alloc&) {
        }
        const bool fired = AllocationFailed();
        FailNthAllocation(0);
        EXPECT_EQ(kvLiveCount(KvElement), made ? 2 : 1) << "N " << n;
        if (!fired) break;
        EXPECT_FALSE(made) << "N " << n;
    }
    std::vector<std::unique_ptr<CRedUIElement>> many(300);
    for (auto& e : many)
        e.reset(new (std::nothrow) CRedUIElement());
    Listener listener;
    for (auto& e : many) {
        ASSERT_TRUE(e);
        FailNthAllocation(1);
        EXPECT_EQ(e->SetCallback_ViewMatrixWasChanged(onViewMatrix), 0);
        EXPECT_EQ(e->SetOwner(&listener), 0);
        FailNthAllocation(0);
    }
}

} // namespace
