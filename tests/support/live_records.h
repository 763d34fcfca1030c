// A test fixture that proves every host record made during a test is released: the live
// counts of the reference host must be back where they were when the test ends.
#ifndef TILLER_TESTS_LIVE_RECORDS_H
#define TILLER_TESTS_LIVE_RECORDS_H

#include "korvex/testing.h"

#include <array>
#include <gtest/gtest.h>

class LiveRecordsTest : public ::testing::Test {
  protected:
    void SetUp() override { before_ = Snapshot(); }
    void TearDown() override {
        kvFailNthCreation(0);
        ReleaseAll();
        const auto after = Snapshot();
        for (int t = 0; t < KvRecordTypeCount; ++t)
            EXPECT_EQ(after[t], before_[t]) << "live records of type " << t << " leaked";
    }
    // Tests release what they own here, before the counts are compared.
    virtual void ReleaseAll() {}

    static std::array<long, KvRecordTypeCount> Snapshot() {
        std::array<long, KvRecordTypeCount> counts{};
        for (int t = 0; t < KvRecordTypeCount; ++t)
            counts[t] = kvLiveCount(static_cast<KvRecordType>(t));
        return counts;
    }

  private:
    std::array<long, KvRecordTypeCount> before_{};
};

#endif
