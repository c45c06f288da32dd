#include "heston/fj_helper.h"

#include <cmath>
#include <complex>
#include <stdexcept>

namespace {
// At and below this volatility of variance the logarithmic form loses too many digits to
// cancellation (kappa·vL/volvol² multiplies a difference of nearly equal terms).
const double smallVolvol = 1e-5;
// Below this |rho·volvol - kappa| the j = 1 limit at phi = 0 takes its k -> 0 form.
const double smallK = 1e-7;
}  // namespace

AnalyticHestonEngine::Fj_Helper::Fj_Helper(std::uint64_t j, double theta, double vL, double volvol,
                                           double v0, double rho, double T, double logStrike,
                                           double logForward)
    : j(j),
      theta(theta),
      vL(vL),
      volvol(volvol),
      v0(v0),
      T(T),
      logStrike(logStrike),
      logForward(logForward),
      volvol2(volvol * volvol),
      rhoVolvol(rho * volvol),
      t0(j == 1 ? theta - rho * volvol : theta) {
    if (j != 1 && j != 2) throw std::invalid_argument("Fj_Helper: j must be 1 or 2");
}

double AnalyticHestonEngine::Fj_Helper::operator()(double phi) const {
    typedef std::complex<double> Complex;
    const double moneyness = logForward - logStrike;
    const double kappaVL = theta * vL;

    if (phi == 0.0) {
        if (j == 1) {
            const double k = rhoVolvol - theta;
            if (std::fabs(k) > smallK) {
                const double ekT = std::exp(k * T);
                return moneyness + (kappaVL * ekT - kappaVL * (k * T + 1)) / (2 * k * k) -
                       v0 * (1 - ekT) / (2 * k);
            }
            return moneyness + 0.25 * kappaVL * T * T + 0.5 * v0 * T;
        }
        const double emkT = std::exp(-theta * T);
        return moneyness - (kappaVL * emkT + kappaVL * (theta * T - 1)) / (2 * theta * theta) -
               v0 * (1 - emkT) / (2 * theta);
    }

    const double s = (j == 1) ? 1.0 : -1.0;
    const Complex i(0.0, 1.0);
    const Complex phiTerm(-phi, s);  // -phi + i·s
    const Complex t1 = t0 - i * (rhoVolvol * phi);
    const Complex delta = std::sqrt(t1 * t1 - volvol2 * phi * phiTerm);
    const Complex ex = std::exp(-delta * T);

    Complex A, B;
    if (volvol <= smallVolvol) {
        const Complex td = phi / (2.0 * t1) * phiTerm;
        const Complex p = td * volvol2 / (t1 + delta);
        const Complex g = p * (1.0 - ex);
        A = kappaVL * (td * T - 2.0 * g / volvol2);
        B = v0 * td * (1.0 - ex) / (1.0 - p * ex);
    } else {
        const Complex p = (t1 - delta) / (t1 + delta);
        const Complex g = std::log((1.0 - p * ex) / (1.0 - p));
        A = kappaVL / volvol2 * ((t1 - delta) * T - 2.0 * g);
        B = v0 * (t1 - delta) * (1.0 - ex) / (volvol2 * (1.0 - ex * p));
    }
    return std::imag(std::exp(A + B + i * (phi * moneyness))) / phi;
}
