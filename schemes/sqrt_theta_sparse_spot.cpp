// Scheme 10: the Hundsdorfer-Verwer splitting of schemes 2 and 4 on the clustered spot grid, but
// with a damped start of implicit Euler sub-steps of the whole operator, mixed term included,
// solved by sparse LU. The sparse matrix and the splitting operator are built from the same
// variance law and the same seven-point stencil, and the values the matrix leaves out (the S = 0
// column, the ghost beyond the top spot node) enter its right-hand side through the splitting
// operator itself, so the two phases step the same discrete equation.

#include "model/fd_weights.h"
#include "model/operator_assembly.h"
#include "model/option_objects.h"
#include "model/variance_law.h"
#include "numerics/numerical_error.h"
#include "schemes/adi_stages.h"
#include "schemes/scheme_frame.h"
#include "schemes/sparse_lu.h"
#include "schemes/spot_adi_operator.h"

#include <Eigen/Core>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// Lead-coefficient code of the operator assembly for I - h A.
constexpr int kImplicitEuler = 0;

// Implicit Euler sub-steps (I - h A) U_new = U + h (boundary terms) over the unknowns: spot nodes
// 1 .. n - 1 of variance lines 0 .. Nv - 1, index j (n - 1) + i - 1.
class AssembledImplicitEuler {
public:
    AssembledImplicitEuler(const OrvHestonVanilla& option, const SchemeFrame& frame,
                        const SpotAdiOperator& op, const VarianceLaw& law, double h)
        : frame_(frame), op_(op), h_(h), lines_(frame.n - 1), unknowns_(lines_ * frame.Nv),
          lu_(unknowns_), boundary_(op.makeTable()), edges_(op.makeTable())
    {
        if (option.NS != frame.n - 1)
            throw NumericalError("The operator weights do not match the grids");
        const GridWeights spot = buildGridWeights(frame.S, frame.dS[frame.n]);
        const GridWeights variance = buildGridWeights(frame.V, 0.0);
        const StencilWeights f = forwardFirstDerivative(variance.steps[1], variance.steps[2]);
        const double drift0 = law.drift(frame.V[0]);

        std::vector<SparseLuSolver::Triplet> triplets;
        assembleOperatorForLaw(option, false, law, triplets, spot.d2Lower, spot.d2Upper,
                               spot.d2Diag, spot.d1Lower, spot.d1Upper, spot.d1Diag, spot.steps,
                               variance.steps, variance.d2Lower, variance.d2Upper,
                               variance.d2Diag, variance.d1Lower, variance.d1Upper,
                               variance.d1Diag, drift0 * f.lower, drift0 * f.diag,
                               drift0 * f.upper, h, kImplicitEuler);
        lu_.factorize(triplets);
        rhs_.resize(unknowns_);
    }

    void step(RowMatrix& U, const StepBoundary& b)
    {
        // h A applied to the known values alone: the S = 0 column and the top slope.
        for (int r = 0; r < boundary_.rows; ++r)
            for (int c = 0; c < boundary_.cols; ++c) {
                boundary_.data[r][c] = 0.0;
                edges_.data[r][c] = 0.0;
            }
        op_.setSpotZero(edges_, b.zeroNew);
        op_.addOperator(SpotAdiOperator::Part::All, edges_, b.dfNew, h_, boundary_);

        const int Nv = frame_.Nv;
        for (int j = 0; j < Nv; ++j)
            for (int i = 1; i <= lines_; ++i)
                rhs_[j * lines_ + i - 1] = U.data[j + 1][i] + boundary_.data[j + 1][i];
        lu_.solve(rhs_, x_);
        for (int j = 0; j < Nv; ++j)
            for (int i = 1; i <= lines_; ++i)
                U.data[j + 1][i] = x_[j * lines_ + i - 1];
        op_.setSpotZero(U, b.zeroNew);
        op_.closeTable(U, b.dfNew);
    }

private:
    const SchemeFrame& frame_;
    const SpotAdiOperator& op_;
    double h_;
    int lines_;
    int unknowns_;
    SparseLuSolver lu_;
    RowMatrix boundary_;
    RowMatrix edges_;
    Eigen::VectorXd rhs_;
    Eigen::VectorXd x_;
};

}  // namespace

bool OrvHestonVanilla::calcGARCHNUDirectNonNegSqrtThetaSparse(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    // This scheme knows the square-root and the GARCH variance only; the other models would get
    // one law in the sparse matrix and another in the line matrices.
    if (modelCode != 0 && modelCode != 1)
        throw NumericalError(
            "The sparse spot-grid scheme prices the square-root and GARCH variance laws only");
    const VarianceLaw law = VarianceLaw::squareRootOrGarch(varianceModelOf(*this));

    SchemeFrameSettings fs;
    fs.widenSGrid = widenSGrid;
    fs.widenVmax = widenVmax;
    fs.sGridParam = sGridParam;
    fs.vGridStretch = vGridStretch;
    SchemeFrame frame(*this, fs);

    SpotAdiSettings settings;
    settings.law = law;
    settings.mixed = MixedStencil::SevenPoint;
    settings.zeroRow = ZeroVarianceRow::ExactElimination;
    SpotAdiOperator op(frame, settings);

    RowMatrix U = op.makeTable();
    op.fillRows(U, frame.u0);

    const std::vector<TimeStep> steps = frame.timeSteps(1.0 - std::sqrt(2.0) * 0.5);
    std::unique_ptr<AssembledImplicitEuler> damped;
    if (dampingFlag)
        damped = std::make_unique<AssembledImplicitEuler>(*this, frame, op, law,
                                                       frame.dt / dampingSubsteps);
    HundsdorferVerwer<SpotAdiOperator> hv(op);
    for (const TimeStep& step : steps) {
        StepBoundary b;
        b.dfOld = frame.slopeFactor(step.tauOld);
        b.dfNew = frame.slopeFactor(step.tauNew);
        b.zeroOld = U.data[1][0];
        b.zeroNew = frame.spotZeroValue(step.tauNew);
        if (step.damping) {
            damped->step(U, b);
            continue;
        }
        if (step.phaseStart)
            op.factor(step.theta, step.dt);
        hv.step(U, step.dt, b);
    }

    frame.readOut([&U](int i, int j) { return U.data[j + 1][i]; });
    frame.reportTime(cpuTime);
    if (multiStrike)
        frame.finishMultiStrike(outputs);
    else
        frame.finishSingle(outputs, SpotGreeks::SpotNodes);
    return true;
}
