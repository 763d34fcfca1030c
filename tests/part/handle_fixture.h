// A fixture for unit tests of handles and parts: the scene fixture, whose viewport shows the
// handles built in its profile drawing, and a control that owns nothing but its
// settings. Handles made through Load are released before the live counts are compared.
#ifndef TILLER_TESTS_PART_HANDLE_FIXTURE_H
#define TILLER_TESTS_PART_HANDLE_FIXTURE_H

#include "control/test_profiles.h"
#include "support/scene_fixture.h"
#include "tiller/control/gcontrol.h"
#include "tiller/handle/ghandle.h"
#include "tiller/part/ghandlepart.h"

#include <vector>

class HandleFixture : public SceneFixture {
  protected:
    void SetUp() override {
        SceneFixture::SetUp();
        control = new GControl(nullptr, L"test", drawing, kvSelectionExtents);
    }
    void ReleaseAll() override {
        for (GHandle* h : handles)
            delete h;
        handles.clear();
        delete control;
        SceneFixture::ReleaseAll();
    }
    GHandle* Load(GraphicStruct* group) {
        handles.push_back(new GHandle(control, group, drawing, vp, kvSelectionExtents));
        return handles.back();
    }
    static KvElementInfo Info(const tiller::GHandlePart* part) {
        return InfoOf(part->PartGetPrimitive());
    }
    // Whether the part's element draws with that matrix of its own.
    static bool DrawnWith(const tiller::GHandlePart* part, const MatrixStruct& expected) {
        const KvElementInfo info = Info(part);
        return MatrixEqual(&info.matrix, &expected);
    }

    GControl* control = nullptr;
    std::vector<GHandle*> handles;
};

#endif
