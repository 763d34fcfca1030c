// Opening CAD files: Open CASCADE reads STEP and IGES (with their assembly structure, names
// and colours), OBJ and glTF into an XDE document, or an STL file into one triangulation; the
// document is then walked into a detached tree of groups and meshes, which joins the scene's
// model only once it is complete.
//
// [SECTION] Reading files
// [SECTION] Tessellated parts
// [SECTION] The graphic tree
// [SECTION] Host-application API
#include "korvex/cad.h"
#include "korvex/drawing.h"

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <IGESCAFControl_Reader.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <Poly_Triangulation.hxx>
#include <RWGltf_CafReader.hxx>
#include <RWObj_CafReader.hxx>
#include <RWStl.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <TDF_ChildIterator.hxx>
#include <TDF_Tool.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <XCAFDoc_VisMaterial.hxx>
#include <XCAFDoc_VisMaterialTool.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <utility>

namespace korvex::cad {

namespace {

namespace fs = std::filesystem;

constexpr uint32_t DefaultColour = 0xC8C8C8;
// Mesh readers stop rather than take more memory than this for one file.
constexpr int MeshMemoryLimitMiB = 2048;

struct Failure {
    std::string reason;
};

const char* const NoPart = "the file holds no solid or mesh to show";

// A model past the triangle limit is refused before its graphics are made.
void checkTriangleCount(long count, const KvCadOptions& options) {
    if (options.maxTriangles > 0 && count > options.maxTriangles)
        throw Failure{"more than " + std::to_string(options.maxTriangles) +
                      " triangles, the limit for one file"};
}

// [SECTION] Reading files -----------------------------------------------------------------

enum class FileType { Step, Iges, Stl, Obj, Gltf, Drawing, Unknown };

FileType typeOf(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    static const std::map<std::string, FileType> types = {
        {".step", FileType::Step}, {".stp", FileType::Step}, {".iges", FileType::Iges},
        {".igs", FileType::Iges},  {".stl", FileType::Stl},  {".obj", FileType::Obj},
        {".gltf", FileType::Gltf}, {".glb", FileType::Gltf}, {".qvw", FileType::Drawing}};
    const auto found = types.find(ext);
    return found == types.end() ? FileType::Unknown : found->second;
}

// Open CASCADE reports on standard output by default; the host answers with reasons instead.
void silenceOpenCascade() {
    static const bool silenced = [] {
        Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream));
        return true;
    }();
    (void)silenced;
}

void checkReadable(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) throw Failure{"no such file"};
    if (!fs::is_regular_file(status)) throw Failure{"not a regular file"};
    if (!std::ifstream(path, std::ios::binary)) throw Failure{"cannot be opened for reading"};
    if (fs::file_size(path, ec) == 0) throw Failure{"the file is empty"};
}

// An XDE document, closed when it goes.
struct Document {
    Handle(TDocStd_Document) doc;
    Document() { XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", doc); }
    ~Document() {
        if (!doc.IsNull()) XCAFApp_Application::GetApplication()->Close(doc);
    }
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
};

void readStep(const std::string& path, Document& d) {
    STEPCAFControl_Reader reader;
    reader.SetColorMode(true);
    reader.SetNameMode(true);
    if (reader.ReadFile(path.c_str()) != IFSelect_RetDone)
        throw Failure{"not a readable STEP file"};
    if (reader.ChangeReader().NbRootsForTransfer() == 0) throw Failure{NoPart};
    if (!reader.Transfer(d.doc)) throw Failure{"the STEP file's shapes cannot be translated"};
}

void readIges(const std::string& path, Document& d) {
    IGESCAFControl_Reader reader;
    reader.SetColorMode(true);
    reader.SetNameMode(true);
    if (reader.ReadFile(path.c_str()) != IFSelect_RetDone)
        throw Failure{"not a readable IGES file"};
    if (reader.NbRootsForTransfer() == 0) throw Failure{NoPart};
    if (!reader.Transfer(d.doc)) throw Failure{"the IGES file's shapes cannot be translated"};
}

// OBJ has no unit and is taken as millimetres; glTF is in metres with Y up.
void readMesh(const std::string& path, FileType type, Document& d) {
    std::unique_ptr<RWMesh_CafReader> reader;
    if (type == FileType::Obj) {
        reader = std::make_unique<RWObj_CafReader>();
        reader->SetFileLengthUnit(0.001);
        reader->SetFileCoordinateSystem(RWMesh_CoordinateSystem_Zup);
    } else {
        reader = std::make_unique<RWGltf_CafReader>();
    }
    reader->SetSystemLengthUnit(0.001);
    reader->SetSystemCoordinateSystem(RWMesh_CoordinateSystem_Zup);
    reader->SetMemoryLimitMiB(MeshMemoryLimitMiB);
    reader->SetDocument(d.doc);
    if (!reader->Perform(path.c_str(), Message_ProgressRange()))
        throw Failure{std::string("not a readable ") + (type == FileType::Obj ? "OBJ" : "glTF") +
                      " file"};
}

// [SECTION] Tessellated parts ---------------------------------------------------------------

struct Mesh {
    std::vector<std::array<double, 3>> vertices;
    std::vector<std::array<int, 3>> faces;
};

void appendTriangulation(const Handle(Poly_Triangulation) & tri, const gp_Trsf& placement,
                         bool reversed, Mesh* out) {
    const int first = static_cast<int>(out->vertices.size());
    for (int i = 1; i <= tri->NbNodes(); ++i) {
        const gp_Pnt p = tri->Node(i).Transformed(placement);
        out->vertices.push_back({p.X(), p.Y(), p.Z()});
    }
    for (int i = 1; i <= tri->NbTriangles(); ++i) {
        int a = 0, b = 0, c = 0;
        tri->Triangle(i).Get(a, b, c);
        if (reversed) std::swap(b, c);
        out->faces.push_back({first + a - 1, first + b - 1, first + c - 1});
    }
}

bool everyFaceTriangulated(const TopoDS_Shape& shape) {
    for (TopExp_Explorer f(shape, TopAbs_FACE); f.More(); f.Next()) {
        TopLoc_Location loc;
        if (BRep_Tool::Triangulation(TopoDS::Face(f.Current()), loc).IsNull()) return false;
    }
    return true;
}

// The part's triangles in its own coordinates; b-rep faces are tessellated first.
Mesh tessellate(const TopoDS_Shape& shape, const KvCadOptions& options) {
    if (!everyFaceTriangulated(shape)) {
        Bnd_Box box;
        BRepBndLib::Add(shape, box);
        const double diagonal = box.IsVoid() ? 1.0 : std::sqrt(box.SquareExtent());
        const double deflection = std::max(options.relativeDeflection * diagonal, 1e-6);
        BRepMesh_IncrementalMesh(shape, deflection, false,
                                 options.angularDeflectionDegrees * M_PI / 180.0, false);
    }
    Mesh mesh;
    for (TopExp_Explorer f(shape, TopAbs_FACE); f.More(); f.Next()) {
        const TopoDS_Face& face = TopoDS::Face(f.Current());
        TopLoc_Location loc;
        const Handle(Poly_Triangulation) tri = BRep_Tool::Triangulation(face, loc);
        if (!tri.IsNull())
            appendTriangulation(tri, loc.Transformation(), face.Orientation() == TopAbs_REVERSED,
                                &mesh);
    }
    return mesh;
}

// [SECTION] The graphic tree ----------------------------------------------------------------

void addTriangles(GraphicStruct* g, const Mesh& mesh) {
    for (const auto& v : mesh.vertices)
        if (!kvGraphicAddVertex(g, v[0], v[1], v[2]))
            throw Failure{"a drawing record could not be made"};
    // The indices are the mesh's own, all within its vertices.
    for (const auto& f : mesh.faces)
        kvGraphicAddFace(g, f[0], f[1], f[2]);
}

uint32_t packColour(const Quantity_Color& c) {
    double rgb[3];
    c.Values(rgb[0], rgb[1], rgb[2], Quantity_TOC_sRGB);
    uint32_t packed = 0;
    for (int i = 0; i < 3; ++i)
        packed |= static_cast<uint32_t>(std::lround(std::clamp(rgb[i], 0.0, 1.0) * 255)) << (8 * i);
    return packed;
}

MatrixStruct toMatrix(const gp_Trsf& t) {
    MatrixStruct m{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 3; ++row)
            m.m[col * 4 + row] = t.Value(row + 1, col + 1);
    m.m[15] = 1;
    return m;
}

std::string labelName(const TDF_Label& label) {
    Handle(TDataStd_Name) name;
    if (!label.FindAttribute(TDataStd_Name::GetID(), name)) return {};
    const TCollection_ExtendedString& text = name->Get();
    std::string utf8(text.LengthOfCString(), '\0');
    Standard_PCharacter out = utf8.data();
    text.ToUTF8CString(out);
    utf8.resize(std::strlen(utf8.c_str()));
    // Mesh files name a part by its path in the assembly they came from: the last name counts.
    return utf8.substr(utf8.rfind('/') + 1);
}

// Owns a graphic until it is handed to a parent.
struct Owned {
    GraphicStruct* g = nullptr;
    explicit Owned(int kind) : g(kvGraphicNew(kind)) {
        if (!g) throw Failure{"a drawing record could not be made"};
    }
    ~Owned() { GraphicDispose(&g); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    GraphicStruct* release() { return std::exchange(g, nullptr); }
};

// The file's top nodes, held until they all join the model.
struct TopNodes {
    std::vector<GraphicStruct*> nodes;
    TopNodes() = default;
    ~TopNodes() {
        for (GraphicStruct*& g : nodes)
            GraphicDispose(&g);
    }
    TopNodes(const TopNodes&) = delete;
    TopNodes& operator=(const TopNodes&) = delete;
};

// A node goes to its assembly's group, or among the top nodes when it has no parent.
void adopt(GraphicStruct* parent, TopNodes* top, Owned& child) {
    if (!parent) {
        top->nodes.push_back(child.release());
        return;
    }
    if (!kvGraphicAddChild(parent, child.g)) throw Failure{"a drawing record could not be made"};
    child.release();
}

class TreeBuilder {
  public:
    TreeBuilder(const Handle(TDocStd_Document) & doc, const KvCadOptions& options,
                KvCadSummary* summary)
        : shapes_(XCAFDoc_DocumentTool::ShapeTool(doc->Main())),
          colours_(XCAFDoc_DocumentTool::ColorTool(doc->Main())),
          materials_(XCAFDoc_DocumentTool::VisMaterialTool(doc->Main())), options_(options),
          summary_(summary) {}

    void addFreeShapes(TopNodes* top) {
        top_ = top;
        TDF_LabelSequence roots;
        shapes_->GetFreeShapes(roots);
        std::map<std::string, int> seen;
        for (const TDF_Label& root : roots)
            addNode(root, nullptr, &seen);
    }

  private:
    // A component is a placed instance of a product; a free shape is a product.
    void addNode(const TDF_Label& label, GraphicStruct* parent, std::map<std::string, int>* seen) {
        TDF_Label product = label;
        TopLoc_Location placement;
        if (XCAFDoc_ShapeTool::IsReference(label)) {
            XCAFDoc_ShapeTool::GetReferredShape(label, product);
            placement = XCAFDoc_ShapeTool::GetLocation(label);
        }
        std::string name = labelName(product);
        if (name.empty()) name = labelName(label);
        if (name.empty()) name = "part";
        const int count = ++(*seen)[name];
        name += '_';
        name += std::to_string(count);

        const bool assembly = XCAFDoc_ShapeTool::IsAssembly(product);
        if (!assembly && !hasFaces(product)) return;
        Owned node(assembly ? GraphicKindGroup : GraphicKindMesh);
        kvGraphicAddTextProperty(node.g, "Name", name.c_str());
        if (!placement.IsIdentity()) {
            const MatrixStruct m = toMatrix(placement.Transformation());
            GraphicSetMatrix(node.g, &m, 0);
        }
        if (assembly) {
            TDF_LabelSequence components;
            XCAFDoc_ShapeTool::GetComponents(product, components, false);
            std::map<std::string, int> childSeen;
            for (const TDF_Label& c : components)
                addNode(c, node.g, &childSeen);
            if (GraphicCount(node.g, 0, 1) == 0) return;
            ++summary_->assemblies;
        } else {
            fillMesh(node.g, product);
            kvGraphicSetPen(node.g, colourOf(label, product));
        }
        adopt(parent, top_, node);
    }

    static bool hasFaces(const TDF_Label& product) {
        return TopExp_Explorer(XCAFDoc_ShapeTool::GetShape(product), TopAbs_FACE).More();
    }

    // Instances of one product share its tessellation.
    void fillMesh(GraphicStruct* g, const TDF_Label& product) {
        TCollection_AsciiString entry;
        TDF_Tool::Entry(product, entry);
        auto found = meshes_.find(entry.ToCString());
        if (found == meshes_.end())
            found = meshes_
                        .emplace(entry.ToCString(),
                                 tessellate(XCAFDoc_ShapeTool::GetShape(product), options_))
                        .first;
        summary_->triangles += static_cast<long>(found->second.faces.size());
        checkTriangleCount(summary_->triangles, options_);
        addTriangles(g, found->second);
        ++summary_->parts;
    }

    bool surfaceColour(const TDF_Label& label, uint32_t* out) const {
        Quantity_Color c;
        if (colours_->GetColor(label, XCAFDoc_ColorSurf, c) ||
            colours_->GetColor(label, XCAFDoc_ColorGen, c))
            return *out = packColour(c), true;
        const Handle(XCAFDoc_VisMaterial) material = materials_->GetShapeMaterial(label);
        if (!material.IsNull() && !material->IsEmpty())
            return *out = packColour(material->BaseColor().GetRGB()), true;
        return false;
    }

    uint32_t colourOf(const TDF_Label& instance, const TDF_Label& product) const {
        uint32_t colour = DefaultColour;
        if (surfaceColour(instance, &colour) || surfaceColour(product, &colour)) return colour;
        for (TDF_ChildIterator sub(product); sub.More(); sub.Next())
            if (surfaceColour(sub.Value(), &colour)) return colour;
        return colour;
    }

    Handle(XCAFDoc_ShapeTool) shapes_;
    Handle(XCAFDoc_ColorTool) colours_;
    Handle(XCAFDoc_VisMaterialTool) materials_;
    const KvCadOptions& options_;
    KvCadSummary* summary_;
    TopNodes* top_ = nullptr;
    std::map<std::string, Mesh> meshes_;
};

void buildStl(const fs::path& path, const KvCadOptions& options, TopNodes* top,
              KvCadSummary* summary) {
    const Handle(Poly_Triangulation) tri = RWStl::ReadFile(path.c_str(), M_PI / 2);
    if (tri.IsNull()) throw Failure{"not a readable STL file"};
    checkTriangleCount(tri->NbTriangles(), options);
    Mesh mesh;
    appendTriangulation(tri, gp_Trsf(), false, &mesh);
    if (mesh.faces.empty()) return;
    Owned node(GraphicKindMesh);
    kvGraphicAddTextProperty(node.g, "Name", (path.stem().string() + "_1").c_str());
    kvGraphicSetPen(node.g, DefaultColour);
    addTriangles(node.g, mesh);
    summary->parts = 1;
    summary->triangles = static_cast<long>(mesh.faces.size());
    adopt(nullptr, top, node);
}

// The file's model as detached top nodes.
void readInto(const fs::path& path, FileType type, const KvCadOptions& options, TopNodes* top,
              KvCadSummary* summary) {
    checkReadable(path);
    silenceOpenCascade();
    if (type == FileType::Stl) return buildStl(path, options, top, summary);
    Document d;
    if (d.doc.IsNull()) throw Failure{"an Open CASCADE document could not be made"};
    if (type == FileType::Step) readStep(path.string(), d);
    if (type == FileType::Iges) readIges(path.string(), d);
    if (type == FileType::Obj || type == FileType::Gltf) readMesh(path.string(), type, d);
    TreeBuilder(d.doc, options, summary).addFreeShapes(top);
}

} // namespace

} // namespace korvex::cad

using namespace korvex::cad;

// [SECTION] Host-application API ------------------------------------------------------------

int kvSceneOpenFile(KvScene* scene, const char* path, const KvCadOptions* options,
                    KvCadSummary* summary, std::string* reason) {
    if (!scene || !path) return 0;
    const fs::path file(path);
    const FileType type = typeOf(file);
    if (type == FileType::Drawing) return kvSceneLoadFile(scene, path, reason);
    KvCadSummary counted;
    try {
        if (type == FileType::Unknown)
            throw Failure{"unknown file type \"" + file.extension().string() +
                          "\" (known: .step .stp .iges .igs .stl .obj .gltf .glb .qvw)"};
        TopNodes top;
        readInto(file, type, options ? *options : KvCadOptions{}, &top, &counted);
        if (counted.parts == 0) throw Failure{NoPart};
        // Joining a model root cannot fail for a detached group or mesh.
        GraphicStruct* root = DrawingGetModelRoot(kvSceneDrawing(scene));
        kvSceneClearSelection(scene);
        for (GraphicStruct*& g : top.nodes) {
            kvGraphicAddChild(root, g);
            kvSceneSelect(scene, std::exchange(g, nullptr), 1);
        }
    } catch (const Failure& f) {
        if (reason) *reason = f.reason;
        return 0;
    } catch (const Standard_Failure& f) {
        if (reason) *reason = std::string("Open CASCADE failed: ") + f.GetMessageString();
        return 0;
    } catch (const std::exception& e) {
        if (reason) *reason = e.what();
        return 0;
    }
    if (summary) *summary = counted;
    return 1;
}
