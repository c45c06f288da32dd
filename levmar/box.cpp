#include "levmar/box.h"

#include <cmath>

bool boxIsConsistent(const double* lb, const double* ub, int m)
{
    if (!lb || !ub) return true;
    for (int i = 0; i < m; ++i)
        if (lb[i] > ub[i]) return false;
    return true;
}

int firstNonFiniteBound(const double* lb, const double* ub, int m)
{
    if (!lb && !ub) return -1;
    for (int i = 0; i < m; ++i)
        if ((lb && !std::isfinite(lb[i])) || (ub && !std::isfinite(ub[i]))) return i;
    return -1;
}

void projectIntoBox(double* p, const double* lb, const double* ub, int m)
{
    if (lb && ub) {
        for (int i = 0; i < m; ++i) {
            // Written so that a NaN fails both comparisons and lands on ub.
            if (p[i] < lb[i])
                p[i] = lb[i];
            else if (!(p[i] <= ub[i]))
                p[i] = ub[i];
        }
    } else if (lb) {
        for (int i = 0; i < m; ++i)
            if (!(p[i] >= lb[i])) p[i] = lb[i];
    } else if (ub) {
        for (int i = 0; i < m; ++i)
            if (!(p[i] <= ub[i])) p[i] = ub[i];
    }
}
