#include "levmar/linear_solve.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdio>

extern "C" {
void dsytrf_(const char* uplo, const int* n, double* a, const int* lda, int* ipiv, double* work,
             const int* lwork, int* info, std::size_t uploLength);
void dsytrs_(const char* uplo, const int* n, const int* nrhs, const double* a, const int* lda,
             const int* ipiv, double* b, const int* ldb, int* info, std::size_t uploLength);
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a,
             const int* lda, double* s, double* u, const int* ldu, double* vt, const int* ldvt,
             double* work, const int* lwork, int* info, std::size_t jobuLength,
             std::size_t jobvtLength);
}

namespace {

bool allFinite(const double* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

}  // namespace

BunchKaufmanSolver::BunchKaufmanSolver(int m)
    : m_(m), factor_(static_cast<std::size_t>(m) * m), pivots_(m)
{
    // The optimal block size depends only on m: ask once per run.
    int lwork = -1, info = 0;
    double best = 0.0;
    dsytrf_("U", &m_, factor_.data(), &m_, pivots_.data(), &best, &lwork, &info, 1);
    const int size = info == 0 && best >= 1.0 ? static_cast<int>(best) : m_;
    work_.assign(size > m_ ? size : m_, 0.0);
}

bool BunchKaufmanSolver::solve(const double* A, const double* b, double* x)
{
    // A symmetric matrix reads the same by rows and by columns, so no transposition is needed.
    factor_.assign(A, A + factor_.size());
    for (int i = 0; i < m_; ++i) x[i] = b[i];
    const int lwork = static_cast<int>(work_.size());
    int info = 0;
    dsytrf_("U", &m_, factor_.data(), &m_, pivots_.data(), work_.data(), &lwork, &info, 1);
    if (info > 0) {
        std::fprintf(stderr,
                     "singular block diagonal matrix D in the Bunch-Kaufman solve [D(%d, %d) is "
                     "zero]\n",
                     info, info);
        return false;
    }
    if (info < 0) return false;
    const int nrhs = 1;
    dsytrs_("U", &m_, &nrhs, factor_.data(), &m_, pivots_.data(), x, &m_, &info, 1);
    // A factor that is merely near-singular can yield infinities or NaNs: let the damping grow.
    return info == 0 && allFinite(x, m_);
}

LuSolver::LuSolver(int m)
    : m_(m), lu_(static_cast<std::size_t>(m) * m), rowScale_(m), permutation_(m)
{
}

bool LuSolver::factorise(const double* A)
{
    const int m = m_;
    lu_.assign(A, A + lu_.size());
    for (int i = 0; i < m; ++i) {
        double largest = 0.0;
        for (int j = 0; j < m; ++j) {
            const double a = std::fabs(lu_[i * m + j]);
            if (a > largest) largest = a;
        }
        if (largest == 0.0) {
            std::fprintf(stderr, "Singular matrix A in Ax_eq_b_LU_noLapack()!\n");
            return false;
        }
        rowScale_[i] = 1.0 / largest;
        permutation_[i] = i;
    }
    for (int k = 0; k < m; ++k) {
        int pivot = k;
        double best = -1.0;
        for (int i = k; i < m; ++i) {
            const double size = rowScale_[i] * std::fabs(lu_[i * m + k]);
            if (size > best) {
                best = size;
                pivot = i;
            }
        }
        if (pivot != k) {
            for (int j = 0; j < m; ++j) std::swap(lu_[pivot * m + j], lu_[k * m + j]);
            std::swap(rowScale_[pivot], rowScale_[k]);
            std::swap(permutation_[pivot], permutation_[k]);
        }
        // An exactly singular column still gives a (huge) step; the caller's checks judge it.
        if (lu_[k * m + k] == 0.0) lu_[k * m + k] = DBL_EPSILON;
        const double inversePivot = 1.0 / lu_[k * m + k];
        for (int i = k + 1; i < m; ++i) {
            double& factor = lu_[i * m + k];
            factor *= inversePivot;
            for (int j = k + 1; j < m; ++j) lu_[i * m + j] -= factor * lu_[k * m + j];
        }
    }
    return true;
}

void LuSolver::substitute(double* x) const
{
    const int m = m_;
    for (int i = 0; i < m; ++i) {
        double sum = x[i];
        for (int j = 0; j < i; ++j) sum -= lu_[i * m + j] * x[j];
        x[i] = sum;
    }
    for (int i = m - 1; i >= 0; --i) {
        double sum = x[i];
        for (int j = i + 1; j < m; ++j) sum -= lu_[i * m + j] * x[j];
        x[i] = sum / lu_[i * m + i];
    }
}

bool LuSolver::solve(const double* A, const double* b, double* x)
{
    if (!factorise(A)) return false;
    for (int i = 0; i < m_; ++i) x[i] = b[permutation_[i]];
    substitute(x);
    return allFinite(x, m_);
}

bool LuSolver::invert(const double* A, double* inverse)
{
    if (!factorise(A)) return false;
    const int m = m_;
    std::vector<double> column(m);
    for (int j = 0; j < m; ++j) {
        for (int i = 0; i < m; ++i) column[i] = permutation_[i] == j ? 1.0 : 0.0;
        substitute(column.data());
        for (int i = 0; i < m; ++i) inverse[i * m + j] = column[i];
    }
    return true;
}

int levmarCovarianceSvd(const double* JtJ, double* covar, double sumOfSquares, int m, int n)
{
    // JtJ is symmetric, so its row-major array is also its column-major one.
    std::vector<double> a(JtJ, JtJ + static_cast<std::size_t>(m) * m);
    std::vector<double> s(m), u(static_cast<std::size_t>(m) * m), vt(static_cast<std::size_t>(m) * m);
    int lwork = -1, info = 0;
    double best = 0.0;
    dgesvd_("A", "A", &m, &m, a.data(), &m, s.data(), u.data(), &m, vt.data(), &m, &best, &lwork,
            &info, 1, 1);
    lwork = info == 0 && best >= 1.0 ? static_cast<int>(best) : 5 * m;
    std::vector<double> work(lwork);
    dgesvd_("A", "A", &m, &m, a.data(), &m, s.data(), u.data(), &m, vt.data(), &m, work.data(),
            &lwork, &info, 1, 1);
    if (info != 0) return 0;

    // Singular values below the rounding level of the largest one count as zero.
    const double threshold = DBL_EPSILON * s[0];
    int rank = 0;
    while (rank < m && s[rank] > threshold) ++rank;
    if (rank == 0) return 0;

    // pinv = V diag(1/s) U^T; column-major U(i,k) = u[k*m+i], V(j,k) = vt[j*m+k].
    const double factor = sumOfSquares / static_cast<double>(n - rank);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) {
            double sum = 0.0;
            for (int k = 0; k < rank; ++k) sum += vt[i * m + k] * u[k * m + j] / s[k];
            covar[i * m + j] = sum * factor;
        }
    return rank;
}

int levmarCovarianceLu(const double* JtJ, double* covar, double sumOfSquares, int m, int n)
{
    LuSolver lu(m);
    if (!lu.invert(JtJ, covar)) return 0;
    const double factor = sumOfSquares / static_cast<double>(n - m);
    for (int i = 0; i < m * m; ++i) covar[i] *= factor;
    return m;
}

int levmarCovariance(const double* JtJ, double* covar, double sumOfSquares, int m, int n)
{
#ifdef SARNEX_LEVMAR_OWN_LU
    return levmarCovarianceLu(JtJ, covar, sumOfSquares, m, n);
#else
    return levmarCovarianceSvd(JtJ, covar, sumOfSquares, m, n);
#endif
}
