// The matrix gamma I - omega L of one implicit step of the sparse schemes, as Eigen triplets. L is
// the pricing operator on the (spot or log-spot) x variance grid with a seven-point stencil: the
// mixed derivative uses only the anti-diagonal corners, their Taylor remainders folded into the
// axis coefficients. Unknowns are spot nodes 1 .. NS (spot fastest) on variance lines 0 .. Nv - 1;
// the S = 0 column holds boundary values and the two upper edges are closed by ghost rules.

#include "model/option_objects.h"

#include "model/operator_assembly.h"
#include "model/fd_weights.h"
#include "model/variance_law.h"
#include "numerics/numerical_error.h"

#include <vector>

namespace {

using Triplet = Eigen::Triplet<double>;

struct WeightArrays {
    const Array<double>& S2lo;
    const Array<double>& S2up;
    const Array<double>& S2di;
    const Array<double>& S1lo;
    const Array<double>& S1up;
    const Array<double>& S1di;
    const Array<double>& hS;
    const Array<double>& hV;
    const Array<double>& V2lo;
    const Array<double>& V2up;
    const Array<double>& V2di;
    const Array<double>& V1lo;
    const Array<double>& V1up;
    const Array<double>& V1di;
};

// Operator coefficients at one node; "twice" values are the diffusions before the factor 1/2.
struct NodeCoefficients {
    double sigma;       // spot diffusion
    double twiceSigma;  // s^2 w(v) on the spot grid, w(v) on the log-spot grid
    double mu;          // spot drift
    double eta;         // variance diffusion
    double twiceEta;    // xi^2 g(v)
    double kappa;       // variance drift
    double mixed;       // coefficient of u_sv
};

NodeCoefficients coefficientsAt(bool logSpot, const VarianceLaw& law, double rate, double dividend,
                                double s, double v)
{
    NodeCoefficients c;
    const double w = law.spotVariance(v);
    if (logSpot) {
        c.sigma = w * 0.5;
        c.twiceSigma = w;
        c.mu = (rate - dividend) - w * 0.5;
        c.mixed = law.mixedCoefficient(v);
    } else {
        c.sigma = s * 0.5 * s * w;
        c.twiceSigma = s * s * w;
        c.mu = s * (rate - dividend);
        c.mixed = s * law.mixedCoefficient(v);
    }
    c.twiceEta = law.varianceVariance(v);
    c.eta = 0.5 * c.twiceEta;
    c.kappa = law.drift(v);
    return c;
}

double leadCoefficient(int code)
{
    if (code == 0)
        return 1.0;
    if (code == 6)
        return 1.5;
    return 1.8333333333333333;
}

void requireSize(const Array<double>& a, int count)
{
    if (count < 0 || a.size() < static_cast<std::size_t>(count))
        throw NumericalError("The operator weights do not match the grids");
}

void appendOperator(const OrvHestonVanilla& o, bool logSpot, const VarianceLaw& law,
                    std::vector<Triplet>& triplets, const WeightArrays& w, double w0, double w1,
                    double w2, double omega, int leadCode)
{
    const int NS = o.NS;
    const int Nv = o.Nv;
    if (NS < 1 || Nv < 1)
        throw NumericalError("The operator weights do not match the grids");
    requireSize(o.SGrid, NS + 1);
    requireSize(o.VGrid, Nv);
    for (const Array<double>* a : {&w.S2lo, &w.S2up, &w.S2di, &w.S1lo, &w.S1up, &w.S1di, &w.hS})
        requireSize(*a, NS + 1);
    for (const Array<double>* a : {&w.V2lo, &w.V2up, &w.V2di, &w.V1lo, &w.V1up, &w.V1di, &w.hV})
        requireSize(*a, Nv);

    const double gamma = leadCoefficient(leadCode);
    const double r = o.r;
    triplets.reserve(triplets.size() + 7u * static_cast<std::size_t>(NS) * static_cast<std::size_t>(Nv));

    auto index = [NS](int i, int j) { return j * NS + i - 1; };
    // Only unknowns get entries: no S = 0 column, nothing above line Nv - 1.
    auto add = [&](int row, int i, int j, double value) {
        if (i >= 1 && i <= NS && j >= 0 && j <= Nv - 1)
            triplets.emplace_back(row, index(i, j), value);
    };
    auto at = [&](int i, int j) {
        return coefficientsAt(logSpot, law, r, o.d, o.SGrid[i], o.VGrid[j]);
    };

    // Interior and line 0.
    for (int j = 0; j <= Nv - 2; ++j) {
        for (int i = 1; i <= NS - 1; ++i) {
            const NodeCoefficients c = at(i, j);
            const AntiDiagonalMixed mix = antiDiagonalMixed(c.mixed, w.hS[i], w.hS[i + 1], w.hV[j], w.hV[j + 1]);
            const double P = mix.P;
            const double sigmaS = (mix.xSquares + c.twiceSigma) * 0.5;
            const double muS = mix.xFirst + c.mu;
            const double etaS = (mix.ySquares + c.twiceEta) * 0.5;
            const double kappaS = mix.yFirst + c.kappa;
            const int row = index(i, j);
            if (j >= 1) {
                add(row, i + 1, j - 1, P * omega);
                add(row, i - 1, j + 1, P * omega);
                add(row, i, j - 1, -((kappaS * w.V1lo[j] + etaS * w.V2lo[j]) * omega));
            }
            add(row, i - 1, j, -((muS * w.S1lo[i] + sigmaS * w.S2lo[i]) * omega));
            add(row, i + 1, j, -((muS * w.S1up[i] + sigmaS * w.S2up[i]) * omega));
            if (j == 0) {
                add(row, i, 2, -(w2 * omega));
                add(row, i, j, gamma - (muS * w.S1di[i] + w0 - r) * omega);
                add(row, i, j + 1, -(w1 * omega));
            } else {
                add(row, i, j,
                    gamma - (etaS * w.V2di[j] + sigmaS * w.S2di[i] + muS * w.S1di[i] +
                             kappaS * w.V1di[j] + 2.0 * P - r) * omega);
                add(row, i, j + 1, -((etaS * w.V2up[j] + kappaS * w.V1up[j]) * omega));
            }
        }
    }

    // Upper spot edge: the node beyond NS equals node NS; no mixed term, no spot drift.
    for (int j = 0; j <= Nv - 2; ++j) {
        const NodeCoefficients c = at(NS, j);
        const int row = index(NS, j);
        add(row, NS - 1, j, -(c.sigma * w.S2lo[NS] * omega));
        if (j == 0) {
            add(row, NS, 2, -(w2 * omega));
            add(row, NS, j, gamma - (w0 - r) * omega);
            add(row, NS, j + 1, -(w1 * omega));
        } else {
            add(row, NS, j - 1, -((c.eta * w.V2lo[j] + c.kappa * w.V1lo[j]) * omega));
            add(row, NS, j,
                gamma - ((w.S2up[NS] + w.S2di[NS]) * c.sigma + c.eta * w.V2di[j] +
                         c.kappa * w.V1di[j] - r) * omega);
            add(row, NS, j + 1, -((c.eta * w.V2up[j] + c.kappa * w.V1up[j]) * omega));
        }
    }

    // Upper variance edge: line Nv equals line Nv - 1; no mixed term, no variance drift.
    const int top = Nv - 1;
    for (int i = 1; i <= NS - 1; ++i) {
        const NodeCoefficients c = at(i, top);
        const int row = index(i, top);
        add(row, i - 1, top, -((c.sigma * w.S2lo[i] + c.mu * w.S1lo[i]) * omega));
        add(row, i + 1, top, -((c.sigma * w.S2up[i] + c.mu * w.S1up[i]) * omega));
        add(row, i, top,
            gamma - ((w.V2up[top] + w.V2di[top]) * c.eta + c.sigma * w.S2di[i] +
                     c.mu * w.S1di[i] - r) * omega);
        add(row, i, top - 1, -(c.eta * w.V2lo[top] * omega));
    }

    // The corner has both edge rules.
    {
        const NodeCoefficients c = at(NS, top);
        const int row = index(NS, top);
        add(row, NS, top - 1, -(c.eta * w.V2lo[top] * omega));
        add(row, NS - 1, top, -(c.sigma * w.S2lo[NS] * omega));
        add(row, NS, top,
            gamma - ((w.S2di[NS] + w.S2up[NS]) * c.sigma + (w.V2up[top] + w.V2di[top]) * c.eta - r) *
                        omega);
    }
}

}  // namespace

void OrvHestonVanilla::assembleOperator(
    std::vector<Eigen::Triplet<double>>& triplets, const Array<double>& spotD2Lower,
    const Array<double>& spotD2Upper, const Array<double>& spotD2Diag,
    const Array<double>& spotD1Lower, const Array<double>& spotD1Upper,
    const Array<double>& spotD1Diag, const Array<double>& spotSteps,
    const Array<double>& varianceSteps, const Array<double>& varianceD2Lower,
    const Array<double>& varianceD2Upper, const Array<double>& varianceD2Diag,
    const Array<double>& varianceD1Lower, const Array<double>& varianceD1Upper,
    const Array<double>& varianceD1Diag, double zeroLineWeight0, double zeroLineWeight1,
    double zeroLineWeight2, double stepFactor, int leadCoefficientCode)
{
    const WeightArrays w{spotD2Lower,     spotD2Upper,     spotD2Diag,     spotD1Lower,
                         spotD1Upper,     spotD1Diag,      spotSteps,      varianceSteps,
                         varianceD2Lower, varianceD2Upper, varianceD2Diag, varianceD1Lower,
                         varianceD1Upper, varianceD1Diag};
    appendOperator(*this, false, VarianceLaw::garchOrSquareRoot(varianceModelOf(*this)), triplets, w,
                   zeroLineWeight0, zeroLineWeight1, zeroLineWeight2, stepFactor,
                   leadCoefficientCode);
}

void OrvHestonVanilla::assembleOperatorPow(
    std::vector<Eigen::Triplet<double>>& triplets, const Array<double>& spotD2Lower,
    const Array<double>& spotD2Upper, const Array<double>& spotD2Diag,
    const Array<double>& spotD1Lower, const Array<double>& spotD1Upper,
    const Array<double>& spotD1Diag, const Array<double>& spotSteps,
    const Array<double>& varianceSteps, const Array<double>& varianceD2Lower,
    const Array<double>& varianceD2Upper, const Array<double>& varianceD2Diag,
    const Array<double>& varianceD1Lower, const Array<double>& varianceD1Upper,
    const Array<double>& varianceD1Diag, double zeroLineWeight0, double zeroLineWeight1,
    double zeroLineWeight2, double stepFactor, int leadCoefficientCode)
{
    const WeightArrays w{spotD2Lower,     spotD2Upper,     spotD2Diag,     spotD1Lower,
                         spotD1Upper,     spotD1Diag,      spotSteps,      varianceSteps,
                         varianceD2Lower, varianceD2Upper, varianceD2Diag, varianceD1Lower,
                         varianceD1Upper, varianceD1Diag};
    appendOperator(*this, true, VarianceLaw::logSpotPower(varianceModelOf(*this)), triplets, w,
                   zeroLineWeight0, zeroLineWeight1, zeroLineWeight2, stepFactor,
                   leadCoefficientCode);
}

void assembleOperatorForLaw(
    const OrvHestonVanilla& option, bool logSpot, const VarianceLaw& law,
    std::vector<Eigen::Triplet<double>>& triplets, const Array<double>& spotD2Lower,
    const Array<double>& spotD2Upper, const Array<double>& spotD2Diag,
    const Array<double>& spotD1Lower, const Array<double>& spotD1Upper,
    const Array<double>& spotD1Diag, const Array<double>& spotSteps,
    const Array<double>& varianceSteps, const Array<double>& varianceD2Lower,
    const Array<double>& varianceD2Upper, const Array<double>& varianceD2Diag,
    const Array<double>& varianceD1Lower, const Array<double>& varianceD1Upper,
    const Array<double>& varianceD1Diag, double zeroLineWeight0, double zeroLineWeight1,
    double zeroLineWeight2, double stepFactor, int leadCoefficientCode)
{
    const WeightArrays w{spotD2Lower,     spotD2Upper,     spotD2Diag,     spotD1Lower,
                         spotD1Upper,     spotD1Diag,      spotSteps,      varianceSteps,
                         varianceD2Lower, varianceD2Upper, varianceD2Diag, varianceD1Lower,
                         varianceD1Upper, varianceD1Diag};
    appendOperator(option, logSpot, law, triplets, w, zeroLineWeight0, zeroLineWeight1,
                   zeroLineWeight2, stepFactor, leadCoefficientCode);
}
