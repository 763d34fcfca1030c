// `tiller lint`. The verdicts on loading come from the library's own load steps, heard through
// its diagnostics listener while a control is built from the profile; the tool adds the line
// of each graphic in the file, the sentences, and the authoring rules a profile can break
// while still loading.
//
// [SECTION] Lines of the graphics in the file
// [SECTION] Sentences
// [SECTION] Loading
// [SECTION] Authoring rules
// [SECTION] Output
#include <cmath>

#include "lint.h"

#include "korvex/drawing.h"
#include "korvex/session.h"
#include "tiller/control/gcontrol.h"
#include "tiller/handle/ghandle.h"
#include "tiller/handle/vocabulary.h"
#include "tiller/host/utf8.h"
#include "tiller/kinematics/drag.h"
#include "tiller/part/ghandlepart.h"
#include "tiller/profile/diagnostics.h"
#include "tiller/profile/drawing_profile.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace tiller::tools {

namespace {

using Json = nlohmann::ordered_json;

// [SECTION] Lines of the graphics in the file -----------------------------------------------

// The line each graphic of a drawing file opens on, in the order the graphics are written
// (the model root first, each group before its children). The file has been read by the
// host's reader already, so it is well-formed JSON: a graphic is the value of the document's
// "root" or an element of a graphic's "children".
class GraphicLineScanner {
  public:
    explicit GraphicLineScanner(const std::string& text) : text_(text) {}

    std::vector<int> Scan() {
        for (at_ = 0; at_ < text_.size(); ++at_) {
            const char c = text_[at_];
            if (c == '\n')
                ++line_;
            else if (c == '"')
                String();
            else if (c == '{')
                Open(true);
            else if (c == '[')
                Open(false);
            else if ((c == '}' || c == ']') && !stack_.empty())
                stack_.pop_back();
            else if (c == ',' && !stack_.empty() && stack_.back().isObject)
                stack_.back().expectingKey = true;
        }
        return lines_;
    }

  private:
    struct Container {
        bool isObject = false;
        bool isGraphic = false;     // an object that is a graphic
        bool holdsGraphics = false; // an array that is a graphic's children
        bool expectingKey = false;
        std::string key; // the key whose value comes next (objects)
    };

    void String() {
        std::string value;
        for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
            if (text_[at_] == '\\')
                ++at_;
            else
                value += text_[at_];
        }
        if (!stack_.empty() && stack_.back().isObject && stack_.back().expectingKey) {
            stack_.back().key = value;
            stack_.back().expectingKey = false;
        }
    }

    void Open(bool isObject) {
        Container next;
        next.isObject = isObject;
        next.expectingKey = isObject;
        if (!stack_.empty()) {
            const Container& outer = stack_.back();
            if (isObject)
                next.isGraphic = outer.holdsGraphics || (stack_.size() == 1 && outer.key == "root");
            else
                next.holdsGraphics = outer.isGraphic && outer.key == "children";
        }
        if (next.isGraphic) lines_.push_back(line_);
        stack_.push_back(next);
    }

    const std::string& text_;
    size_t at_ = 0;
    int line_ = 1;
    std::vector<Container> stack_;
    std::vector<int> lines_;
};

std::vector<int> GraphicLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return GraphicLineScanner(text.str()).Scan();
}

int IsGroup(GraphicStruct* g) {
    return g && g->kind == GraphicKindGroup ? 1 : 0;
}

std::vector<GraphicStruct*> ChildGroups(GraphicStruct* g) {
    GraphicList list;
    GraphicWalkFillChildsList(g, IsGroup, &list, 1, 0);
    return {list.begin(), list.end()};
}

// Every graphic below `g` with its index in the order of the file.
void NumberGraphics(GraphicStruct* g, std::map<const GraphicStruct*, int>& index) {
    const int next = static_cast<int>(index.size());
    index[g] = next;
    GraphicPosition position;
    for (GraphicStruct* child = GraphicFirst(g, &position, 1, 1); child;
         child = GraphicNext(g, &position, 1, 1))
        NumberGraphics(child, index);
}

// [SECTION] Sentences ----------------------------------------------------------------------

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Words(const EnumVocabulary& vocabulary) {
    std::string words;
    for (size_t i = 1; i < vocabulary.texts.size(); ++i)
        words += (i > 1 ? ", " : "") + vocabulary.texts[i];
    return words;
}

const EnumVocabulary* VocabularyOfKey(const std::string& key) {
    for (const EnumVocabulary* v :
         {&TransformVocabulary(), &PositionVocabulary(), &OrientationVocabulary(),
          &MovementVocabulary(), &ExtentsVocabulary(), &PartVocabulary()})
        if (v->key == key) return v;
    return nullptr;
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The nearest of `candidates` to `word` when it is near enough to be a slip of the keyboard.
std::string Nearest(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = std::max<size_t>(2, word.size() / 4) + 1;
    for (const std::string& candidate : candidates) {
        const size_t distance = EditDistance(word, candidate);
        if (distance < bestDistance) best = candidate, bestDistance = distance;
    }
    return best;
}

std::string WordAdvice(const EnumVocabulary& vocabulary, const std::string& value) {
    for (size_t i = 1; i < vocabulary.texts.size(); ++i)
        if (TextEqualsNoCase(vocabulary.texts[i], value))
            return " (write " + Quoted(vocabulary.texts[i]) + ": the words are case-sensitive)";
    const std::vector<std::string> words(vocabulary.texts.begin() + 1, vocabulary.texts.end());
    const std::string nearest = Nearest(value, words);
    return nearest.empty() ? "" : " (did you mean " + Quoted(nearest) + "?)";
}

std::string NumberText(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

struct CodeInfo {
    const char* name;
    bool error;
};

CodeInfo InfoOf(DiagnosticCode code) {
    switch (code) {
    case DiagnosticCode::GroupWithoutProperties:
        return {"group-without-properties", true};
    case DiagnosticCode::NameMissing:
        return {"name-missing", true};
    case DiagnosticCode::NameEmpty:
        return {"name-empty", true};
    case DiagnosticCode::KeyMissing:
        return {"key-missing", true};
    case DiagnosticCode::ValueRefused:
        return {"value-refused", true};
    case DiagnosticCode::ValueDefaulted:
        return {"value-defaulted", false};
    case DiagnosticCode::ValueNotText:
        return {"value-not-text", true};
    case DiagnosticCode::KeyUnknown:
        return {"key-unknown", false};
    case DiagnosticCode::KeyRepeated:
        return {"key-repeated", false};
    case DiagnosticCode::FlagNotYesNo:
        return {"flag-not-yes-no", false};
    case DiagnosticCode::NumberRefused:
        return {"number-refused", false};
    case DiagnosticCode::NumberPartlyRead:
        return {"number-partly-read", false};
    case DiagnosticCode::NumberClipped:
        return {"number-clipped", false};
    case DiagnosticCode::PartWithoutType:
        return {"part-without-type", false};
    case DiagnosticCode::PartTypeRefused:
        return {"part-type-refused", true};
    case DiagnosticCode::PartReplaced:
        return {"part-replaced", false};
    case DiagnosticCode::PartNoGeometry:
        return {"part-no-geometry", true};
    case DiagnosticCode::AxisLineCount:
        return {"axis-line-count", true};
    case DiagnosticCode::AxisColours:
        return {"axis-colours", true};
    case DiagnosticCode::AxisNotLine:
        return {"axis-not-line", true};
    case DiagnosticCode::AxisOrigins:
        return {"axis-origins", true};
    case DiagnosticCode::PartMissing:
        return {"part-missing", true};
    case DiagnosticCode::PartUnusable:
        return {"part-unusable", true};
    case DiagnosticCode::FrameAxisZero:
        return {"frame-axis-zero", true};
    case DiagnosticCode::FrameAxesParallel:
        return {"frame-axes-parallel", true};
    case DiagnosticCode::BoundingBoxRepeated:
        return {"bounding-box-repeated", true};
    case DiagnosticCode::Count:
        break;
    }
    return {"unknown", true};
}

std::string ParallelSentence(const std::string& axes) {
    if (axes.size() != 3) return "the three axis lines lie in one plane";
    return std::string("the ") + axes[2] + " axis line is parallel to the " + axes[0] +
           " axis line";
}

std::string Sentence(const Diagnostic& d) {
    const std::string& k = d.key;
    const std::string& v = d.value;
    const EnumVocabulary* vocabulary = VocabularyOfKey(k);
    switch (d.code) {
    case DiagnosticCode::GroupWithoutProperties:
        return "the group has no properties, so it is not a handle and is dropped";
    case DiagnosticCode::NameMissing:
        return "the group has no handle_name, so it is dropped";
    case DiagnosticCode::NameEmpty:
        return "handle_name is empty, so the group is dropped";
    case DiagnosticCode::KeyMissing:
        return "the required key " + k + " is missing, so the group is dropped";
    case DiagnosticCode::ValueRefused:
        return k + " " + Quoted(v) + " is not one of " + Words(*vocabulary) +
               WordAdvice(*vocabulary, v) + ", so the group is dropped";
    case DiagnosticCode::ValueDefaulted:
        return k + " " + Quoted(v) + " is not one of " + Words(*vocabulary) +
               WordAdvice(*vocabulary, v) + ", so by_screen_resolution is used";
    case DiagnosticCode::ValueNotText:
        return "the value of " + k + " is not text and only text is read, so the key counts " +
               "as missing (write it in quotes)";
    case DiagnosticCode::KeyUnknown: {
        std::vector<std::string> known = HandleKeys();
        known.insert(known.end(), PartKeys().begin(), PartKeys().end());
        const std::string nearest = Nearest(k, known);
        return "the key " + Quoted(k) + " is not read here" +
               (nearest.empty() || nearest == k ? "" : " (did you mean " + Quoted(nearest) + "?)");
    }
    case DiagnosticCode::KeyRepeated:
        return k + " is given more than once, and only the first value counts";
    case DiagnosticCode::FlagNotYesNo:
        return k + " " + Quoted(v) + " is neither yes nor no, so it reads as " +
               (k == "handle_autohide_mouseover_part" ? "yes" : "no");
    case DiagnosticCode::NumberRefused:
        return k + " " + Quoted(v) + " is not a number the loader reads, so the default stands";
    case DiagnosticCode::NumberPartlyRead: {
        const bool integer = k == "part_fixed_size" || k == "handle__selector_handle_id";
        const double read = integer ? TextToInt(v, 0) : TextToFloat(v, 0);
        return k + " " + Quoted(v) + " is read as " + NumberText(read) +
               " and the rest of the text is ignored";
    }
    case DiagnosticCode::NumberClipped:
        return k + " " + Quoted(v) + " is below -1, the lowest priority, and is read as -1";
    case DiagnosticCode::PartWithoutType:
        return "the child group has no handle_part, so it is not a part and is ignored";
    case DiagnosticCode::PartTypeRefused:
        return "handle_part " + Quoted(v) + " is not one of " + Words(PartVocabulary()) +
               WordAdvice(PartVocabulary(), v) + ", so the group is not a part and is ignored";
    case DiagnosticCode::PartReplaced:
        return "a second " + v + " part replaces the earlier one";
    case DiagnosticCode::PartNoGeometry:
        return "the part holds no geometry with extents, so it is not loaded";
    case DiagnosticCode::AxisLineCount:
        return "a coordsystem part holds exactly three axis lines, and this one holds " +
               std::string("another number of graphics");
    case DiagnosticCode::AxisColours:
        return "the axis lines must be one red (X), one green (Y) and one blue (Z) line, and a "
               "colour is missing, repeated or another colour";
    case DiagnosticCode::AxisNotLine:
        return "the " + v + " axis graphic is not a line of two points";
    case DiagnosticCode::AxisOrigins:
        return "the three axis lines do not start at one common point";
    case DiagnosticCode::PartMissing:
        return "the handle's transform needs a " + v + " part and there is none, so the " +
               "handle is dropped";
    case DiagnosticCode::PartUnusable:
        return "the handle's transform needs this " + v + " part, which could not be loaded, " +
               "so the handle is dropped";
    case DiagnosticCode::FrameAxisZero:
        return "the " + v + " axis line has no length, so the handle has no frame and is dropped";
    case DiagnosticCode::FrameAxesParallel:
        return ParallelSentence(v) + ", so the handle has no frame and is dropped";
    case DiagnosticCode::BoundingBoxRepeated:
        return "only the first \"Bounding_box\" group becomes a handle, so this one is dropped";
    case DiagnosticCode::Count:
        break;
    }
    return "an unknown finding";
}

// [SECTION] Loading ------------------------------------------------------------------------

// Where each group and part group of the profile sits: its line and how messages name it.
class ProfileMap {
  public:
    ProfileMap(DrawingStruct* drawing, const std::vector<int>& lines) {
        std::map<const GraphicStruct*, int> order;
        GraphicStruct* root = DrawingGetModelRoot(drawing);
        NumberGraphics(root, order);
        auto lineOf = [&](GraphicStruct* g) {
            const size_t i = static_cast<size_t>(order[g]);
            return i < lines.size() ? lines[i] : 0;
        };
        int groupNumber = 0;
        for (GraphicStruct* group : ChildGroups(root)) {
            const std::string name = TextProperty(group, "handle_name");
            ++groupNumber;
            const Place& place = Add(group, {lineOf(group), groupNumber,
                                             name.empty() ? "group " + std::to_string(groupNumber)
                                                          : "group " + Quoted(name)});
            groups_.push_back(group);
            int partNumber = 0;
            for (GraphicStruct* part : ChildGroups(group)) {
                const std::string type = TextProperty(part, "handle_part");
                ++partNumber;
                Add(part, {lineOf(part), partNumber,
                           place.subject + ", part " + std::to_string(partNumber) +
                               (type.empty() ? "" : " (" + type + ")")});
            }
        }
    }

    struct Place {
        int line = 0;
        int number = 0; // among the model's groups, or a part among its group's
        std::string subject;
    };

    const Place* Find(const GraphicStruct* g) const {
        const auto found = places_.find(g);
        return found == places_.end() ? nullptr : &found->second;
    }
    const std::vector<GraphicStruct*>& Groups() const { return groups_; }

  private:
    const Place& Add(const GraphicStruct* g, Place place) { return places_[g] = std::move(place); }

    static std::string TextProperty(const GraphicStruct* g, const char* key) {
        for (int i = 0; i < kvGraphicPropertyCount(g); ++i) {
            KvProperty property;
            if (kvGraphicGetProperty(g, i, &property) && property.name == key && property.isText)
                return property.value;
        }
        return {};
    }

    std::map<const GraphicStruct*, Place> places_;
    std::vector<GraphicStruct*> groups_;
};

LintMessage MessageAbout(const ProfileMap::Place* place, bool error, std::string code,
                         std::string sentence) {
    LintMessage message;
    if (place) {
        message.line = place->line;
        message.subject = place->subject;
    }
    message.error = error;
    message.code = std::move(code);
    message.sentence = std::move(sentence);
    return message;
}

// [SECTION] Authoring rules ----------------------------------------------------------------

// The largest on-screen size a screen-sized part can be given, and the smallest, in pixels:
// the library clamps the settings to these.
constexpr double LargestScreenSize = 1000, SmallestScreenSize = 50;
// Screen-sized handles are drawn at the settings' pixel sizes when they are this many drawing
// units across.
constexpr double AuthoredHandleSize = 0.6;

bool IsFixedSize(const GHandle& h) {
    return h.ExtentsType != ExtentsBySelection;
}

int HoldsFacets(GraphicStruct* g, int32_t*) {
    return g->kind == GraphicKindMesh || g->kind == GraphicKindPolygon ? 0 : 1;
}

double LargestSide(const ExtentsStruct* e) {
    if (!e || !ExtentsValid(e)) return 0;
    return std::max({ExtentsGetX2(e) - ExtentsGetX1(e), ExtentsGetY2(e) - ExtentsGetY1(e),
                     ExtentsGetZ2(e) - ExtentsGetZ1(e)});
}

// The point the handle scales about on screen, in profile coordinates.
bool ScalingFixedPoint(const GHandle& h, double point[3]) {
    point[0] = point[1] = point[2] = 0;
    if (!h.PositionAbsolute) return true;
    const VertexStruct* reference = GraphicGetReferencePoint(h.pGroup);
    if (!reference) return false;
    MatrixStruct* toWorld = GraphicBuildMatrixInWordCS(h.pGroup);
    VertexStruct* world = VertexCopy(reference, toWorld);
    MatrixDispose(&toWorld);
    if (!world) return false;
    point[0] = world->x, point[1] = world->y, point[2] = world->z;
    VertexDispose(&world);
    return true;
}

struct Finding {
    const char* code;
    std::string sentence;
    const GHandlePart* part = nullptr; // the part it is about, if one
};

std::vector<Finding> AuthoringFindings(const GHandle& h) {
    std::vector<Finding> findings;
    const GHandlePart* mouseout = h.Part(SlotMouseout);
    double fixed[3];
    if (h.TransformType != TransformNone && h.mProfileCS && ScalingFixedPoint(h, fixed)) {
        const double* m = h.mProfileCS->m;
        const double off = std::hypot(m[12] - fixed[0], m[13] - fixed[1], m[14] - fixed[2]);
        if (off > 1e-6)
            findings.push_back({"origin-off-fixed-point",
                                "the coordsystem origin lies " + NumberText(off) +
                                    " units from the point the handle scales about on screen "
                                    "(the profile origin, or the group's reference point when "
                                    "zoomable), and drags other than the axis scale assume them "
                                    "equal"});
    }
    if (h.TransformType != TransformNone && !HasDragRoutine(h.TransformType, h.MovementType))
        findings.push_back({"movement-not-dragged",
                            "handle_movement " +
                                Quoted(EnumToText(MovementVocabulary(), h.MovementType)) +
                                " has no drag with handle_transform " +
                                Quoted(EnumToText(TransformVocabulary(), h.TransformType)) +
                                ", so dragging the handle changes nothing"});
    if (h.Part(SlotHighlightArea) && IsFixedSize(h))
        findings.push_back({"highlight-area-fixed-size",
                            "a highlight_area part does not follow the on-screen scale of a "
                            "fixed-size handle and is picked at the wrong size: use it only with "
                            "handle_extents by_selection",
                            h.Part(SlotHighlightArea)});
    if (mouseout && mouseout->PartGetGeometry() && IsFixedSize(h) &&
        GraphicWalk(mouseout->PartGetGeometry(), HoldsFacets, 1, 1, 0) == 0)
        findings.push_back({"mouseout-not-pickable",
                            "the mouseout part of a fixed-size handle holds only lines, which "
                            "perspective views pick with a quarter of the pick radius: give it "
                            "meshes (tubes, cones, quads)",
                            mouseout});
    if (h.PositionType != PositionRefpoint && h.PositionType != PositionExtentsCenter &&
        h.PositionType != PositionSelectionCS)
        findings.push_back({"position-not-placed",
                            "handle_position " +
                                Quoted(EnumToText(PositionVocabulary(), h.PositionType)) +
                                " adds no translation, so the handle stays at the world origin: "
                                "use refpoint, extents_center or selection_cs"});
    if (h.TransformType == TransformRotate && h.Part(SlotHighlightArea))
        findings.push_back({"ring-picked-off-mouseout",
                            "a rotation ring measures its plane from the point its mouseout part "
                            "is picked at, so a highlight_area takes that away: pick rings on "
                            "their mouseout part",
                            h.Part(SlotHighlightArea)});
    const double side = mouseout ? LargestSide(mouseout->PartGetExtents()) : 0;
    if (IsFixedSize(h) && side > 0) {
        const double smallest = side / AuthoredHandleSize * SmallestScreenSize;
        const double largest = side / AuthoredHandleSize * LargestScreenSize;
        if (smallest > 4000 || largest < 8)
            findings.push_back({"size-out-of-reach",
                                "the handle is " + NumberText(side) +
                                    " units across while screen-sized handles are authored about " +
                                    NumberText(AuthoredHandleSize) +
                                    " across, so it is drawn between " + NumberText(smallest) +
                                    " and " + NumberText(largest) + " pixels at any setting",
                                mouseout});
    }
    return findings;
}

Json HandleSummary(const GHandle& h, const ProfileMap& map) {
    Json parts = Json::array();
    for (int slot = 0; slot < SlotCount; ++slot) {
        const GHandlePart* part = h.Part(static_cast<PartSlot>(slot));
        if (!part || !part->PartIsLoaded()) continue;
        const ProfileMap::Place* place = map.Find(part->PartGetSource());
        parts.push_back({{"part", place ? place->number : 0},
                         {"type", EnumToText(PartVocabulary(), part->PartGetType())}});
    }
    std::sort(parts.begin(), parts.end(),
              [](const Json& a, const Json& b) { return a["part"] < b["part"]; });
    return {{"name", h.csName},
            {"transform", EnumToText(TransformVocabulary(), h.TransformType)},
            {"movement", EnumToText(MovementVocabulary(), h.MovementType)},
            {"position", EnumToText(PositionVocabulary(), h.PositionType)},
            {"orientation", EnumToText(OrientationVocabulary(), h.OrientationType)},
            {"extents", EnumToText(ExtentsVocabulary(), h.ExtentsType)},
            {"priority", h.Priority},
            {"parts", parts}};
}

// The later of two loaded handles with one name wins lookups by name.
void AddRepeatedNames(const std::vector<GHandle*>& handles, const ProfileMap& map,
                      std::map<const GraphicStruct*, LintedGroup*>& groups) {
    std::map<std::string, const GHandle*> first;
    for (const GHandle* h : handles) {
        const auto [earlier, isNew] = first.emplace(h->csName, h);
        if (isNew || h->csName == BoundingBoxName) continue;
        const ProfileMap::Place* place = map.Find(h->pGroup);
        const ProfileMap::Place* earlierPlace = map.Find(earlier->second->pGroup);
        groups[h->pGroup]->messages.push_back(
            MessageAbout(place, false, "name-repeated",
                         "the name is also used on line " + std::to_string(earlierPlace->line) +
                             "; both load, and the host finds this later one by name"));
    }
}

} // namespace

const char* LintCodeName(DiagnosticCode code) {
    return InfoOf(code).name;
}

int LintReport::Status() const {
    int status = 0;
    for (const LintMessage* message : AllMessages())
        status = std::max(status, message->error ? 2 : 1);
    return status;
}

std::vector<const LintMessage*> LintReport::AllMessages() const {
    std::vector<const LintMessage*> all;
    for (const LintMessage& message : messages)
        all.push_back(&message);
    for (const LintedGroup& group : groups)
        for (const LintMessage& message : group.messages)
            all.push_back(&message);
    return all;
}

LintReport LintProfile(const std::string& path) {
    LintReport report;
    report.file = path;
    DrawingProfile profile(utf8::Widen(path).value_or(L""));
    if (!profile.IsLoaded()) {
        std::string reason = "no such file";
        if (DrawingStruct* read = kvReadDrawingFile(path.c_str(), &reason)) DrawingDispose(&read);
        report.messages.push_back(
            MessageAbout(nullptr, true, "file-unreadable", "the file cannot be read: " + reason));
        return report;
    }
    const ProfileMap map(profile.Drawing(),
                         GraphicLines(utf8::Narrow(profile.Path()).value_or("")));
    std::map<const GraphicStruct*, LintedGroup*> byGroup;
    for (GraphicStruct* group : map.Groups()) {
        LintedGroup& linted = report.groups.emplace_back();
        const ProfileMap::Place* place = map.Find(group);
        linted.line = place->line;
        linted.subject = place->subject;
    }
    for (size_t i = 0; i < map.Groups().size(); ++i)
        byGroup[map.Groups()[i]] = &report.groups[i];

    KvScene* scene = kvSceneNew();
    ViewportStruct* viewport = scene ? kvViewportCreate(kvSceneDrawing(scene), 800, 600) : nullptr;
    if (!viewport) {
        report.messages.push_back(MessageAbout(nullptr, true, "host-failed",
                                               "the host could not make a scene to load into"));
        kvSceneDispose(&scene);
        return report;
    }
    kvDrawingSetActiveViewport(kvSceneDrawing(scene), viewport);
    {
        GControl control(&profile, L"lint", kvSceneDrawing(scene), kvSelectionExtents);
        {
            const ListenToDiagnostics listen([&](const Diagnostic& d) {
                const ProfileMap::Place* place = map.Find(d.part ? d.part : d.group);
                const auto group = byGroup.find(d.group);
                if (!place || group == byGroup.end()) return;
                const CodeInfo info = InfoOf(d.code);
                group->second->messages.push_back(
                    MessageAbout(place, info.error, info.name, Sentence(d)));
            });
            control.Init();
        }
        std::vector<GHandle*> handles(control.handles.begin(), control.handles.end());
        for (GHandle* h : handles) {
            LintedGroup& linted = *byGroup[h->pGroup];
            linted.loaded = true;
            linted.handle = HandleSummary(*h, map);
            for (Finding& finding : AuthoringFindings(*h)) {
                const GraphicStruct* about =
                    finding.part ? finding.part->PartGetSource() : h->pGroup;
                linted.messages.push_back(MessageAbout(map.Find(about), false, finding.code,
                                                       std::move(finding.sentence)));
            }
        }
        AddRepeatedNames(handles, map, byGroup);
    }
    kvSceneDispose(&scene);
    return report;
}

// [SECTION] Output -------------------------------------------------------------------------

std::string FormatLintMessage(const std::string& file, const LintMessage& message) {
    std::string text = file + ":";
    if (message.line) text += std::to_string(message.line) + ":";
    if (!message.subject.empty()) text += " " + message.subject + ":";
    return text + (message.error ? " error: " : " warning: ") + message.sentence;
}

namespace {

std::string DescribeHandle(const Json& h) {
    std::string text = "loads: transform " + h["transform"].get<std::string>() + ", movement " +
                       h["movement"].get<std::string>() + ", position " +
                       h["position"].get<std::string>() + ", orientation " +
                       h["orientation"].get<std::string>() + ", extents " +
                       h["extents"].get<std::string>() + ", priority " +
                       NumberText(h["priority"].get<double>()) + "; parts";
    for (const Json& part : h["parts"])
        text +=
            " " + std::to_string(part["part"].get<int>()) + " " + part["type"].get<std::string>();
    return text;
}

} // namespace

void PrintLintText(const LintReport& report, std::ostream& out) {
    for (const LintMessage& message : report.messages)
        out << FormatLintMessage(report.file, message) << '\n';
    int handles = 0, errors = 0, warnings = 0;
    for (const LintedGroup& group : report.groups) {
        out << report.file << ":" << group.line << ": " << group.subject << ": "
            << (group.loaded ? DescribeHandle(group.handle) : "dropped") << '\n';
        handles += group.loaded;
        for (const LintMessage& message : group.messages) {
            out << "  " << FormatLintMessage(report.file, message) << '\n';
            (message.error ? errors : warnings) += 1;
        }
    }
    for (const LintMessage& message : report.messages)
        (message.error ? errors : warnings) += 1;
    out << report.file << ": " << report.groups.size() << " groups, " << handles << " handles, "
        << errors << " errors, " << warnings << " warnings\n";
}

Json LintJson(const LintReport& report) {
    auto messageJson = [&](const LintMessage& m) {
        return Json{
            {"line", m.line}, {"subject", m.subject},  {"severity", m.error ? "error" : "warning"},
            {"code", m.code}, {"message", m.sentence}, {"text", FormatLintMessage(report.file, m)}};
    };
    Json groups = Json::array();
    for (const LintedGroup& group : report.groups) {
        Json messages = Json::array();
        for (const LintMessage& m : group.messages)
            messages.push_back(messageJson(m));
        groups.push_back({{"line", group.line},
                          {"subject", group.subject},
                          {"loaded", group.loaded},
                          {"handle", group.loaded ? group.handle : Json(nullptr)},
                          {"messages", messages}});
    }
    Json messages = Json::array();
    for (const LintMessage& m : report.messages)
        messages.push_back(messageJson(m));
    return {{"file", report.file},
            {"status", report.Status()},
            {"messages", messages},
            {"groups", groups}};
}

} // namespace tiller::tools
