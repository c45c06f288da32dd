#pragma once

// The chain priced option by option: one robust single-strike solve per option, the options dealt
// by estimated cost into the work lists of one parallel loop.

#include "calibration/count_first_chain.h"
#include "exports/chain_request.h"

#include <vector>

// One option as the per-option calibration prices it.
struct OptionWorkItem {
    QuoteRow row;
    int NS = 0;
    int Nv = 0;
    int NT = 0;
    double cost = 1.0;
    double vmaxLevel = 1.0;       // VmaxParam when the critical variances are off
    double vmaxMultiplier = 1.0;  // multiplier of the expiry's critical variance
};

// The work item of one row: out-of-the-money calls (K > S) get the per-option grid floors of
// their market price's band; every option gets its expiry's time steps.
OptionWorkItem optionWorkItem(const QuoteRow& row, const ChainRequest& request);

// Sum over the rows of (model IV - market IV)^2. Throws NumericalError with the message of the
// first failed option (in dealing order) when a solve failed or gave no usable volatility; the
// failures are caught inside the parallel loop.
double perOptionSquaredErrors(const std::vector<QuoteRow>& rows, const ChainRequest& request);
