#pragma once

// Independent prices for the Heston tests: the Black-Scholes formula, and a Heston call by the
// single-integral (Lewis) representation in extended precision, integrated by Boost's adaptive
// Gauss-Kronrod rule. Neither shares code or integral representation with the pricer under test.

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include <boost/math/quadrature/gauss_kronrod.hpp>

namespace heston_test {

inline double normalCdfRef(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

inline double blackScholesRef(double S, double K, double r, double d, double sigma, double T,
                              bool call) {
    const double sd = sigma * std::sqrt(T);
    const double d1 = (std::log(S / K) + (r - d) * T) / sd + 0.5 * sd;
    const double d2 = d1 - sd;
    if (call) return S * std::exp(-d * T) * normalCdfRef(d1) - K * std::exp(-r * T) * normalCdfRef(d2);
    return K * std::exp(-r * T) * normalCdfRef(-d2) - S * std::exp(-d * T) * normalCdfRef(-d1);
}

// Mean of the variance over [0, T] when the variance follows its deterministic path
// (the volvol -> 0 limit of the Heston model).
inline double deterministicMeanVariance(double v0, double vL, double kappa, double T) {
    return vL + (v0 - vL) * (1 - std::exp(-kappa * T)) / (kappa * T);
}

struct HestonParams {
    double S, K, T, r, d, v0, vL, kappa, volvol, rho;
};

// Heston call: C = S e^{-dT} - sqrt(F K) e^{-rT}/pi · ∫_0^∞ Re[e^{iwx} psi(w - i/2)] / (w² + 1/4) dw,
// x = log(F/K), psi the characteristic function of log(S_T/F) (rotation-free form).
inline double lewisHestonCall(const HestonParams& p) {
    typedef long double Real;
    typedef std::complex<Real> Complex;
    const Real T = p.T, kappa = p.kappa, vL = p.vL, sigma = p.volvol, rho = p.rho, v0 = p.v0;
    const Real F = Real(p.S) * std::exp(Real(p.r - p.d) * T);
    const Real x = std::log(F / Real(p.K));
    const Complex i(0, 1);

    auto integrand = [&](Real w) -> Real {
        const Complex u(w, -0.5L);
        const Complex xi = kappa - rho * sigma * i * u;
        const Complex dd = std::sqrt(xi * xi + sigma * sigma * (i * u + u * u));
        const Complex g = (xi - dd) / (xi + dd);
        const Complex e = std::exp(-dd * T);
        const Complex D = (xi - dd) / (sigma * sigma) * (Real(1) - e) / (Real(1) - g * e);
        const Complex C = kappa * vL / (sigma * sigma) *
                          ((xi - dd) * T - Real(2) * std::log((Real(1) - g * e) / (Real(1) - g)));
        const Complex psi = std::exp(C + D * v0);
        return std::real(std::exp(i * w * x) * psi) / (w * w + 0.25L);
    };
    // Panels of growing width until the integrand has died out: the characteristic function decays
    // like a Gaussian for short expiries and only exponentially for a large volvol.
    Real integral = 0, w = 0;
    int quietPanels = 0;
    for (int panel = 0; panel < 5000 && quietPanels < 3; ++panel) {
        const Real width = std::max(Real(0.5), w / 8);
        const Real piece = boost::math::quadrature::gauss_kronrod<Real, 31>::integrate(
            integrand, w, w + width, 12, Real(1e-16));
        integral += piece;
        w += width;
        quietPanels = (w > 10 && std::fabs(piece) < Real(1e-24)) ? quietPanels + 1 : 0;
    }
    const Real price = Real(p.S) * std::exp(-Real(p.d) * T) -
                       std::sqrt(F * Real(p.K)) * std::exp(-Real(p.r) * T) / boost::math::constants::pi<Real>() * integral;
    return static_cast<double>(price);
}

}  // namespace heston_test
