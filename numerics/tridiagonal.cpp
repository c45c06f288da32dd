#include "numerics/tridiagonal.h"

#include "numerics/numerical_error.h"

#include <cstddef>
#include <string>

namespace {

// The checks cost a few comparisons per system, against O(n) work in the sweeps.
void requireOrder(const char* routine, int n)
{
    if (n < 0) {
        throw NumericalError(std::string(routine) + ": negative system order " + std::to_string(n));
    }
}

void requireLength(const char* routine, const char* name, const Array<double>& v, int n)
{
    const std::size_t needed = static_cast<std::size_t>(n) + 1;
    if (v.size() < needed) {
        throw NumericalError(std::string(routine) + ": vector '" + name + "' holds " + std::to_string(v.size()) +
                             " elements, a system of order " + std::to_string(n) + " needs " +
                             std::to_string(needed));
    }
}

} // namespace

void tridiagFactor(int n, const Array<double>& sub, const Array<double>& diag, const Array<double>& super,
                   Array<double>& mult, Array<double>& superCopy, Array<double>& pivot)
{
    static const char* const routine = "tridiagFactor";
    requireOrder(routine, n);
    if (n == 0) {
        return;
    }
    requireLength(routine, "sub", sub, n);
    requireLength(routine, "diag", diag, n);
    requireLength(routine, "super", super, n);
    requireLength(routine, "mult", mult, n);
    requireLength(routine, "superCopy", superCopy, n);
    requireLength(routine, "pivot", pivot, n);

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
    static const char* const routine = "tridiagSolve";
    requireOrder(routine, n);
    if (n == 0) {
        return;
    }
    requireLength(routine, "mult", mult, n);
    requireLength(routine, "superCopy", superCopy, n);
    requireLength(routine, "pivot", pivot, n);
    requireLength(routine, "rhs", rhs, n);
    requireLength(routine, "x", x, n);

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
