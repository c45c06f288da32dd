/* A program written in C that loads the library by path and calls its exported functions through
 * their C declarations, as other programs do. Prints "all exports answered" when every answer is
 * right; otherwise names the first wrong one and exits with 1. */

#include <dlfcn.h>
#include <math.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

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

static int fail(const char* what)
{
    printf("wrong: %s\n", what);
    return 1;
}

static uint32_t bstrBytes(const Bstr s)
{
    uint32_t bytes;
    memcpy(&bytes, (const unsigned char*)s - sizeof bytes, sizeof bytes);
    return bytes;
}

/* Black-Scholes call, for a price whose volatility is known exactly. */
static double bsCall(double S, double K, double T, double r, double vol)
{
    const double sd = vol * sqrt(T);
    const double d1 = (log(S / K) + (r + 0.5 * vol * vol) * T) / sd;
    return S * 0.5 * erfc(-d1 / sqrt(2.0)) - K * exp(-r * T) * 0.5 * erfc(-(d1 - sd) / sqrt(2.0));
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        return fail("usage: c_caller <library>");
    }
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        printf("%s\n", dlerror());
        return fail("dlopen");
    }
    /* POSIX allows the object-to-function pointer conversion dlsym needs. */
    ImpliedVolFn impliedVol = (ImpliedVolFn)dlsym(lib, "ImpliedVol");
    SolverFn solver = (SolverFn)dlsym(lib, "GARCH_VanillaPDESolver");
    OrvOptionPricerFn pricer = (OrvOptionPricerFn)dlsym(lib, "OrvOptionPricer");
    FreeFn freeString = (FreeFn)dlsym(lib, "SysFreeString");
    if (!impliedVol || !solver || !pricer || !freeString) {
        return fail("a function is missing from the library");
    }

    const double price = bsCall(100.0, 110.0, 0.5, 0.02, 0.3);
    if (fabs(impliedVol(price, 100.0, 110.0, 0.5, 0.02, 0.0, 0) - 0.3) > 1e-10) {
        return fail("ImpliedVol of a Black-Scholes price");
    }
    if (impliedVol(-1.0, 100.0, 110.0, 0.5, 0.02, 0.0, 0) != -999.0) {
        return fail("ImpliedVol of a negative price");
    }

    /* Heston call (model code 0): its semi-analytic price is 8.92941045360215. */
    const double reference = impliedVol(8.92941045360215, 100, 100, 1, 0.03, 0, 0);
    const double iv = solver(100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1,
                             2, 1, 0.0, 1.0, 0, 0);
    if (fabs(iv - reference) > 10e-4) {
        return fail("GARCH_VanillaPDESolver implied volatility of a Heston call");
    }
    if (solver(-100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1, 2, 1, 0.0,
               1.0, 0, 0) != -999.0) {
        return fail("GARCH_VanillaPDESolver with a negative spot");
    }

    double out[6][61];
    double params[6] = {0.5, 0.04, 0.04, 2.0, -0.7, 0.0};
    double five[5] = {0, 0, 0, 0, 0};
    double cpu = 0.0;
    int NS = 60, Nv = 30;
    Bstr message = pricer(out[0], out[1], out[2], out[3], out[4], out[5], &cpu, 100, 100, 30, 1.0,
                          params, 0.0, 0.0, 0.0, &NS, &Nv, 0, 0, 3, 0, five, five, -3.0, 0.0, 1.0,
                          false, false, true, false, 0);
    if (!message || bstrBytes(message) != 0 || message[0] != 0) {
        return fail("OrvOptionPricer: a successful call returns an empty string");
    }
    freeString(message);
    NS = 0;
    message = pricer(out[0], out[1], out[2], out[3], out[4], out[5], &cpu, 100, 100, 30, 1.0,
                     params, 0.0, 0.0, 0.0, &NS, &Nv, 0, 0, 3, 0, five, five, -3.0, 0.0, 1.0,
                     false, false, true, false, 0);
    const char* expected = "OrvOptionPricer: NS, Nv and NT must be positive";
    const size_t n = strlen(expected);
    if (!message || bstrBytes(message) != 2 * n || message[n] != 0) {
        return fail("OrvOptionPricer: the message's length");
    }
    for (size_t i = 0; i < n; ++i) {
        if (message[i] != (uint16_t)expected[i]) {
            return fail("OrvOptionPricer: the message's text");
        }
    }
    freeString(message);
    /* The library stays loaded until the program ends, as in most hosts: unloading it would leave
     * its once-only allocations unreachable, which the leak checker of the sanitizer build reports. */
    printf("all exports answered\n");
    return 0;
}
