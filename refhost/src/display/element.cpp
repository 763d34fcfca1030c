// Display elements and render scenes. An element draws a snapshot S of a graphic through its
// view-dependent matrix K and its own matrix M: drawn = M after K after S. K keeps the element
// within its screen-size limits in the viewport it is measured in.
//
// When K changes the element's callback is told, never from inside the element operation that
// caused the change: the change is queued and delivered at the start of the next host call
// that is not part of taking an element down (any other element operation, any viewport or
// picking query, any host-application call). By then the caller has finished what it was
// doing with the element, so a callback never meets a half-updated owner. Host-application
// calls that move a camera deliver before they return.
//
// Index
//   [SECTION] CAbstractUIObject
//   [SECTION] CRedUIElement
//   [SECTION] Host application
#include "display_records.h"
#include "korvex/view.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>

class ElementImpl {
  public:
    explicit ElementImpl(CRedUIElement* face) : face(face) {}

    CRedUIElement* face;
    korvex::RenderScene* scene = nullptr; // null before joining and after the scene closed
    int sceneId = 0;
    std::shared_ptr<const korvex::Geometry> snapshot; // null until made from a graphic
    long snapshotId = 0;
    int drawPriority = 0;
    korvex::ViewportRecord* space = nullptr;
    ExtentsStruct extents;
    bool redrawAtDelete = true;
    int viewMode = 2;
    std::vector<korvex::ViewportRecord*> drawIn; // latest switched on last
    bool drawInChosen = false; // switched on or off in some viewport at least once
    int materialType = 0;
    MatrixStruct matrix = korvex::identityMatrix();
    bool visible = true;
    float transparency = 0, ambient = 0.3f, diffuse = 0.7f, specular = 0.3f;
    double minResolution = 0, maxResolution = 0;
    korvex::Vec3 zoomCenter;
    bool positionAbsolute = false;
    ViewMatrixChangedCallback callback = nullptr;
    void* owner = nullptr;
    MatrixStruct viewMatrix = korvex::identityMatrix(); // K in its own viewport
    MatrixStruct reported = korvex::identityMatrix();   // K as the callback last heard it
    bool queued = false;
    long callbacks = 0;
};

namespace korvex {

namespace {

enum : RedUIElementState {
    StateOk = 0,
    StateNoScene = 1,
    StateSceneClosed = 2,
    StateInvalidArgument = 3,
    StateNoMemory = 4,
};

std::vector<ElementImpl*>& allElements() {
    static std::vector<ElementImpl*> elements; // creation order
    return elements;
}

std::vector<ElementImpl*>& queuedElements() {
    static std::vector<ElementImpl*> queue;
    return queue;
}

std::map<int, RenderScene*>& scenes() {
    static std::map<int, RenderScene*> byId;
    return byId;
}

void eraseFrom(std::vector<ElementImpl*>& list, ElementImpl* e) {
    list.erase(std::remove(list.begin(), list.end(), e), list.end());
}

void eraseFrom(std::vector<ViewportRecord*>& list, ViewportRecord* vp) {
    list.erase(std::remove(list.begin(), list.end(), vp), list.end());
}

bool contains(const std::vector<ViewportRecord*>& list, const ViewportRecord* vp) {
    return std::find(list.begin(), list.end(), vp) != list.end();
}

// The viewport K is measured in: the latest one the element was switched on in, else the
// viewport of its space, else that of its scene.
ViewportRecord* measuringViewport(const ElementImpl& e) {
    if (!e.scene) return nullptr;
    if (!e.drawIn.empty()) return e.drawIn.back();
    return e.space ? e.space : e.scene->viewport;
}

// View mode 2 draws only in the viewports switched on (its scene's when it was never switched
// on or off anywhere, none after it was switched off everywhere); other modes also draw in
// every viewport of that drawing.
// Visits every viewport the element is drawn in once, without allocating: counting a redraw
// cannot fail.
template <class Visit> void visitViewportsDrawnIn(const ElementImpl& e, Visit visit) {
    if (!e.scene) return;
    ViewportRecord* implicit = e.drawIn.empty() && !e.drawInChosen ? e.scene->viewport : nullptr;
    for (ViewportRecord* vp : e.drawIn)
        visit(vp);
    if (implicit) visit(implicit);
    const DrawingRecord* d = e.scene->viewport->drawing;
    if (e.viewMode == 2 || !d) return;
    for (ViewportStruct* vp : d->viewports)
        if (!contains(e.drawIn, asViewport(vp)) && asViewport(vp) != implicit)
            visit(asViewport(vp));
}

bool drawnIn(const ElementImpl& e, const ViewportRecord* vp) {
    bool found = false;
    visitViewportsDrawnIn(e, [&](ViewportRecord* each) { found |= each == vp; });
    return found;
}

MatrixStruct viewDependentMatrix(const ElementImpl& e, const ViewportRecord& vp,
                                 const MatrixStruct& previous) {
    if (e.minResolution <= 0 && e.maxResolution <= 0) return identityMatrix();
    double r = 0;
    // At or behind the eye there is no size to keep: K stays as it was.
    if (!unitsPerPixelAt(vp, transformPoint(e.matrix, e.zoomCenter), &r)) return previous;
    double k = 1;
    if (e.minResolution > 0 && r < e.minResolution)
        k = r / e.minResolution;
    else if (e.maxResolution > 0 && r > e.maxResolution)
        k = r / e.maxResolution;
    return uniformScaleAbout(k, e.positionAbsolute ? e.zoomCenter : Vec3{});
}

void queueIfChanged(ElementImpl& e) {
    if (e.queued || !e.callback || !e.owner || sameMatrix(e.viewMatrix, e.reported, 0)) return;
    e.queued = true;
    queuedElements().push_back(&e);
}

void updateViewMatrix(ElementImpl& e) {
    const ViewportRecord* vp = measuringViewport(e);
    if (!vp) return;
    e.viewMatrix = viewDependentMatrix(e, *vp, e.viewMatrix);
    queueIfChanged(e);
}

void leaveScene(ElementImpl& e) {
    if (e.scene) eraseFrom(e.scene->elements, &e);
    e.scene = nullptr;
}

void countRedraw(const ElementImpl& e) {
    visitViewportsDrawnIn(e, [](ViewportRecord* vp) { ++vp->redraws; });
}

RedUIElementState redrawIf(const ElementImpl& e, bool redraw) {
    if (redraw) countRedraw(e);
    return StateOk;
}

// The graphic's display snapshot, made once per revision and shared by every element made from
// a graphic of that revision: a snapshot is never changed once made.
std::shared_ptr<const Geometry> snapshotOf(GraphicRecord& g) {
    DerivedState& derived = g.derived.made();
    if (derived.snapshot && derived.snapshotRevision == g.revision) return derived.snapshot;
    std::shared_ptr<const Geometry> snapshot = DerivedByRevision<Geometry>::find(g.revision);
    if (!snapshot) {
        auto made = std::make_unique<Geometry>();
        collectGeometry(g, identityMatrix(), false, {MeshEdges::Contours, nullptr}, made.get());
        snapshot = DerivedByRevision<Geometry>::keep(g.revision, std::move(made));
    }
    derived.snapshot = snapshot;
    derived.snapshotRevision = g.revision;
    return snapshot;
}

} // namespace

RenderScene* sceneById(int id) {
    const auto it = scenes().find(id);
    return it == scenes().end() ? nullptr : it->second;
}

int openScene(ViewportRecord* vp) noexcept {
    static int lastId = 0;
    try {
        std::unique_ptr<RenderScene> scene(new RenderScene{lastId + 1, vp, {}});
        scenes()[scene->id] = scene.get();
        lastId = scene->id;
        return scene.release()->id;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

void closeScene(ViewportRecord* vp) {
    if (RenderScene* scene = sceneById(vp->sceneId)) {
        for (ElementImpl* e : scene->elements)
            e->scene = nullptr;
        scenes().erase(scene->id);
        delete scene;
    }
    if (!vp->hostsElements) return;
    for (ElementImpl* e : allElements()) {
        if (!contains(e->drawIn, vp) && e->space != vp) continue;
        eraseFrom(e->drawIn, vp);
        if (e->space == vp) e->space = nullptr;
        updateViewMatrix(*e);
    }
}

void viewportChanged(ViewportRecord* vp) {
    if (!vp->hostsElements) return;
    for (ElementImpl* e : allElements())
        if (measuringViewport(*e) == vp) updateViewMatrix(*e);
}

void deliverViewMatrixChanges() {
    static bool delivering = false;
    if (delivering) return;
    delivering = true;
    auto& queue = queuedElements();
    while (!queue.empty()) {
        ElementImpl* e = queue.front();
        queue.erase(queue.begin());
        e->queued = false;
        if (!e->scene || !e->callback || !e->owner || sameMatrix(e->viewMatrix, e->reported, 0))
            continue;
        e->reported = e->viewMatrix;
        ++e->callbacks;
        const MatrixStruct k = e->viewMatrix;
        e->callback(&k, e->owner);
    }
    delivering = false;
}

std::vector<ElementView> elementsShownIn(ViewportRecord* vp) {
    std::vector<ElementView> shown;
    for (const ElementImpl* e : allElements()) {
        if (!e->visible || !e->snapshot || !drawnIn(*e, vp)) continue;
        const MatrixStruct k = measuringViewport(*e) == vp
                                   ? e->viewMatrix
                                   : viewDependentMatrix(*e, *vp, identityMatrix());
        shown.push_back({e->snapshot.get(), e->face, e->snapshotId, compose(e->matrix, k),
                         e->drawPriority, e->transparency, e->ambient, e->diffuse, e->specular});
    }
    std::stable_sort(shown.begin(), shown.end(), [](const ElementView& a, const ElementView& b) {
        return a.priority < b.priority;
    });
    return shown;
}

} // namespace korvex

using namespace korvex;

// [SECTION] CAbstractUIObject -----------------------------------------------------------------

CAbstractUIObject::~CAbstractUIObject() = default;

const char* CAbstractUIObject::GetRedUIErrorString(RedUIElementState state) {
    switch (state) {
    case StateOk:
        return "no error";
    case StateNoScene:
        return "the element has not joined a render scene";
    case StateSceneClosed:
        return "the element's render scene no longer exists";
    case StateInvalidArgument:
        return "invalid argument";
    case StateNoMemory:
        return "out of memory";
    default:
        return "unknown display element state";
    }
}

RedUIElementState CAbstractUIObject::GraphicSetCustomPropVectorizeContour(GraphicStruct* g,
                                                                          bool on) {
    if (!g) return StateInvalidArgument;
    GraphicRecord* graphic = static_cast<GraphicRecord*>(g);
    if (graphic->vectorizeContour == on) return StateOk;
    graphic->vectorizeContour = on;
    noteGeometryChanged(graphic, false);
    return StateOk;
}

// [SECTION] CRedUIElement -------------------------------------------------------------------

void* CRedUIElement::operator new(std::size_t size) {
    void* p = operator new(size, std::nothrow);
    if (!p) throw std::bad_alloc();
    return p;
}

void* CRedUIElement::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (!admitRecord(KvElement)) return nullptr;
    void* p = ::operator new(size, std::nothrow);
    if (!p) releaseRecord(KvElement);
    return p;
}

void CRedUIElement::operator delete(void* p) noexcept {
    if (!p) return;
    ::operator delete(p);
    releaseRecord(KvElement);
}

void CRedUIElement::operator delete(void* p, const std::nothrow_t&) noexcept {
    operator delete(p);
}

// The queue of view changes keeps room for every element there is, so that neither queueing a
// change nor registering a callback ever needs any; a construction without room throws before
// it has made anything.
CRedUIElement::CRedUIElement() {
    std::vector<ElementImpl*>& all = allElements();
    reserveOneMore(all);
    queuedElements().reserve(all.capacity());
    impl_ = new ElementImpl(this);
    all.push_back(impl_);
}

CRedUIElement::~CRedUIElement() {
    if (impl_->redrawAtDelete) countRedraw(*impl_);
    leaveScene(*impl_);
    eraseFrom(queuedElements(), impl_);
    eraseFrom(allElements(), impl_);
    delete impl_;
}

RedUIElementState CRedUIElement::SetSceneByViewport(ViewportStruct* vp) {
    deliverViewMatrixChanges();
    RenderScene* scene = vp ? sceneById(asViewport(vp)->sceneId) : nullptr;
    if (!scene) return StateInvalidArgument;
    if (!madeRoom([scene] { reserveOneMore(scene->elements); })) return StateNoMemory;
    leaveScene(*impl_);
    impl_->scene = scene;
    impl_->sceneId = scene->id;
    scene->elements.push_back(impl_);
    scene->viewport->hostsElements = true;
    updateViewMatrix(*impl_);
    return StateOk;
}

RedUIElementState CRedUIElement::CreatePrimByGraphic(GraphicStruct* g, bool redraw) {
    deliverViewMatrixChanges();
    if (!g) return StateInvalidArgument;
    std::shared_ptr<const Geometry> snapshot;
    if (!madeRoom([&] { snapshot = snapshotOf(*static_cast<GraphicRecord*>(g)); }))
        return StateNoMemory;
    impl_->snapshot = std::move(snapshot);
    static long lastSnapshotId = 0;
    impl_->snapshotId = ++lastSnapshotId;
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetDrawpriority(int priority, bool redraw) {
    deliverViewMatrixChanges();
    impl_->drawPriority = priority;
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetSpaceByViewport(ViewportStruct* vp, bool redraw) {
    deliverViewMatrixChanges();
    if (!vp) return StateInvalidArgument;
    impl_->space = asViewport(vp);
    impl_->space->hostsElements = true;
    updateViewMatrix(*impl_);
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetExtents(const ExtentsStruct* e, bool redraw) {
    deliverViewMatrixChanges();
    impl_->extents = e ? *e : ExtentsStruct{};
    return redrawIf(*impl_, redraw);
}

void CRedUIElement::SetImmediateRedrawAtDelete(bool on) {
    deliverViewMatrixChanges();
    impl_->redrawAtDelete = on;
}

RedUIElementState CRedUIElement::SetViewMode(int mode, bool redraw) {
    deliverViewMatrixChanges();
    impl_->viewMode = mode;
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetDrawInViewport(ViewportStruct* vp, bool on, bool redraw) {
    deliverViewMatrixChanges();
    if (!vp) return StateInvalidArgument;
    std::vector<ViewportRecord*>& drawIn = impl_->drawIn;
    if (on && !madeRoom([&drawIn] { reserveOneMore(drawIn); })) return StateNoMemory;
    impl_->drawInChosen = true;
    eraseFrom(impl_->drawIn, asViewport(vp));
    if (on) impl_->drawIn.push_back(asViewport(vp));
    asViewport(vp)->hostsElements = true;
    updateViewMatrix(*impl_);
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetMatPrimType(int type, bool redraw) {
    deliverViewMatrixChanges();
    impl_->materialType = type;
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetMatrix(const MatrixStruct* m, bool redraw) {
    deliverViewMatrixChanges();
    impl_->matrix = m ? *m : identityMatrix();
    updateViewMatrix(*impl_);
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetGlobalVisible(bool visible, bool redraw) {
    deliverViewMatrixChanges();
    impl_->visible = visible;
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetTransparency(float t, bool redraw) {
    deliverViewMatrixChanges();
    impl_->transparency = t;
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetAmbientFactor(float f, bool redraw) {
    deliverViewMatrixChanges();
    impl_->ambient = f;
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetDiffuseFactor(float f, bool redraw) {
    deliverViewMatrixChanges();
    impl_->diffuse = f;
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetSpecularFactor(float f, bool redraw) {
    deliverViewMatrixChanges();
    impl_->specular = f;
    return redrawIf(*impl_, redraw);
}

RedUIElementState CRedUIElement::SetMinResolution(double unitsPerPixel) {
    deliverViewMatrixChanges();
    if (!(unitsPerPixel >= 0)) return StateInvalidArgument;
    impl_->minResolution = unitsPerPixel;
    updateViewMatrix(*impl_);
    return StateOk;
}

RedUIElementState CRedUIElement::SetMaxResolution(double unitsPerPixel) {
    deliverViewMatrixChanges();
    if (!(unitsPerPixel >= 0)) return StateInvalidArgument;
    impl_->maxResolution = unitsPerPixel;
    updateViewMatrix(*impl_);
    return StateOk;
}

RedUIElementState CRedUIElement::SetCenterZoom(const VertexStruct* center) {
    deliverViewMatrixChanges();
    if (!center) return StateInvalidArgument;
    impl_->zoomCenter = toVec3(*center);
    updateViewMatrix(*impl_);
    return StateOk;
}

RedUIElementState CRedUIElement::SetPositionAbsolute(bool on) {
    deliverViewMatrixChanges();
    impl_->positionAbsolute = on;
    updateViewMatrix(*impl_);
    return StateOk;
}

// Registration and the owner change no view: they deliver nothing, since an owner may be
// taking itself down around them.
RedUIElementState CRedUIElement::SetCallback_ViewMatrixWasChanged(ViewMatrixChangedCallback cb) {
    impl_->callback = cb;
    queueIfChanged(*impl_);
    return StateOk;
}

RedUIElementState CRedUIElement::SetOwner(void* owner) {
    impl_->owner = owner;
    queueIfChanged(*impl_);
    return StateOk;
}

int CRedUIElement::GetSceneId() {
    return impl_->sceneId;
}

RedUIElementState CRedUIElement::TestElement() {
    if (impl_->scene) return StateOk;
    return impl_->sceneId ? StateSceneClosed : StateNoScene;
}

RedUIElementState CRedUIElement::RedrawImmediately() {
    deliverViewMatrixChanges();
    if (const RedUIElementState state = TestElement()) return state;
    countRedraw(*impl_);
    return StateOk;
}

void* RenderSceneGetSceneByID(int id) {
    return sceneById(id);
}

// [SECTION] Host application ----------------------------------------------------------------

std::vector<CRedUIElement*> kvViewportElements(ViewportStruct* vp) {
    std::vector<CRedUIElement*> list;
    if (!vp) return list;
    for (ElementImpl* e : allElements())
        if (drawnIn(*e, asViewport(vp))) list.push_back(e->face);
    return list;
}

long kvViewportRedrawCount(ViewportStruct* vp) {
    return vp ? asViewport(vp)->redraws : 0;
}

int kvElementGetInfo(CRedUIElement* element, KvElementInfo* info) {
    if (!element || !info) return 0;
    const ElementImpl& e = *element->impl();
    *info = {};
    info->alive = e.scene ? 1 : 0;
    info->sceneId = e.sceneId;
    info->visible = e.visible ? 1 : 0;
    info->drawPriority = e.drawPriority;
    info->viewMode = e.viewMode;
    info->materialType = e.materialType;
    info->hasExtents = e.extents.valid ? 1 : 0;
    info->extentsMin = {e.extents.x1, e.extents.y1, e.extents.z1};
    info->extentsMax = {e.extents.x2, e.extents.y2, e.extents.z2};
    info->transparency = e.transparency;
    info->ambient = e.ambient;
    info->diffuse = e.diffuse;
    info->specular = e.specular;
    info->minResolution = e.minResolution;
    info->maxResolution = e.maxResolution;
    info->zoomCenter = {e.zoomCenter.x, e.zoomCenter.y, e.zoomCenter.z};
    info->positionAbsolute = e.positionAbsolute ? 1 : 0;
    info->matrix = e.matrix;
    info->viewMatrix = e.viewMatrix;
    info->viewport = measuringViewport(e);
    info->triangles = e.snapshot ? static_cast<int>(e.snapshot->triangles.size()) : 0;
    info->segments = e.snapshot ? static_cast<int>(e.snapshot->segments.size()) : 0;
    info->callbacks = e.callbacks;
    return 1;
}

std::vector<KvShownElement> kvViewportShownElements(ViewportStruct* vp) {
    deliverViewMatrixChanges();
    std::vector<KvShownElement> out;
    if (!vp) return out;
    for (const ElementView& e : elementsShownIn(asViewport(vp)))
        out.push_back({e.face, e.snapshotId, e.priority, e.transparency, e.ambient, e.diffuse,
                       e.specular, e.drawn});
    return out;
}

int kvElementGetGeometry(CRedUIElement* element, KvGeometry* out) {
    deliverViewMatrixChanges();
    if (!element || !out || !element->impl()->snapshot) return 0;
    exportGeometry(*element->impl()->snapshot, out);
    return 1;
}
