#include "numerics/bracket_search.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "numerics/numerical_error.h"

Base_interp::Base_interp(const double* xs_, const double* ys_, int count_, int window_)
    : count(count_), window(window_), lastIndex(0), correlated(0), huntDistance(1), xs(xs_), ys(ys_) {
    if (count > 0)
        huntDistance = std::max(1, static_cast<int>(std::pow(static_cast<double>(count), 0.25)));
}

int Base_interp::bracketResult(int jl) {
    correlated = std::abs(jl - lastIndex) <= huntDistance ? 1 : 0;
    lastIndex = jl;
    return std::max(0, std::min(count - window, jl - ((window - 2) / 2)));
}

int Base_interp::locate(double x) {
    if (count < 2 || window < 2 || window > count)
        throw NumericalError("locate size error");
    // A NaN compares false everywhere and would silently pick the lowest window.
    if (std::isnan(x))
        throw NumericalError("locate argument is NaN");
    const bool ascending = xs[count - 1] >= xs[0];
    int jl = 0;
    int ju = count - 1;
    while (ju - jl > 1) {
        const int jm = jl + (ju - jl) / 2;
        if ((x >= xs[jm]) == ascending)
            jl = jm;
        else
            ju = jm;
    }
    return bracketResult(jl);
}

int Base_interp::hunt(double x) {
    if (count < 2 || window < 2 || window > count)
        throw NumericalError("hunt size error");
    if (std::isnan(x))
        throw NumericalError("hunt argument is NaN");
    const bool ascending = xs[count - 1] >= xs[0];
    // Wide enough that jl + increment cannot overflow for any int table size.
    long long jl = lastIndex;
    long long ju = 0;
    long long increment = 1;
    const long long last = count - 1;
    if (jl < 0 || jl > last) {
        jl = 0;
        ju = last;
    } else if ((x >= xs[jl]) == ascending) {
        // The increment doubles each step and the walk stops at the table end: at most
        // log2(count) + 1 steps.
        for (;;) {
            ju = jl + increment;
            if (ju >= last) {
                ju = last;
                break;
            }
            if ((x < xs[ju]) == ascending)
                break;
            jl = ju;
            increment += increment;
        }
    } else {
        ju = jl;
        for (;;) {
            jl -= increment;
            if (jl <= 0) {
                jl = 0;
                break;
            }
            if ((x >= xs[jl]) == ascending)
                break;
            ju = jl;
            increment += increment;
        }
    }
    while (ju - jl > 1) {
        const long long jm = jl + (ju - jl) / 2;
        if ((x >= xs[jm]) == ascending)
            jl = jm;
        else
            ju = jm;
    }
    return bracketResult(static_cast<int>(jl));
}
