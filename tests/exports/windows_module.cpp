// sarnex.dll as another Windows program meets it: copied to a directory of its own, loaded from
// there through the platform layer, its three functions looked up by the names of its export table
// (decorated in the 32-bit build) and called with the standard Windows calling convention, and its
// log written beside the module wherever that was loaded from. Runs under wine on Linux hosts.

#include "platform/export_api.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#if defined(_WIN32) && defined(SARNEX_WINDOWS_MODULE)

#include <process.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

#if defined(__i386__)
const char* const kPricerName = "_OrvOptionPricer@160";
const char* const kSolverName = "_GARCH_VanillaPDESolver@136";
const char* const kImpliedVolName = "_ImpliedVol@52";
#else
const char* const kPricerName = "OrvOptionPricer";
const char* const kSolverName = "GARCH_VanillaPDESolver";
const char* const kImpliedVolName = "ImpliedVol";
#endif

using PricerFn = platform::Bstr(SARNEX_CALL*)(
    double*, double*, double*, double*, double*, double*, double*, double, double, int, double,
    double*, double, double, double, int*, int*, int, int, int, int, double*, double*, double,
    double, double, bool, bool, bool, bool, int);
using SolverFn = double(SARNEX_CALL*)(double, double, double, double, double, double, double,
                                      double, double, double, int, int, int, int, int, int, int,
                                      int, double, double, int, int);
using ImpliedVolFn = double(SARNEX_CALL*)(double, double, double, double, double, double, int);

// Black-Scholes call, S = K = 100, T = 1, r = 0.03, d = 0, sigma = 0.2 (d1 = 0.25, d2 = 0.05), and
// the put of the same strike by parity: C - S + K exp(-rT).
constexpr double kBsCall = 9.413403383853016;
constexpr double kBsPut = kBsCall - 100.0 + 97.04455335485082;
// Semi-analytic Heston call of the same option with v0 = vL = 0.04, kappa = 2, volvol = 0.5,
// rho = -0.7 (the test data's case 1).
constexpr double kHestonCall = 8.92941045360215;
constexpr double kError = -999.0;

#if defined(__i386__)
// The arguments of a 32-bit call as the caller lays them out on the stack: in declaration order
// upwards from the lowest address, 4 bytes for an int, 8 for a double, no padding.
struct StackArguments {
    std::vector<unsigned char> bytes;
    template <class T>
    StackArguments& operator<<(T value)
    {
        const std::size_t at = bytes.size();
        bytes.resize(at + sizeof value);
        std::memcpy(bytes.data() + at, &value, sizeof value);
        return *this;
    }
};

// Calls fn, which returns a double, with the given stack arguments from an aligned stack, and
// reports how many argument bytes were still on the stack after it returned: 0 when the callee
// removed them, as the standard Windows convention demands; all of them when it left that to the
// caller.
int bytesLeftOnStack(void* fn, const StackArguments& args, double* result)
{
    const void* src = args.bytes.data();
    unsigned count = static_cast<unsigned>(args.bytes.size());
    int left = 0;
    double r = 0.0;
    asm volatile(
        "movl %%esp, %%ebx\n\t"   // the caller's stack, restored below
        "subl %%ecx, %%esp\n\t"
        "andl $-16, %%esp\n\t"
        "movl %%esp, %%edi\n\t"
        "cld\n\t"
        "rep movsb\n\t"           // edi ends just above the arguments (callee-saved)
        "call *%%edx\n\t"
        "movl %%edi, %%ecx\n\t"
        "subl %%esp, %%ecx\n\t"
        "movl %%ebx, %%esp\n\t"
        "fstpl %[r]\n\t"          // the double result comes back on the x87 stack
        : "+S"(src), "+c"(count), "+d"(fn), [r] "=m"(r)
        :
        : "eax", "ebx", "edi", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5",
          "xmm6", "xmm7");
    left = static_cast<int>(count);
    *result = r;
    return left;
}
#endif

std::string readFile(const fs::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class WindowsModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The test program's own directory, named by the system for the module of the running code.
        const fs::path original =
            (fs::path(platform::moduleDirectory()) / SARNEX_WINDOWS_MODULE).make_preferred();
        ASSERT_TRUE(fs::exists(original)) << original.string();
        dir_ = fs::path(::testing::TempDir()) /
               ("sarnex_module_" + std::to_string(sizeof(void*) * 8) + "_" +
                std::to_string(_getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::path copy = dir_ / "sarnex.dll";
        fs::copy_file(original, copy);
        library_ = platform::loadLibrary(copy.make_preferred().string());
        ASSERT_NE(library_, nullptr) << copy.string();
    }
    void TearDown() override
    {
        platform::freeLibrary(library_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    template <class F>
    F function(const char* name) const
    {
        return reinterpret_cast<F>(platform::findSymbol(library_, name));
    }

    fs::path dir_;
    platform::LibraryHandle library_ = nullptr;
};

}  // namespace

TEST_F(WindowsModule, ExportsOnlyTheTableSpellings)
{
    EXPECT_NE(function<void*>(kPricerName), nullptr);
    EXPECT_NE(function<void*>(kSolverName), nullptr);
    EXPECT_NE(function<void*>(kImpliedVolName), nullptr);
    // The compiler's own spelling of the symbol is not exported, and no C++ code is.
    EXPECT_EQ(function<void*>("ImpliedVol@52"), nullptr);
    EXPECT_EQ(function<void*>("_ZN8platform15moduleDirectoryEv"), nullptr);
#if defined(__i386__)
    EXPECT_EQ(function<void*>("ImpliedVol"), nullptr);
#endif
}

TEST_F(WindowsModule, ImpliedVolInvertsBlackScholesPrices)
{
    const auto impliedVol = function<ImpliedVolFn>(kImpliedVolName);
    ASSERT_NE(impliedVol, nullptr);
    EXPECT_NEAR(impliedVol(kBsCall, 100, 100, 1, 0.03, 0, 0), 0.2, 1e-12);
    EXPECT_NEAR(impliedVol(kBsPut, 100, 100, 1, 0.03, 0, 1), 0.2, 1e-12);
    // A call cannot be worth more than the spot.
    EXPECT_EQ(impliedVol(170.0, 100, 100, 1, 0.03, 0, 0), kError);
}

#if defined(__i386__)
TEST_F(WindowsModule, TheCalleeRemovesTheArguments)
{
    double result = 0.0;
    StackArguments iv;
    iv << kBsCall << 100.0 << 100.0 << 1.0 << 0.03 << 0.0 << 0;
    ASSERT_EQ(iv.bytes.size(), 52u);
    EXPECT_EQ(bytesLeftOnStack(function<void*>(kImpliedVolName), iv, &result), 0);
    EXPECT_NEAR(result, 0.2, 1e-12);

    // An unknown scheme number: the cheapest way through all 22 arguments.
    StackArguments solve;
    solve << 100.0 << 100.0 << 1.0 << 0.03 << 0.0 << 0.04 << 0.04 << 2.0 << 0.5 << -0.7 << 60
          << 30 << 30 << 0 << 0 << 1 << 99 << 0 << 0.0 << 1.0 << 0 << 0;
    ASSERT_EQ(solve.bytes.size(), 136u);
    EXPECT_EQ(bytesLeftOnStack(function<void*>(kSolverName), solve, &result), 0);
    EXPECT_EQ(result, kError);
}
#endif

TEST_F(WindowsModule, SolverPricesAHestonCallWithin10bpOfTheSemiAnalyticPrice)
{
    const auto solve = function<SolverFn>(kSolverName);
    const auto impliedVol = function<ImpliedVolFn>(kImpliedVolName);
    ASSERT_NE(solve, nullptr);
    ASSERT_NE(impliedVol, nullptr);
    const double referenceIV = impliedVol(kHestonCall, 100, 100, 1, 0.03, 0, 0);
    ASSERT_NEAR(referenceIV, 0.19, 0.01);
    const double iv =
        solve(100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1, 2, 1, 0.0, 1.0, 0, 0);
    EXPECT_NEAR(iv, referenceIV, 10e-4);
}

TEST_F(WindowsModule, AFailedSolveIsLoggedBesideTheModule)
{
    const auto solve = function<SolverFn>(kSolverName);
    ASSERT_NE(solve, nullptr);
    EXPECT_EQ(solve(100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1, 99, 0,
                    0.0, 1.0, 0, 0),
              kError);
    // The module found its own directory, the copy's, and wrote there.
    EXPECT_NE(readFile(dir_ / "SV_PDESolverLog.txt").find("unknown scheme number 99"),
              std::string::npos);
}

TEST_F(WindowsModule, PricerFillsTheSpotGridAndReturnsAnEmptyString)
{
    const auto pricer = function<PricerFn>(kPricerName);
    ASSERT_NE(pricer, nullptr);
    constexpr int kCapacity = 60;
    std::vector<std::vector<double>> out(6, std::vector<double>(kCapacity + 1, 7.0));
    // params[0] becomes exp(log(1 + rootT) (params[0] - 5 r)): 2^(-0.85 - 0.15) = 0.5 = volvol.
    double params[6] = {-0.85, 0.04, 0.04, 2.0, -0.7, 0.0};
    double five[5] = {0, 0, 0, 0, 0};
    double cpuTime = -1.0;  // asks for the implied volatility in params[4]
    int NS = kCapacity;
    int Nv = 30;
    platform::Bstr result =
        pricer(out[0].data(), out[1].data(), out[2].data(), out[3].data(), out[4].data(),
               out[5].data(), &cpuTime, 100, 100, 30, 1.0, params, 0.03, 0.0, 0.0, &NS, &Nv, 0, 0,
               3, 0, five, five, -3.0, 0.0, 1.0, false, false, true, false, 0);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(platform::bstrLength(result), 0u) << platform::narrowFromBstr(result);
    platform::freeBstr(result);
    ASSERT_GE(NS, 10);
    ASSERT_LE(NS, kCapacity);
    EXPECT_GE(cpuTime, 0.0);

    const auto impliedVol = function<ImpliedVolFn>(kImpliedVolName);
    const double referenceIV = impliedVol(kHestonCall, 100, 100, 1, 0.03, 0, 0);
    EXPECT_NEAR(params[4], referenceIV, 10e-4);
    EXPECT_NEAR(params[1], kHestonCall, 0.05);

    // A call along the grid: zero at zero spot, rising, between its lower bound and the spot, with
    // its delta in [0, 1]. The solution is a discrete one, so tiny undershoots (a few 1e-6 on
    // this grid) are allowed for.
    constexpr double kSlack = 1e-4;
    EXPECT_EQ(out[0][0], 0.0);
    EXPECT_NEAR(out[1][0], 0.0, 1e-12);
    for (int i = 1; i <= NS; ++i) {
        const double s = out[0][i], v = out[1][i];
        ASSERT_GT(s, out[0][i - 1]) << i;
        EXPECT_GE(v, out[1][i - 1] - kSlack) << "spot " << s;
        EXPECT_GE(v, std::max(s - 100.0 * std::exp(-0.03), 0.0) - kSlack) << "spot " << s;
        EXPECT_LE(v, s) << "spot " << s;
        EXPECT_GE(out[2][i], -kSlack) << "spot " << s;
        EXPECT_LE(out[2][i], 1.0 + kSlack) << "spot " << s;
        EXPECT_EQ(out[4][i], 0.0) << "spot " << s;  // no maturity bump asked
        EXPECT_EQ(out[5][i], 7.0) << "spot " << s;  // no variance bump asked: left alone
    }
}

#else

TEST(WindowsModule, NotBuiltOnThisPlatform)
{
    GTEST_SKIP() << "sarnex.dll is built by the Windows builds only";
}

#endif
