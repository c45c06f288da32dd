#include "numerics/tridiagonal.h"

#include "numerics/numerical_error.h"

#include <cstddef>
#include <initializer_list>
#include <string>

namespace {

struct NamedVector {
    const char* name;
    const Array<double>& values;
};

// The order and the vectors of one call; false when the system is empty and there is nothing to
// do. The checks cost a few comparisons per system, against O(n) work in the sweeps.
bool requireSystem(const char* routine, int n, std::initializer_list<NamedVector> vectors)
{
    if (n < 0) {
        throw NumericalError(std::string(routine) + ": negative system order " + std::to_string(n));
    }
    if (n == 0) {
        return false;
    }
    const std::size_t needed = static_cast<std::size_t>(n) + 1;
    for (const NamedVector& v : vectors) {
        if (v.values.size() < needed) {
            throw NumericalError(std::string(routine) + ": vector '" + v.name + "' holds " +
                                 std::to_string(v.values.size()) + " elements, a system of order " +
                                 std::to_string(n) + " needs " + std::to_string(needed));
        }
    }
    return true;
}

} // namespace

void tridiagFactor(int n, const Array<double>& sub, const Array<double>& diag, const Array<double>& super,
                   Array<double>& mult, Array<double>& superCopy, Array<double>& pivot)
{
    if (!requireSystem("tridiagFactor", n,
                       {{"sub", sub}, {"diag", diag}, {"super", super}, {"mult", mult},
                        {"superCopy", superCopy}, {"pivot", pivot}})) {
        return;
    }

    pivot[1] = diag[1];
    for (int i = 2; i <= n; ++i) {
        superCopy[i - 1] = super[i - 1];
        mult[i] = sub[i] / pivot[i - 1];
        pivot[i] = diag[i] - mult[i] * super[i - 1];
    }
}

void tridiagSolve(int n, const Array<double>& mult, const Array<double>& superCopy, const Array<double>& pivot,
                  const Array<double>& rhs, Array<double>& x)
{
    if (!requireSystem("tridiagSolve", n,
                       {{"mult", mult}, {"superCopy", superCopy}, {"pivot", pivot}, {"rhs", rhs},
                        {"x", x}})) {
        return;
    }

    // The forward sweep keeps its intermediate values in x itself: each rhs[i] is read before x[i] is
    // written, so no scratch vector is needed and rhs may even be x.
    x[1] = rhs[1];
    for (int i = 2; i <= n; ++i) {
        x[i] = rhs[i] - mult[i] * x[i - 1];
    }
    x[n] = x[n] / pivot[n];
    for (int i = n - 1; i >= 1; --i) {
        x[i] = (x[i] - superCopy[i] * x[i + 1]) / pivot[i];
    }
}
