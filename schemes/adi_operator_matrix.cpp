#include "schemes/adi_operator_matrix.h"

#include "numerics/numerical_error.h"

#include <algorithm>

namespace {

// Nodes whose indices agree modulo 3 in both directions never share a stencil, except through
// the one-sided v = 0 row, which reaches two rows up; its window is shifted accordingly.
constexpr int kColours = 3;

void clear(RowMatrix& X)
{
    std::fill(X.data[0], X.data[0] + static_cast<std::size_t>(X.rows) * X.cols, 0.0);
}

}  // namespace

SparseImplicitEuler::SparseImplicitEuler(const SpotAdiOperator& op, bool extrapolatedZeroRow)
    : op_(op),
      extrapolated_(extrapolatedZeroRow),
      n_(op.spotNodes()),
      Nv_(op.varianceIntervals()),
      N_((op.spotNodes() - 1) * op.varianceIntervals()),
      lu_((op.spotNodes() - 1) * op.varianceIntervals()),
      probe_(op.makeTable()),
      image_(op.makeTable())
{
    if (Nv_ < 4 || n_ < 4)
        throw NumericalError("The implicit operator needs at least four intervals per direction");
    rhs_.resize(N_);
}

void SparseImplicitEuler::factor(double h)
{
    if (!(h > 0.0))
        throw NumericalError("An implicit step needs a positive step size");
    h_ = h;
    triplets_.clear();
    triplets_.reserve(static_cast<std::size_t>(N_) * 10u);
    const int jFirst = extrapolated_ ? 1 : 0;
    for (int a = 0; a < kColours; ++a) {
        for (int b = 0; b < kColours; ++b) {
            clear(probe_);
            clear(image_);
            for (int j = b; j < Nv_; j += kColours)
                for (int i = a == 0 ? kColours : a; i < n_; i += kColours)
                    probe_.data[j + 1][i] = 1.0;
            op_.addOperator(SpotAdiOperator::Part::All, probe_, 0.0, 1.0, image_);
            for (int j = jFirst; j < Nv_; ++j) {
                // The probed node that reaches (i, j): the one of this colour in its window.
                const int jLow = j == 0 ? 0 : j - 1;
                int jq = jLow;
                while (jq % kColours != b)
                    ++jq;
                if (jq >= Nv_)
                    continue;
                for (int i = 1; i < n_; ++i) {
                    int iq = i - 1;
                    while (iq % kColours != a)
                        ++iq;
                    if (iq < 1 || iq >= n_)
                        continue;
                    const double value = image_.data[j + 1][i];
                    if (value != 0.0)
                        triplets_.emplace_back(index(i, j), index(iq, jq), -h * value);
                }
            }
        }
    }
    for (int j = 0; j < Nv_; ++j)
        for (int i = 1; i < n_; ++i)
            triplets_.emplace_back(index(i, j), index(i, j), 1.0);
    if (extrapolated_) {
        // u0 - 3 u1 + 3 u2 - u3 = 0 on the v = 0 row.
        for (int i = 1; i < n_; ++i) {
            triplets_.emplace_back(index(i, 0), index(i, 1), -3.0);
            triplets_.emplace_back(index(i, 0), index(i, 2), 3.0);
            triplets_.emplace_back(index(i, 0), index(i, 3), -1.0);
        }
    }
    lu_.factorize(triplets_);
}

void SparseImplicitEuler::step(RowMatrix& U, double lower, double df)
{
    if (!(h_ > 0.0))
        throw NumericalError("The implicit operator has not been factorised");
    // Known terms: the operator on a table that holds only the boundary values.
    clear(probe_);
    clear(image_);
    op_.setSpotZero(probe_, lower);
    op_.addOperator(SpotAdiOperator::Part::All, probe_, df, 1.0, image_);
    for (int j = 0; j < Nv_; ++j)
        for (int i = 1; i < n_; ++i)
            rhs_[index(i, j)] = U.data[j + 1][i] + h_ * image_.data[j + 1][i];
    if (extrapolated_)
        for (int i = 1; i < n_; ++i)
            rhs_[index(i, 0)] = 0.0;
    lu_.solve(rhs_, x_);
    for (int j = 0; j < Nv_; ++j)
        for (int i = 1; i < n_; ++i)
            U.data[j + 1][i] = x_[index(i, j)];
    op_.setSpotZero(U, lower);
    op_.closeTable(U, df);
}
