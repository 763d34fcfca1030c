// Comparison of a report with an expected text stored under tests/report/expected/: a whole
// text, or one with a few changed lines (.changes). Shared by the unit-level report tests and by
// tests of whole controls through the exported functions.
#ifndef TILLER_TESTS_REPORT_REPORT_TEXT_H
#define TILLER_TESTS_REPORT_REPORT_TEXT_H

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

// The expected file's bytes; an unreadable file fails the test.
inline std::string ReadExpected(const std::string& name) {
    std::ifstream file(std::string(TILLER_SOURCE_DIR) + "/tests/report/expected/" + name,
                       std::ios::binary);
    EXPECT_TRUE(file.is_open()) << name;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The piece after the last line feed is kept, so a missing final line feed shows as a line.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

// The lines of `base` with the changes of a .changes file applied. Each change is a header
// "@@ LINE REMOVED ADDED" (LINE counts from 1 in `base`) followed by the ADDED new lines.
inline std::string WithChanges(const std::string& base, const std::string& changes) {
    std::vector<std::string> lines = SplitLines(base);
    std::istringstream in(changes);
    std::vector<std::tuple<std::size_t, std::size_t, std::vector<std::string>>> edits;
    for (std::string header; std::getline(in, header) && header.rfind("@@ ", 0) == 0;) {
        std::size_t line = 0, removed = 0, added = 0;
        std::istringstream(header.substr(3)) >> line >> removed >> added;
        std::vector<std::string> replacement(added);
        for (std::string& text : replacement)
            std::getline(in, text);
        edits.emplace_back(line - 1, removed, replacement);
    }
    // Later changes first, so that the line numbers of earlier ones still hold.
    for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
        const auto& [at, removed, replacement] = *it;
        if (at + removed > lines.size()) {
            ADD_FAILURE() << "a change past the end of the text at line " << at + 1;
            return base;
        }
        lines.erase(lines.begin() + at, lines.begin() + at + removed);
        lines.insert(lines.begin() + at, replacement.begin(), replacement.end());
    }
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += lines[i] + (i + 1 < lines.size() ? "\n" : "");
    return text;
}

// Reports the first ten differing lines (brackets show trailing blanks) and the line counts.
inline void ExpectSameLines(const std::string& actual, const std::string& expected) {
    const auto got = SplitLines(actual);
    const auto want = SplitLines(expected);
    int mismatches = 0;
    for (std::size_t i = 0; i < std::min(got.size(), want.size()) && mismatches < 10; ++i) {
        if (got[i] == want[i]) continue;
        ++mismatches;
        ADD_FAILURE() << "line " << i + 1 << "\n  got:  [" << got[i] << "]\n  want: [" << want[i]
                      << "]";
    }
    EXPECT_EQ(got.size(), want.size()) << "line count";
}

#endif
