#pragma once

// Stage sequences of the alternating-direction schemes, written once over a directional operator,
// so that a routine is its coordinate, its variance law and its phases, and the stages of the
// method are not repeated per routine. The operator type (SpotAdiOperator is the spot-grid one)
// provides, with its implicit line matrices factored for the current phase by the routine:
//   RowMatrix makeTable() const;
//   void addOperator(Part, const RowMatrix& X, double df, double scale, RowMatrix& Y) const;
//        Y += scale * F_part(X) at the solved nodes, Part one of All, Mixed, Spot, Variance
//   void solveSpotLines(RowMatrix& Y, const RowMatrix& ref, double dfDelta, double zeroDelta) const;
//   void solveVarianceLines(RowMatrix& Y, const RowMatrix& ref) const;
//   void setSpotZero(RowMatrix& Y, double value) const;
//   void closeTable(RowMatrix& Y, double df) const;
// df is the slope of the value at the top spot node (exp(-d tau) for a call, 0 for a put).

#include "numerics/row_matrix.h"

#include <cstddef>
#include <functional>

// Boundary data of one time step: the top-spot slope and the S = 0 value at the previous level
// and at the new one.
struct StepBoundary {
    double dfOld = 0.0;
    double dfNew = 0.0;
    double zeroOld = 0.0;
    double zeroNew = 0.0;
};

namespace adi_detail {

// Y = a A + b B over the whole table (the boundary columns are overwritten by the stages).
inline void blend(const RowMatrix& A, double a, const RowMatrix& B, double b, RowMatrix& Y)
{
    const std::size_t count = static_cast<std::size_t>(Y.rows) * static_cast<std::size_t>(Y.cols);
    const double* x = A.data[0];
    const double* z = B.data[0];
    double* y = Y.data[0];
    for (std::size_t k = 0; k < count; ++k)
        y[k] = a * x[k] + b * z[k];
}

}  // namespace adi_detail

// Modified Craig-Sneyd: explicit predictor, one implicit line stage per direction, then the mixed
// and the full correction and a second pair of line stages. Every line stage is taken relative to
// the previous level U, and the boundary values move from the previous to the new level inside
// the implicit stages, as the interior does.
template <class Op>
class ModifiedCraigSneyd {
public:
    // X, df, scale, Y: adds to Y what the predictor's explicit operator should add beyond
    // scale * F(X) (a top-spot condition other than the slope, for instance).
    using PredictorCorrection =
        std::function<void(const RowMatrix& X, double df, double scale, RowMatrix& Y)>;

    explicit ModifiedCraigSneyd(const Op& op)
        : op_(op), Y0_(op.makeTable()), Y_(op.makeTable()), Z_(op.makeTable()),
          D_(op.makeTable())
    {
    }

    void setPredictorCorrection(PredictorCorrection c) { predictorCorrection_ = std::move(c); }

    // One step of size dt from U to the new level, in place, with the weight theta the line
    // matrices were factored with. douglasOnly stops after the first pair of line stages (the
    // implicit sub-steps of the damped start).
    void step(RowMatrix& U, double theta, double dt, const StepBoundary& b, bool douglasOnly)
    {
        using Part = typename Op::Part;
        // Y0 = U + dt F(U), with the previous level's boundary values.
        Y0_ = U;
        op_.addOperator(Part::All, U, b.dfOld, dt, Y0_);
        if (predictorCorrection_)
            predictorCorrection_(U, b.dfOld, dt, Y0_);
        op_.closeTable(Y0_, b.dfNew);

        Y_ = Y0_;
        lineStages(Y_, U, b);
        if (douglasOnly) {
            U = Y_;
            return;
        }

        // Ytilde0 = Y0 + theta dt A0 (Y2 - U) + (1/2 - theta) dt (F(Y2) - F(U)), where
        // F(U) = (Y0 - U) / dt is what the predictor took.
        const double c = 0.5 - theta;
        adi_detail::blend(Y_, 1.0, U, -1.0, D_);
        adi_detail::blend(Y0_, 1.0 - c, U, c, Z_);
        op_.addOperator(Part::Mixed, D_, 0.0, theta * dt, Z_);
        op_.addOperator(Part::All, Y_, b.dfNew, c * dt, Z_);
        lineStages(Z_, U, b);
        U = Z_;
    }

private:
    void lineStages(RowMatrix& Y, const RowMatrix& U, const StepBoundary& b)
    {
        op_.solveSpotLines(Y, U, b.dfNew - b.dfOld, b.zeroNew - b.zeroOld);
        op_.solveVarianceLines(Y, U);
        op_.setSpotZero(Y, b.zeroNew);
        op_.closeTable(Y, b.dfNew);
    }

    const Op& op_;
    PredictorCorrection predictorCorrection_;
    RowMatrix Y0_, Y_, Z_, D_;
};

// Hundsdorfer-Verwer: explicit predictor and one implicit line stage per direction relative to
// U, then the corrector 0.5 (U + Y0 + dt F(Ytilde)) with line stages relative to the first pass
// Ytilde. The S = 0 value enters explicitly, or, with implicitZero, its change over the step also
// enters the first spot line stage.
template <class Op>
class HundsdorferVerwer {
public:
    explicit HundsdorferVerwer(const Op& op, bool implicitZero = false)
        : op_(op), implicitZero_(implicitZero), Y0_(op.makeTable()), Y_(op.makeTable()),
          Yt_(op.makeTable())
    {
    }

    // One step of size dt from U to the new level, in place. douglasOnly stops after the first
    // pair of line stages (the implicit sub-steps of the damped start).
    void step(RowMatrix& U, double dt, const StepBoundary& b, bool douglasOnly = false)
    {
        using Part = typename Op::Part;
        Y0_ = U;
        op_.addOperator(Part::All, U, b.dfOld, dt, Y0_);
        op_.setSpotZero(Y0_, b.zeroNew);
        op_.closeTable(Y0_, b.dfNew);
        Y_ = Y0_;
        const double zeroDelta = implicitZero_ ? b.zeroNew - b.zeroOld : 0.0;
        op_.solveSpotLines(Y_, U, b.dfNew - b.dfOld, zeroDelta);
        op_.solveVarianceLines(Y_, U);
        if (douglasOnly) {
            op_.closeTable(Y_, b.dfNew);
            U = Y_;
            return;
        }

        Yt_ = Y_;
        adi_detail::blend(U, 0.5, Y0_, 0.5, Y_);
        op_.addOperator(Part::All, Yt_, b.dfNew, 0.5 * dt, Y_);
        op_.setSpotZero(Y_, b.zeroNew);
        op_.closeTable(Y_, b.dfNew);
        op_.solveSpotLines(Y_, Yt_, 0.0, 0.0);
        op_.solveVarianceLines(Y_, Yt_);
        op_.closeTable(Y_, b.dfNew);
        U = Y_;
    }

private:
    const Op& op_;
    bool implicitZero_;
    RowMatrix Y0_, Y_, Yt_;
};
