// Record accounting, fault injection and the OLE stand-ins of the reference host. Tracing and
// the resource extension are checked through the library (tests/part, tests/api).
#include "support/live_records.h"
#include "tiller/host/korvex.h"

namespace {

class RecordsTest : public LiveRecordsTest {};

TEST_F(RecordsTest, LiveCountsFollowCreationDisposalAndInjectedFailures) {
    const long total = kvLiveTotal(), vertices = kvLiveCount(KvVertex);
    MatrixStruct* m = MatrixNewEx();
    ExtentsStruct* e = ExtentsNewEx();
    EXPECT_EQ(kvLiveTotal(), total + 2);
    kvFailNthCreation(2);
    VertexStruct* first = VertexNewEx(1, 2, 3);
    EXPECT_FALSE(kvFailureFired());
    const long created = kvCreationCount();
    EXPECT_EQ(VertexNewEx(0, 0, 0), nullptr);
    EXPECT_TRUE(kvFailureFired());
    EXPECT_EQ(kvCreationCount(), created);
    EXPECT_EQ(kvLiveCount(KvVertex), vertices + 1);
    VertexStruct* third = VertexCopy(first, m);
    EXPECT_EQ(kvLiveCount(KvVertex), vertices + 2);
    for (VertexStruct** v : {&first, &third})
        VertexDispose(v);
    MatrixDispose(&m);
    ExtentsDispose(&e);
    EXPECT_TRUE(!m && !e && !first);
    EXPECT_EQ(kvLiveTotal(), total);
}

TEST_F(RecordsTest, SeparateReleasesItsPartialResultsWhenACreationFails) {
    for (long n = 1; n <= 3; ++n) {
        kvFailNthCreation(n);
        VertexStruct *t = nullptr, *s = nullptr;
        MatrixStruct* r = nullptr;
        EXPECT_EQ(MatrixSeparate(nullptr, &t, &s, &r), 0) << "failing creation " << n;
        EXPECT_TRUE(t == nullptr && s == nullptr && r == nullptr);
    }
    kvFailNthCreation(1);
    int ok = -1;
    VertexStruct a{0, 0, 0, nullptr, nullptr}, b{1, 0, 0, nullptr, nullptr},
        c{0, 1, 0, nullptr, nullptr};
    EXPECT_EQ(MatrixPlaneTo(&a, &b, &c, &ok), nullptr);
    EXPECT_EQ(ok, 1);
}

TEST_F(RecordsTest, VariantsAndSafeArraysOwnTheirStrings) {
    const long strings = kvLiveCount(KvBstr);
    VARIANT text, copy;
    VariantInit(&text);
    VariantInit(&copy);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"handle_name");
    SAFEARRAY* names = kvSafeArrayCreate(VT_BSTR, 2);
    SAFEARRAY* values = kvSafeArrayCreate(VT_VARIANT, 1);
    ASSERT_TRUE(names && values);
    EXPECT_EQ(kvSafeArrayPutElement(names, 1, L"second"), S_OK);
    EXPECT_EQ(kvSafeArrayPutElement(names, 2, L"outside"), DISP_E_BADINDEX);
    EXPECT_EQ(kvSafeArrayPutElement(values, 0, &text), S_OK);
    VariantClear(&text);
    EXPECT_EQ(kvLiveCount(KvBstr), strings + 2);

    BSTR name = nullptr;
    int32_t index = 1;
    ASSERT_EQ(SafeArrayGetElement(names, &index, &name), S_OK);
    EXPECT_STREQ(name, L"second");
    SysFreeString(name);
    index = 0;
    ASSERT_EQ(SafeArrayGetElement(values, &index, &copy), S_OK);
    EXPECT_STREQ(copy.bstrVal, L"handle_name");
    VariantClear(&copy);
    kvFailNthCreation(1);
    EXPECT_NE(SafeArrayGetElement(values, &index, &copy), S_OK);
    EXPECT_EQ(copy.vt, VT_EMPTY);
    index = 1;
    EXPECT_EQ(SafeArrayGetElement(values, &index, &copy), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(names), S_OK);
    EXPECT_EQ(SafeArrayDestroy(values), S_OK);
    EXPECT_EQ(kvLiveCount(KvBstr), strings);
}

} // namespace
