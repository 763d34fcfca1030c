// The library's place in a host process: its dynamic symbol table, and `round`, which the
// library exports without taking libm's round from the host or from any other module. This
// program is built twice, linked with libtiller.so before libm and after it.
#include "tiller/tiller.h"

#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <sstream>

extern "C" double NeighbourRound(double x);

namespace {

// Called through a volatile pointer so that the compiler cannot round at compile time.
double (*volatile hostRound)(double) = &::round;
double (*volatile hostStdRound)(double) = [](double x) { return std::round(x); };
double (*volatile neighbourRound)(double) = &NeighbourRound;
double (*volatile libraryRound)(double) = &TillerRound;

// Checks a round function against 8-decimal rounding, halves away from zero.
void ExpectEightDecimals(double (*f)(double)) {
    EXPECT_EQ(f(1.234567895), 1.2345679);
    EXPECT_EQ(f(-1.234567895), -1.2345679);
    EXPECT_EQ(f(-2.5e-8), -3e-8);
    EXPECT_EQ(f(2.5), 2.5);
    EXPECT_EQ(f(0.0), 0.0);
}

} // namespace

TEST(RoundSymbol, HostAndNeighbourKeepLibmRoundWhileTheLibraryRoundsToEightDecimals) {
    for (double (*f)(double) : {hostRound, hostStdRound, neighbourRound}) {
        EXPECT_EQ(f(2.5), 3.0);
        EXPECT_EQ(f(2.123456789), 2.0);
        EXPECT_EQ(f(-2.5), -3.0);
    }
    ExpectEightDecimals(libraryRound);
}

TEST(RoundSymbol, ALoadedLibraryGivesItsRoundByVersion) {
    void* library = dlopen(TILLER_BUILD_DIR "/lib/libtiller.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto* versioned = reinterpret_cast<double (*)(double)>(dlvsym(library, "round", "TILLER_1"));
    ASSERT_NE(versioned, nullptr);
    ExpectEightDecimals(versioned);
    auto* plain = reinterpret_cast<double (*)(double)>(dlsym(RTLD_DEFAULT, "round"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain(2.5), 3.0) << "the process's plain round stays libm's";
    dlclose(library);
}

// Every defined dynamic symbol with its version: name@@TILLER_1 is a default version,
// name@TILLER_1 one that only a versioned reference reaches. The version node itself is the
// absolute symbol TILLER_1.
TEST(SymbolTable, ExportsTheNineteenFunctionsUnderOneVersionNode) {
    std::map<std::string, std::string> expected{{"TILLER_1", "A"}, {"round@TILLER_1", "T"}};
    std::istringstream names(
        "dbGetGCtrlManager dbDisposeGCtrlManager dbGCtrlCreate dbGCtrlDelete dbGCtrlReload "
        "dbGCtrlToString dbGCtrlShow dbGCtrlSetup dbGCtrlDrag dbGCtrlSetState "
        "dbGCtrlSetActiveViewport dbGCtrlTransform dbGHandleGetParams dbGCtrlGetHandles "
        "dbGHandleGetVisible dbGHandleSetVisible InitApi TerminateApi");
    for (auto name = std::istream_iterator<std::string>(names); name != decltype(name)(); ++name)
        expected[*name + "@@TILLER_1"] = "T";
    FILE* nm = popen("nm -D --defined-only " TILLER_BUILD_DIR "/lib/libtiller.so", "r");
    ASSERT_NE(nm, nullptr);
    std::map<std::string, std::string> exported;
    char address[64], type[8], name[512];
    while (std::fscanf(nm, "%63s %7s %511s", address, type, name) == 3)
        exported[name] = type;
    EXPECT_EQ(pclose(nm), 0);
    EXPECT_EQ(exported, expected);
}
