/* tiller.h - interactive 3D manipulators ("graphic controls") for CAD hosts.

   CONTRACT
   --------
   * Language: this header is C++ (C++17 or later). The exports have C names but several take
     or return standard-library objects (std::string, std::list), so the host must be built
     against the same C++ standard library as libtiller.so (libstdc++ on Linux).
   * Threads: every function below, and every callback the library makes, runs on the host's
     user-interface thread. The library takes no locks.
   * Failure: no function throws, and no exception thrown inside the library or inside its
     notification handler reaches the host. Each function answers 0, null or an empty string
     when it fails and says nothing about why.
   * Controls: a control is known by its GControl address. Every address passed back to the
     library is checked against the list of live controls, so a deleted, foreign or null
     control gives the failure value and changes nothing. Handle addresses are checked the
     same way against the control's own handles (dbGCtrlSetState when starting a drag,
     dbGHandleGetParams, dbGHandleGetVisible, dbGHandleSetVisible), and are only compared,
     never read, until they pass. A control whose drawing the host closes (notification kind
     11) is deleted with it and is unknown from then on.
   * Re-entrancy: any function may be called from inside a callback of the library (the
     extents callback, a host notification). A control deleted or reloaded there makes the
     running call answer its failure value; a call on the control whose callback is running
     answers its failure value and changes nothing.
   * Input: a non-finite number in a pointer sample, a matrix, extents, a reference point or
     the settings gives the failure value and changes nothing; a drag step whose matrices
     would not be finite fails the same way.
   * Host records and memory: a call that cannot get a host record or an allocation it needs
     answers its failure value and leaves the control as it was, or succeeds exactly as it
     would have; only dbGCtrlCreate and dbGCtrlReload may instead drop a handle or part that
     did not load. A drag step refused so leaves the drag where the previous sample put it.
   * Viewports: a viewport the host announces closing (notification kind 12 naming it in its
     second slot) is dropped by the controls using it; such a control answers the failure
     value of dbGCtrlShow, dbGCtrlDrag, dbGCtrlSetState and dbGCtrlTransform until it is
     given a viewport again (dbGCtrlSetup or dbGCtrlSetActiveViewport).
   * Null arguments: a null control is an unknown control (above). dbGCtrlCreate fails on a
     null profile, name or drawing; its callback may be null (the selection is then never
     measured). dbGCtrlSetup fails on null properties; its viewport and geometry arguments
     may each be null, meaning absent. dbGCtrlDrag writes nothing through a null `changed`.
     dbGCtrlSetState fails on a null handle when it starts a drag and ignores the handle when
     it ends one. dbGCtrlSetActiveViewport accepts null (no viewport). dbGCtrlTransform takes
     a null matrix as the identity. The dbGHandle functions fail on a null handle.
   * Ownership: the library owns every control, handle and profile drawing. Host records that
     the host passes in (matrices, extents, vertices, viewports, drawings) stay the host's;
     the library copies what it keeps. The extents callback fills the record it is handed and
     never replaces it. The list returned by dbGCtrlGetHandles and the record
     returned by dbGHandleGetParams belong to the control: read them in place, never free
     them, and stop using them once the control is deleted.
   * Lifetime: the manager is created by the first call of any export except InitApi,
     TerminateApi, round and dbDisposeGCtrlManager. dbDisposeGCtrlManager, or the host's
     notification kind 8, destroys every control and then every profile (after the outermost
     running call returns, when called from inside a callback).
   * Text: 8-bit text is UTF-8 whatever locale the host sets. A name that is not valid UTF-8
     is refused (dbGCtrlCreate fails). Control names and the two known profile names compare
     ignoring the case of ASCII and Latin-1 letters (A-Z, and U+00C0 to U+00DE except
     U+00D7); nothing else is folded.
   * Paths: the known profiles are read from GCtrlProfiles/ in the folder above the host
     library's folder, fixed when the library is loaded. Any other profile name is a path. A
     profile name finds a loaded profile whose file name it is (the known names ignoring
     case, others exactly), or else one loaded from the file it resolves to (realpath).
   * round: the library exports `round` (8 decimal places) under the version node TILLER_1 as
     a non-default version, so it never replaces libm's round: the host's own round and
     std::round, and those of every other module, stay libm's whatever the link order.
     C++ hosts call it as TillerRound below; a host that loads the library dynamically takes
     it with dlvsym(library, "round", "TILLER_1").
   * Units: the on-screen size limits assume handle geometry about 0.6 drawing units across
     and scenes whose drawing units per pixel lie roughly between 6e-6 and 0.6.
*/
#ifndef TILLER_TILLER_H
#define TILLER_TILLER_H

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#define TILLER_VERSION_MAJOR 0
#define TILLER_VERSION_MINOR 1
#define TILLER_VERSION_PATCH 0

#define TILLER_EXPORT extern "C" __attribute__((visibility("default")))

/* Host records: opaque to the host application, declared by the host's own headers. */
struct MatrixStruct;
struct VertexStruct;
struct ExtentsStruct;
struct ViewportStruct;
struct DrawingStruct;

struct GControl;
struct GHandle;
struct GCtrlManager;

/* Display settings of a control. Field order and defaults are part of the binary interface. */
struct GControlProperties {
    int32_t Show_Axes = 1;                  // handles "AxisX", "AxisY", "AxisZ"
    int32_t Show_Handles_RotBar_Move = 1;   // move handles positioned at refpoint
    int32_t Show_Handles_RotBar_Scale = 1;  // scale and scale2 handles positioned at refpoint
    int32_t Show_Handles_RotBar_Rotate = 1; // rotate handles positioned at refpoint
    int32_t Show_BoundaryBox = 1;           // "Bounding_box" and "Bounding_box_tips"
    int32_t Show_Handles_GCtrlCS_Move = 1;  // move handles oriented gctrl_cs
    int32_t Show_Handles_GCtrlCS_Scale = 1; // scale and scale2 handles oriented gctrl_cs
    int32_t Show_BoundaryBox_Facets = 1;    // "Bounding_box_facets"
    int32_t Show_SelectionCS = 1;           // "SelectionCS"
    int32_t ScreenSize_Min = 200;           // smallest on-screen size of screen-sized parts, pixels
    int32_t ScreenSize_Max = 450;           // largest on-screen size of screen-sized parts, pixels
    int32_t Light_Type = 2;                 // 0 ambient, 1 headlight, 2 compound headlight
    double Light_Affect_Diffuse = 1.0;      // stored and reported only
    double Light_Affect_Specular = 1.0;     // stored and reported only
};

static_assert(sizeof(GControlProperties) == 64, "GControlProperties is 64 bytes");
static_assert(offsetof(GControlProperties, ScreenSize_Min) == 36 &&
                  offsetof(GControlProperties, Light_Type) == 44 &&
                  offsetof(GControlProperties, Light_Affect_Diffuse) == 48 &&
                  offsetof(GControlProperties, Light_Affect_Specular) == 56,
              "GControlProperties keeps its binary layout");

/* The control's state word, set by dbGCtrlSetState. */
typedef uint32_t GControlState;
enum ControlStateValue : uint32_t {
    StateIdle = 0,    // the pointer hovers: dbGCtrlDrag highlights the handle under it
    StateDragging = 1 // a handle is dragged: dbGCtrlDrag moves it
};

/* The show modes of dbGCtrlShow. */
enum ShowMode : uint32_t {
    ShowHidden = 0,       // every handle hidden
    ShowAll = 1,          // every enabled handle shown as its state asks
    ShowMultiViewOnly = 3 // hidden, except handles drawn in every viewport, which stay as they are
};

/* Measures the selection's extents in a coordinate system: the host maps the selection's
   world points by `cs` (world to that system) and writes their extents into the already
   allocated record at *extents; answers non-zero on success. */
typedef int (*ExtentsCallback)(MatrixStruct* cs, ExtentsStruct** extents);

/* The value tables below are laid out by hand, a few values to a line. */
/* clang-format off */
enum TransformType : uint32_t {
    TransformUndefined = 0, TransformNone = 1, TransformMove = 2,
    TransformScale = 3, TransformScale2 = 4, TransformRotate = 5
};

enum PositionType : uint32_t {
    PositionUndefined = 0, PositionRefpoint = 1, PositionExtentsCenter = 2,
    PositionSelectionCS = 3, PositionGCtrlCSOrigin = 4,
    PositionExtentsPeek000 = 5, PositionExtentsPeek010 = 6, PositionExtentsPeek110 = 7,
    PositionExtentsPeek100 = 8, PositionExtentsPeek001 = 9, PositionExtentsPeek011 = 10,
    PositionExtentsPeek111 = 11, PositionExtentsPeek101 = 12,
    PositionExtentsRibX00 = 13, PositionExtentsRibX10 = 14, PositionExtentsRibX01 = 15,
    PositionExtentsRibX11 = 16, PositionExtentsRib0Y0 = 17, PositionExtentsRib1Y0 = 18,
    PositionExtentsRib0Y1 = 19, PositionExtentsRib1Y1 = 20, PositionExtentsRib00Z = 21,
    PositionExtentsRib10Z = 22, PositionExtentsRib01Z = 23, PositionExtentsRib11Z = 24,
    PositionExtentsFacetXY0 = 25, PositionExtentsFacetXY1 = 26, PositionExtentsFacetX0Z = 27,
    PositionExtentsFacetX1Z = 28, PositionExtentsFacet0YZ = 29, PositionExtentsFacet1YZ = 30
};

enum OrientationType : uint32_t {
    OrientationUndefined = 0, OrientationGCtrlCS = 1, OrientationGCtrlRotbarCS = 2,
    OrientationSelectionCS = 3
};

enum MovementType : uint32_t {
    MovementUndefined = 0, MovementNone = 1, MovementRotbarX = 2, MovementRotbarXY = 3,
    MovementRotbarXYZ = 4, MovementSceneX = 5, MovementSceneXY = 6, MovementSceneXYZ = 7,
    MovementSceneDiag = 8, MovementHandleX = 9, MovementWorkPlaneXY = 10
};

enum ExtentsType : uint32_t {
    ExtentsUndefined = 0, ExtentsByScreenResolution = 1, ExtentsBySelection = 2
};

enum PartType : uint32_t {
    PartUndefined = 0, PartMouseout = 1, PartMouseover = 2, PartActive = 3, PartStatic = 4,
    PartCoordsystem = 5, PartHighlightArea = 6, PartVisibilityArea = 7
};
/* clang-format on */

/* A handle's properties: the first block of every GHandle. dbGHandleGetParams returns the
   handle's address as this record. The host reads mDrag (the total drag transformation since
   the drag started) from it; every pointer field is owned by the handle. */
struct HandleProperties {
    std::string csName;                              // handle_name
    uint32_t TransformType = TransformUndefined;     // handle_transform
    uint32_t PositionType = PositionUndefined;       // handle_position
    uint32_t OrientationType = OrientationUndefined; // handle_orientation
    uint32_t MovementType = MovementUndefined;       // handle_movement
    uint32_t ExtentsType = ExtentsUndefined;         // handle_extents
    int32_t SelectorHandleID = 0;                    // handle__selector_handle_id
    double Priority = -1.0;                          // handle_priority; 0 highest, -1 none
    double Priority_Diff_ifExtents0 = 0.0;           // handle_priority_inc_if_size_0
    uint32_t SnapCursorToCenter = 0;                 // handle_snap_to_center
    uint32_t MultiView = 0;                          // handle_multi_view
    uint32_t PositionAbsolute = 0;                   // handle_position_zoomable
    uint32_t AutohideMouseoverPart = 1;              // handle_autohide_mouseover_part
    uint32_t AutohideRefpointWhiledrag = 0;          // handle_hide_refpoint_whiledrag
    uint32_t HideStaticPartsWhiledrag = 0;           // handle_hide_statics_whiledrag
    uint32_t HideIfSelection2D = 0;                  // handle_hide_if_selection2D
    uint32_t Disable_if_view_by_x = 0;               // handle_disable_if_view_by_x
    uint32_t Disable_if_view_by_y = 0;               // handle_disable_if_view_by_y
    uint32_t Disable_if_view_by_z = 0;               // handle_disable_if_view_by_z
    double xCenter = 0.0;                            // snap centre, world coordinates
    double yCenter = 0.0;
    double zCenter = 0.0;
    ExtentsStruct* HandleExtents = nullptr; // extents of the mouseout part
    MatrixStruct* mDrag = nullptr;          // drag matrix, null until first drag
    MatrixStruct* mHandleCS = nullptr;      // handle coordinate system in the world
    MatrixStruct* mCoordSystem = nullptr;   // coordinate system read from the profile
    std::string strMacros;                  // handle_keystroke_macros
};

/* The control's own ordered list of its handles. */
typedef std::list<GHandle*> GHandleList;

/* Several exports return C++ objects under C names on purpose (see the contract). */
#ifdef __clang__
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

/* The manager, created on first use; null only when it could not be created. */
TILLER_EXPORT GCtrlManager* dbGetGCtrlManager();
/* Destroys every control, then every profile, and unregisters from host notifications. */
TILLER_EXPORT void dbDisposeGCtrlManager();
/* Creates (or returns the existing usable) control of that profile and name in `drawing`.
   `profile` is "UniversalCtrl.qvw", "UniversalCtrlSimple.qvw" or a path to a .qvw file. */
TILLER_EXPORT GControl* dbGCtrlCreate(const char* profile, const char* name, DrawingStruct* drawing,
                                      ExtentsCallback callback);
/* Destroys the control: 1/0. */
TILLER_EXPORT int dbGCtrlDelete(GControl* control);
/* Destroys every control of this control's profile and unloads the profile: 1/0. */
TILLER_EXPORT int dbGCtrlReload(GControl* control);
/* The text report of the control; empty for an unknown control. */
TILLER_EXPORT std::string dbGCtrlToString(GControl* control);
/* Shows or hides the control's handles (a ShowMode): 1/0. */
TILLER_EXPORT int dbGCtrlShow(GControl* control, uint32_t mode, uint32_t redrawNow);
/* Takes the settings and the selection's geometry and places every handle: 1/0. */
TILLER_EXPORT int dbGCtrlSetup(GControl* control, const GControlProperties* properties,
                               ViewportStruct* viewport, MatrixStruct* controlCS,
                               ExtentsStruct* selectionExtents, VertexStruct* refPoint,
                               MatrixStruct* rotbarCS, MatrixStruct* selectionCS,
                               ExtentsStruct* selectionExtents2);
/* One pointer sample: idle, the handle under the cursor (highlighted); dragging, the dragged
   handle. `changed` (may be null) receives 1 when the display changed. */
TILLER_EXPORT GHandle* dbGCtrlDrag(GControl* control, double x, double y, double z, double vx,
                                   double vy, double vz, uint16_t keyState, uint32_t uniformScale,
                                   uint32_t scaleFromCenter, uint32_t keepSelectionCSStill,
                                   uint32_t* changed);
/* StateDragging starts dragging `handle` from this sample; StateIdle ends the drag: 1/0. */
TILLER_EXPORT int dbGCtrlSetState(GControl* control, uint32_t state, GHandle* handle, double x,
                                  double y, double z, double vx, double vy, double vz,
                                  uint16_t keyState);
/* Moves the control's display to another viewport: 1, or 0 for an unknown control. */
TILLER_EXPORT int dbGCtrlSetActiveViewport(GControl* control, ViewportStruct* viewport);
/* Imposes the host's matrix on the drag in progress: 1/0. The identity is always accepted. */
TILLER_EXPORT int dbGCtrlTransform(GControl* control, MatrixStruct* matrix);
/* The handle's properties record (the handle itself), or null. */
TILLER_EXPORT HandleProperties* dbGHandleGetParams(GControl* control, GHandle* handle);
/* The control's own list of handles, in profile order, or null. */
TILLER_EXPORT GHandleList* dbGCtrlGetHandles(GControl* control);
/* 1 when the handle is shown and pickable, else 0. */
TILLER_EXPORT int dbGHandleGetVisible(GControl* control, GHandle* handle);
/* Hides (0) or shows again (non-zero) a handle on the host's behalf: 1/0. */
TILLER_EXPORT int dbGHandleSetVisible(GControl* control, GHandle* handle, uint32_t visible);
/* Kept for hosts that call them; they do nothing. */
TILLER_EXPORT void InitApi();
TILLER_EXPORT void TerminateApi();
/* The exported `round`: x rounded to 8 decimal places, halves away from zero. The name
   binds to the symbol round@TILLER_1, so a host's own round keeps meaning libm's. */
TILLER_EXPORT double TillerRound(double x);
__asm__(".symver TillerRound, round@TILLER_1");

#ifdef __clang__
#pragma clang diagnostic pop
#endif

#endif
