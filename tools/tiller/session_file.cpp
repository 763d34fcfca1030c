#include "session_file.h"

#include "control_settings.h"
#include "sample_models.h"

#include "korvex/strict_json.h"

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace tiller::tools {
namespace {

using nlohmann::json;

constexpr long long MaxSessionBytes = 16LL << 20;
constexpr size_t MaxSessionDepth = 64;

// Thrown inside the reader only; ReadSessionFile turns it into "line N: reason".
struct SessionError {
    int line;
    std::string reason;
};

// Where the top-level keys and the elements of "steps" start in the text, so that a reason
// can name a line even for errors found after parsing.
struct Locations {
    std::map<std::string, int> keyLine;
    std::vector<int> stepLines;
};

size_t SkipString(const std::string& text, size_t i, int* line) {
    for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '\n')
            ++*line;
    }
    return i;
}

Locations Locate(const std::string& text) {
    Locations where;
    int line = 1, depth = 0, stepsDepth = -1;
    bool expectStep = false;
    std::string lastKey;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r') continue;
        if (depth == stepsDepth && expectStep && c != ']') {
            where.stepLines.push_back(line);
            expectStep = false;
        }
        if (c == '"') {
            const int startLine = line;
            const size_t end = SkipString(text, i, &line);
            if (depth == 1) {
                size_t j = end + 1;
                while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j])))
                    ++j;
                if (j < text.size() && text[j] == ':') {
                    lastKey = text.substr(i + 1, end - i - 1);
                    where.keyLine[lastKey] = startLine;
                }
            }
            i = end;
        } else if (c == '{' || c == '[') {
            ++depth;
            if (c == '[' && depth == 2 && lastKey == "steps") {
                stepsDepth = 2;
                expectStep = true;
            }
        } else if (c == '}' || c == ']') {
            if (depth == stepsDepth) stepsDepth = -1;
            --depth;
        } else if (c == ',' && depth == stepsDepth) {
            expectStep = true;
        }
    }
    return where;
}

int LineOfOffset(const std::string& text, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        if (text[i] == '\n') ++line;
    return line;
}

double Number(const json& v, int line, const std::string& what) {
    if (!v.is_number()) throw SessionError{line, what + " must be a number"};
    const double d = v.get<double>();
    if (!std::isfinite(d)) throw SessionError{line, what + " must be finite"};
    return d;
}

template <size_t N>
std::array<double, N> Numbers(const json& v, int line, const std::string& what) {
    if (!v.is_array() || v.size() != N)
        throw SessionError{line, what + " must be an array of " + std::to_string(N) + " numbers"};
    std::array<double, N> out{};
    for (size_t i = 0; i < N; ++i)
        out[i] = Number(v[i], line, what);
    return out;
}

std::string Text(const json& v, int line, const std::string& what) {
    if (!v.is_string() || v.get<std::string>().empty())
        throw SessionError{line, what + " must be a non-empty string"};
    return v.get<std::string>();
}

void RejectUnknownKeys(const json& object, const std::set<std::string>& known, int line,
                       const std::string& what) {
    for (const auto& [key, value] : object.items())
        if (!known.count(key)) throw SessionError{line, "unknown key \"" + key + "\" in " + what};
}

KvPoint Point(const json& v, int line, const std::string& what) {
    const std::array<double, 3> n = Numbers<3>(v, line, what);
    return {n[0], n[1], n[2]};
}

std::array<KvPoint, 2> Box(const json& v, int line, const std::string& what) {
    if (!v.is_array() || v.size() != 2)
        throw SessionError{line, what + " must be [[x1, y1, z1], [x2, y2, z2]]"};
    return {Point(v[0], line, what), Point(v[1], line, what)};
}

SelectionSpec ReadSelection(const json& v, int line) {
    const char* const oneOf = "selection must hold exactly one of \"box\", \"file\", \"model\"";
    if (!v.is_object()) throw SessionError{line, oneOf};
    SelectionSpec s;
    s.line = line;
    if (v.contains("file")) {
        RejectUnknownKeys(v, {"file", "parts", "deflection"}, line, "a file selection");
        s.kind = SelectionSpec::Kind::File;
        s.path = Text(v["file"], line, "selection file");
        if (v.contains("parts")) {
            if (!v["parts"].is_array() || v["parts"].empty())
                throw SessionError{line, "selection parts must be a list of part names"};
            for (const json& name : v["parts"])
                s.parts.push_back(Text(name, line, "a selection part"));
        }
        if (v.contains("deflection")) {
            s.deflection = Number(v["deflection"], line, "selection deflection");
            if (!(s.deflection > 0 && s.deflection <= 0.1))
                throw SessionError{line, "selection deflection must be above 0 and at most 0.1"};
        }
        return s;
    }
    if (v.size() != 1) throw SessionError{line, oneOf};
    if (v.contains("box")) {
        const auto box = Box(v["box"], line, "selection box");
        s.kind = SelectionSpec::Kind::Box;
        s.boxMin = box[0];
        s.boxMax = box[1];
        if (s.boxMin.x > s.boxMax.x || s.boxMin.y > s.boxMax.y || s.boxMin.z > s.boxMax.z)
            throw SessionError{line, "selection box corners must be ordered min, max"};
    } else if (v.contains("model")) {
        s.kind = SelectionSpec::Kind::Model;
        s.model = Text(v["model"], line, "selection model");
        const auto& names = SampleModelNames();
        if (std::find(names.begin(), names.end(), s.model) == names.end())
            throw SessionError{line, "unknown sample model \"" + s.model + "\""};
    } else {
        throw SessionError{line, oneOf};
    }
    return s;
}

const std::set<std::string> kViewPresets = {"front", "back",  "top", "bottom",
                                            "left",  "right", "iso"};

ViewportSpec ReadViewport(const json& v, int line) {
    if (!v.is_object()) throw SessionError{line, "viewport must be an object"};
    RejectUnknownKeys(
        v,
        {"width", "height", "projection", "view", "eye", "target", "up", "unitsPerPixel", "fovY"},
        line, "viewport");
    ViewportSpec s;
    const auto pixels = [&](const char* key) {
        const double d = Number(v[key], line, key);
        if (d < 16 || d > 8192)
            throw SessionError{line, "viewport size must lie between 16 and 8192 pixels"};
        return static_cast<int>(d);
    };
    if (v.contains("width")) s.width = pixels("width");
    if (v.contains("height")) s.height = pixels("height");
    if (v.contains("projection")) {
        const std::string p = Text(v["projection"], line, "projection");
        if (p != "parallel" && p != "perspective")
            throw SessionError{line, "projection must be \"parallel\" or \"perspective\""};
        s.perspective = p == "perspective";
    }
    if (v.contains("view")) {
        s.view = Text(v["view"], line, "view");
        if (!kViewPresets.count(s.view))
            throw SessionError{line, "unknown view \"" + s.view + "\""};
    }
    if (v.contains("eye") != v.contains("target"))
        throw SessionError{line, "eye and target go together"};
    if (v.contains("eye")) {
        s.eye = Point(v["eye"], line, "eye");
        s.target = Point(v["target"], line, "target");
        if (*s.eye == *s.target) throw SessionError{line, "eye and target must differ"};
    }
    if (v.contains("up")) s.up = Point(v["up"], line, "up");
    if (v.contains("unitsPerPixel")) {
        s.unitsPerPixel = Number(v["unitsPerPixel"], line, "unitsPerPixel");
        if (*s.unitsPerPixel <= 0) throw SessionError{line, "unitsPerPixel must be positive"};
    }
    if (v.contains("fovY")) {
        s.fovY = Number(v["fovY"], line, "fovY");
        if (s.fovY <= 1 || s.fovY >= 170) throw SessionError{line, "fovY must lie in (1, 170)"};
    }
    return s;
}

ViewChange ReadViewChange(const json& v, int line) {
    if (!v.is_object() || v.empty()) throw SessionError{line, "view must be a non-empty object"};
    RejectUnknownKeys(v, {"zoom", "orbit", "pan", "preset"}, line, "view");
    ViewChange c;
    if (v.contains("zoom")) {
        c.zoom = Number(v["zoom"], line, "zoom");
        if (*c.zoom <= 0) throw SessionError{line, "zoom must be positive"};
    }
    if (v.contains("orbit")) c.orbit = Numbers<2>(v["orbit"], line, "orbit");
    if (v.contains("pan")) c.pan = Numbers<2>(v["pan"], line, "pan");
    if (v.contains("preset")) {
        c.preset = Text(v["preset"], line, "preset");
        if (!kViewPresets.count(*c.preset))
            throw SessionError{line, "unknown view \"" + *c.preset + "\""};
    }
    return c;
}

SetupSpec ReadSetup(const json& v, int line) {
    if (!v.is_object()) throw SessionError{line, "setup must be an object"};
    RejectUnknownKeys(
        v, {"controlCS", "rotbarCS", "selectionCS", "extents", "extents2", "refPoint", "frame"},
        line, "setup");
    SetupSpec s;
    if (v.contains("frame")) {
        const std::string frame = Text(v["frame"], line, "setup frame");
        if (frame != "world" && frame != "selection")
            throw SessionError{line, "setup frame must be \"world\" or \"selection\""};
        s.alignToSelection = frame == "selection";
    }
    if (v.contains("controlCS")) s.controlCS = Numbers<16>(v["controlCS"], line, "controlCS");
    if (v.contains("rotbarCS")) s.rotbarCS = Numbers<16>(v["rotbarCS"], line, "rotbarCS");
    if (v.contains("selectionCS"))
        s.selectionCS = Numbers<16>(v["selectionCS"], line, "selectionCS");
    if (v.contains("extents")) s.extents = Box(v["extents"], line, "extents");
    if (v.contains("extents2")) s.extents2 = Box(v["extents2"], line, "extents2");
    if (v.contains("refPoint")) s.refPoint = Point(v["refPoint"], line, "refPoint");
    return s;
}

SnapSpec ReadSnap(const json& v, int line) {
    if (!v.is_object()) throw SessionError{line, "snap must be an object"};
    RejectUnknownKeys(v, {"move", "rotate", "scale"}, line, "snap");
    SnapSpec s;
    if (v.contains("move")) s.move = Number(v["move"], line, "snap move");
    if (v.contains("rotate")) s.rotateDegrees = Number(v["rotate"], line, "snap rotate");
    if (v.contains("scale")) s.scale = Number(v["scale"], line, "snap scale");
    if (s.move < 0 || s.rotateDegrees < 0 || s.scale < 0)
        throw SessionError{line, "snap steps must not be negative"};
    return s;
}

const std::map<std::string, Step::Action> kActions = {
    {"setup", Step::Action::Setup},         {"show", Step::Action::Show},
    {"render", Step::Action::Render},       {"hover", Step::Action::Hover},
    {"press", Step::Action::Press},         {"drag", Step::Action::Drag},
    {"transform", Step::Action::Transform}, {"release", Step::Action::Release},
    {"view", Step::Action::View},           {"hide", Step::Action::Hide},
    {"unhide", Step::Action::Unhide},       {"report", Step::Action::Report}};

// A file the session writes: a relative path that stays inside the output folder.
std::string OutputName(const json& v, int line, const std::string& what) {
    const std::string name = Text(v, line, what);
    const std::filesystem::path path(name);
    bool climbs = false;
    for (const std::filesystem::path& part : path)
        climbs |= part == "..";
    if (name.empty() || path.is_absolute() || climbs)
        throw SessionError{line, what + " must name a file inside the output folder"};
    return name;
}

const std::set<std::string> kDragModifiers = {"keys", "uniform", "fromCenter", "keepSelectionCS",
                                              "snap"};

bool Flag(const json& v, int line, const std::string& what) {
    const double d = Number(v, line, what);
    if (d != 0 && d != 1) throw SessionError{line, what + " must be 0 or 1"};
    return d != 0;
}

void ReadDragModifiers(const json& v, int line, Step& step) {
    if (v.contains("keys")) {
        const double keys = Number(v["keys"], line, "keys");
        if (keys < 0 || keys > 65535 || keys != std::floor(keys))
            throw SessionError{line, "keys must be a 16-bit whole number"};
        step.keys = static_cast<uint16_t>(keys);
    }
    if (v.contains("uniform")) step.uniform = Flag(v["uniform"], line, "uniform");
    if (v.contains("fromCenter")) step.fromCenter = Flag(v["fromCenter"], line, "fromCenter");
    if (v.contains("keepSelectionCS"))
        step.keepSelectionCS = Flag(v["keepSelectionCS"], line, "keepSelectionCS");
    if (v.contains("snap")) step.snap = ReadSnap(v["snap"], line);
}

Step ReadStep(const json& v, int line) {
    if (!v.is_object()) throw SessionError{line, "a step must be an object"};
    std::vector<std::string> actions;
    for (const auto& [key, value] : v.items()) {
        if (kActions.count(key))
            actions.push_back(key);
        else if (!kDragModifiers.count(key))
            throw SessionError{line, "unknown key \"" + key + "\" in step"};
    }
    if (actions.size() != 1) throw SessionError{line, "a step must name exactly one action"};
    Step step;
    step.action = kActions.at(actions[0]);
    step.line = line;
    const json& arg = v[actions[0]];
    const bool takesModifiers = step.action == Step::Action::Drag;
    if (!takesModifiers && v.size() != 1)
        throw SessionError{line, "only drag steps take keys, uniform, fromCenter, "
                                 "keepSelectionCS and snap"};
    switch (step.action) {
    case Step::Action::Setup:
        step.setup = ReadSetup(arg, line);
        break;
    case Step::Action::Show: {
        const double mode = Number(arg, line, "show");
        if (mode < 0 || mode > 3 || mode != std::floor(mode))
            throw SessionError{line, "show takes a mode from 0 to 3"};
        step.showMode = static_cast<int>(mode);
        break;
    }
    case Step::Action::Render:
    case Step::Action::Report:
        step.file = OutputName(arg, line, actions[0]);
        break;
    case Step::Action::Hover:
    case Step::Action::Press:
    case Step::Action::Release:
        step.pixel = Numbers<2>(arg, line, actions[0]);
        break;
    case Step::Action::Drag:
        step.pixel = Numbers<2>(arg, line, "drag");
        ReadDragModifiers(v, line, step);
        break;
    case Step::Action::Transform:
        step.matrix = Numbers<16>(arg, line, "transform");
        break;
    case Step::Action::View:
        step.view = ReadViewChange(arg, line);
        break;
    case Step::Action::Hide:
    case Step::Action::Unhide:
        step.handleName = Text(arg, line, actions[0]);
        break;
    }
    return step;
}

void ReadProperties(const json& v, int line, Session& session) {
    if (!v.is_object()) throw SessionError{line, "properties must be an object"};
    for (const auto& [key, value] : v.items())
        switch (SetControlSetting(&session.settings, key, Number(value, line, key))) {
        case SettingResult::Set:
            break;
        case SettingResult::Unknown:
            throw SessionError{line, "unknown control property \"" + key + "\""};
        case SettingResult::OutOfRange:
            throw SessionError{line, key + " must be a whole number of 32 bits"};
        }
}

void ReadSession(const json& doc, const Locations& where, Session& session) {
    auto lineOf = [&](const std::string& key) {
        auto it = where.keyLine.find(key);
        return it == where.keyLine.end() ? 1 : it->second;
    };
    if (!doc.is_object()) throw SessionError{1, "a session is a JSON object"};
    RejectUnknownKeys(doc, {"profile", "control", "selection", "viewport", "properties", "steps"},
                      1, "session");
    if (!doc.contains("profile")) throw SessionError{1, "missing \"profile\""};
    session.profile = Text(doc["profile"], lineOf("profile"), "profile");
    if (doc.contains("control"))
        session.control = Text(doc["control"], lineOf("control"), "control");
    if (doc.contains("selection"))
        session.selection = ReadSelection(doc["selection"], lineOf("selection"));
    if (doc.contains("viewport"))
        session.viewport = ReadViewport(doc["viewport"], lineOf("viewport"));
    if (doc.contains("properties"))
        ReadProperties(doc["properties"], lineOf("properties"), session);
    if (!doc.contains("steps") || !doc["steps"].is_array())
        throw SessionError{lineOf("steps"), "\"steps\" must be an array"};
    const json& steps = doc["steps"];
    for (size_t i = 0; i < steps.size(); ++i) {
        const int line = i < where.stepLines.size() ? where.stepLines[i] : lineOf("steps");
        session.steps.push_back(ReadStep(steps[i], line));
    }
}

} // namespace

bool ParseSessionText(const std::string& text, const std::string& directory, Session* session,
                      std::string* error) {
    json doc;
    std::string reason;
    size_t errorByte = 0;
    if (!korvex::parseStrictJson(text, MaxSessionDepth, &doc, &reason, &errorByte)) {
        const auto syntax = reason.find("syntax error");
        if (syntax != std::string::npos)
            *error = "line " + std::to_string(LineOfOffset(text, errorByte)) + ": " +
                     reason.substr(syntax);
        else
            *error = reason.rfind("not JSON: ", 0) == 0 ? reason.substr(10) : reason;
        return false;
    }
    Session parsed;
    parsed.directory = directory;
    try {
        ReadSession(doc, Locate(text), parsed);
    } catch (const SessionError& e) {
        *error = "line " + std::to_string(e.line) + ": " + e.reason;
        return false;
    }
    *session = std::move(parsed);
    return true;
}

// Anything but a plain file of at most MaxSessionBytes is refused before a byte is read; the
// open never blocks on a FIFO.
bool ReadSessionFile(const std::string& path, Session* session, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open " + path;
        return false;
    }
    struct stat info {};
    std::string text;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = path + " is not a regular file";
    } else if (info.st_size > MaxSessionBytes) {
        *error = path + " is larger than " + std::to_string(MaxSessionBytes >> 20) + " MiB";
    } else {
        text.resize(static_cast<size_t>(info.st_size));
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (got != text.size()) *error = "cannot read " + path;
    }
    ::close(fd);
    if (!error->empty()) return false;
    const auto slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    if (!ParseSessionText(text, directory, session, error)) return false;
    session->name = path;
    return true;
}

} // namespace tiller::tools
