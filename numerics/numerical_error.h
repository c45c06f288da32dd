#pragma once

#include <stdexcept>
#include <string>

// The one error type of the pricing code. Callers tell failures apart by their message text
// ("Instability detected", "Root must be bracketed in Brent solver", ...), so the texts are part of
// the interface and must stay exactly as they are written where they are thrown.
class NumericalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
