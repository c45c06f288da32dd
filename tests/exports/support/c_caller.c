/* A program written in C that loads the library by path and calls its exported functions through
 * their C declarations, as other programs do. Prints "all exports answered" when every answer is
 * right; otherwise names the first wrong one and exits with 1.
 * Arguments: the library, and the stand-in heston library. Both are copied into a directory of
 * their own, where the option chain is written beside the library as its users keep it. */

#include <dlfcn.h>
#include <math.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef uint16_t* Bstr; /* UTF-16 text, its byte length in the 32 bits before the pointer */

typedef Bstr (*OrvOptionPricerFn)(double*, double*, double*, double*, double*, double*, double*,
                                  double, double, int, double, double*, double, double, double,
                                  int*, int*, int, int, int, int, double*, double*, double, double,
                                  double, bool, bool, bool, bool, int);
typedef double (*SolverFn)(double, double, double, double, double, double, double, double,
                           double, double, int, int, int, int, int, int, int, int, double,
                           double, int, int);
typedef double (*ImpliedVolFn)(double, double, double, double, double, double, int);
typedef void (*FreeFn)(Bstr);
typedef double (*VanillaHestonFn)(double, double, double, double, double, double, double, double,
                                  double, double, int);
typedef Bstr (*GridFn)(double*, double*, double, double, double, double, double, double, double,
                       double, double, int, int, bool);
typedef double (*HestonChainFn)(double, double, double, double, double);
typedef double (*ChainFn)(double, double, double, double, double, int, int, int, int, int, double,
                          double, int);
typedef double (*ChainWithCodeFn)(double, double, double, double, double, int, int, int, int, int,
                                  double, double, int, int);
typedef double (*ChainWithTwoFn)(double, double, double, double, double, int, int, int, int, int,
                                 double, double, int, int, int);

/* Heston set A of the test data (S 100, r 0.03, d 0.01, v0 = vL = 0.04, mean reversion 1.5,
 * volvol 0.3, rho -0.9), T = 1: strike, implied volatility, call price. */
static const double kChain[3][3] = {{90, 0.213080860399783, 15.060599471570242},
                                    {100, 0.19204862670956974, 8.5194857581278072},
                                    {110, 0.17051897121757401, 3.7867891129233868}};

static FreeFn freeString;

static int copyFile(const char* from, const char* to)
{
    FILE* in = fopen(from, "rb");
    FILE* out = fopen(to, "wb");
    char buffer[65536];
    size_t n;
    int ok = in && out;
    while (ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0) ok = fwrite(buffer, 1, n, out) == n;
    if (in) fclose(in);
    if (out && fclose(out) != 0) ok = 0;
    return ok;
}

static const char* baseName(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

static int fail(const char* what)
{
    printf("wrong: %s\n", what);
    return 1;
}

/* Whether s holds exactly the text expected (its length prefix, characters and terminator); frees
 * it. */
static int takeText(Bstr s, const char* expected)
{
    const size_t n = strlen(expected);
    uint32_t bytes = 0;
    int same = s != NULL;
    if (same) memcpy(&bytes, (const unsigned char*)s - sizeof bytes, sizeof bytes);
    same = same && bytes == 2 * n && s[n] == 0;
    for (size_t i = 0; same && i < n; ++i) same = s[i] == (uint16_t)expected[i];
    if (s) freeString(s);
    return same;
}

int main(int argc, char** argv)
{
    if (argc < 3) return fail("usage: c_caller <library> <heston stand-in>");
    char dir[] = "/tmp/sarnex_c_caller_XXXXXX";
    if (!mkdtemp(dir)) return fail("mkdtemp");
    char library[4096], standIn[4096], chainFile[4096];
    snprintf(library, sizeof library, "%s/%s", dir, baseName(argv[1]));
    snprintf(standIn, sizeof standIn, "%s/%s", dir, baseName(argv[2]));
    snprintf(chainFile, sizeof chainFile, "%s/OptionsData.txt", dir);
    if (!copyFile(argv[1], library) || !copyFile(argv[2], standIn)) return fail("copying the libraries");
    FILE* chain = fopen(chainFile, "w");
    if (!chain) return fail("writing the option chain");
    fprintf(chain, "3\n");
    for (int i = 0; i < 3; ++i)
        fprintf(chain, "%.17g 100 %.17g 1 0.03 0.01 %d 0\n", kChain[i][1], kChain[i][0], kChain[i][0] < 100);
    fclose(chain);
    if (chdir(dir) != 0) return fail("chdir"); /* "Results.txt" goes to the current directory */
    void* lib = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        printf("%s\n", dlerror());
        return fail("dlopen");
    }
    /* POSIX allows the object-to-function pointer conversion dlsym needs. */
    ImpliedVolFn impliedVol = (ImpliedVolFn)dlsym(lib, "ImpliedVol");
    SolverFn solver = (SolverFn)dlsym(lib, "GARCH_VanillaPDESolver");
    OrvOptionPricerFn pricer = (OrvOptionPricerFn)dlsym(lib, "OrvOptionPricer");
    freeString = (FreeFn)dlsym(lib, "SysFreeString");
    VanillaHestonFn vanillaHeston = (VanillaHestonFn)dlsym(lib, "VanillaHeston");
    GridFn grid = (GridFn)dlsym(lib, "VanillaHestonGrid");
    HestonChainFn hestonChain = (HestonChainFn)dlsym(lib, "HESTON_VanillaCalibration");
    ChainWithCodeFn perOption = (ChainWithCodeFn)dlsym(lib, "GARCH_VanillaPDECalibration");
    ChainWithTwoFn perExpiry = (ChainWithTwoFn)dlsym(lib, "GARCH_VanillaPDECalibrationM");
    ChainFn hestonPerOption = (ChainFn)dlsym(lib, "HESTON_VanillaPDECalibration");
    ChainFn hestonPerExpiry = (ChainFn)dlsym(lib, "HESTON_VanillaPDECalibrationM");
    ChainWithTwoFn selected = (ChainWithTwoFn)dlsym(lib, "SVPDECalibration");
    if (!impliedVol || !solver || !pricer || !freeString || !vanillaHeston || !grid ||
        !hestonChain || !perOption || !perExpiry || !hestonPerOption || !hestonPerExpiry || !selected)
        return fail("a function is missing from the library");

    /* Black-Scholes call at volatility 0.2 (S = K = 100, T = 1, r = 0.03). */
    if (fabs(impliedVol(9.413403383853016, 100, 100, 1, 0.03, 0, 0) - 0.2) > 1e-12 ||
        impliedVol(-1.0, 100.0, 110.0, 0.5, 0.02, 0.0, 0) != -999.0)
        return fail("ImpliedVol of a Black-Scholes price and of a negative one");
    /* Heston call (model code 0): its semi-analytic price is 8.92941045360215. */
    const double reference = impliedVol(8.92941045360215, 100, 100, 1, 0.03, 0, 0);
    if (fabs(solver(100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1, 2, 1, 0.0,
                    1.0, 0, 0) - reference) > 10e-4)
        return fail("GARCH_VanillaPDESolver implied volatility of a Heston call");

    double out[6][61];
    double params[6] = {0.5, 0.04, 0.04, 2.0, -0.7, 0.0}, five[5] = {0, 0, 0, 0, 0}, cpu = 0.0;
    int NS = 60, Nv = 30;
    if (!takeText(pricer(out[0], out[1], out[2], out[3], out[4], out[5], &cpu, 100, 100, 30, 1.0,
                         params, 0.0, 0.0, 0.0, &NS, &Nv, 0, 0, 3, 0, five, five, -3.0, 0.0, 1.0,
                         false, false, true, false, 0), ""))
        return fail("OrvOptionPricer: a successful call returns an empty string");
    NS = 0;
    if (!takeText(pricer(out[0], out[1], out[2], out[3], out[4], out[5], &cpu, 100, 100, 30, 1.0,
                         params, 0.0, 0.0, 0.0, &NS, &Nv, 0, 0, 3, 0, five, five, -3.0, 0.0, 1.0,
                         false, false, true, false, 0),
                  "OrvOptionPricer: NS, Nv and NT must be positive"))
        return fail("OrvOptionPricer: the message of a failure");

    if (fabs(vanillaHeston(100, 100, 0.03, 0.01, 0.04, 0.04, 1.5, 0.3, -0.9, 1, 0) - kChain[1][2]) > 1e-9)
        return fail("VanillaHeston of a reference call");
    /* The grid through the pricer and through the stand-in heston library beside the library. */
    double spots[4] = {0, 90, 100, 110}, inside[4], outside[4];
    if (!takeText(grid(spots, inside, 100, 0.03, 0.01, 0.04, 0.04, 1.5, 0.3, -0.9, 1, 0, 3, true), "") ||
        !takeText(grid(spots, outside, 100, 0.03, 0.01, 0.04, 0.04, 1.5, 0.3, -0.9, 1, 0, 3, false), ""))
        return fail("VanillaHestonGrid: an empty string on success");
    for (int i = 1; i < 4; ++i)
        if (fabs(inside[i] - outside[i]) > 1e-9) return fail("VanillaHestonGrid: the two paths agree");
    if (fabs(inside[2] - kChain[1][2]) > 1e-9 || outside[0] != 0.0)
        return fail("VanillaHestonGrid: reference call and boundary");

    if (fabs(hestonChain(0.04, 0.04, 1.5, 0.3, -0.9)) > 1e-6)
        return fail("HESTON_VanillaCalibration at the chain's own parameters");
    /* The chain by the PDE at main's speed-mode grid: within a few basis points. */
    const double a = perOption(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 0);
    const double b = perExpiry(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 0, 0);
    if (!(a > 0.0 && a < 2e-4) || !(b > 0.0 && b < 2e-4))
        return fail("GARCH_VanillaPDECalibration(M) of a Heston chain at its parameters");
    if (hestonPerOption(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0) != a ||
        hestonPerExpiry(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0) != b ||
        selected(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 3, 0) != a ||
        selected(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 0, 0) != b)
        return fail("HESTON_VanillaPDECalibration(M) and SVPDECalibration pick their variant");
    if (perOption(0.04, 0.04, 1.5, 0.3, -0.9, 0, 30, 30, 2, 2, 0.0, 1.0, 0, 0) != -999.0)
        return fail("GARCH_VanillaPDECalibration with NS = 0");
    remove(chainFile);
    if (perExpiry(0.04, 0.04, 1.5, 0.3, -0.9, 60, 30, 30, 2, 2, 0.0, 1.0, 0, 0, 0) != 10000.0)
        return fail("GARCH_VanillaPDECalibrationM without its chain");
    const char* const written[] = {"Results.txt", "SV_PDESolverLog.txt", "GARCH_PDESolverLog.txt",
                                   baseName(library), baseName(standIn)};
    for (size_t i = 0; i < sizeof written / sizeof written[0]; ++i) remove(written[i]);
    if (chdir("/") != 0 || rmdir(dir) != 0)
        return fail("the directory holds more than the files it was given and the exports write");
    /* A host that unloads the library after parallel calls goes on: the library stays mapped, so
     * the threads of its OpenMP runtime, which this program does not use itself, keep their code. */
    if (dlclose(lib) != 0) return fail("dlclose");
    usleep(200000);
    printf("all exports answered\n");
    return 0;
}
