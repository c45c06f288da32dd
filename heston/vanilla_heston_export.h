#pragma once

// The exported semi-analytic Heston price of one European option. It never throws: a failure is
// recorded in "GARCH_PDESolverLog.txt" beside the module and answered with -999.0.

#include "platform/export_api.h"

#include <string>

// Arguments: S spot, K strike, r rate, d dividend yield, v0 current variance, vL long-run
// variance, theta mean-reversion rate, volvol volatility of variance, rho correlation, T expiry in
// years, callPut 0 for a call and any other value for a put. A volvol of exactly 0 is priced as
// 1e-10 and a spot of exactly 0 as 1e-12. Returns the price, or -999.0 when the pricer fails,
// when S, K or T is not a positive finite number, or when the price is not a finite number.
SARNEX_EXPORT double SARNEX_CALL VanillaHeston(double S, double K, double r, double d, double v0,
                                               double vL, double theta, double volvol, double rho,
                                               double T, int callPut);

// Full path of "GARCH_PDESolverLog.txt" beside the module (or of the file set below).
std::string hestonPriceLogPath();

// Sends VanillaHeston's failure records to another file, process-wide; an empty path restores the
// file beside the module. For test programs, which must not share one log between parallel runs.
void setHestonPriceLogPath(const std::string& path);
