#pragma once

// The message of the NumericalError a call throws, for tests of refusals that name their cause.

#include "numerics/numerical_error.h"

#include <cmath>
#include <limits>
#include <string>

namespace numerics_test {

const double kNaN = std::nan("");
const double kInf = std::numeric_limits<double>::infinity();

// "no exception" when the call returns.
template <class Call>
std::string messageOf(Call&& call)
{
    try {
        call();
    } catch (const NumericalError& e) {
        return e.what();
    }
    return "no exception";
}

}  // namespace numerics_test
