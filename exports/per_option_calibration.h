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

// The squared IV errors of the rows. An option whose solve gives no implied volatility counts
// with model IV 0 (its record is in the solver log). Throws NumericalError before any solve when
// an option's grid cannot be laid (model/input_checks.h), and with the message of the first option
// (in dealing order) whose solve threw; those are caught inside the parallel loop.
ChainErrors perOptionSquaredErrors(const std::vector<QuoteRow>& rows, const ChainRequest& request);
