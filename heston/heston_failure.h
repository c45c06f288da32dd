#pragma once

#include <string>

#include "numerics/numerical_error.h"

// Every failure of the semi-analytic Heston pricer and its integrators carries this prefix, so that
// callers and logs can tell them from the failures of the finite-difference machinery.
inline NumericalError hestonFailure(const std::string& reason) {
    return NumericalError("An error occured while calculating the Heston analytic price: " + reason);
}
