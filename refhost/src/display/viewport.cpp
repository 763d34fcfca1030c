// Viewports: cameras, the view matrix, pixels and sight lines, and the conversions the
// library asks for. Also the display side's own matrices: scales about a point, comparison.
//
// Index
//   [SECTION] Display matrices
//   [SECTION] Camera and projection
//   [SECTION] Records
//   [SECTION] Host interface
//   [SECTION] Host application
#include "display_records.h"
#include "korvex/view.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <numbers>

namespace korvex {

// [SECTION] Display matrices ----------------------------------------------------------------

MatrixStruct uniformScaleAbout(double k, Vec3 c) {
    MatrixStruct m = identityMatrix();
    m.m[0] = m.m[5] = m.m[10] = k;
    m.m[12] = c.x * (1 - k);
    m.m[13] = c.y * (1 - k);
    m.m[14] = c.z * (1 - k);
    return m;
}

bool sameMatrix(const MatrixStruct& a, const MatrixStruct& b, double tolerance) {
    for (int i = 0; i < 16; ++i)
        if (std::fabs(a.m[i] - b.m[i]) > tolerance) return false;
    return true;
}

// [SECTION] Camera and projection -----------------------------------------------------------

Vec3 eyeOf(const ViewportRecord& vp) {
    return toVec3(vp.camera.eye);
}

Vec3 forwardOf(const ViewportRecord& vp) {
    return -Vec3{vp.view.m[2], vp.view.m[6], vp.view.m[10]};
}

namespace {

Vec3 screenUpOf(const ViewportRecord& vp) {
    return {vp.view.m[1], vp.view.m[5], vp.view.m[9]};
}
Vec3 screenRightOf(const ViewportRecord& vp) {
    return {vp.view.m[0], vp.view.m[4], vp.view.m[8]};
}

// The screen's right direction for a view along f: perpendicular to f and to the first usable
// up direction.
Vec3 rightFor(Vec3 f, std::initializer_list<Vec3> ups) {
    for (const Vec3 up : ups) {
        const Vec3 r = cross(f, up);
        if (length(r) > 1e-9 * std::max(1.0, length(up))) return normalized(r);
    }
    return {1, 0, 0};
}

double perspectiveScale(const ViewportRecord& vp) {
    return 2.0 * std::tan(vp.fovY / 2) / vp.height;
}

// View x and y of a pixel's centre: in drawing units (parallel) or on the plane one unit in
// front of the eye (perspective).
void pixelToView(const ViewportRecord& vp, double px, double py, double* x, double* y) {
    const double s = vp.perspective ? perspectiveScale(vp) : vp.unitsPerPixel;
    *x = (px + 0.5 - vp.width / 2.0) * s;
    *y = (vp.height / 2.0 - py - 0.5) * s;
}

double targetDistance(const ViewportRecord& vp) {
    return length(toVec3(vp.camera.target) - eyeOf(vp));
}

} // namespace

void rebuildView(ViewportRecord& vp) {
    const Vec3 eye = eyeOf(vp);
    Vec3 f = toVec3(vp.camera.target) - eye;
    f = length(f) > 0 ? normalized(f) : forwardOf(vp);
    const Vec3 r = rightFor(f, {vp.up, screenUpOf(vp), Vec3{0, 1, 0}, Vec3{1, 0, 0}});
    const Vec3 u = cross(r, f);
    const Vec3 axes[3] = {r, u, -f};
    MatrixStruct v = identityMatrix();
    for (int row = 0; row < 3; ++row) {
        v.m[row] = axes[row].x;
        v.m[4 + row] = axes[row].y;
        v.m[8 + row] = axes[row].z;
        v.m[12 + row] = -dot(axes[row], eye);
    }
    vp.view = v;
}

SightLine sightLineThroughPixel(const ViewportRecord& vp, double px, double py) {
    double x, y;
    pixelToView(vp, px, py, &x, &y);
    const Vec3 r = screenRightOf(vp), u = screenUpOf(vp), f = forwardOf(vp);
    if (vp.perspective) return {eyeOf(vp), normalized(r * x + u * y + f)};
    return {eyeOf(vp) + r * x + u * y, f};
}

bool worldToPixel(const ViewportRecord& vp, Vec3 world, double* px, double* py) {
    Vec3 v = transformPoint(vp.view, world);
    double s = vp.unitsPerPixel;
    if (vp.perspective) {
        if (-v.z <= 1e-12) return false;
        v = v * (1.0 / -v.z);
        s = perspectiveScale(vp);
    }
    *px = v.x / s + vp.width / 2.0 - 0.5;
    *py = vp.height / 2.0 - 0.5 - v.y / s;
    return true;
}

bool unitsPerPixelAt(const ViewportRecord& vp, Vec3 world, double* r) {
    if (!vp.perspective) {
        *r = vp.unitsPerPixel;
        return true;
    }
    const double depth = -transformPoint(vp.view, world).z;
    if (depth <= 1e-12) return false;
    *r = depth * perspectiveScale(vp);
    return true;
}

// [SECTION] Records -------------------------------------------------------------------------

namespace {

ViewportRecord* newViewport() {
    auto* vp = newRecord<ViewportRecord>(KvViewport);
    if (!vp) return nullptr;
    vp->perspectivePickEpsilon = 1e-6;
    const double eye[3] = {0, 0, 10}, target[3] = {0, 0, 0};
    std::memcpy(vp->camera.eye, eye, sizeof eye);
    std::memcpy(vp->camera.target, target, sizeof target);
    vp->view = identityMatrix();
    rebuildView(*vp);
    vp->sceneId = openScene(vp);
    if (!vp->sceneId) {
        deleteRecord(KvViewport, vp);
        return nullptr;
    }
    return vp;
}

void takeOffDrawing(ViewportRecord* vp) {
    DrawingRecord* d = vp->drawing;
    if (!d) return;
    auto& list = d->viewports;
    list.erase(std::remove(list.begin(), list.end(), vp), list.end());
    if (d->activeViewport == vp) d->activeViewport = list.empty() ? nullptr : list.front();
    vp->drawing = nullptr;
}

bool ownedByItsDrawing(ViewportRecord* vp) {
    if (!vp->drawing) return false;
    const auto& list = vp->drawing->viewports;
    return std::find(list.begin(), list.end(), vp) != list.end();
}

// After a camera, projection or size change made by the host application: the elements
// measured in the viewport follow at once.
void viewChangedByHost(ViewportRecord* vp) {
    viewportChanged(vp);
    deliverViewMatrixChanges();
}

} // namespace

void disposeViewportRecord(ViewportStruct* vp) {
    if (!vp) return;
    auto* record = asViewport(vp);
    if (record->announcesClosing) announceViewportClosing(vp);
    closeScene(record);
    deleteRecord(KvViewport, record);
}

} // namespace korvex

using namespace korvex;

// [SECTION] Host interface ------------------------------------------------------------------

const MatrixStruct* ViewportGetMatrix(ViewportStruct* vp) {
    deliverViewMatrixChanges();
    return vp ? &asViewport(vp)->view : nullptr;
}

int ViewportIsPerspective(ViewportStruct* vp) {
    deliverViewMatrixChanges();
    return vp && asViewport(vp)->perspective ? 1 : 0;
}

ViewportStruct* ViewportNewEx(int, int) {
    return newViewport();
}

void ViewportCopyFrom(ViewportStruct* src, ViewportStruct* dst) {
    if (!src || !dst || src == dst) return;
    const ViewportRecord& from = *asViewport(src);
    ViewportRecord& to = *asViewport(dst);
    to.perspectivePickEpsilon = from.perspectivePickEpsilon;
    to.camera = from.camera;
    to.up = from.up;
    to.perspective = from.perspective;
    to.fovY = from.fovY;
    to.unitsPerPixel = from.unitsPerPixel;
    to.width = from.width;
    to.height = from.height;
    to.view = from.view;
    to.cursorX = from.cursorX;
    to.cursorY = from.cursorY;
    if (!ownedByItsDrawing(&to)) to.drawing = from.drawing;
    viewportChanged(&to);
}

DrawingStruct* ViewportGetDrawing(ViewportStruct* vp) {
    return vp ? asViewport(vp)->drawing : nullptr;
}

void ViewportSetDrawing(ViewportStruct* vp, DrawingStruct* d) {
    if (!vp || ownedByItsDrawing(asViewport(vp))) return;
    asViewport(vp)->drawing = static_cast<DrawingRecord*>(d);
}

void ViewportNormalize(ViewportStruct* vp) {
    if (!vp) return;
    rebuildView(*asViewport(vp));
    viewportChanged(asViewport(vp));
}

CameraStruct* ViewportGetCamera(ViewportStruct* vp) {
    return vp ? &asViewport(vp)->camera : nullptr;
}

void ViewportDispose(ViewportStruct** vp) {
    if (!vp || !*vp) return;
    takeOffDrawing(asViewport(*vp));
    disposeViewportRecord(*vp);
    *vp = nullptr;
}

void CSystemUserToViewportEx(ViewportStruct* vp, int, const VertexStruct* in, VertexStruct* out) {
    deliverViewMatrixChanges();
    if (!vp || !in || !out) return;
    const Vec3 v = transformPoint(asViewport(vp)->view, toVec3(*in));
    out->x = v.x, out->y = v.y, out->z = v.z;
}

void ViewportCStoUserCS(const MatrixStruct* m, int, const VertexStruct* in, VertexStruct* out) {
    if (!in || !out) return;
    MatrixStruct inverse = identityMatrix();
    if (m && !invertAffine(*m, &inverse)) return;
    const Vec3 w = transformPoint(inverse, toVec3(*in));
    out->x = w.x, out->y = w.y, out->z = w.z;
}

double ViewportDistanceWtoE(ViewportStruct* vp, double pixels, char) {
    deliverViewMatrixChanges();
    if (!vp) return 0;
    const ViewportRecord& r = *asViewport(vp);
    if (!r.perspective) return pixels * r.unitsPerPixel;
    return pixels * perspectiveScale(r) * targetDistance(r);
}

int ViewportNormalizeVertexProjection(ViewportStruct* vp, VertexStruct* v) {
    deliverViewMatrixChanges();
    if (!vp || !v || v->z <= 1e-12) return 0;
    v->x /= v->z;
    v->y /= v->z;
    v->z = -1.0;
    return 1;
}

int VertexProjectionOnPlane(ViewportStruct* vp, const VertexStruct* in, VertexStruct* out,
                            const MatrixStruct* plane, double h) {
    deliverViewMatrixChanges();
    if (!vp || !in || !out) return 0;
    const MatrixStruct q = plane ? *plane : identityMatrix();
    MatrixStruct toPlane;
    if (!invertAffine(q, &toPlane)) return 0;
    const Vec3 point = transformPoint(q, {0, 0, h});
    const Vec3 normal = cross(transformVector(q, {1, 0, 0}), transformVector(q, {0, 1, 0}));
    const bool perspective = asViewport(vp)->perspective;
    const Vec3 origin = perspective ? Vec3{} : Vec3{in->x, in->y, 0};
    const Vec3 direction = perspective ? toVec3(*in) : Vec3{0, 0, -1};
    const double along = dot(normal, direction);
    if (std::fabs(along) <= 1e-12 * length(normal) * length(direction)) return 0;
    const double t = dot(normal, point - origin) / along;
    if (perspective && t <= 0) return 0;
    const Vec3 hit = transformPoint(toPlane, origin + direction * t);
    out->x = hit.x, out->y = hit.y, out->z = h;
    return 1;
}

ViewportStruct* DrawingGetActiveViewport(DrawingStruct* d) {
    return d ? static_cast<DrawingRecord*>(d)->activeViewport : nullptr;
}

ViewportStruct* DrawingViewportFirst(DrawingStruct* d) {
    if (!d) return nullptr;
    const auto& list = static_cast<DrawingRecord*>(d)->viewports;
    return list.empty() ? nullptr : list.front();
}

int DrawingViewportDelete(DrawingStruct* d, ViewportStruct* vp) {
    if (!d || !vp || asViewport(vp)->drawing != d || !ownedByItsDrawing(asViewport(vp))) return 0;
    takeOffDrawing(asViewport(vp));
    return 1;
}

// [SECTION] Host application ----------------------------------------------------------------

ViewportStruct* kvViewportCreate(DrawingStruct* drawing, int width, int height) {
    ViewportRecord* vp = newViewport();
    if (!vp) return nullptr;
    vp->width = std::max(1, width);
    vp->height = std::max(1, height);
    vp->cursorX = vp->width / 2.0 - 0.5;
    vp->cursorY = vp->height / 2.0 - 0.5;
    vp->announcesClosing = true;
    if (auto* d = static_cast<DrawingRecord*>(drawing)) {
        vp->drawing = d;
        d->viewports.push_back(vp);
        if (!d->activeViewport) d->activeViewport = vp;
    }
    return vp;
}

void kvDrawingSetActiveViewport(DrawingStruct* drawing, ViewportStruct* vp) {
    auto* d = static_cast<DrawingRecord*>(drawing);
    if (!d || !vp || !ownedByItsDrawing(asViewport(vp)) || asViewport(vp)->drawing != d) return;
    d->activeViewport = vp;
}

KvViewInfo kvViewportInfo(ViewportStruct* vp) {
    KvViewInfo info{};
    if (!vp) return info;
    const ViewportRecord& r = *asViewport(vp);
    info.eye = {r.camera.eye[0], r.camera.eye[1], r.camera.eye[2]};
    info.target = {r.camera.target[0], r.camera.target[1], r.camera.target[2]};
    info.up = {r.up.x, r.up.y, r.up.z};
    info.perspective = r.perspective ? 1 : 0;
    info.fovYDegrees = r.fovY * 180.0 / std::numbers::pi;
    info.unitsPerPixel = r.unitsPerPixel;
    info.width = r.width;
    info.height = r.height;
    info.cursorX = r.cursorX;
    info.cursorY = r.cursorY;
    info.sceneId = r.sceneId;
    info.view = r.view;
    return info;
}

namespace {

void placeCamera(ViewportRecord& vp, Vec3 eye, Vec3 target) {
    vp.camera.eye[0] = eye.x, vp.camera.eye[1] = eye.y, vp.camera.eye[2] = eye.z;
    vp.camera.target[0] = target.x, vp.camera.target[1] = target.y, vp.camera.target[2] = target.z;
    rebuildView(vp);
}

// Right-handed rotation of v about the unit axis a.
Vec3 rotateAbout(Vec3 v, Vec3 a, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return v * c + cross(a, v) * s + a * (dot(a, v) * (1 - c));
}

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

} // namespace

void kvViewportSetCamera(ViewportStruct* vp, KvPoint eye, KvPoint target, KvPoint up) {
    if (!vp) return;
    ViewportRecord& r = *asViewport(vp);
    r.up = {up.x, up.y, up.z};
    placeCamera(r, {eye.x, eye.y, eye.z}, {target.x, target.y, target.z});
    viewChangedByHost(&r);
}

void kvViewportSetParallel(ViewportStruct* vp, double unitsPerPixel) {
    if (!vp || !(unitsPerPixel > 0)) return;
    asViewport(vp)->perspective = false;
    asViewport(vp)->unitsPerPixel = unitsPerPixel;
    viewChangedByHost(asViewport(vp));
}

void kvViewportSetPerspective(ViewportStruct* vp, double fovYDegrees) {
    if (!vp || !(fovYDegrees > 0 && fovYDegrees < 180)) return;
    asViewport(vp)->perspective = true;
    asViewport(vp)->fovY = radians(fovYDegrees);
    viewChangedByHost(asViewport(vp));
}

void kvViewportSetSize(ViewportStruct* vp, int width, int height) {
    if (!vp || width < 1 || height < 1) return;
    asViewport(vp)->width = width;
    asViewport(vp)->height = height;
    viewChangedByHost(asViewport(vp));
}

int kvViewPresetFromName(const char* name, KvViewPreset* preset) {
    static const struct {
        const char* name;
        KvViewPreset preset;
    } names[] = {{"top", KvViewTop},   {"bottom", KvViewBottom}, {"front", KvViewFront},
                 {"back", KvViewBack}, {"left", KvViewLeft},     {"right", KvViewRight},
                 {"iso", KvViewIso}};
    for (const auto& n : names)
        if (name && std::strcmp(name, n.name) == 0) {
            if (preset) *preset = n.preset;
            return 1;
        }
    return 0;
}

void kvViewportSetPreset(ViewportStruct* vp, KvViewPreset preset) {
    if (!vp) return;
    struct Direction {
        Vec3 towardsEye, up;
    };
    static const Direction directions[] = {
        {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}}, {{0, -1, 0}, {0, 0, 1}},
        {{0, 1, 0}, {0, 0, 1}},  {{-1, 0, 0}, {0, 0, 1}}, {{1, 0, 0}, {0, 0, 1}},
        {{1, -1, 1}, {0, 0, 1}},
    };
    if (preset < KvViewTop || preset > KvViewIso) return;
    ViewportRecord& r = *asViewport(vp);
    const Direction& d = directions[preset];
    const double distance = targetDistance(r) > 0 ? targetDistance(r) : 10.0;
    const Vec3 target = toVec3(r.camera.target);
    r.up = d.up;
    placeCamera(r, target + normalized(d.towardsEye) * distance, target);
    viewChangedByHost(&r);
}

void kvViewportOrbit(ViewportStruct* vp, double azimuthDegrees, double elevationDegrees) {
    if (!vp) return;
    ViewportRecord& r = *asViewport(vp);
    const Vec3 vertical{0, 0, 1};
    const Vec3 target = toVec3(r.camera.target);
    Vec3 offset = eyeOf(r) - target;
    const double distance = length(offset) > 0 ? length(offset) : 10.0;
    Vec3 horizontal = offset - vertical * dot(offset, vertical);
    // Looking straight down or up: the eye leaves towards the bottom of the screen.
    if (length(horizontal) < 1e-9 * distance) horizontal = -screenUpOf(r) * dot(offset, vertical);
    horizontal = normalized(horizontal - vertical * dot(horizontal, vertical));
    const double limit = radians(89.0);
    const double elevation =
        std::clamp(std::asin(std::clamp(dot(offset, vertical) / distance, -1.0, 1.0)) +
                       radians(elevationDegrees),
                   -limit, limit);
    horizontal = rotateAbout(horizontal, vertical, radians(azimuthDegrees));
    offset = (horizontal * std::cos(elevation) + vertical * std::sin(elevation)) * distance;
    r.up = vertical;
    placeCamera(r, target + offset, target);
    viewChangedByHost(&r);
}

void kvViewportPan(ViewportStruct* vp, double dxPixels, double dyPixels) {
    if (!vp) return;
    ViewportRecord& r = *asViewport(vp);
    double s = 0;
    if (!unitsPerPixelAt(r, toVec3(r.camera.target), &s)) return;
    const Vec3 shift = screenRightOf(r) * (-dxPixels * s) + screenUpOf(r) * (dyPixels * s);
    placeCamera(r, eyeOf(r) + shift, toVec3(r.camera.target) + shift);
    viewChangedByHost(&r);
}

void kvViewportZoom(ViewportStruct* vp, double factor) {
    if (!vp || !(factor > 0)) return;
    ViewportRecord& r = *asViewport(vp);
    if (r.perspective) {
        const Vec3 target = toVec3(r.camera.target);
        placeCamera(r, target + (eyeOf(r) - target) * (1.0 / factor), target);
    } else {
        r.unitsPerPixel /= factor;
    }
    viewChangedByHost(&r);
}

int kvViewportFit(ViewportStruct* vp, const ExtentsStruct* box, double fill) {
    if (!vp || !box || !box->valid || !(fill > 0)) return 0;
    ViewportRecord& r = *asViewport(vp);
    const Vec3 lo{box->x1, box->y1, box->z1}, hi{box->x2, box->y2, box->z2};
    const Vec3 centre = (lo + hi) * 0.5;
    const double radius = std::max(length(hi - lo) * 0.5, 1e-9);
    const double side = std::min(r.width, r.height);
    double distance;
    if (r.perspective) {
        const double halfAngle = std::atan(fill * std::tan(r.fovY / 2) * side / r.height);
        distance = radius / std::sin(halfAngle);
    } else {
        r.unitsPerPixel = 2 * radius / (fill * side);
        distance = std::max(targetDistance(r), 4 * radius);
    }
    placeCamera(r, centre - forwardOf(r) * distance, centre);
    viewChangedByHost(&r);
    return 1;
}

void kvViewportSetCursorPixel(ViewportStruct* vp, double px, double py) {
    deliverViewMatrixChanges();
    if (!vp) return;
    asViewport(vp)->cursorX = px;
    asViewport(vp)->cursorY = py;
}

int kvViewportPixelToSightLine(ViewportStruct* vp, double px, double py, KvPoint* origin,
                               KvPoint* direction) {
    if (!vp) return 0;
    const SightLine line = sightLineThroughPixel(*asViewport(vp), px, py);
    if (origin) *origin = {line.origin.x, line.origin.y, line.origin.z};
    if (direction) *direction = {line.direction.x, line.direction.y, line.direction.z};
    return 1;
}

int kvViewportWorldToPixel(ViewportStruct* vp, KvPoint world, double* px, double* py) {
    double x = 0, y = 0;
    if (!vp || !worldToPixel(*asViewport(vp), {world.x, world.y, world.z}, &x, &y)) return 0;
    if (px) *px = x;
    if (py) *py = y;
    return 1;
}

double kvViewportUnitsPerPixelAt(ViewportStruct* vp, KvPoint world) {
    double r = -1;
    if (!vp || !unitsPerPixelAt(*asViewport(vp), {world.x, world.y, world.z}, &r)) return -1;
    return r;
}
