#pragma once

// The model-parameter array the option objects take, from named values.

#include "numerics/array.h"

inline Array<double> modelParamArray(double volvol, double v0, double vL, double meanReversion,
                                     double rho, double modelCode)
{
    Array<double> p(6);
    p[0] = volvol;
    p[1] = v0;
    p[2] = vL;
    p[3] = meanReversion;
    p[4] = rho;
    p[5] = modelCode;
    return p;
}
