#include "heston/heston_grid_export.h"

#include "heston/analytic_heston_engine.h"
#include "heston/heston_pricer.h"
#include "numerics/numerical_error.h"

#include <cmath>
#include <exception>
#include <mutex>
#include <new>
#include <string>

namespace {

const char* const kDefaultLibraryName = "heston.dll";
const char* const kFunctionName = "HestonCall_exact";
const char* const kUnknownError = "Unknown error...";

// The internal path asks for more accuracy than a single price does: these prices become the
// boundary values of a finite-difference solve, whose own error they must not add to.
constexpr double kGridAccuracy = 1e-16;
constexpr std::uint64_t kGridMaxEvaluations = 10000000;

// S, K, T, carry b = r - d, v0, vL, theta, volvol, rho -> call price for rate b, no dividend.
using HestonCallExact = double(SARNEX_CALL*)(double, double, double, double, double, double,
                                             double, double, double);

// The outside library, loaded once and kept: unloading it while another thread prices through it
// would pull the code from under that thread, and loading it per call costs more than a price.
struct OutsideLibrary {
    std::mutex mutex;
    std::string name = kDefaultLibraryName;
    platform::LibraryHandle handle = nullptr;
};

OutsideLibrary& outsideLibrary()
{
    static OutsideLibrary library;
    return library;
}

// The kept library, loaded now when it is not yet (a failed load is tried again at the next call,
// so a library installed later is found). name receives the name it was looked for under.
platform::LibraryHandle keptLibrary(std::string& name)
{
    OutsideLibrary& library = outsideLibrary();
    std::lock_guard<std::mutex> lock(library.mutex);
    if (!library.handle) {
        library.handle = platform::loadLibrary(library.name);
    }
    name = library.name;
    return library.handle;
}

HestonCallExact findHestonCall(platform::LibraryHandle library)
{
    // The library exports a function under this name; converting the symbol's address back to
    // its function type is how every dynamic loader hands out functions.
    return reinterpret_cast<HestonCallExact>(platform::findSymbol(library, kFunctionName));
}

double lowerBoundary(const double* S, double K, double r, double d, double T, int callPut)
{
    if (callPut == 0) {
        return 0.0;
    }
    return K * std::exp(-(r * T)) - std::exp(-(d * T)) * S[0];
}

// The pricer's nodes 1 .. n, from the top down as the grid is laid. Each thread prices with an
// engine of its own (an engine counts its evaluations while it works). A failed price is kept,
// the one at the highest node winning, and reported after the loop: nothing may leave the loop
// by an exception.
std::string priceInternally(const double* S, double* V, double K, double r, double d, double v0,
                            double vL, double theta, double volvol, double rho, double T,
                            int callPut, int n)
{
    const int type = callPut != 0 ? -1 : 1;
    int failedAt = 0;
    std::string failure;
#pragma omp parallel
    {
        std::string engineFailure;
        AnalyticHestonEngine engine;
        try {
            engine = createGaussLobatto(kGridAccuracy, kGridMaxEvaluations);
        } catch (const std::exception& e) {
            engineFailure = e.what();
        } catch (...) {
            engineFailure = kUnknownError;
        }
#pragma omp for schedule(static)
        for (int i = n; i >= 1; --i) {
            std::string message;
            if (!engineFailure.empty()) {
                message = engineFailure;
            } else {
                try {
                    V[i] = hestonVanillaPrice(engine, S[i], K, T, r, d, v0, vL, theta, volvol, rho,
                                              type);
                } catch (const std::exception& e) {
                    message = e.what();
                } catch (...) {
                    message = kUnknownError;
                }
            }
            if (!message.empty()) {
#pragma omp critical(sarnex_heston_grid_failure)
                {
                    if (i > failedAt) {
                        failedAt = i;
                        failure.swap(message);
                    }
                }
            }
        }
    }
    return failure;
}

std::string priceOutside(const double* S, double* V, double K, double r, double d, double v0,
                         double vL, double theta, double volvol, double rho, double T, int callPut,
                         int n)
{
    std::string name;
    const platform::LibraryHandle library = keptLibrary(name);
    if (!library) {
        return "The library " + name + " could not be loaded";
    }
    if (!findHestonCall(library)) {
        return "The library " + name + " has no function " + kFunctionName;
    }
    for (int i = n; i >= 1; --i) {
        V[i] = priceWithHestonDll(library, S[i], K, T, r, d, v0, vL, theta, volvol, rho, callPut);
        // The outside function has no other way to say that it failed.
        if (!std::isfinite(V[i])) {
            return "The library " + name + " gave no price for the spot " + std::to_string(S[i]);
        }
    }
    return std::string();
}

platform::Bstr message(const std::string& text) { return platform::allocBstr(text); }

}  // namespace

double priceWithHestonDll(platform::LibraryHandle library, double S, double K, double T, double r,
                          double d, double v0, double vL, double theta, double volvol, double rho,
                          int callPut)
{
    const HestonCallExact hestonCall = findHestonCall(library);
    if (!hestonCall) {
        throw NumericalError(std::string("The Heston library has no function ") + kFunctionName);
    }
    const double w = hestonCall(S, K, T, r - d, v0, vL, theta, volvol, rho);
    if (callPut == 0) {
        return std::exp(-(d * T)) * w;
    }
    return std::exp(-(T * r)) * K - std::exp(-(T * d)) * S + std::exp(-(T * d)) * w;
}

void setHestonLibraryName(const std::string& name)
{
    OutsideLibrary& library = outsideLibrary();
    std::lock_guard<std::mutex> lock(library.mutex);
    library.name = name.empty() ? kDefaultLibraryName : name;
    library.handle = nullptr;
}

SARNEX_EXPORT platform::Bstr SARNEX_CALL VanillaHestonGrid(double* S, double* V, double K, double r,
                                                           double d, double v0, double vL,
                                                           double theta, double volvol, double rho,
                                                           double T, int callPut, int n,
                                                           bool useInternal)
{
    try {
        if (!S || !V) {
            return message("VanillaHestonGrid: the spot and value arrays must not be null");
        }
        if (n < 0) {
            return message("VanillaHestonGrid: n must not be negative");
        }
        const std::string failure =
            useInternal
                ? priceInternally(S, V, K, r, d, v0, vL, theta, volvol, rho, T, callPut, n)
                : priceOutside(S, V, K, r, d, v0, vL, theta, volvol, rho, T, callPut, n);
        if (!failure.empty()) {
            return message(failure);
        }
        V[0] = lowerBoundary(S, K, r, d, T, callPut);
        return message(std::string());
    } catch (const std::bad_alloc&) {
        return message("bad allocation");
    } catch (const std::exception& e) {
        return message(e.what());
    } catch (...) {
        return message(kUnknownError);
    }
}
