#pragma once

// Option objects and one-call solves for the tests of the scheme frame and the schemes built on
// it. Prices come from the full road: calcPrice -> PricingSchemeDispatch -> the routine.

#include "model/option_objects.h"
#include "model/support/model_params.h"
#include "numerics/array.h"
#include "numerics/black_scholes.h"
#include "numerics/implied_vol.h"

#include <cmath>
#include <memory>
#include <vector>

namespace frame_test {

struct Model {
    double volvol = 0.3;
    double v0 = 0.04;
    double vL = 0.04;
    double kappa = 1.5;
    double rho = -0.7;
    int modelCode = 0;
    double exponent = 1.0;  // varianceExponent
};

struct Contract {
    double S = 100.0;
    double K = 100.0;
    double T = 1.0;
    double r = 0.02;
    double d = 0.01;
    int callPut = 0;  // 0 call, 1 put
};

struct Grid {
    int NS = 60;
    int Nv = 30;
    int NT = 30;
    int scheme = 2;
    int priceMode = 3;
    double VmaxParam = 0.0;
    int nPeriods = 0;
    int exerciseType = 0;  // 0 European, 1 American, 2 at the exercise dates only
};

// An NS x Nv x NT grid for `scheme`, the other settings at their defaults.
inline Grid gridOf(int NS, int Nv, int NT, int scheme = 2)
{
    Grid g;
    g.NS = NS;
    g.Nv = Nv;
    g.NT = NT;
    g.scheme = scheme;
    return g;
}

inline Array<double> modelParams(const Model& m)
{
    return modelParamArray(m.volvol, m.v0, m.vL, m.kappa, m.rho, m.modelCode);
}

inline std::unique_ptr<OrvHestonVanilla> makeOption(const Model& m, const Contract& c,
                                                     const Grid& g)
{
    auto o = std::make_unique<OrvHestonVanilla>(
        c.S, c.K, c.T, modelParams(m), c.r, c.d, g.NS, g.Nv, g.NT, c.callPut, g.priceMode, 0,
        g.exerciseType, Array<double>(5), Array<double>(5), true, -static_cast<double>(g.priceMode),
        0.0, g.VmaxParam, g.nPeriods, false, 0, 0.0, g.scheme, false);
    o->varianceExponent = m.exponent;
    return o;
}

inline std::unique_ptr<OrvHestonVanilla> makeStrikeVectorOption(const Model& m, const Contract& c,
                                                                 std::vector<double> strikes,
                                                                 const Grid& g, bool strikeFlag)
{
    return std::make_unique<OrvHestonVanilla>(
        c.S, std::move(strikes), c.T, modelParams(m), c.r, c.d, g.NS, g.Nv, g.NT, c.callPut,
        g.priceMode, 0, g.exerciseType, Array<double>(5), Array<double>(5), true,
        -static_cast<double>(g.priceMode), 0.0, g.VmaxParam, g.nPeriods, false, 0, 0.0, g.scheme,
        false, strikeFlag, m.exponent, 0.0);
}

struct Solve {
    Array<double> results;
    Array<Array<double>> outputs;
};

inline Solve solve(OrvHestonVanilla& o)
{
    Solve s;
    s.outputs = Array<Array<double>>(5);
    double cpu = 0.0;
    o.calcPrice(s.outputs[0], s.outputs[1], s.outputs[2], s.outputs[3], s.outputs[4], &cpu);
    s.results = o.getResults();
    return s;
}

inline double price(const Model& m, const Contract& c, const Grid& g)
{
    auto o = makeOption(m, c, g);
    return solve(*o).results[1];
}

// Black-Scholes implied volatility of a price (call or put as the contract says).
inline double impliedVol(const Contract& c, double p)
{
    const ImpliedVolTarget target{c.S, c.K, c.T, c.r, c.d, p, c.callPut};
    return brentImpliedVol(&target, 1e-6, 2.0, 1e-14);
}

// |IV(a) - IV(b)| in basis points.
inline double ivGapBp(const Contract& c, double a, double b)
{
    return 1e4 * std::fabs(impliedVol(c, a) - impliedVol(c, b));
}

}  // namespace frame_test
