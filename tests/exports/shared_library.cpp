// The shared library as another program meets it: loaded by path, its three functions looked up
// by their plain C names and called through C function pointers, nothing else visible, and its
// log written beside the library itself.

#include "platform/platform.h"

#include <gtest/gtest.h>

// Only ELF builds make the library; on Windows the program itself is the module.
#if defined(SARNEX_SHARED_LIBRARY)

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

extern "C" {
typedef platform::BstrChar* (*OrvOptionPricerFn)(
    double*, double*, double*, double*, double*, double*, double*, double, double, int, double,
    double*, double, double, double, int*, int*, int, int, int, int, double*, double*, double,
    double, double, bool, bool, bool, bool, int);
typedef double (*VanillaPDESolverFn)(double, double, double, double, double, double, double,
                                     double, double, double, int, int, int, int, int, int, int,
                                     int, double, double, int, int);
typedef double (*ImpliedVolFn)(double, double, double, double, double, double, int);
}

namespace fs = std::filesystem;

// A copy of the library in a directory of its own, loaded from there, so that the files it writes
// beside itself land where the test can read them.
class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::path(::testing::TempDir()) /
               ("sarnex_module_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const fs::path copy = dir_ / fs::path(SARNEX_SHARED_LIBRARY).filename();
        fs::copy_file(SARNEX_SHARED_LIBRARY, copy);
        handle_ = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
    }
    void TearDown() override
    {
        if (handle_) dlclose(handle_);
        fs::remove_all(dir_);
    }
    template <class F>
    F symbol(const char* name)
    {
        return reinterpret_cast<F>(dlsym(handle_, name));
    }
    std::string readBeside(const char* name) const
    {
        std::ifstream in(dir_ / name);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
    void* handle_ = nullptr;
};

}  // namespace

TEST_F(LoadedLibrary, ExportsExactlyTheCFunctionsByTheirPlainNames)
{
    EXPECT_NE(symbol<void*>("OrvOptionPricer"), nullptr);
    EXPECT_NE(symbol<void*>("GARCH_VanillaPDESolver"), nullptr);
    EXPECT_NE(symbol<void*>("ImpliedVol"), nullptr);
    for (const char* name :
         {"VanillaHeston", "VanillaHestonGrid", "HESTON_VanillaCalibration",
          "GARCH_VanillaPDECalibration", "GARCH_VanillaPDECalibrationM",
          "HESTON_VanillaPDECalibration", "HESTON_VanillaPDECalibrationM", "SVPDECalibration"}) {
        EXPECT_NE(symbol<void*>(name), nullptr) << name;
    }
    // The C++ code inside stays hidden.
    EXPECT_EQ(symbol<void*>("_Z15brentImpliedVolPK16ImpliedVolTargetddd"), nullptr);
    EXPECT_EQ(symbol<void*>("_ZN8platform15moduleDirectoryEv"), nullptr);
}

TEST_F(LoadedLibrary, ImpliedVolRoundTripAndErrorValue)
{
    const auto impliedVol = symbol<ImpliedVolFn>("ImpliedVol");
    ASSERT_NE(impliedVol, nullptr);
    EXPECT_NEAR(impliedVol(9.413403383853016, 100, 100, 1, 0.03, 0, 0), 0.2, 1e-12);
    EXPECT_EQ(impliedVol(70.0, 100, 100, 1, 0.03, 0, 0), -999.0);
}

TEST_F(LoadedLibrary, SolverFailureGivesTheErrorValueAndALogRecordBesideTheLibrary)
{
    const auto solve = symbol<VanillaPDESolverFn>("GARCH_VanillaPDESolver");
    ASSERT_NE(solve, nullptr);
    EXPECT_EQ(solve(100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1, 99, 0,
                    0.0, 1.0, 0, 0),
              -999.0);
    EXPECT_NE(readBeside("SV_PDESolverLog.txt").find("unknown scheme number 99"),
              std::string::npos);
}

TEST_F(LoadedLibrary, SolverPricesAHestonCall)
{
    const auto solve = symbol<VanillaPDESolverFn>("GARCH_VanillaPDESolver");
    const auto impliedVol = symbol<ImpliedVolFn>("ImpliedVol");
    ASSERT_NE(solve, nullptr);
    // The semi-analytic Heston price of this call.
    const double referenceIV = impliedVol(8.92941045360215, 100, 100, 1, 0.03, 0, 0);
    const double iv = solve(100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1,
                            2, 1, 0.0, 1.0, 0, 0);
    EXPECT_NEAR(iv, referenceIV, 10e-4);
}

TEST_F(LoadedLibrary, PricerReturnsAnEmptyStringOnSuccessAndTheMessageOnFailure)
{
    const auto pricer = symbol<OrvOptionPricerFn>("OrvOptionPricer");
    ASSERT_NE(pricer, nullptr);
    double out[6][61];
    double params[6] = {0.5, 0.04, 0.04, 2.0, -0.7, 0.0};
    double five[5] = {0, 0, 0, 0, 0};
    double cpu = 0.0;
    int NS = 60;
    int Nv = 30;
    platform::BstrChar* result =
        pricer(out[0], out[1], out[2], out[3], out[4], out[5], &cpu, 100, 100, 30, 1.0, params,
               0.0, 0.0, 0.0, &NS, &Nv, 0, 0, 3, 0, five, five, -3.0, 0.0, 1.0, false, false,
               true, false, 0);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(platform::bstrLength(result), 0u) << platform::narrowFromBstr(result);
    platform::freeBstr(result);
    EXPECT_GT(params[1], 0.0);

    NS = 0;
    result = pricer(out[0], out[1], out[2], out[3], out[4], out[5], &cpu, 100, 100, 30, 1.0,
                    params, 0.0, 0.0, 0.0, &NS, &Nv, 0, 0, 3, 0, five, five, -3.0, 0.0, 1.0,
                    false, false, true, false, 0);
    EXPECT_EQ(platform::narrowFromBstr(result), "OrvOptionPricer: NS, Nv and NT must be positive");
    platform::freeBstr(result);
}

#else

TEST(LoadedLibrary, NotBuiltOnThisPlatform)
{
    GTEST_SKIP() << "this build makes no shared library of the exported functions";
}

#endif
