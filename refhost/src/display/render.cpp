// Rendering a viewport to an image: a light gradient background, the drawing's model, a faint
// ground grid on the world XY plane, then the display elements drawn in the viewport. Elements
// of a draw priority above the model's (0) are drawn over it: each higher priority starts
// from a cleared depth buffer. Faces are flat shaded by a light from over the viewer's left
// shoulder (ambient, Lambert diffuse, Blinn specular); transparent faces are blended far to
// near after the opaque ones.
#include "display_records.h"
#include "korvex/view.h"

#include <algorithm>
#include <limits>
#include <png.h>

namespace korvex {

namespace {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb colorOf(uint32_t c) {
    return {(c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0};
}

struct Material {
    double ambient = 0.35, diffuse = 0.65, specular = 0.25;
    double opacity = 1;
};

// A point in screen space: x right and y down in pixels, and a nearness that grows towards
// the viewer and is linear across the screen (1/depth in perspective, view z in parallel).
struct ScreenPoint {
    double x = 0, y = 0, nearness = 0;
};

class Canvas {
  public:
    explicit Canvas(const ViewportRecord& vp)
        : vp_(vp), width_(vp.width), height_(vp.height),
          color_(static_cast<size_t>(width_) * height_),
          depth_(color_.size(), -std::numeric_limits<double>::max()) {
        nearDepth_ = 1e-3 * std::max(1e-9, length(toVec3(vp.camera.target) - eyeOf(vp)));
    }

    void paintBackground() {
        const Rgb top{0.96, 0.96, 0.97}, bottom{0.80, 0.81, 0.83};
        for (int y = 0; y < height_; ++y) {
            const double t = height_ > 1 ? y / (height_ - 1.0) : 0;
            const Rgb c{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                        top.b + (bottom.b - top.b) * t};
            std::fill(color_.begin() + static_cast<size_t>(y) * width_,
                      color_.begin() + static_cast<size_t>(y + 1) * width_, c);
        }
    }

    void clearDepth() {
        std::fill(depth_.begin(), depth_.end(), -std::numeric_limits<double>::max());
    }

    // A triangle given in view coordinates.
    void fillTriangle(Vec3 a, Vec3 b, Vec3 c, const Rgb& shade, double opacity, bool writeDepth) {
        std::vector<Vec3> polygon{a, b, c};
        clipToNearDepth(&polygon);
        std::vector<ScreenPoint> p;
        for (const Vec3& v : polygon)
            p.push_back(project(v));
        for (size_t i = 2; i < p.size(); ++i)
            rasterize(p[0], p[i - 1], p[i], shade, opacity, writeDepth);
    }

    // A line given in view coordinates, `thickness` pixels wide, drawn slightly towards the
    // viewer so that it shows on the faces it lies on.
    void drawLine(Vec3 a, Vec3 b, const Rgb& color, double opacity, int thickness,
                  bool writeDepth) {
        if (!clipSegmentToNearDepth(&a, &b)) return;
        const ScreenPoint p = project(a), q = project(b);
        const double steps = std::ceil(std::max(std::fabs(q.x - p.x), std::fabs(q.y - p.y)));
        if (!(steps < 1e5)) return;
        for (int i = 0; i <= steps; ++i) {
            const double t = steps > 0 ? i / steps : 0;
            const double x = p.x + (q.x - p.x) * t, y = p.y + (q.y - p.y) * t;
            const double n = p.nearness + (q.nearness - p.nearness) * t;
            for (int dy = 0; dy < thickness; ++dy)
                for (int dx = 0; dx < thickness; ++dx)
                    plot(static_cast<int>(std::floor(x - (thickness - 1) * 0.5)) + dx,
                         static_cast<int>(std::floor(y - (thickness - 1) * 0.5)) + dy,
                         n + lineBias(n), color, opacity, writeDepth);
        }
    }

    // The nearness a view point gets on this canvas.
    double nearnessOf(Vec3 view) const { return project(view).nearness; }
    bool perspective() const { return vp_.perspective; }

    std::vector<uint8_t> rgba() const {
        std::vector<uint8_t> out(color_.size() * 4);
        for (size_t i = 0; i < color_.size(); ++i) {
            out[i * 4 + 0] = toByte(color_[i].r);
            out[i * 4 + 1] = toByte(color_[i].g);
            out[i * 4 + 2] = toByte(color_[i].b);
            out[i * 4 + 3] = 255;
        }
        return out;
    }

  private:
    static uint8_t toByte(double v) {
        return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
    }

    double lineBias(double nearness) const {
        return vp_.perspective ? nearness * 1e-4 : 1e-4 * std::max(1.0, std::fabs(nearness));
    }

    ScreenPoint project(Vec3 v) const {
        if (vp_.perspective) {
            const double depth = -v.z;
            const double k = 2.0 * std::tan(vp_.fovY / 2) / height_;
            return {v.x / depth / k + width_ / 2.0, height_ / 2.0 - v.y / depth / k, 1.0 / depth};
        }
        const double s = vp_.unitsPerPixel;
        return {v.x / s + width_ / 2.0, height_ / 2.0 - v.y / s, v.z};
    }

    void clipToNearDepth(std::vector<Vec3>* polygon) const {
        if (!vp_.perspective) return;
        std::vector<Vec3> out;
        const size_t n = polygon->size();
        for (size_t i = 0; i < n; ++i) {
            const Vec3 a = (*polygon)[i], b = (*polygon)[(i + 1) % n];
            const bool aIn = -a.z >= nearDepth_, bIn = -b.z >= nearDepth_;
            if (aIn) out.push_back(a);
            if (aIn != bIn) out.push_back(a + (b - a) * ((nearDepth_ + a.z) / (a.z - b.z)));
        }
        *polygon = out;
    }

    bool clipSegmentToNearDepth(Vec3* a, Vec3* b) const {
        if (!vp_.perspective) return true;
        const bool aIn = -a->z >= nearDepth_, bIn = -b->z >= nearDepth_;
        if (!aIn && !bIn) return false;
        if (!aIn) *a = *a + (*b - *a) * ((nearDepth_ + a->z) / (a->z - b->z));
        if (!bIn) *b = *b + (*a - *b) * ((nearDepth_ + b->z) / (b->z - a->z));
        return true;
    }

    void rasterize(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c,
                   const Rgb& shade, double opacity, bool writeDepth) {
        const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        if (std::fabs(area) < 1e-12) return;
        const int x0 = std::max(0, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}))));
        const int x1 = std::min(width_ - 1, static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))));
        const int y1 =
            std::min(height_ - 1, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                const double wa = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) / area;
                const double wb = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) / area;
                const double wc = 1 - wa - wb;
                if (wa < 0 || wb < 0 || wc < 0) continue;
                plot(x, y, wa * a.nearness + wb * b.nearness + wc * c.nearness, shade, opacity,
                     writeDepth);
            }
    }

    void plot(int x, int y, double nearness, const Rgb& c, double opacity, bool writeDepth) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        const size_t i = static_cast<size_t>(y) * width_ + x;
        if (nearness <= depth_[i]) return;
        if (writeDepth) depth_[i] = nearness;
        Rgb& d = color_[i];
        d = {d.r + (c.r - d.r) * opacity, d.g + (c.g - d.g) * opacity, d.b + (c.b - d.b) * opacity};
    }

    const ViewportRecord& vp_;
    int width_, height_;
    double nearDepth_;
    std::vector<Rgb> color_;
    std::vector<double> depth_;
};

// Flat shading of a face with normal n (view coordinates) seen from `toViewer`.
Rgb shadeFace(const Rgb& base, Vec3 n, Vec3 toViewer, const Material& m) {
    if (dot(n, toViewer) < 0) n = -n;
    const Vec3 light = normalized(Vec3{-0.35, 0.45, 1.0});
    const double lambert = std::max(0.0, dot(n, light));
    const double blinn = std::pow(std::max(0.0, dot(n, normalized(light + toViewer))), 32.0);
    const double lit = m.ambient + m.diffuse * lambert;
    const double shine = m.specular * blinn;
    return {base.r * lit + shine, base.g * lit + shine, base.b * lit + shine};
}

struct ViewTriangle {
    Vec3 a, b, c;
    Rgb shade;
    double opacity;
    double nearness; // of its centre, for sorting
};

void drawTriangles(Canvas& canvas, std::vector<ViewTriangle> faces) {
    const auto firstClear = std::stable_partition(
        faces.begin(), faces.end(), [](const ViewTriangle& f) { return f.opacity >= 1; });
    std::stable_sort(firstClear, faces.end(), [](const ViewTriangle& a, const ViewTriangle& b) {
        return a.nearness < b.nearness;
    });
    for (const ViewTriangle& f : faces)
        canvas.fillTriangle(f.a, f.b, f.c, f.shade, f.opacity, f.opacity >= 1);
}

// Draws geometry through `toView` (its coordinates into view coordinates).
void drawGeometry(Canvas& canvas, const Geometry& g, const MatrixStruct& toView, const Material& m,
                  int lineWidth) {
    std::vector<ViewTriangle> faces;
    for (const Triangle& t : g.triangles) {
        const Vec3 a = transformPoint(toView, t.a), b = transformPoint(toView, t.b),
                   c = transformPoint(toView, t.c);
        const Vec3 centre = (a + b + c) * (1.0 / 3);
        const Vec3 toViewer = canvas.perspective() ? normalized(-centre) : Vec3{0, 0, 1};
        const Rgb shade = shadeFace(colorOf(t.color), normalized(cross(b - a, c - a)), toViewer, m);
        faces.push_back({a, b, c, shade, m.opacity, canvas.nearnessOf(centre)});
    }
    drawTriangles(canvas, std::move(faces));
    for (const Segment& s : g.segments)
        canvas.drawLine(transformPoint(toView, s.a), transformPoint(toView, s.b), colorOf(s.color),
                        m.opacity, lineWidth, m.opacity >= 1);
}

// A round grid step: 1, 2 or 5 times a power of ten, near `raw`.
double niceStep(double raw) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double f : {1.0, 2.0, 5.0})
        if (f * power >= raw) return f * power;
    return 10 * power;
}

// Grid lines on the world XY plane around the target, about 50 pixels apart there, drawn
// faintly behind whatever the model puts in front of them.
void drawGroundGrid(Canvas& canvas, const ViewportRecord& vp) {
    double r = 0;
    const Vec3 target = toVec3(vp.camera.target);
    if (!unitsPerPixelAt(vp, target, &r) || !(r > 0)) return;
    const double step = niceStep(50 * r);
    const int half = 20;
    const double cx = std::floor(target.x / step) * step, cy = std::floor(target.y / step) * step;
    const Rgb line{0.55, 0.57, 0.60};
    for (int i = -half; i <= half; ++i) {
        const double x = cx + i * step, y = cy + i * step;
        canvas.drawLine(transformPoint(vp.view, {x, cy - half * step, 0}),
                        transformPoint(vp.view, {x, cy + half * step, 0}), line, 0.35, 1, false);
        canvas.drawLine(transformPoint(vp.view, {cx - half * step, y, 0}),
                        transformPoint(vp.view, {cx + half * step, y, 0}), line, 0.35, 1, false);
    }
}

void drawModel(Canvas& canvas, const ViewportRecord& vp) {
    if (!vp.drawing || !vp.drawing->root) return;
    Geometry model;
    collectGeometry(*vp.drawing->root, identityMatrix(), true, {MeshEdges::Contours, vp.drawing},
                    &model);
    drawGeometry(canvas, model, vp.view, Material{}, 1);
}

void drawElements(Canvas& canvas, ViewportRecord& vp) {
    int lastPriority = 0;
    for (const ElementView& e : elementsShownIn(&vp)) {
        if (e.priority > lastPriority) canvas.clearDepth();
        lastPriority = std::max(lastPriority, e.priority);
        const Material m{e.ambient, e.diffuse, e.specular,
                         std::clamp(1.0 - e.transparency, 0.0, 1.0)};
        drawGeometry(canvas, *e.snapshot, compose(vp.view, e.drawn), m, 2);
    }
}

} // namespace

} // namespace korvex

using namespace korvex;

int kvRenderViewport(ViewportStruct* vp, std::vector<uint8_t>* rgba) {
    deliverViewMatrixChanges();
    if (!vp || !rgba) return 0;
    ViewportRecord& view = *asViewport(vp);
    if (view.width < 1 || view.height < 1) return 0;
    Canvas canvas(view);
    canvas.paintBackground();
    drawModel(canvas, view);
    drawGroundGrid(canvas, view);
    drawElements(canvas, view);
    *rgba = canvas.rgba();
    return 1;
}

int kvRenderViewportToPng(ViewportStruct* vp, const char* path, std::string* reason) {
    std::vector<uint8_t> pixels;
    if (!path || !kvRenderViewport(vp, &pixels)) {
        if (reason) *reason = "nothing to render";
        return 0;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(asViewport(vp)->width);
    image.height = static_cast<png_uint_32>(asViewport(vp)->height);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path, 0, pixels.data(), 0, nullptr)) {
        if (reason) *reason = std::string("cannot write ") + path + ": " + image.message;
        png_image_free(&image);
        return 0;
    }
    return 1;
}
