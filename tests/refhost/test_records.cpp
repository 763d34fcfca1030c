// Record accounting, fault injection, the OLE stand-ins, tracing and platform services of the
// reference host.
#include "support/live_records.h"
#include "tiller/host/korvex.h"
#include "tiller/host/plinth.h"
#include "tiller/host/tracery.h"

#include <dlfcn.h>
#include <filesystem>
#include <link.h>

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
    EXPECT_EQ(ok, 0);
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

TEST(Trace, KeepsFormattedLinesAndAnswersTheSwitches) {
    kvClearTrace();
    kvSetReadWriteTracing(true);
    EXPECT_TRUE(QVRWDebugGetEnable() && !QVDebugGetEnable());
    kvSetReadWriteTracing(false);
    QVDebugTraceEx("TILLER", 27, "Tiller.DLL Initializing!\n");
    QVDebugLine("GHandlePart", 310, "element error", 0);
    const std::vector<std::string> expected = {"TILLER(27): Tiller.DLL Initializing!",
                                               "GHandlePart(310): element error"};
    EXPECT_EQ(kvTraceLines(), expected);
}

std::filesystem::path LoadedPath(void* handle) {
    link_map* map = nullptr;
    dlinfo(handle, RTLD_DI_LINKMAP, &map);
    return map->l_name;
}

// A module "libmodule.so" gets the resource library "libmodule.res.so" beside it when there is
// one. Two copies of a system library already in the process stand in for both.
TEST(Platform, ResourceExtensionBesideTheModuleAndScreenWidth) {
    EXPECT_EQ(GetSystemMetrics(0), 1920);
    kvSetScreenWidth(2560);
    EXPECT_EQ(GetSystemMetrics(0), 2560);
    kvSetScreenWidth(1920);

    EXPECT_EQ(qvLoadResExtDLL(nullptr, false), nullptr);
    void* korvex = dlopen("libkorvex.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(korvex, nullptr);
    EXPECT_EQ(qvLoadResExtDLL(korvex, false), nullptr);
    dlclose(korvex);

    void* png = dlopen("libpng16.so.16", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(png, nullptr);
    const auto folder = std::filesystem::temp_directory_path() / "korvex-res-test";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(LoadedPath(png), folder / "libmodule.so",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(LoadedPath(png), folder / "libmodule.res.so",
                               std::filesystem::copy_options::overwrite_existing);
    dlclose(png);
    void* module = dlopen((folder / "libmodule.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    void* resources = qvLoadResExtDLL(module, false);
    ASSERT_NE(resources, nullptr);
    EXPECT_EQ(LoadedPath(resources), folder / "libmodule.res.so");
    qvFreeResExtDLL(resources);
    dlclose(module);
    std::filesystem::remove_all(folder);
}

} // namespace
