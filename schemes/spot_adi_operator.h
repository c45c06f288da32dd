#pragma once

// The two-dimensional pricing operator on the spot grid, split by direction for the
// alternating-direction schemes: F = F0 (mixed) + F1 (spot) + F2 (variance), in time to expiry,
//   F1 = 1/2 w(v) S^2 u_SS + (r - d) S u_S - r/2 u
//   F2 = 1/2 xi^2 g(v) u_vv + drift(v) u_v - r/2 u
//   F0 = rho xi m(v) S u_Sv
// with w, g, m and the drift from one VarianceLaw, so the explicit evaluation and the implicit
// line matrices always describe the same equation.
//
// Value tables are RowMatrix objects of (Nv + 2) rows by (n + 1) columns: row j + 1 holds
// variance node j (row 0 is unused), column i spot node i, column n the ghost beyond the top
// spot node. Solved nodes are spot nodes 1 .. n - 1 and variance nodes 0 .. Nv - 1. Column 0
// holds the S = 0 boundary value; row Nv + 1 (variance node Nv) repeats node Nv - 1 (no slope
// in v at the top), and the top spot node carries the slope df of the boundary condition.

#include "model/variance_law.h"
#include "numerics/array.h"
#include "numerics/row_matrix.h"

#include <functional>
#include <vector>

class SchemeFrame;

enum class MixedStencil {
    NinePoint,   // product of the central first differences in S and v
    SevenPoint,  // the anti-diagonal corners only, with its Taylor remainders on the axes
};

enum class ZeroVarianceRow {
    RecomputeAfterSolve,  // the far one-sided weight stays out of the matrix; node 0 is redone
    ExactElimination,     // the far weight is eliminated with row 1 before factoring
};

struct SpotAdiSettings {
    VarianceLaw law;
    MixedStencil mixed = MixedStencil::NinePoint;
    ZeroVarianceRow zeroRow = ZeroVarianceRow::RecomputeAfterSolve;
    // The v = 0 node is not stepped but extrapolated, 3 u1 - 3 u2 + u3 (laws whose drift and
    // diffusion vanish there, so the row has no equation of its own).
    bool extrapolateZeroRow = false;
};

// The spot direction in its coordinate x (the spot itself, or the log-spot): per node the bare
// first- and second-difference weights, and the coefficients of the line operator
//   sigma(w) u_xx + mu(w) u_x = w (a weights) u + (b weights) u,
// w = w(v) the law's spot factor. On the spot grid a = 1/2 S^2 D2 and b = (r - d) S D1; on the
// log-spot grid a = 1/2 (D2 - D1) and b = (r - d) D1. At the top node the a weights hold the
// diffusion only: the slope df of the value in S gives the ghost value u_top + df ghostRise and
// the drift term df (topDrift + w topDriftPerW).
struct SpotDirection {
    Array<double> steps;  // n + 1: steps[i] = x_i - x_{i-1}, steps[0] = steps[1], steps[n] ghost
    Array<double> d1L, d1D, d1U, d2L, d2D, d2U;
    Array<double> aL, aD, aU, bL, bD, bU;
    Array<double> mixedFactor;  // per node: what multiplies rho xi m(v) in the mixed term
    double ghostRise = 0.0;
    double topDrift = 0.0;
    double topDriftPerW = 0.0;
};

// What one spot node i = 1 .. n - 1 contributes to its line coefficients:
//   a = diffusion D2 + diffusionDrift D1, b = drift D1,
// with D1, D2 the bare central weights on the direction's steps.
struct SpotNodeTerms {
    double diffusion = 0.0;
    double diffusionDrift = 0.0;  // a first-difference part that scales with w(v)
    double drift = 0.0;
    double mixedFactor = 0.0;
};

// The direction's per-node weights and coefficients on the given steps (n + 1 of them, the ghost
// step last); ghostRise and the top drift terms are left to the caller.
SpotDirection spotDirectionOnSteps(const Array<double>& steps, int n,
                                   const std::function<SpotNodeTerms(int i)>& terms);

// The spot direction on the frame's spot grid.
SpotDirection spotGridDirection(const SchemeFrame& frame);

class SpotAdiOperator {
public:
    enum class Part { All, Mixed, Spot, Variance };

    // Coefficients from the frame's grids; the law's drift replaces the frame's.
    SpotAdiOperator(const SchemeFrame& frame, const SpotAdiSettings& settings);
    // The same operator with another spot coordinate (see schemes/log_spot_adi_operator.h).
    SpotAdiOperator(const SchemeFrame& frame, const SpotAdiSettings& settings,
                    const SpotDirection& spot);

    RowMatrix makeTable() const;
    // Every row of the table set to `row` (n + 1 values: the spot nodes and the ghost).
    void fillRows(RowMatrix& X, const Array<double>& row) const;

    // Y += scale * F_part(X) at every solved node. df is the top-spot slope that belongs to X.
    void addOperator(Part part, const RowMatrix& X, double df, double scale, RowMatrix& Y) const;

    // Builds and factors the implicit line matrices I - theta dt A_dir of both directions.
    void factor(double theta, double dt);

    // Line stage in S: Y := (I - theta dt A1)^-1 (Y - theta dt A1 ref), where A1 holds no
    // boundary values; dfDelta is the change of the top slope between the explicit evaluation of
    // the stage and the new time level (0 when both belong to the same level). spotZeroDelta is
    // the change of the S = 0 value to move implicitly (schemes that treat that boundary
    // explicitly pass 0).
    void solveSpotLines(RowMatrix& Y, const RowMatrix& ref, double dfDelta,
                        double spotZeroDelta = 0.0) const;
    // Line stage in v: Y := (I - theta dt A2)^-1 (Y - theta dt A2 ref).
    void solveVarianceLines(RowMatrix& Y, const RowMatrix& ref) const;

    // The S = 0 column of every row.
    void setSpotZero(RowMatrix& Y, double value) const;
    // Ghost column (slope df at the top spot node), row Nv, and the extrapolated v = 0 row.
    void closeTable(RowMatrix& Y, double df) const;
    // Row v = 0, i = 1 .. n - 1, set to a given value per spot node.
    template <class F>
    void setZeroVarianceRow(RowMatrix& Y, F valueAtSpotNode) const
    {
        for (int i = 1; i < n_; ++i)
            Y.data[1][i] = valueAtSpotNode(i);
    }

    int spotNodes() const { return n_; }
    int varianceIntervals() const { return Nv_; }

private:
    void extrapolateZero(RowMatrix& Y) const;

    SpotAdiSettings settings_;
    int n_;
    int Nv_;
    double r_;
    Array<double> dS_;
    Array<double> mixedFactor_;
    double ghostRise_;
    double topDrift_;
    double topDriftPerW_;
    Array<double> V_;
    Array<double> dv_;

    // Spot direction per spot node i (SpotDirection).
    Array<double> aL_, aD_, aU_;
    Array<double> bL_, bD_, bU_;
    Array<double> d1SL_, d1SD_, d1SU_;   // bare first-difference weights in S
    Array<double> d2SL_, d2SD_, d2SU_;   // bare second-difference weights in S
    // Per variance node j: spot factor w, mixed factor rho xi m, and the variance-line
    // coefficients (lower, diagonal, upper) of F2 without the rate; c2 is the far weight at v = 0.
    Array<double> w_, mixed_;
    // Seven-point mixed stencil per node (index j n + i): weights of (i-1, j), (i, j), (i+1, j),
    // (i, j-1), (i, j+1), and the corners (i-1, j+1), (i+1, j-1). Built once: the stencil has a
    // division per node.
    Array<double> sevenW_, sevenC_, sevenE_, sevenS_, sevenN_, sevenNW_, sevenSE_;
    Array<double> cL_, cD_, cU_;
    double c2_ = 0.0;
    Array<double> d1vL_, d1vD_, d1vU_;
    Array<double> d2vL_, d2vD_, d2vU_;

    // Implicit stage data of the current phase.
    double thetaDt_ = 0.0;
    // One factorisation per row j (tridiagFactor), its pivots stored inverted.
    std::vector<Array<double>> spotMult_, spotSuper_, spotPivot_;
    std::vector<Array<double>> spotL_, spotD_, spotU_;   // the matrices as built, per row j
    Array<double> varMult_, varSuper_, varPivot_;
    Array<double> varL_, varD_, varU_;
    double varT2_ = 0.0;      // entry of node 2 in row 0 (0 after the exact elimination)
    double elimFactor_ = 0.0; // t2 / up_1 of the exact elimination
    bool eliminated_ = false;
};

// Row v = 0 of a zero-volatility law set to what the option is worth there at time to expiry tau:
// its discounted intrinsic value on the forward (spot or log-spot frames alike).
void setZeroVolatilityRow(const SchemeFrame& frame, const SpotAdiOperator& op, RowMatrix& U,
                          double tau);
