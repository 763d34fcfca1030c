#include "sample_models.h"

#include "profiles/builders.h"

#include <functional>
#include <map>

namespace tiller::tools {

namespace {

using profiles::Frame;
using profiles::Mesh;

// A cylinder standing on the XY plane: the builders make them along X.
Mesh uprightCylinder(KvPoint base, double height, double radius) {
    Frame upright;
    upright.x = {0, 0, 1}, upright.y = {0, 1, 0}, upright.z = {-1, 0, 0};
    upright.origin = base;
    return profiles::cylinder(0, height, radius, 32).transformed(upright);
}

// An angle bracket: a base plate with two bosses, an upright web and a round lug on top.
Mesh bracket() {
    Mesh m = profiles::box({0, 0, 0}, {2.0, 1.0, 0.15});
    m.append(profiles::box({0, 0.4, 0.15}, {2.0, 0.6, 1.1}));
    m.append(uprightCylinder({0.35, 0.2, 0.15}, 0.12, 0.12));
    m.append(uprightCylinder({1.65, 0.8, 0.15}, 0.12, 0.12));
    Frame lug;
    lug.x = {0, 1, 0}, lug.y = {-1, 0, 0}, lug.origin = {1.0, 0.35, 1.1};
    m.append(profiles::cylinder(0, 0.3, 0.3, 40).transformed(lug));
    return m;
}

// A small table: a top on four legs.
Mesh table() {
    Mesh m = profiles::box({0, 0, 0.9}, {1.6, 0.9, 1.0});
    for (const KvPoint corner :
         {KvPoint{0.1, 0.1, 0}, KvPoint{1.4, 0.1, 0}, KvPoint{0.1, 0.7, 0}, KvPoint{1.4, 0.7, 0}})
        m.append(profiles::box(corner, corner + KvPoint{0.1, 0.1, 0.9}));
    return m;
}

struct SampleModel {
    std::function<Mesh()> build;
    uint32_t colour; // 0x00BBGGRR
};

const std::map<std::string, SampleModel>& models() {
    static const std::map<std::string, SampleModel> all = {
        {"bracket", {bracket, 0xB8A38F}},
        {"table", {table, 0x5A8AB0}},
    };
    return all;
}

} // namespace

const std::vector<std::string>& SampleModelNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const auto& [name, model] : models())
            n.push_back(name);
        return n;
    }();
    return names;
}

bool AddSampleModel(KvScene* scene, const std::string& name) {
    const auto found = models().find(name);
    if (found == models().end()) return false;
    const Mesh mesh = found->second.build();
    std::vector<KvPoint> vertices;
    for (const KvPoint& v : mesh.vertices)
        vertices.push_back({v.x, v.y, v.z});
    std::vector<int> faces;
    for (const auto& f : mesh.faces)
        faces.insert(faces.end(), f.begin(), f.end());
    return kvSceneAddMesh(scene, vertices.data(), static_cast<int>(vertices.size()), faces.data(),
                          static_cast<int>(mesh.faces.size()), found->second.colour) != nullptr;
}

} // namespace tiller::tools
