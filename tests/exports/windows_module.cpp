// sarnex.dll as another Windows program meets it: copied to a directory of its own, loaded from
// there through the platform layer, its functions looked up by the names of its export table
// (decorated in the 32-bit build) and called with the standard Windows calling convention, its
// option chain read and its logs written beside the module wherever that was loaded from, and the
// outside library heston.dll (the test build's stand-in beside this program) loaded by name. Runs
// under wine on Linux hosts.

#include "exports/chain_calibration_exports.h"
#include "exports/heston_chain_calibration.h"
#include "exports/single_option_exports.h"
#include "heston/heston_grid_export.h"
#include "heston/vanilla_heston_export.h"
#include "platform/export_api.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#if defined(_WIN32) && defined(SARNEX_WINDOWS_MODULE)

#include <process.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// An export: its plain name and the bytes of its arguments in the 32-bit build (int and bool 4,
// double 8, pointer 4), which the 32-bit table name carries.
struct Export {
    const char* name;
    int bytes;
};
constexpr Export kPricer{"OrvOptionPricer", 160}, kSolver{"GARCH_VanillaPDESolver", 136},
    kImpliedVol{"ImpliedVol", 52}, kVanillaHeston{"VanillaHeston", 84},
    kGrid{"VanillaHestonGrid", 92}, kHestonChain{"HESTON_VanillaCalibration", 40},
    kPerOption{"GARCH_VanillaPDECalibration", 84}, kPerExpiry{"GARCH_VanillaPDECalibrationM", 88},
    kHestonPerOption{"HESTON_VanillaPDECalibration", 80},
    kHestonPerExpiry{"HESTON_VanillaPDECalibrationM", 80}, kSelected{"SVPDECalibration", 88};
constexpr Export kExports[] = {kPricer,    kSolver,     kImpliedVol,      kVanillaHeston,
                               kGrid,      kHestonChain, kPerOption,      kPerExpiry,
                               kHestonPerOption, kHestonPerExpiry, kSelected};

std::string tableName(const Export& e)
{
#if defined(__i386__)
    return "_" + std::string(e.name) + "@" + std::to_string(e.bytes);
#else
    return e.name;
#endif
}

// Heston set A of the test data (S 100, r 0.03, d 0.01, v0 = vL = 0.04, mean reversion 1.5,
// volvol 0.3, rho -0.9), T = 1: strike, implied volatility and call price of three options.
constexpr double kChain[3][3] = {{90, 0.213080860399783, 15.060599471570242},
                                 {100, 0.19204862670956974, 8.5194857581278072},
                                 {110, 0.17051897121757401, 3.7867891129233868}};

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
// upwards from the lowest address, 4 bytes for an int or pointer (a bool is pushed as an int), 8
// for a double, no padding.
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

// Calls fn with the given stack arguments from an aligned stack and reports how many argument
// bytes were still on the stack after it returned: 0 when the callee removed them, as the standard
// Windows convention demands; all of them when it left that to the caller. A double result comes
// back on the x87 stack, a pointer in eax.
int bytesLeftOnStack(void* fn, const StackArguments& args, bool returnsDouble, double* value,
                     void** pointer)
{
    const void* src = args.bytes.data();
    unsigned count = static_cast<unsigned>(args.bytes.size());
    int popDouble = returnsDouble ? 1 : 0;
    double r = 0.0;
    void* p = nullptr;
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
        "movl %%eax, %[p]\n\t"
        "cmpl $0, %[pop]\n\t"
        "je 1f\n\t"
        "fstpl %[r]\n\t"
        "1:\n\t"
        : "+S"(src), "+c"(count), "+d"(fn), [r] "=m"(r), [p] "=m"(p)
        : [pop] "m"(popDouble)
        : "eax", "ebx", "edi", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5",
          "xmm6", "xmm7");
    *value = r;
    *pointer = p;
    return static_cast<int>(count);
}
#endif

std::string readFile(const fs::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string takeText(platform::Bstr message)
{
    const std::string text = message ? platform::narrowFromBstr(message) : "(null)";
    platform::freeBstr(message);
    return text;
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
    void* symbol(const std::string& name) const { return platform::findSymbol(library_, name.c_str()); }
    // The export e of the loaded module, by the type of the declaration f (calling convention
    // included).
    template <class F>
    F* function(const Export& e) const
    {
        F* const f = reinterpret_cast<F*>(symbol(tableName(e)));
        EXPECT_NE(f, nullptr) << tableName(e);
        return f;
    }

    fs::path dir_;
    platform::LibraryHandle library_ = nullptr;
};

}  // namespace

TEST_F(WindowsModule, ExportsOnlyTheTableSpellings)
{
    for (const Export& e : kExports) {
        EXPECT_NE(symbol(tableName(e)), nullptr) << tableName(e);
        // The compiler's own spelling of the symbol is not exported; in the 32-bit build neither is
        // the plain name.
        EXPECT_EQ(symbol(std::string(e.name) + "@" + std::to_string(e.bytes)), nullptr) << e.name;
#if defined(__i386__)
        EXPECT_EQ(symbol(e.name), nullptr) << e.name;
#endif
    }
    EXPECT_EQ(symbol("_ZN8platform15moduleDirectoryEv"), nullptr);  // no C++ code is
}

#if defined(__i386__)
TEST_F(WindowsModule, TheCalleeRemovesTheArguments)
{
    // Each call is the cheapest way through all arguments: an unknown scheme number, null arrays,
    // no chain beside this module yet (the chain functions answer 10000 at once).
    StackArguments pricer;
    for (int i = 0; i < 7; ++i) pricer << static_cast<double*>(nullptr);
    pricer << 100.0 << 100.0 << 30 << 1.0 << static_cast<double*>(nullptr) << 0.03 << 0.0 << 0.0
           << static_cast<int*>(nullptr) << static_cast<int*>(nullptr) << 0 << 0 << 3 << 0
           << static_cast<double*>(nullptr) << static_cast<double*>(nullptr) << -3.0 << 0.0
           << 1.0 << 0 << 0 << 1 << 0 << 0;  // the four flags as 4-byte ints
    StackArguments five;
    five << 0.04 << 0.04 << 1.5 << 0.3 << -0.9;
    StackArguments common = five;
    common << 60 << 30 << 30 << 2 << 2 << 0.0 << 1.0 << 0;
    StackArguments withOne = common;
    withOne << 0;
    StackArguments withTwo = withOne;
    withTwo << 0;
    const struct {
        Export e;
        StackArguments args;
        double value;         // for a double result
        const char* message;  // for a string result
    } calls[] = {
        {kPricer, pricer, 0.0,
         "OrvOptionPricer: cpuTime, params, NS, Nv and the two five-value arrays must not be null"},
        {kSolver,
         StackArguments() << 100.0 << 100.0 << 1.0 << 0.03 << 0.0 << 0.04 << 0.04 << 2.0 << 0.5
                          << -0.7 << 60 << 30 << 30 << 0 << 0 << 1 << 99 << 0 << 0.0 << 1.0 << 0
                          << 0,
         kError, nullptr},
        {kImpliedVol, StackArguments() << kBsCall << 100.0 << 100.0 << 1.0 << 0.03 << 0.0 << 0,
         0.2, nullptr},
        {kVanillaHeston,
         StackArguments() << 100.0 << 100.0 << 0.03 << 0.01 << 0.04 << 0.04 << 1.5 << 0.3 << -0.9
                          << 1.0 << 0,
         kChain[1][2], nullptr},
        {kGrid,
         StackArguments() << static_cast<double*>(nullptr) << static_cast<double*>(nullptr)
                          << 100.0 << 0.03 << 0.01 << 0.04 << 0.04 << 1.5 << 0.3 << -0.9 << 1.0
                          << 0 << 3 << 1,
         0.0, "VanillaHestonGrid: the spot and value arrays must not be null"},
        {kHestonChain, five, 10000.0, nullptr},
        {kHestonPerOption, common, 10000.0, nullptr},
        {kHestonPerExpiry, common, 10000.0, nullptr},
        {kPerOption, withOne, 10000.0, nullptr},
        {kPerExpiry, withTwo, 10000.0, nullptr},
        {kSelected, withTwo, 10000.0, nullptr},
    };
    for (const auto& c : calls) {
        ASSERT_EQ(c.args.bytes.size(), static_cast<std::size_t>(c.e.bytes)) << c.e.name;
        double value = 0.0;
        void* pointer = nullptr;
        EXPECT_EQ(bytesLeftOnStack(symbol(tableName(c.e)), c.args, !c.message, &value, &pointer), 0)
            << c.e.name;
        if (c.message) {
            EXPECT_EQ(takeText(static_cast<platform::Bstr>(pointer)), c.message);
        } else {
            EXPECT_NEAR(value, c.value, 1e-9) << c.e.name;
        }
    }
}
#endif

TEST_F(WindowsModule, SingleOptionExportsPriceAndLogBesideTheModule)
{
    const auto impliedVol = function<decltype(ImpliedVol)>(kImpliedVol);
    const auto solve = function<decltype(GARCH_VanillaPDESolver)>(kSolver);
    const auto pricer = function<decltype(OrvOptionPricer)>(kPricer);
    ASSERT_TRUE(impliedVol && solve && pricer);
    EXPECT_NEAR(impliedVol(kBsCall, 100, 100, 1, 0.03, 0, 0), 0.2, 1e-12);
    EXPECT_NEAR(impliedVol(kBsPut, 100, 100, 1, 0.03, 0, 1), 0.2, 1e-12);
    EXPECT_EQ(impliedVol(170.0, 100, 100, 1, 0.03, 0, 0), kError);  // a call above the spot

    // The finite-difference price of the Heston call, as an implied volatility within 10 bp.
    const double referenceIV = impliedVol(kHestonCall, 100, 100, 1, 0.03, 0, 0);
    ASSERT_NEAR(referenceIV, 0.19, 0.01);
    EXPECT_NEAR(solve(100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1, 2, 1,
                      0.0, 1.0, 0, 0),
                referenceIV, 10e-4);
    // A failed solve: the module found its own directory, the copy's, and logged there.
    EXPECT_EQ(solve(100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1, 99, 0,
                    0.0, 1.0, 0, 0),
              kError);
    EXPECT_NE(readFile(dir_ / "SV_PDESolverLog.txt").find("unknown scheme number 99"),
              std::string::npos);

    constexpr int kCapacity = 60;
    std::vector<std::vector<double>> out(6, std::vector<double>(kCapacity + 1, 7.0));
    // params[0] becomes exp(log(1 + rootT) (params[0] - 5 r)): 2^(-0.85 - 0.15) = 0.5 = volvol.
    double params[6] = {-0.85, 0.04, 0.04, 2.0, -0.7, 0.0};
    double five[5] = {0, 0, 0, 0, 0};
    double cpuTime = -1.0;  // asks for the implied volatility in params[4]
    int NS = kCapacity;
    int Nv = 30;
    EXPECT_EQ(takeText(pricer(out[0].data(), out[1].data(), out[2].data(), out[3].data(),
                              out[4].data(), out[5].data(), &cpuTime, 100, 100, 30, 1.0, params,
                              0.03, 0.0, 0.0, &NS, &Nv, 0, 0, 3, 0, five, five, -3.0, 0.0, 1.0,
                              false, false, true, false, 0)),
              "");
    ASSERT_GE(NS, 10);
    ASSERT_LE(NS, kCapacity);
    EXPECT_GE(cpuTime, 0.0);
    EXPECT_NEAR(params[4], referenceIV, 10e-4);
    // The four flags arrive as passed: no maturity bump (zeros), no variance bump (left alone).
    for (int i = 1; i <= NS; ++i) {
        ASSERT_GT(out[0][i], out[0][i - 1]) << i;
        EXPECT_EQ(out[4][i], 0.0) << i;
        EXPECT_EQ(out[5][i], 7.0) << i;
    }
}

TEST_F(WindowsModule, HestonAndChainExportsPriceTheReferenceChainBesideTheModule)
{
    const auto vanillaHeston = function<decltype(VanillaHeston)>(kVanillaHeston);
    const auto grid = function<decltype(VanillaHestonGrid)>(kGrid);
    const auto hestonChain = function<decltype(HESTON_VanillaCalibration)>(kHestonChain);
    const auto perOption = function<decltype(GARCH_VanillaPDECalibration)>(kPerOption);
    const auto perExpiry = function<decltype(GARCH_VanillaPDECalibrationM)>(kPerExpiry);
    const auto hestonPerOption = function<decltype(HESTON_VanillaPDECalibration)>(kHestonPerOption);
    const auto hestonPerExpiry = function<decltype(HESTON_VanillaPDECalibrationM)>(kHestonPerExpiry);
    const auto selected = function<decltype(SVPDECalibration)>(kSelected);
    ASSERT_TRUE(vanillaHeston && grid && hestonChain && perOption && perExpiry && hestonPerOption &&
                hestonPerExpiry && selected);
    EXPECT_NEAR(vanillaHeston(100, 90, 0.03, 0.01, 0.04, 0.04, 1.5, 0.3, -0.9, 1, 0), kChain[0][2],
                1e-9);

    // By the pricer and by heston.dll.
    double spots[4] = {0.0, 90.0, 100.0, 110.0}, inside[4] = {}, outside[4] = {};
    EXPECT_EQ(takeText(grid(spots, inside, 100, 0.03, 0.01, 0.04, 0.04, 1.5, 0.3, -0.9, 1, 0, 3,
                            true)),
              "");
    EXPECT_EQ(takeText(grid(spots, outside, 100, 0.03, 0.01, 0.04, 0.04, 1.5, 0.3, -0.9, 1, 0, 3,
                            false)),
              "");
    for (int i = 1; i < 4; ++i) EXPECT_NEAR(outside[i], inside[i], 1e-9) << spots[i];
    EXPECT_NEAR(inside[2], kChain[1][2], 1e-9);

    // No chain yet: 10000, with its record beside the module.
    EXPECT_EQ(perOption(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 0), 10000.0);
    EXPECT_NE(readFile(dir_ / "SV_PDESolverLog.txt").find("could not be opened"),
              std::string::npos);
    {
        std::ofstream chain(dir_ / "OptionsData.txt");
        chain.precision(17);
        chain << "3\n";
        for (const auto& o : kChain)
            chain << o[1] << " 100 " << o[0] << " 1 0.03 0.01 " << (o[0] < 100 ? 1 : 0) << " 0\n";
    }
    // "Results.txt" goes to the current directory.
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    EXPECT_LT(hestonChain(0.04, 0.04, 1.5, 0.3, -0.9), 1e-6);
    fs::current_path(previous);
    EXPECT_EQ(readFile(dir_ / "Results.txt").rfind("Objective function:\t", 0), 0u);

    // main's speed-mode grid: within 2 bp of the reference volatilities.
    const double a = perOption(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 0);
    const double b = perExpiry(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 0, 0);
    EXPECT_TRUE(a > 0.0 && a < 2e-4) << a;
    EXPECT_TRUE(b > 0.0 && b < 2e-4) << b;
    EXPECT_EQ(hestonPerOption(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0), a);
    EXPECT_EQ(hestonPerExpiry(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0), b);
    EXPECT_EQ(selected(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 3, 0), a);
    EXPECT_EQ(selected(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 0, 0), b);
    EXPECT_EQ(perExpiry(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 0, 2, 2, 0.0, 1.0, 0, 0, 0), kError);
}

#else

TEST(WindowsModule, NotBuiltOnThisPlatform)
{
    GTEST_SKIP() << "sarnex.dll is built by the Windows builds only";
}

#endif
