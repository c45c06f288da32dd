#include "levmar/line_search.h"

#include "levmar/box.h"

#include <cmath>

namespace {
constexpr double sufficientDecrease = 1e-4;
constexpr int maxTrials = 150;
}  // namespace

bool boxedLineSearch(ResidualEvaluator& evaluate, const double* p, double error, const double* g,
                     double* s, double* trial, double* residual, double& trialError, int m,
                     double stepMax, double stepTolerance, const double* lb, const double* ub)
{
    const double f = 0.5 * error;
    const double length = std::sqrt(squaredNorm(s, m));
    if (length > stepMax) {
        const double shrink = stepMax / length;
        for (int i = 0; i < m; ++i) s[i] *= shrink;
    }
    const double slope = dotProduct(g, s, m);
    double relativeLength = 0.0;
    for (int i = 0; i < m; ++i) {
        const double scale = std::fabs(p[i]) > 1.0 ? std::fabs(p[i]) : 1.0;
        const double r = std::fabs(s[i]) / scale;
        if (r > relativeLength) relativeLength = r;
    }
    const double minLambda = stepTolerance / relativeLength;

    double lambda = 1.0, previousLambda = 0.0, previousF = 0.0;
    bool quadraticFit = true;
    for (int trialCount = 0; trialCount < maxTrials; ++trialCount) {
        for (int i = 0; i < m; ++i) trial[i] = p[i] + lambda * s[i];
        projectIntoBox(trial, lb, ub, m);
        trialError = evaluate(trial, residual);
        const double fTrial = 0.5 * trialError;
        if (fTrial <= f + slope * sufficientDecrease * lambda) return true;
        if (lambda < minLambda) return false;
        if (!std::isfinite(fTrial)) {
            // Nothing to interpolate: shrink hard and fit a parabola again from there.
            lambda *= 0.1;
            quadraticFit = true;
            continue;
        }
        double next;
        if (quadraticFit) {
            next = -lambda * slope / (2.0 * (fTrial - f - slope));
            quadraticFit = false;
        } else {
            const double t1 = fTrial - f - lambda * slope;
            const double t2 = previousF - f - previousLambda * slope;
            const double t3 = 1.0 / (lambda - previousLambda);
            const double a3 = 3.0 * t3 * (t1 / (lambda * lambda) - t2 / (previousLambda * previousLambda));
            const double b = t3 * (t2 * lambda / (previousLambda * previousLambda) -
                                   t1 * previousLambda / (lambda * lambda));
            const double disc = b * b - a3 * slope;
            // The minimiser of the cubic through both trial values, (-b + sqrt(disc)) / a3,
            // written without cancellation when b > 0 (which also covers a3 = 0).
            next = b > 0.0 ? -slope / (b + std::sqrt(disc)) : (-b + std::sqrt(disc)) / a3;
            if (!(next <= 0.5 * lambda)) next = 0.5 * lambda;  // also replaces a NaN
        }
        previousLambda = lambda;
        previousF = fTrial;
        lambda = next < 0.1 * lambda ? 0.1 * lambda : next;
    }
    return false;
}
