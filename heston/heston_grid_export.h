#pragma once

// Semi-analytic Heston prices along the spot nodes of a finite-difference grid, for other
// programs: by the system's own pricer in parallel, or by the outside library heston.dll and its
// function HestonCall_exact (on POSIX systems the platform layer looks for "libheston.so", beside
// the module first, then on the loader's path).

#include "platform/export_api.h"
#include "platform/platform.h"

#include <string>

// Fills V[1] .. V[n] with the prices at spots S[1] .. S[n] (callPut 0 call, any other value put;
// T in years) and V[0] with the lower boundary value: 0 for a call, K e^{-rT} - e^{-dT} S[0] for a
// put. Both arrays hold n + 1 values. useInternal selects the system's pricer, otherwise every
// price comes from heston.dll, which is loaded at its first use and kept for the life of the
// process. Returns an empty string on success, else the message of the failure (null arrays, a
// negative n, heston.dll or its function missing, a price that failed; V is then incomplete).
// Release the result with the platform's BSTR free function (SysFreeString on Windows).
SARNEX_EXPORT platform::Bstr SARNEX_CALL VanillaHestonGrid(double* S, double* V, double K, double r,
                                                           double d, double v0, double vL,
                                                           double theta, double volvol, double rho,
                                                           double T, int callPut, int n,
                                                           bool useInternal);

// One price through HestonCall_exact of the loaded library (looked up on every call): the call
// price for carry r - d and no dividend yield, discounted by e^{-dT}; a put by put-call parity.
// Throws NumericalError when the library lacks the function.
double priceWithHestonDll(platform::LibraryHandle library, double S, double K, double T, double r,
                          double d, double v0, double vL, double theta, double volvol, double rho,
                          int callPut);

// The name under which the outside library is loaded, "heston.dll" unless a test program has
// named another; setting a name drops the library kept so far (it stays loaded) so that the next
// outside price loads the new one. An empty name restores "heston.dll".
void setHestonLibraryName(const std::string& name);
