// Loading and unloading the library: the trace lines of both hooks, and the resource
// extension taken at load and released at unload.
#include "korvex/testing.h"

#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ModuleEntryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("tiller_module_" + std::to_string(getpid()));
        fs::create_directories(folder);
        fs::copy_file(TILLER_BUILD_DIR "/lib/libtiller.so", folder / "libtiller.so");
        kvClearTrace();
    }
    void TearDown() override {
        kvSetTracing(false);
        kvSetReadWriteTracing(false);
        fs::remove_all(folder);
    }
    void AddResourceExtension() {
        fs::copy_file(TILLER_BUILD_DIR "/lib/libtiller_test_resources.so", ResourcePath());
    }
    std::string ResourcePath() const { return folder / "libtiller.res.so"; }
    bool ResourceLoaded() const {
        void* handle = dlopen(ResourcePath().c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (handle) dlclose(handle);
        return handle != nullptr;
    }
    // Loads and unloads the copy; answers whether the resource extension was loaded between.
    bool LoadAndUnload() {
        void* library = dlopen((folder / "libtiller.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(library, nullptr) << dlerror();
        const bool resourcesLoaded = ResourceLoaded();
        if (library) dlclose(library);
        return resourcesLoaded;
    }
    fs::path folder;
};

} // namespace

TEST_F(ModuleEntryTest, TracesLoadAndUnloadWhenEitherSwitchIsOn) {
    kvSetTracing(true);
    LoadAndUnload();
    const std::vector<std::string> expected = {"TILLER(27): Tiller.DLL Initializing!",
                                               "TILLER(66): Tiller.DLL Terminating!"};
    EXPECT_EQ(kvTraceLines(), expected);

    kvClearTrace();
    kvSetTracing(false);
    kvSetReadWriteTracing(true);
    LoadAndUnload();
    EXPECT_EQ(kvTraceLines(), expected);

    kvClearTrace();
    kvSetReadWriteTracing(false);
    LoadAndUnload();
    EXPECT_TRUE(kvTraceLines().empty());
}

TEST_F(ModuleEntryTest, HoldsTheResourceExtensionWhileLoaded) {
    AddResourceExtension();
    EXPECT_TRUE(LoadAndUnload());
    EXPECT_FALSE(ResourceLoaded()) << "the extension is released at unload";
}
