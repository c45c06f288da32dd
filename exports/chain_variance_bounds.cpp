#include "exports/chain_variance_bounds.h"

#include "density/pdesolver1d.h"
#include "numerics/numerical_error.h"

#include <algorithm>
#include <exception>
#include <string>

namespace {

// The density solves of the chain exports: GARCH-diffusion variance dynamics (model 0) on
// 800 nodes and 50 steps, whatever the pricing model.
constexpr int kNX = 800;
constexpr int kNT = 50;
constexpr int kScheme = 2;
constexpr int kHalfWidth = 5;
constexpr int kDensityModel = 0;
constexpr double kPower = 1.0;
constexpr int kReflectingTop = 1;
constexpr double kLowestShareOfStationary = 0.1;

}  // namespace

double vmaxMultiplier(double theta, double T) { return std::max(1.0, 3.0 - 0.5 * theta * T); }

ChainVarianceBounds::ChainVarianceBounds(std::vector<double> expiries, const ChainRequest& request)
    : active_(request.vcritQuantile < 1.0), level_(request.vcritQuantile)
{
    std::sort(expiries.begin(), expiries.end());
    expiries.erase(std::unique(expiries.begin(), expiries.end()), expiries.end());
    expiries_ = std::move(expiries);
    if (!active_) {
        return;
    }
    const int count = static_cast<int>(expiries_.size());
    vcrits_.assign(expiries_.size(), 0.0);
    // Copying an exception_ptr cannot throw: nothing leaves an iteration.
    std::vector<std::exception_ptr> failures(expiries_.size());
#pragma omp parallel for schedule(static)
    for (int j = 0; j < count; ++j) {
        try {
            PDESolver1D solver(level_, expiries_[j], request.v0, request.vL, request.theta,
                               request.volvol, kNX, kNT, kScheme, kHalfWidth, kDensityModel,
                               kPower, false, kReflectingTop);
            vcrits_[static_cast<std::size_t>(j)] = solver.computeVcrit();
        } catch (...) {
            failures[static_cast<std::size_t>(j)] = std::current_exception();
        }
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
    PDESolver1D stationary(level_, request.v0, request.vL, request.theta, request.volvol);
    stationary_ = stationary.computeVcrit();
}

double ChainVarianceBounds::vmaxParam(double T, double multiplier) const
{
    if (!active_) {
        return level_;
    }
    const auto at = std::lower_bound(expiries_.begin(), expiries_.end(), T);
    if (at == expiries_.end() || *at != T) {
        throw NumericalError("No critical variance was computed for the expiry " +
                             std::to_string(T));
    }
    const double vcrit = vcrits_[static_cast<std::size_t>(at - expiries_.begin())];
    return -std::max(kLowestShareOfStationary * stationary_,
                     std::min(stationary_, multiplier * vcrit));
}
