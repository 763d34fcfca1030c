// The HTTP side of `tiller view`: the page's files and the viewer's requests on a loopback
// port. The HTTP library answers on its own threads; every call into the viewer, and so every
// export call, is handed to the one user-interface thread and waited for there.
#include "viewer.h"

#include <httplib.h>

#include <condition_variable>
#include <csignal>
#include <deque>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

namespace tiller::tools {

namespace {

// One thread that runs tasks in order, and `idle` when a period passes.
class UiThread {
  public:
    UiThread(std::function<void()> idle, std::chrono::milliseconds period)
        : idle_(std::move(idle)), period_(period), thread_([this] { Loop(); }) {}
    ~UiThread() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    // Runs `task` on the thread and waits for it; what it throws is thrown here.
    void Call(std::function<void()> task) {
        std::packaged_task<void()> packaged(std::move(task));
        std::future<void> done = packaged.get_future();
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(packaged));
        }
        wake_.notify_one();
        done.get();
    }

  private:
    void Loop() {
        auto lastIdle = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            wake_.wait_for(lock, period_, [this] { return stopping_ || !queue_.empty(); });
            while (!queue_.empty()) {
                std::packaged_task<void()> task = std::move(queue_.front());
                queue_.pop_front();
                lock.unlock();
                task();
                lock.lock();
            }
            if (std::chrono::steady_clock::now() - lastIdle >= period_ && !stopping_) {
                lock.unlock();
                idle_();
                lock.lock();
                lastIdle = std::chrono::steady_clock::now();
            }
        }
    }

    std::function<void()> idle_;
    std::chrono::milliseconds period_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

// Content types carry their charset: the HTTP library then sends them uncompressed, which on
// loopback is far quicker than compressing them.
constexpr const char* kJsonType = "application/json; charset=utf-8";

void SendJson(httplib::Response& res, int status, const nlohmann::ordered_json& body) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(body.dump(), kJsonType);
}

void SendError(httplib::Response& res, int status, const std::string& reason) {
    SendJson(res, status, {{"error", reason}});
}

struct PageFile {
    const char* path;
    const char* file; // under the web folder
    const char* type;
};

constexpr PageFile kPageFiles[] = {
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/viewer.js", "viewer.js", "application/javascript; charset=utf-8"},
    {"/viewer.css", "viewer.css", "text/css; charset=utf-8"},
    {"/three.module.js", "node_modules/three/build/three.module.js",
     "application/javascript; charset=utf-8"},
};

bool ReadWholeFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return static_cast<bool>(in) || in.eof();
}

void ServePageFiles(httplib::Server& server, const std::string& webDir) {
    for (const PageFile& f : kPageFiles)
        server.Get(f.path, [webDir, f](const httplib::Request&, httplib::Response& res) {
            std::string text;
            if (!ReadWholeFile(webDir + "/" + f.file, &text))
                return SendError(res, 500, std::string("cannot read ") + f.file);
            res.set_content(text, f.type);
        });
}

// Only the printed address is answered: a page reached through another host name (a DNS
// rebinding attack) is turned away.
void RefuseOtherHosts(httplib::Server& server, const std::string& host) {
    server.set_pre_routing_handler([host](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Host") == host)
            return httplib::Server::HandlerResponse::Unhandled;
        SendError(res, 403, "this server answers only http://" + host + "/");
        return httplib::Server::HandlerResponse::Handled;
    });
}

// Requests are JSON of at most this size; only a dropped file may be larger.
constexpr size_t kMaxRequestBytes = size_t(1) << 20;

void ServeRequests(httplib::Server& server, UiThread& ui, std::unique_ptr<Viewer>& viewer) {
    // A file dropped on the page: its bytes as the body, its name in the query.
    server.Post("/api/file", [&](const httplib::Request& req, httplib::Response& res) {
        Viewer::Answer answer;
        ui.Call([&] { answer = viewer->OpenFile(req.get_param_value("name"), req.body); });
        SendJson(res, answer.status, answer.body);
    });
    server.Post(R"(/api/([a-z]+))", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.body.size() > kMaxRequestBytes)
            return SendError(res, 413, "the request is too large");
        const nlohmann::json body = req.body.empty()
                                        ? nlohmann::json::object()
                                        : nlohmann::json::parse(req.body, nullptr, false);
        if (body.is_discarded()) return SendError(res, 400, "the body is not JSON");
        Viewer::Answer answer;
        ui.Call([&] { answer = viewer->Handle(req.matches[1], body); });
        SendJson(res, answer.status, answer.body);
    });
    server.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return;
        if (res.status == 413)
            return SendError(res, 413,
                             "larger than the limit of " +
                                 std::to_string(Viewer::kMaxModelFileBytes >> 20) + " MB");
        SendError(res, res.status, "cannot " + req.method + " " + req.path);
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            SendError(res, 500, "the request failed inside the viewer");
        });
}

} // namespace

int ServeViewer(const ViewSource& source, int port, const std::string& webDir, std::ostream& out,
                std::ostream& errors) {
    // Ctrl+C is waited for on this thread; every thread started from here leaves it alone.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::unique_ptr<Viewer> viewer;
    UiThread ui(
        [&] {
            if (viewer) viewer->CheckProfileFile();
        },
        std::chrono::milliseconds(200));
    std::string error;
    ui.Call([&] { viewer = Viewer::Open(source, &error); });
    if (!viewer) {
        errors << error << '\n';
        return 1;
    }

    httplib::Server server;
    server.set_payload_max_length(Viewer::kMaxModelFileBytes);
    // An answer's header and body leave at once rather than waiting for the client's ack.
    server.set_tcp_nodelay(true);
    const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                                : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) {
        errors << "cannot listen on 127.0.0.1:" << port << '\n';
        ui.Call([&] { viewer.reset(); });
        return 1;
    }
    const std::string host = "127.0.0.1:" + std::to_string(bound);
    RefuseOtherHosts(server, host);
    ServePageFiles(server, webDir);
    ServeRequests(server, ui, viewer);
    std::thread listener([&] { server.listen_after_bind(); });
    out << "http://" << host << "/" << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    listener.join();
    ui.Call([&] { viewer.reset(); });
    errors << "stopped\n";
    return 0;
}

} // namespace tiller::tools
