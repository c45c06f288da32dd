#include "calibration/count_first_chain.h"

#include "model/input_checks.h"

#include <cmath>
#include <string>

namespace {

bool readRow(std::istream& in, QuoteRow& row)
{
    return static_cast<bool>(in >> row.marketIV >> row.S >> row.K >> row.T >> row.r >> row.d >>
                             row.callPut >> row.exerciseType);
}

// What makes a row no option that a model could price or fit, or an empty string.
std::string rowError(const QuoteRow& row)
{
    if (!(std::isfinite(row.marketIV) && row.marketIV > 0.0)) {
        return "marketIV must be a positive number";
    }
    std::string error = contractInputError(row.S, row.K, row.T, row.r, row.d);
    if (error.empty()) error = contractCodeError(row.callPut, row.exerciseType);
    return error;
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
        // Such a row has no price to fit, or no grid: scored as a failed solve it would read as
        // a misfit of the parameters.
        const std::string error = rowError(row);
        if (!error.empty()) {
            chain.status = ChainReadStatus::badRow;
            chain.problem =
                "Option " + std::to_string(i + 1) + " of OptionsData.txt is no valid option: " + error;
            return chain;
        }
        chain.rows.push_back(row);
    }
    chain.status = ChainReadStatus::ok;
    return chain;
}
