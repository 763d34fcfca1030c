// The sample assembly, modelled with Open CASCADE's primitives and booleans. Millimetres, Z up;
// the plate lies on the XY plane.
#include "assembly.h"

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <Bnd_Box.hxx>
#include <IGESCAFControl_Writer.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <RWGltf_CafWriter.hxx>
#include <RWObj_CafWriter.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <StlAPI_Writer.hxx>
#include <TColStd_IndexedDataMapOfStringString.hxx>
#include <TDataStd_Name.hxx>
#include <TopoDS_Shape.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Ax2.hxx>

#include <cmath>
#include <filesystem>
#include <map>
#include <stdexcept>

namespace tiller::tools::cad {

namespace {

// [SECTION] Solids ----------------------------------------------------------------------------

TopoDS_Shape prismOfPolygon(const std::vector<gp_Pnt>& corners, gp_Vec along) {
    BRepBuilderAPI_MakePolygon outline;
    for (const gp_Pnt& p : corners)
        outline.Add(p);
    outline.Close();
    return BRepPrimAPI_MakePrism(BRepBuilderAPI_MakeFace(outline.Wire()).Face(), along).Shape();
}

TopoDS_Shape hexagonalPrism(double acrossFlats, double z0, double height) {
    std::vector<gp_Pnt> corners;
    const double r = acrossFlats / std::sqrt(3.0);
    for (int i = 0; i < 6; ++i)
        corners.emplace_back(r * std::cos(i * M_PI / 3), r * std::sin(i * M_PI / 3), z0);
    return prismOfPolygon(corners, gp_Vec(0, 0, height));
}

TopoDS_Shape cut(const TopoDS_Shape& from, const TopoDS_Shape& tool) {
    BRepAlgoAPI_Cut op(from, tool);
    if (!op.IsDone()) throw std::runtime_error("a boolean cut failed");
    return op.Shape();
}

TopoDS_Shape verticalHole(double x, double y, double radius, double z0, double height) {
    return BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(x, y, z0), gp::DZ()), radius, height).Shape();
}

constexpr double HoleRadius = 4.5;
const double BoltHoles[4][2] = {{46, 37}, {46, 63}, {114, 37}, {114, 63}};

TopoDS_Shape basePlate() {
    TopoDS_Shape plate = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), gp_Pnt(160, 100, 10)).Shape();
    for (const auto& hole : BoltHoles)
        plate = cut(plate, verticalHole(hole[0], hole[1], HoleRadius, -1, 12));
    return plate;
}

// An L in the XZ plane (a foot 40 long, an upright 60 high, 8 thick) drawn 50 along Y, with a
// bore for the shaft in the upright and two bolt holes in the foot.
// A plate with a grid of holes, a different grid for each n.
TopoDS_Shape perforatedPlate(int n) {
    TopoDS_Shape plate = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), gp_Pnt(160, 100, 10)).Shape();
    const int columns = 3 + n % 4, rows = 2 + n % 3;
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            plate = cut(plate, verticalHole(160.0 * (c + 1) / (columns + 1),
                                            100.0 * (r + 1) / (rows + 1), 3, -1, 12));
    return plate;
}

TopoDS_Shape lBracket() {
    TopoDS_Shape l = prismOfPolygon({gp_Pnt(0, 0, 0), gp_Pnt(40, 0, 0), gp_Pnt(40, 0, 8),
                                     gp_Pnt(8, 0, 8), gp_Pnt(8, 0, 60), gp_Pnt(0, 0, 60)},
                                    gp_Vec(0, 50, 0));
    l = cut(l, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(-1, 25, 45), gp::DX()), 6.5, 10).Shape());
    for (const double y : {12.0, 38.0})
        l = cut(l, verticalHole(26, y, HoleRadius, -1, 10));
    return l;
}

// A hexagon head on the plane z = 0 with its shank down to z = -28.
TopoDS_Shape bolt() {
    const TopoDS_Shape head = hexagonalPrism(13, 0, 5.5);
    const TopoDS_Shape shank = verticalHole(0, 0, 4, -28, 28.5);
    BRepAlgoAPI_Fuse fused(head, shank);
    if (!fused.IsDone()) throw std::runtime_error("a boolean fuse failed");
    return fused.Shape();
}

TopoDS_Shape nut() {
    return cut(hexagonalPrism(13, -6.5, 6.5), verticalHole(0, 0, 4, -7, 8));
}

TopoDS_Shape shaft() {
    return BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(10, 0, 0), gp::DX()), 6, 148).Shape();
}

// A flat lever 8 thick, its hub on the shaft's axis, reaching 35 up.
TopoDS_Shape lever() {
    return BRepPrimAPI_MakeBox(gp_Pnt(0, -8, -8), gp_Pnt(8, 8, 35)).Shape();
}

// [SECTION] The document ---------------------------------------------------------------------

gp_Trsf translation(double x, double y, double z) {
    gp_Trsf t;
    t.SetTranslation(gp_Vec(x, y, z));
    return t;
}

gp_Trsf turnedAbout(const gp_Ax1& axis, double degrees, gp_Vec then) {
    gp_Trsf r;
    r.SetRotation(axis, degrees * M_PI / 180);
    gp_Trsf t;
    t.SetTranslation(then);
    return t * r;
}

uint32_t packed(int r, int g, int b) {
    return static_cast<uint32_t>(r | g << 8 | b << 16);
}

class Builder {
  public:
    explicit Builder(Assembly* a)
        : a_(a), shapes_(XCAFDoc_DocumentTool::ShapeTool(a->doc->Main())),
          colours_(XCAFDoc_DocumentTool::ColorTool(a->doc->Main())) {}

    TDF_Label part(const char* name, const TopoDS_Shape& shape, uint32_t colour) {
        const TDF_Label label = shapes_->AddShape(shape, false);
        TDataStd_Name::Set(label, name);
        colours_->SetColor(label,
                           Quantity_Color((colour & 0xFF) / 255.0, (colour >> 8 & 0xFF) / 255.0,
                                          (colour >> 16 & 0xFF) / 255.0, Quantity_TOC_sRGB),
                           XCAFDoc_ColorSurf);
        parts_[label.Tag()] = {name, shape, colour};
        return label;
    }

    TDF_Label assembly(const char* name) {
        const TDF_Label label = shapes_->NewShape();
        TDataStd_Name::Set(label, name);
        return label;
    }

    void place(const TDF_Label& in, const TDF_Label& what, const gp_Trsf& at) {
        shapes_->AddComponent(in, what, TopLoc_Location(at));
        components_[in.Tag()].push_back({what, at});
    }

    // Records every placed part under the root with its path and world placement.
    void finish(const TDF_Label& root, const char* rootName) {
        shapes_->UpdateAssemblies();
        record(root, std::string(rootName) + "_1", gp_Trsf());
    }

  private:
    struct Component {
        TDF_Label what;
        gp_Trsf at;
    };
    struct Part {
        std::string name;
        TopoDS_Shape shape;
        uint32_t colour;
    };

    void record(const TDF_Label& label, const std::string& path, const gp_Trsf& world) {
        const auto found = parts_.find(label.Tag());
        if (found != parts_.end()) return recordPart(found->second, path, world);
        std::map<std::string, int> seen;
        for (const Component& c : components_[label.Tag()]) {
            const std::string name = nameOf(c.what);
            record(c.what, path + "/" + name + "_" + std::to_string(++seen[name]), world * c.at);
        }
    }

    void recordPart(const Part& part, const std::string& path, const gp_Trsf& world) {
        ModelledPart m;
        m.path = path;
        m.colour = part.colour;
        for (int col = 0; col < 4; ++col)
            for (int row = 0; row < 3; ++row)
                m.placement[col * 4 + row] = world.Value(row + 1, col + 1);
        m.placement[15] = 1;
        Bnd_Box box;
        BRepBndLib::AddOptimal(part.shape.Moved(TopLoc_Location(world)), box, false, false);
        box.Get(m.min[0], m.min[1], m.min[2], m.max[0], m.max[1], m.max[2]);
        a_->parts.push_back(m);
    }

    std::string nameOf(const TDF_Label& label) const {
        Handle(TDataStd_Name) name;
        label.FindAttribute(TDataStd_Name::GetID(), name);
        return TCollection_AsciiString(name->Get()).ToCString();
    }

    Assembly* a_;
    Handle(XCAFDoc_ShapeTool) shapes_;
    Handle(XCAFDoc_ColorTool) colours_;
    std::map<int, Part> parts_;
    std::map<int, std::vector<Component>> components_;
};

void quiet() {
    static const bool done = [] {
        Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream));
        return true;
    }();
    (void)done;
}

} // namespace

Assembly::Assembly() {
    XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", doc);
}

Assembly::~Assembly() {
    if (!doc.IsNull()) XCAFApp_Application::GetApplication()->Close(doc);
}

void BuildAssembly(Assembly* a, int extraPlates) {
    quiet();
    XCAFDoc_DocumentTool::SetLengthUnit(a->doc, 0.001);
    Builder b(a);
    const TDF_Label plate = b.part("base-plate", basePlate(), packed(120, 132, 146));
    const TDF_Label bracket = b.part("l-bracket", lBracket(), packed(224, 122, 36));
    const TDF_Label boltPart = b.part("bolt", bolt(), packed(64, 64, 72));
    const TDF_Label nutPart = b.part("nut", nut(), packed(196, 160, 60));
    const TDF_Label shaftPart = b.part("shaft", shaft(), packed(176, 180, 188));
    const TDF_Label leverPart = b.part("lever", lever(), packed(170, 40, 40));

    const TDF_Label fastener = b.assembly("nut-bolt-assembly");
    b.place(fastener, boltPart, gp_Trsf());
    b.place(fastener, nutPart, translation(0, 0, -18));
    const TDF_Label held = b.assembly("l-bracket-assembly");
    b.place(held, bracket, gp_Trsf());
    b.place(held, fastener, translation(26, 12, 8));
    b.place(held, fastener, translation(26, 38, 8));

    const TDF_Label root = b.assembly("bracket-assembly");
    b.place(root, plate, gp_Trsf());
    b.place(root, held, translation(20, 25, 10));
    // The second bracket faces the first: turned half a turn about its vertical axis.
    b.place(root, held, turnedAbout(gp_Ax1(gp::Origin(), gp::DZ()), 180, gp_Vec(140, 75, 10)));
    b.place(root, shaftPart, translation(0, 50, 55));
    b.place(root, leverPart, turnedAbout(gp_Ax1(gp::Origin(), gp::DX()), 30, gp_Vec(150, 50, 55)));
    for (int i = 0; i < extraPlates; ++i) {
        const std::string name = "plate-" + std::to_string(i + 1);
        b.place(root, b.part(name.c_str(), perforatedPlate(i), packed(120, 132, 146)),
                translation(0, 120.0 * (i + 1), 0));
    }
    b.finish(root, "bracket-assembly");
}

namespace {

void meshAll(Assembly& a, double deflection) {
    TDF_LabelSequence free;
    XCAFDoc_DocumentTool::ShapeTool(a.doc->Main())->GetFreeShapes(free);
    for (const TDF_Label& l : free)
        BRepMesh_IncrementalMesh(XCAFDoc_ShapeTool::GetShape(l), deflection, false, 0.35, false);
}

// Mesh files are written in millimetres with Z up (glTF converts to its metres, Y up).
template <class Writer> bool writeMesh(Writer& w, Assembly& a, bool toGltf) {
    w.ChangeCoordinateSystemConverter().SetInputLengthUnit(0.001);
    w.ChangeCoordinateSystemConverter().SetInputCoordinateSystem(RWMesh_CoordinateSystem_Zup);
    if (!toGltf) {
        w.ChangeCoordinateSystemConverter().SetOutputLengthUnit(0.001);
        w.ChangeCoordinateSystemConverter().SetOutputCoordinateSystem(RWMesh_CoordinateSystem_Zup);
    }
    return w.Perform(a.doc, TColStd_IndexedDataMapOfStringString(), Message_ProgressRange());
}

} // namespace

bool WriteAssembly(Assembly& a, const std::string& path, double deflection, std::string* reason) {
    quiet();
    const std::string ext = std::filesystem::path(path).extension().string();
    bool written = false;
    if (ext == ".step" || ext == ".stp") {
        STEPCAFControl_Writer w;
        written = w.Transfer(a.doc, STEPControl_AsIs) && w.Write(path.c_str()) == IFSelect_RetDone;
    } else if (ext == ".iges" || ext == ".igs") {
        IGESCAFControl_Writer w;
        written = w.Transfer(a.doc) && w.Write(path.c_str());
    } else if (ext == ".stl") {
        meshAll(a, deflection);
        TDF_LabelSequence free;
        XCAFDoc_DocumentTool::ShapeTool(a.doc->Main())->GetFreeShapes(free);
        written = free.Length() == 1 &&
                  StlAPI_Writer().Write(XCAFDoc_ShapeTool::GetShape(free.First()), path.c_str());
    } else if (ext == ".obj") {
        meshAll(a, deflection);
        RWObj_CafWriter w(path.c_str());
        written = writeMesh(w, a, false);
    } else if (ext == ".gltf" || ext == ".glb") {
        meshAll(a, deflection);
        RWGltf_CafWriter w(path.c_str(), ext == ".glb");
        w.SetNodeNameFormat(RWMesh_NameFormat_Product);
        written = writeMesh(w, a, true);
    } else {
        if (reason) *reason = "unknown format \"" + ext + "\"";
        return false;
    }
    if (!written && reason) *reason = "Open CASCADE could not write " + path;
    return written;
}

} // namespace tiller::tools::cad
