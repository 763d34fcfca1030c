// The host behind `tiller view`: one live session driven by the page's requests. Each request
// is a JSON object; each answer carries what the page must change to show what the reference
// host shows now. Geometry goes to the page once; afterwards only matrices, looks and which
// items are shown. Every call runs on the one thread that owns the session.
#ifndef TILLER_TOOLS_VIEWER_H
#define TILLER_TOOLS_VIEWER_H

#include "play.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tiller::tools {

// What `tiller view` was started on.
struct ViewSource {
    Session session;         // its scene, profile, settings and viewport; steps are not played
    std::string profileFile; // the profile file watched for changes; empty for a shipped name
};

// Reads SOURCE (a session file, a .qvw drawing, a sample model name, or empty for the bracket)
// and the --profile option into a session. False with a one-line reason.
bool ReadViewSource(const std::string& source, const std::string& profile, ViewSource* out,
                    std::string* error);

class Viewer {
  public:
    // Null, with the reason, when the scene cannot be built.
    static std::unique_ptr<Viewer> Open(const ViewSource& source, std::string* error);
    ~Viewer();
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    struct Answer {
        int status = 200;
        nlohmann::ordered_json body;
    };
    // One request of the page: `name` is the path after /api/, `request` its JSON body. A
    // malformed request answers a 4xx with {"error": reason} and changes nothing.
    Answer Handle(const std::string& name, const nlohmann::json& request);

    // Opens a file the page sent (its name and its bytes) in place of the model. A file of
    // another type, too large, or that does not read answers a 4xx with the one-line reason,
    // and changes nothing.
    Answer OpenFile(const std::string& name, const std::string& bytes);
    static constexpr size_t kMaxModelFileBytes = size_t(64) << 20;
    // The page receives about 160 bytes of geometry a triangle, and the server holds it as
    // JSON while it answers: larger models are refused.
    static constexpr long kMaxModelTriangles = 500000;

    // Reloads the watched profile when its file changed since the last look; true when it did.
    bool CheckProfileFile();

  private:
    explicit Viewer(const ViewSource& source, std::unique_ptr<LiveSession> live);

    nlohmann::ordered_json Open(const nlohmann::json& request);
    nlohmann::ordered_json Pointer(const nlohmann::json& request);
    nlohmann::ordered_json View(const nlohmann::json& request);
    nlohmann::ordered_json Settings(const nlohmann::json& request);
    nlohmann::ordered_json Undo();
    nlohmann::ordered_json Pixels(const nlohmann::json& request);
    nlohmann::ordered_json Report();

    // What changed on screen since the last answer, and the control's state.
    nlohmann::ordered_json Frame();
    nlohmann::ordered_json Status();
    nlohmann::ordered_json Panel() const;
    nlohmann::ordered_json Camera() const;
    void Shown(nlohmann::ordered_json* frame);
    std::string ModelPieceId(GraphicStruct* g);
    void Resize(int width, int height);
    void Refresh();
    Step PointerStep(Step::Action action, const nlohmann::json& request) const;
    void ReloadProfile();
    std::filesystem::path ScratchFile(const std::string& fileName);

    ViewSource source_;
    std::unique_ptr<LiveSession> live_;
    SnapSpec snap_;
    std::string hovered_; // the handle under the pointer, empty for none
    struct AppliedDrag {
        MatrixStruct drag;
        std::vector<GraphicStruct*> moved; // the selection it was applied to
    };
    std::vector<AppliedDrag> undo_;                // the drags applied, latest last
    std::optional<std::array<double, 2>> clickAt_; // a press with no handle under it
    std::optional<MatrixStruct> applied_;
    std::string profileError_;
    std::string profileStamp_;
    int profileLoads_ = 0;          // the edits of the profile file that gave a control
    std::filesystem::path scratch_; // a private folder for copies of the profile and dropped files
    int scratchCount_ = 0;
    std::filesystem::path loadedCopy_; // the copy the control was built from, empty for none

    // What the page holds: geometry by item id, and the last camera, looks and shown list sent.
    std::map<GraphicStruct*, std::string> pieceIds_;
    int pieceCount_ = 0;
    std::vector<std::string> removed_; // items the page must drop
    std::map<std::string, nlohmann::ordered_json> sentLooks_;
    nlohmann::ordered_json sentCamera_, sentShown_;
};

// Serves the page from `webDir` and the viewer's requests on 127.0.0.1:port (0: a free port),
// printing the address to open on `out`, until SIGINT or SIGTERM. Answers the exit status.
int ServeViewer(const ViewSource& source, int port, const std::string& webDir, std::ostream& out,
                std::ostream& errors);

} // namespace tiller::tools

#endif
