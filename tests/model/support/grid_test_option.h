#pragma once

// A one-strike option object with every argument named, for the grid, payoff, bound, operator and
// derivative tests.

#include "model/option_objects.h"
#include "model/support/model_params.h"

#include <memory>

struct GridTestOption {
    double S = 100.0;
    double K = 100.0;
    double T = 1.0;
    double r = 0.03;
    double d = 0.01;
    double volvol = 0.5;
    double v0 = 0.04;
    double vL = 0.05;
    double theta = 2.0;
    double rho = -0.5;
    double modelCode = 0.0;
    int NS = 100;
    int Nv = 50;
    int NT = 50;
    int callPut = 0;
    int exerciseType = 0;
    bool nonUniformSGrid = true;
    double SmaxUser = 0.0;
    double VmaxParam = 0.0;
    bool volvolWidening = false;

    // 100 uniform steps of 2.5 up to 250: the strike 100 on node 40.
    static GridTestOption uniformTo250()
    {
        GridTestOption setup;
        setup.nonUniformSGrid = false;
        setup.SmaxUser = 250.0;
        return setup;
    }

    std::unique_ptr<OrvHestonVanilla> build() const
    {
        return std::make_unique<OrvHestonVanilla>(
            S, K, T, modelParamArray(volvol, v0, vL, theta, rho, modelCode), r, d, NS, Nv, NT,
            callPut, /*priceMode*/ 3, /*unusedCode*/ 0, exerciseType, Array<double>(5),
            Array<double>(5), nonUniformSGrid, /*tolExp*/ -3.0, SmaxUser, VmaxParam,
            /*nPeriods*/ 1, /*unusedFlag*/ false, /*boundaryMode*/ 0, /*extraT*/ 0.0,
            /*schemeNumber*/ 6, volvolWidening);
    }
};
