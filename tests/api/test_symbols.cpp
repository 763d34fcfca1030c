// The library in a host process: exactly its nineteen versioned symbols, and a `round` that
// the host, a neighbouring library and std::round never bind to. Built twice, linked with
// libtiller.so before libm and after it.
#include "tiller/tiller.h"

#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <set>

extern "C" double NeighbourRound(double x);

// Called through volatile pointers, so that nothing is rounded at compile time.
TEST(RoundSymbol, OnlyCallersThatAskForItGetTheLibraryRound) {
    double (*volatile libm[])(double) = {&::round, [](double x) { return std::round(x); },
                                         &NeighbourRound};
    for (double (*f)(double) : libm)
        EXPECT_EQ(f(2.5) + f(-2.123456789), 1.0);
    void* library = dlopen(TILLER_BUILD_DIR "/lib/libtiller.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    double (*volatile tiller[])(double) = {
        &TillerRound, reinterpret_cast<double (*)(double)>(dlvsym(library, "round", "TILLER_1"))};
    for (double (*f)(double) : tiller) {
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f(1.234567895), 1.2345679);
        EXPECT_EQ(f(-2.5e-8), -3e-8);
        EXPECT_EQ(f(2.5), 2.5);
    }
    dlclose(library);
}

TEST(SymbolTable, ExportsTheNineteenFunctionsUnderOneVersionNode) {
    std::set<std::string> expected{"A TILLER_1", "T round@TILLER_1"};
    for (const char* name :
         {"dbGetGCtrlManager", "dbDisposeGCtrlManager", "dbGCtrlCreate", "dbGCtrlDelete",
          "dbGCtrlReload", "dbGCtrlToString", "dbGCtrlShow", "dbGCtrlSetup", "dbGCtrlDrag",
          "dbGCtrlSetState", "dbGCtrlSetActiveViewport", "dbGCtrlTransform", "dbGHandleGetParams",
          "dbGCtrlGetHandles", "dbGHandleGetVisible", "dbGHandleSetVisible", "InitApi",
          "TerminateApi"})
        expected.insert(std::string("T ") + name + "@@TILLER_1");
    FILE* nm = popen("nm -D --defined-only " TILLER_BUILD_DIR "/lib/libtiller.so", "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> exported;
    char address[64], type[8], name[512];
    while (std::fscanf(nm, "%63s %7s %511s", address, type, name) == 3)
        exported.insert(std::string(type) + " " + name);
    EXPECT_EQ(pclose(nm), 0);
    EXPECT_EQ(exported, expected);
}
