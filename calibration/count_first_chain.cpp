#include "calibration/count_first_chain.h"

#include <string>

namespace {

bool readRow(std::istream& in, QuoteRow& row)
{
    return static_cast<bool>(in >> row.marketIV >> row.S >> row.K >> row.T >> row.r >> row.d >>
                             row.callPut >> row.exerciseType);
}

}  // namespace

CountFirstChain readCountFirstChain(std::istream& in)
{
    CountFirstChain chain;
    int count = 0;
    if (!(in >> count)) {
        chain.problem = "OptionsData.txt does not begin with the number of options";
        return chain;
    }
    chain.count = count;
    if (count < 1) {
        chain.problem = "OptionsData.txt announces " + std::to_string(count) +
                        " options; at least 1 is needed";
        return chain;
    }
    for (int i = 0; i < count; ++i) {
        QuoteRow row;
        if (!readRow(in, row)) {
            chain.status = ChainReadStatus::badRow;
            chain.problem = "OptionsData.txt announces " + std::to_string(count) +
                            " options, but option " + std::to_string(i + 1) +
                            " is missing or holds a value that is not a number";
            return chain;
        }
        // Such a row has no Black-Scholes price and no grid; the solves would only fail on it.
        if (!(row.S > 0.0) || !(row.K > 0.0) || !(row.T > 0.0)) {
            chain.status = ChainReadStatus::badRow;
            chain.problem = "Option " + std::to_string(i + 1) +
                            " of OptionsData.txt needs a positive spot, strike and expiry";
            return chain;
        }
        chain.rows.push_back(row);
    }
    chain.status = ChainReadStatus::ok;
    return chain;
}
