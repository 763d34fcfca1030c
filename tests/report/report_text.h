// Comparison of a report with an expected text stored under tests/report/expected/. Shared by
// the unit-level report tests and by tests of whole controls through the exported functions.
#ifndef TILLER_TESTS_REPORT_REPORT_TEXT_H
#define TILLER_TESTS_REPORT_REPORT_TEXT_H

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
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
