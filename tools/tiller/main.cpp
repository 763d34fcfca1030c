// tiller: the command-line tool.
//   tiller play SESSION.json --out DIR   plays a session as the host, one JSON line per step
//   tiller report PROFILE                prints the report of a control built from a profile
//   tiller lint PROFILE [--json]         explains how each group of a profile loads, and why not
//   tiller gallery PROFILE --out DIR     draws every handle of a profile in each of its looks
//   tiller view [SOURCE] [--profile NAME|PATH] [--port N]
//                                        serves the browser viewer on a loopback port
#include "gallery.h"
#include "lint.h"
#include "play.h"
#include "viewer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: tiller play SESSION.json --out DIR\n"
                         "       tiller report PROFILE\n"
                         "       tiller lint PROFILE [--json]\n"
                         "       tiller gallery PROFILE --out DIR\n"
                         "       tiller view [SESSION.json|DRAWING.qvw|MODEL] [--profile NAME|PATH]"
                         " [--port N]\n");
    return 2;
}

int Play(const char* sessionPath, const char* outDir) {
    tiller::tools::Session session;
    std::string error;
    if (!tiller::tools::ReadSessionFile(sessionPath, &session, &error)) {
        std::fprintf(stderr, "%s: %s\n", sessionPath, error.c_str());
        return 1;
    }
    const int result = tiller::tools::PlaySession(session, outDir, std::cout, std::cerr);
    // The steps' lines are for programs; this one is for the person who ran the session.
    if (result == 0)
        std::fprintf(stderr, "played %zu steps of %s; pictures and reports are in %s/\n",
                     session.steps.size(), sessionPath, outDir);
    return result;
}

int View(int argc, char** argv) {
    std::string source, profile;
    long port = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--profile" && i + 1 < argc) {
            profile = argv[++i];
        } else if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (*end || port < 0 || port > 65535) return Usage();
        } else if (source.empty() && arg.rfind("--", 0) != 0) {
            source = arg;
        } else {
            return Usage();
        }
    }
    tiller::tools::ViewSource view;
    std::string error;
    if (!tiller::tools::ReadViewSource(source, profile, &view, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return tiller::tools::ServeViewer(view, static_cast<int>(port), TILLER_WEB_DIR, std::cout,
                                      std::cerr);
}

// Exit status 0 when clean, 1 with warnings only, 2 with errors.
int Lint(const char* profile, bool json) {
    const tiller::tools::LintReport report = tiller::tools::LintProfile(profile);
    if (json)
        std::cout << tiller::tools::LintJson(report).dump(2) << '\n';
    else
        tiller::tools::PrintLintText(report, std::cout);
    return report.Status();
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "play") == 0 && std::strcmp(argv[3], "--out") == 0)
        return Play(argv[2], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "report") == 0)
        return tiller::tools::PrintProfileReport(argv[2], std::cout, std::cerr);
    if (argc >= 2 && std::strcmp(argv[1], "view") == 0) return View(argc, argv);
    if ((argc == 3 || (argc == 4 && std::strcmp(argv[3], "--json") == 0)) &&
        std::strcmp(argv[1], "lint") == 0)
        return Lint(argv[2], argc == 4);
    if (argc == 5 && std::strcmp(argv[1], "gallery") == 0 && std::strcmp(argv[3], "--out") == 0)
        return tiller::tools::WriteGallery(argv[2], argv[4], std::cerr);
    return Usage();
}
