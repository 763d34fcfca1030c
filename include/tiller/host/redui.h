// The host's retained display elements. A CRedUIElement draws a snapshot of a graphic in the
// render scene of a viewport, through its view-dependent matrix K and then its own matrix M.
// Operations answer a RedUIElementState: 0 is success.
#ifndef TILLER_HOST_REDUI_H
#define TILLER_HOST_REDUI_H

#include "korvex.h"

#include <cstddef>
#include <new>

typedef int RedUIElementState;

// Called whenever the element's view-dependent matrix changes in its viewport.
typedef bool (*ViewMatrixChangedCallback)(const MatrixStruct* viewMatrix, void* owner);

class __attribute__((visibility("default"))) CAbstractUIObject {
  public:
    virtual ~CAbstractUIObject();
    // The text of a non-zero state.
    static const char* GetRedUIErrorString(RedUIElementState state);
    // Whether mesh contours are vectorized when the graphic is drawn.
    static RedUIElementState GraphicSetCustomPropVectorizeContour(GraphicStruct* g, bool on);
};

class ElementImpl;

class __attribute__((visibility("default"))) CRedUIElement : public CAbstractUIObject {
  public:
    CRedUIElement();
    ~CRedUIElement() override;
    // Elements are counted host records. When the host makes a creation fail, the nothrow
    // form answers null and the plain form throws std::bad_alloc.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* p) noexcept;
    static void operator delete(void* p, const std::nothrow_t&) noexcept;
    CRedUIElement(const CRedUIElement&) = delete;
    CRedUIElement& operator=(const CRedUIElement&) = delete;

    virtual RedUIElementState SetSceneByViewport(ViewportStruct* vp);
    // Snapshots the graphic's geometry once, in the graphic's coordinates.
    virtual RedUIElementState CreatePrimByGraphic(GraphicStruct* g, bool redraw);
    virtual RedUIElementState SetDrawpriority(int priority, bool redraw);
    virtual RedUIElementState SetSpaceByViewport(ViewportStruct* vp, bool redraw);
    virtual RedUIElementState SetExtents(const ExtentsStruct* e, bool redraw);
    virtual void SetImmediateRedrawAtDelete(bool on);
    virtual RedUIElementState SetViewMode(int mode, bool redraw);
    virtual RedUIElementState SetDrawInViewport(ViewportStruct* vp, bool on, bool redraw);
    virtual RedUIElementState SetMatPrimType(int type, bool redraw);
    virtual RedUIElementState SetMatrix(const MatrixStruct* m, bool redraw);
    virtual RedUIElementState SetGlobalVisible(bool visible, bool redraw);
    virtual RedUIElementState SetTransparency(float t, bool redraw);
    virtual RedUIElementState SetAmbientFactor(float f, bool redraw);
    virtual RedUIElementState SetDiffuseFactor(float f, bool redraw);
    virtual RedUIElementState SetSpecularFactor(float f, bool redraw);
    // Screen-size limits in drawing units per pixel.
    virtual RedUIElementState SetMinResolution(double unitsPerPixel);
    virtual RedUIElementState SetMaxResolution(double unitsPerPixel);
    virtual RedUIElementState SetCenterZoom(const VertexStruct* center);
    virtual RedUIElementState SetPositionAbsolute(bool on);
    virtual RedUIElementState SetCallback_ViewMatrixWasChanged(ViewMatrixChangedCallback cb);
    virtual RedUIElementState SetOwner(void* owner);
    virtual int GetSceneId();
    // 0 while the element is alive in a live scene.
    virtual RedUIElementState TestElement();
    virtual RedUIElementState RedrawImmediately();

    ElementImpl* impl() { return impl_; }

  private:
    ElementImpl* impl_;
};

// The render scene with that id, or null when it no longer exists.
KORVEX_API void* RenderSceneGetSceneByID(int id);

#endif
