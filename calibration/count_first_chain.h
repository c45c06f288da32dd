#pragma once

// The count-first layout of "OptionsData.txt", read by the exported chain calibrations and the
// Heston chain calibration: an integer n, then n rows of six numbers and two integers (market IV,
// spot, strike, expiry in years, rate, dividend yield, call/put, exercise type), separated by any
// white space. Anything after the n-th row is ignored.

#include <istream>
#include <string>
#include <vector>

// One row of the chain as read.
struct QuoteRow {
    double marketIV = 0.0;
    double S = 0.0;          // spot
    double K = 0.0;          // strike
    double T = 0.0;          // expiry in years
    double r = 0.0;          // interest rate
    double d = 0.0;          // dividend yield
    int callPut = 0;         // 0 call, 1 put
    int exerciseType = 0;    // 0 European, 1 American, 2 Bermudan
};

enum class ChainReadStatus {
    ok,
    badCount,  // no count, or a count below 1
    badRow,    // a counted row is missing, holds a token that is no number, or is no valid option
};

struct CountFirstChain {
    ChainReadStatus status = ChainReadStatus::badCount;
    long long count = 0;          // the count as read (0 when it could not be read)
    std::vector<QuoteRow> rows;   // the rows read whole, in file order
    std::string problem;          // what went wrong, for the failure log; empty when ok
};

// Reads the count and the counted rows. Every extraction is checked and the reading stops at the
// first failure, so a large count over a short file allocates nothing for the rows it lacks. A row
// that is no valid option counts as a bad row: market IV, spot, strike or expiry not a positive
// number, rate or dividend yield not finite (or e^(-r T), e^(-d T) not representable), callPut
// other than 0 and 1, exerciseType other than 0 to 2 (see model/input_checks.h).
CountFirstChain readCountFirstChain(std::istream& in);
