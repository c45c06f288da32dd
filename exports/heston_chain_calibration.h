#pragma once

// The implied-volatility error of the Heston model over the option chain in "OptionsData.txt"
// beside the module (count-first layout, calibration/count_first_chain.h), by the semi-analytic
// pricer: for other programs' optimisers.

#include "platform/export_api.h"

// sqrt of the mean of (model IV - market IV)^2 over the options of the file, at the parameters v0,
// vL, theta (mean-reversion rate), volvol and rho; every call appends the line "Objective
// function:" with the mean x 10000, its square root and the parameters to "Results.txt" in the
// current directory. 10000.0 when the file cannot be opened; -999.0 when its count is below 1, a
// counted row is missing, unreadable or no valid option (callPut other than 0 and 1, exerciseType
// other than 0 to 2, and the rest of calibration/count_first_chain.h), or an option has no price
// or no implied volatility (no line in "Results.txt" then). Each option's IV is the one the
// console's Heston fit takes (hestonFitIV: a price below 1e-10 of the spot counts as that floor).
// Failures are recorded in "GARCH_PDESolverLog.txt" beside the module (an option's price by
// VanillaHeston itself).
SARNEX_EXPORT double SARNEX_CALL HESTON_VanillaCalibration(double v0, double vL, double theta,
                                                           double volvol, double rho);
