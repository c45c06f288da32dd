#include "schemes/spot_adi_operator.h"

#include "model/fd_weights.h"
#include "numerics/numerical_error.h"
#include "numerics/tridiagonal.h"
#include "schemes/scheme_frame.h"

#include <algorithm>
#include <cmath>

namespace {

Array<double> zeros(int count) { return Array<double>(0.0, static_cast<std::size_t>(count)); }

}  // namespace

SpotDirection spotDirectionOnSteps(const Array<double>& steps, int n,
                                   const std::function<SpotNodeTerms(int i)>& terms)
{
    SpotDirection s;
    s.steps = steps;
    for (Array<double>* a : {&s.aL, &s.aD, &s.aU, &s.bL, &s.bD, &s.bU, &s.d1L, &s.d1D, &s.d1U,
                             &s.d2L, &s.d2D, &s.d2U, &s.mixedFactor})
        *a = zeros(n);
    for (int i = 1; i < n; ++i) {
        const StencilWeights f = centralFirstDerivative(s.steps[i], s.steps[i + 1]);
        const StencilWeights d2 = centralSecondDerivative(s.steps[i], s.steps[i + 1]);
        s.d1L[i] = f.lower;
        s.d1D[i] = f.diag;
        s.d1U[i] = f.upper;
        s.d2L[i] = d2.lower;
        s.d2D[i] = d2.diag;
        s.d2U[i] = d2.upper;
        const SpotNodeTerms t = terms(i);
        s.aL[i] = t.diffusion * d2.lower + t.diffusionDrift * f.lower;
        s.aD[i] = t.diffusion * d2.diag + t.diffusionDrift * f.diag;
        s.aU[i] = t.diffusion * d2.upper + t.diffusionDrift * f.upper;
        s.bL[i] = t.drift * f.lower;
        s.bD[i] = t.drift * f.diag;
        s.bU[i] = t.drift * f.upper;
        s.mixedFactor[i] = t.mixedFactor;
    }
    return s;
}

SpotDirection spotGridDirection(const SchemeFrame& frame)
{
    const int n = frame.n;
    const double mu = frame.option.r - frame.option.d;
    SpotDirection s = spotDirectionOnSteps(frame.dS, n, [&frame, mu](int i) {
        SpotNodeTerms t;
        t.diffusion = 0.5 * frame.S[i] * frame.S[i];
        t.drift = mu * frame.S[i];
        t.mixedFactor = frame.S[i];
        return t;
    });
    s.ghostRise = s.steps[n];
    s.topDrift = mu * frame.S[n - 1];
    s.topDriftPerW = 0.0;
    return s;
}

SpotAdiOperator::SpotAdiOperator(const SchemeFrame& frame, const SpotAdiSettings& settings)
    : SpotAdiOperator(frame, settings, spotGridDirection(frame))
{
}

SpotAdiOperator::SpotAdiOperator(const SchemeFrame& frame, const SpotAdiSettings& settings,
                                 const SpotDirection& spot)
    : settings_(settings), n_(frame.n), Nv_(frame.Nv), r_(frame.option.r), dS_(spot.steps),
      mixedFactor_(spot.mixedFactor), ghostRise_(spot.ghostRise), topDrift_(spot.topDrift),
      topDriftPerW_(spot.topDriftPerW), V_(frame.V), dv_(frame.dv), aL_(spot.aL), aD_(spot.aD),
      aU_(spot.aU), bL_(spot.bL), bD_(spot.bD), bU_(spot.bU), d1SL_(spot.d1L), d1SD_(spot.d1D),
      d1SU_(spot.d1U), d2SL_(spot.d2L), d2SD_(spot.d2D), d2SU_(spot.d2U)
{
    if (n_ < 4 || Nv_ < 4)
        throw NumericalError("The splitting operator needs at least four intervals per direction");
    const VarianceLaw& law = settings_.law;

    for (Array<double>* a : {&w_, &mixed_, &cL_, &cD_, &cU_, &d1vL_, &d1vD_, &d1vU_, &d2vL_,
                             &d2vD_, &d2vU_})
        *a = zeros(Nv_ + 1);
    for (int j = 0; j <= Nv_; ++j) {
        w_[j] = law.spotVariance(V_[j]);
        mixed_[j] = law.mixedCoefficient(V_[j]);
    }
    for (int j = 1; j < Nv_; ++j) {
        const StencilWeights f = centralFirstDerivative(dv_[j], dv_[j + 1]);
        const StencilWeights s = centralSecondDerivative(dv_[j], dv_[j + 1]);
        d1vL_[j] = f.lower;
        d1vD_[j] = f.diag;
        d1vU_[j] = f.upper;
        d2vL_[j] = s.lower;
        d2vD_[j] = s.diag;
        d2vU_[j] = s.upper;
        const double half = 0.5 * law.varianceVariance(V_[j]);
        if (j == Nv_ - 1) {
            // No slope in v at the top: the node above repeats this one, and the drift is dropped.
            cL_[j] = half * s.lower;
            cD_[j] = half * (s.diag + s.upper);
            cU_[j] = 0.0;
        } else {
            const double drift = law.drift(V_[j]);
            cL_[j] = half * s.lower + drift * f.lower;
            cD_[j] = half * s.diag + drift * f.diag;
            cU_[j] = half * s.upper + drift * f.upper;
        }
    }
    if (settings_.mixed == MixedStencil::SevenPoint) {
        const std::size_t size = static_cast<std::size_t>(n_) * static_cast<std::size_t>(Nv_);
        for (Array<double>* a :
             {&sevenW_, &sevenC_, &sevenE_, &sevenS_, &sevenN_, &sevenNW_, &sevenSE_})
            *a = Array<double>(0.0, size);
        for (int j = 1; j < Nv_ - 1; ++j) {
            for (int i = 1; i < n_ - 1; ++i) {
                const AntiDiagonalMixed m = antiDiagonalMixed(mixed_[j] * mixedFactor_[i], dS_[i],
                                                              dS_[i + 1], dv_[j], dv_[j + 1]);
                const std::size_t k = static_cast<std::size_t>(j) * n_ + i;
                const double xs = 0.5 * m.xSquares, ys = 0.5 * m.ySquares;
                sevenW_[k] = xs * d2SL_[i] + m.xFirst * d1SL_[i];
                sevenE_[k] = xs * d2SU_[i] + m.xFirst * d1SU_[i];
                sevenS_[k] = ys * d2vL_[j] + m.yFirst * d1vL_[j];
                sevenN_[k] = ys * d2vU_[j] + m.yFirst * d1vU_[j];
                sevenC_[k] = xs * d2SD_[i] + m.xFirst * d1SD_[i] + ys * d2vD_[j] +
                             m.yFirst * d1vD_[j] + 2.0 * m.P;
                sevenNW_[k] = -m.P;
                sevenSE_[k] = -m.P;
            }
        }
    }

    // At v = 0 only the drift acts, taken one-sided to second order.
    const StencilWeights f0 = forwardFirstDerivative(dv_[1], dv_[2]);
    const double drift0 = law.drift(V_[0]);
    cD_[0] = drift0 * f0.lower;
    cU_[0] = drift0 * f0.diag;
    c2_ = drift0 * f0.upper;
}

RowMatrix SpotAdiOperator::makeTable() const { return RowMatrix(Nv_ + 2, n_ + 1, 0.0); }

void SpotAdiOperator::fillRows(RowMatrix& X, const Array<double>& row) const
{
    for (int j = 1; j <= Nv_ + 1; ++j)
        for (int i = 0; i <= n_; ++i)
            X.data[j][i] = row[i];
}

void SpotAdiOperator::addOperator(Part part, const RowMatrix& X, double df, double scale,
                                  RowMatrix& Y) const
{
    const bool spot = part == Part::All || part == Part::Spot;
    const bool variance = part == Part::All || part == Part::Variance;
    const bool mixed = (part == Part::All || part == Part::Mixed) && settings_.law.params.rho != 0.0;
    const int top = n_ - 1;
    const int jFirst = settings_.extrapolateZeroRow ? 1 : 0;
    const double halfRate = 0.5 * r_;

    for (int j = jFirst; j < Nv_; ++j) {
        const double* x = X.data[j + 1];
        const double* xDown = X.data[j];      // variance node j - 1 (unused row 0 when j = 0)
        const double* xUp = X.data[j + 2];    // variance node j + 1
        double* y = Y.data[j + 1];
        const double w = w_[j];
        const bool mixedRow = mixed && j > 0 && j < Nv_ - 1;
        for (int i = 1; i <= top; ++i) {
            double f = 0.0;
            if (spot) {
                if (i < top) {
                    f += (w * aL_[i] + bL_[i]) * x[i - 1] + (w * aD_[i] + bD_[i]) * x[i] +
                         (w * aU_[i] + bU_[i]) * x[i + 1];
                } else {
                    // Top spot node: the slope df gives the ghost value and replaces the drift's
                    // difference.
                    const double ghost = x[top] + df * ghostRise_;
                    f += w * (aL_[i] * x[i - 1] + aD_[i] * x[i] + aU_[i] * ghost) +
                         (topDrift_ + w * topDriftPerW_) * df;
                }
                f -= halfRate * x[i];
            }
            if (variance) {
                if (j == 0)
                    f += cD_[0] * x[i] + cU_[0] * xUp[i] + c2_ * X.data[3][i];
                else
                    f += cL_[j] * xDown[i] + cD_[j] * x[i] + cU_[j] * xUp[i];
                f -= halfRate * x[i];
            }
            if (mixedRow && i < top) {
                const double c = mixed_[j] * mixedFactor_[i];
                if (settings_.mixed == MixedStencil::NinePoint) {
                    const double down = d1SL_[i] * xDown[i - 1] + d1SD_[i] * xDown[i] +
                                        d1SU_[i] * xDown[i + 1];
                    const double mid = d1SL_[i] * x[i - 1] + d1SD_[i] * x[i] + d1SU_[i] * x[i + 1];
                    const double up = d1SL_[i] * xUp[i - 1] + d1SD_[i] * xUp[i] +
                                      d1SU_[i] * xUp[i + 1];
                    f += c * (d1vL_[j] * down + d1vD_[j] * mid + d1vU_[j] * up);
                } else {
                    const std::size_t k = static_cast<std::size_t>(j) * n_ + i;
                    f += sevenW_[k] * x[i - 1] + sevenC_[k] * x[i] + sevenE_[k] * x[i + 1] +
                         sevenS_[k] * xDown[i] + sevenN_[k] * xUp[i] + sevenNW_[k] * xUp[i - 1] +
                         sevenSE_[k] * xDown[i + 1];
                }
            }
            y[i] += scale * f;
        }
    }
}

void SpotAdiOperator::factor(double theta, double dt)
{
    thetaDt_ = theta * dt;
    const double td = thetaDt_;
    const int top = n_ - 1;
    const double halfRate = 0.5 * r_;

    spotL_.assign(static_cast<std::size_t>(Nv_), Array<double>());
    spotD_.assign(static_cast<std::size_t>(Nv_), Array<double>());
    spotU_.assign(static_cast<std::size_t>(Nv_), Array<double>());
    spotMult_.assign(static_cast<std::size_t>(Nv_), Array<double>());
    spotSuper_.assign(static_cast<std::size_t>(Nv_), Array<double>());
    spotPivot_.assign(static_cast<std::size_t>(Nv_), Array<double>());
    for (int j = 0; j < Nv_; ++j) {
        Array<double> L = zeros(n_), D = zeros(n_), U = zeros(n_);
        const double w = w_[j];
        for (int i = 1; i < top; ++i) {
            L[i] = -td * (w * aL_[i] + bL_[i]);
            D[i] = 1.0 - td * (w * aD_[i] + bD_[i] - halfRate);
            U[i] = -td * (w * aU_[i] + bU_[i]);
        }
        L[1] = 0.0;  // the S = 0 value is not an unknown
        L[top] = -td * w * aL_[top];
        D[top] = 1.0 - td * (w * (aD_[top] + aU_[top]) - halfRate);
        U[top] = 0.0;
        Array<double> mult = zeros(n_), super = zeros(n_), pivot = zeros(n_);
        tridiagFactor(top, L, D, U, mult, super, pivot);
        for (int i = 1; i <= top; ++i)
            pivot[i] = 1.0 / pivot[i];
        spotL_[j] = L;
        spotD_[j] = D;
        spotU_[j] = U;
        spotMult_[j] = mult;
        spotSuper_[j] = super;
        spotPivot_[j] = pivot;
    }

    // Variance line, unknowns j = 0 .. Nv - 1 at positions 1 .. Nv.
    varL_ = zeros(Nv_ + 1);
    varD_ = zeros(Nv_ + 1);
    varU_ = zeros(Nv_ + 1);
    for (int j = 0; j < Nv_; ++j) {
        varL_[j + 1] = j == 0 ? 0.0 : -td * cL_[j];
        varD_[j + 1] = 1.0 - td * (cD_[j] - halfRate);
        varU_[j + 1] = j == Nv_ - 1 ? 0.0 : -td * cU_[j];
    }
    varT2_ = -td * c2_;
    Array<double> L = varL_, D = varD_, U = varU_;
    eliminated_ = false;
    elimFactor_ = 0.0;
    if (settings_.zeroRow == ZeroVarianceRow::ExactElimination && varT2_ != 0.0 &&
        varU_[2] != 0.0) {
        // Row 0 minus (t2 / up_1) row 1 has no entry on node 2.
        elimFactor_ = varT2_ / varU_[2];
        D[1] = D[1] - elimFactor_ * varL_[2];
        U[1] = U[1] - elimFactor_ * varD_[2];
        eliminated_ = true;
    }
    varMult_ = zeros(Nv_ + 1);
    varSuper_ = zeros(Nv_ + 1);
    varPivot_ = zeros(Nv_ + 1);
    tridiagFactor(Nv_, L, D, U, varMult_, varSuper_, varPivot_);
}

void SpotAdiOperator::solveSpotLines(RowMatrix& Y, const RowMatrix& ref, double dfDelta,
                                     double spotZeroDelta) const
{
    // The sweeps of tridiagSolve with the row's factors, in place in the row, with the pivots
    // kept inverted.
    const int top = n_ - 1;
    Array<double> rhs = zeros(n_);
    // The v = 0 row is solved in S even where it is extrapolated in v.
    for (int j = 0; j < Nv_; ++j) {
        double* y = Y.data[j + 1];
        const double* u = ref.data[j + 1];
        const Array<double>& L = spotL_[j];
        const Array<double>& D = spotD_[j];
        const Array<double>& U = spotU_[j];
        for (int i = 1; i <= top; ++i)
            rhs[i] = y[i] + L[i] * u[i - 1] + (D[i] - 1.0) * u[i] + U[i] * u[i + 1];
        if (spotZeroDelta != 0.0)
            rhs[1] += thetaDt_ * (w_[j] * aL_[1] + bL_[1]) * spotZeroDelta;
        if (dfDelta != 0.0)
            rhs[top] += thetaDt_ *
                        (topDrift_ + w_[j] * (topDriftPerW_ + aU_[top] * ghostRise_)) * dfDelta;
        const Array<double>& mult = spotMult_[j];
        const Array<double>& super = spotSuper_[j];
        const Array<double>& inverse = spotPivot_[j];
        for (int i = 2; i <= top; ++i)
            rhs[i] -= mult[i] * rhs[i - 1];
        y[top] = rhs[top] * inverse[top];
        for (int i = top - 1; i >= 1; --i)
            y[i] = (rhs[i] - super[i] * y[i + 1]) * inverse[i];
    }
}

void SpotAdiOperator::solveVarianceLines(RowMatrix& Y, const RowMatrix& ref) const
{
    // All spot columns share one matrix, so the sweeps of tridiagSolve run row by row over every
    // column at once, in place in Y (variance node j is row j + 1 of the tables).
    const int top = n_ - 1;
    const bool recompute =
        settings_.zeroRow == ZeroVarianceRow::RecomputeAfterSolve || !eliminated_;
    Array<double> rhs0Full = zeros(n_);
    for (int k = 1; k <= Nv_; ++k) {
        double* y = Y.data[k];
        const double* u = ref.data[k];
        const double* uDown = ref.data[k - 1];
        const double* uUp = ref.data[k + 1];
        const double d = varD_[k] - 1.0;
        const double low = k > 1 ? varL_[k] : 0.0;
        const double up = k < Nv_ ? varU_[k] : 0.0;
        for (int i = 1; i <= top; ++i)
            y[i] += d * u[i] + low * uDown[i] + up * uUp[i];
    }
    // Row 0 as built reaches node 2 through t2.
    for (int i = 1; i <= top; ++i)
        rhs0Full[i] = Y.data[1][i] + varT2_ * ref.data[3][i];
    if (!recompute) {
        for (int i = 1; i <= top; ++i)
            Y.data[1][i] = rhs0Full[i] - elimFactor_ * Y.data[2][i];
    }
    for (int k = 2; k <= Nv_; ++k) {
        double* y = Y.data[k];
        const double* yPrev = Y.data[k - 1];
        const double m = varMult_[k];
        for (int i = 1; i <= top; ++i)
            y[i] -= m * yPrev[i];
    }
    {
        double* y = Y.data[Nv_];
        const double p = varPivot_[Nv_];
        for (int i = 1; i <= top; ++i)
            y[i] /= p;
    }
    for (int k = Nv_ - 1; k >= 1; --k) {
        double* y = Y.data[k];
        const double* yNext = Y.data[k + 1];
        const double sup = varSuper_[k];
        const double p = varPivot_[k];
        for (int i = 1; i <= top; ++i)
            y[i] = (y[i] - sup * yNext[i]) / p;
    }
    if (recompute && varT2_ != 0.0) {
        // The solve left node 2 out of row 0: redo node 0 with the full row.
        for (int i = 1; i <= top; ++i)
            Y.data[1][i] =
                (rhs0Full[i] - varU_[1] * Y.data[2][i] - varT2_ * Y.data[3][i]) / varD_[1];
    }
    if (settings_.extrapolateZeroRow)
        extrapolateZero(Y);
}

void SpotAdiOperator::setSpotZero(RowMatrix& Y, double value) const
{
    for (int j = 1; j <= Nv_ + 1; ++j)
        Y.data[j][0] = value;
}

void SpotAdiOperator::extrapolateZero(RowMatrix& Y) const
{
    for (int i = 1; i < n_; ++i)
        Y.data[1][i] = 3.0 * Y.data[2][i] - 3.0 * Y.data[3][i] + Y.data[4][i];
}

void SpotAdiOperator::closeTable(RowMatrix& Y, double df) const
{
    if (settings_.extrapolateZeroRow)
        extrapolateZero(Y);
    for (int j = 1; j <= Nv_; ++j)
        Y.data[j][n_] = Y.data[j][n_ - 1] + df * ghostRise_;
    for (int i = 0; i <= n_; ++i)
        Y.data[Nv_ + 1][i] = Y.data[Nv_][i];
}

void setZeroVolatilityRow(const SchemeFrame& frame, const SpotAdiOperator& op, RowMatrix& U,
                          double tau)
{
    const OrvHestonVanilla& o = frame.option;
    const double growth = std::exp((o.r - o.d) * tau);
    const double discount = std::exp(-o.r * tau);
    op.setZeroVarianceRow(U, [&](int i) {
        const double forward = frame.spotOf(i) * growth;
        const double intrinsic =
            o.callPut == 1 ? std::max(o.K - forward, 0.0) : std::max(forward - o.K, 0.0);
        return intrinsic * discount;
    });
}
