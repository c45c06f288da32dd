// Fokker-Planck solves of PDESolver1D against closed-form moments and exact identities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "density/fokker_planck_rows.h"
#include "density/pdesolver1d.h"

namespace {

struct Dynamics {
    double v0, vL, theta, xi, T;
    int NT;
};

PDESolver1D makeSolver(const Dynamics& d, int model = 0, double power = 1.0, int scheme = 2) {
    return PDESolver1D(0.99, d.T, d.v0, d.vL, d.theta, d.xi, 800, d.NT, scheme, 5, model, power, false, 1);
}

// Trapezoid of the density and of density times variance over the log-variance grid.
double mass(const Array<double>& x, const Array<double>& p) {
    double sum = 0.0;
    for (std::size_t i = 0; i + 1 < x.size(); ++i) sum += 0.5 * (p[i] + p[i + 1]) * (x[i + 1] - x[i]);
    return sum;
}

double firstMoment(const Array<double>& x, const Array<double>& p) {
    Array<double> weighted = p * std::exp(x);
    return mass(x, weighted);
}

// With a drift linear in v, E[v_t] = vL + (v0 - vL) e^{-theta t} whatever the diffusion.
double expectedVariance(const Dynamics& d, double t) { return d.vL + (d.v0 - d.vL) * std::exp(-d.theta * t); }

// Mean of E[v] over the NT + 1 time nodes j T / NT, and its continuous counterpart.
double sampledTimeAverage(const Dynamics& d) {
    const double r = std::exp(-d.theta * d.T / d.NT);
    return d.vL + (d.v0 - d.vL) * (1.0 - std::pow(r, d.NT + 1)) / ((1.0 - r) * (d.NT + 1));
}

double continuousTimeAverage(const Dynamics& d) {
    return d.vL + (d.v0 - d.vL) * (1.0 - std::exp(-d.theta * d.T)) / (d.theta * d.T);
}

const Dynamics garchCases[] = {
    {0.04, 0.06, 1.5, 1.0, 1.0, 50},
    {0.09, 0.04, 3.0, 0.7, 0.5, 100},
    {0.04, 0.04, 2.0, 1.0, 0.25, 50},
    {0.02, 0.05, 1.0, 1.5, 2.0, 50},
};

TEST(FokkerPlanck, GarchDensityHasUnitMassAndTheExactMean) {
    for (const auto& d : garchCases) {
        PDESolver1D solver = makeSolver(d);
        Array<Array<double>> out(5);
        solver.solveFokkerPlanck(out);
        ASSERT_EQ(out[0].size(), static_cast<std::size_t>(solver.size));
        const double wide = d.xi * std::sqrt(d.T);  // the widest grid has the coarsest step
        EXPECT_NEAR(mass(out[0], out[1]), 1.0, wide > 2.0 ? 3e-3 : 1e-3) << "v0 " << d.v0 << " T " << d.T;
        EXPECT_NEAR(firstMoment(out[0], out[1]) / expectedVariance(d, d.T), 1.0, 2e-3);
        EXPECT_NEAR(solver.vMean / sampledTimeAverage(d), 1.0, 1e-3);
        EXPECT_NEAR(solver.vMean / continuousTimeAverage(d), 1.0, 3e-3);
    }
}

TEST(FokkerPlanck, MassErrorIsSecondOrderInTheGridStep) {
    const Dynamics d = garchCases[3];
    double error[3];
    const int sizes[] = {800, 1600, 3200};
    for (int k = 0; k < 3; ++k) {
        PDESolver1D solver(0.99, d.T, d.v0, d.vL, d.theta, d.xi, sizes[k], d.NT, 2, 5, 0, 1.0, false, 1);
        Array<Array<double>> out(5);
        solver.solveFokkerPlanck(out);
        error[k] = std::fabs(mass(out[0], out[1]) - 1.0);
    }
    EXPECT_LT(error[2], 2e-4);
    EXPECT_NEAR(std::log2(error[0] / error[1]), 2.0, 0.3);
    EXPECT_NEAR(std::log2(error[1] / error[2]), 2.0, 0.3);
}

TEST(FokkerPlanck, GarchMeansAfterTheCriticalVariance) {
    for (const auto& d : garchCases) {
        PDESolver1D solver = makeSolver(d);
        solver.computeVcrit();
        EXPECT_NEAR(solver.meanV / expectedVariance(d, d.T), 1.0, 2e-3) << "v0 " << d.v0 << " T " << d.T;
        EXPECT_NEAR(solver.vMean / sampledTimeAverage(d), 1.0, 2e-4);
        EXPECT_EQ(solver.meanVariance(), d.vL);  // GARCH objects report the long-run variance
    }
}

TEST(FokkerPlanck, PowerLawMeanFollowsTheLinearDrift) {
    const Dynamics cases[] = {{0.04, 0.06, 2.0, 0.5, 1.0, 50}, {0.06, 0.03, 1.0, 0.8, 2.0, 100}};
    for (const auto& d : cases) {
        PDESolver1D solver = makeSolver(d, 1, 0.8);
        solver.computeVcrit();
        EXPECT_NEAR(solver.meanV / expectedVariance(d, d.T), 1.0, 2e-3) << "v0 " << d.v0;
        EXPECT_NEAR(solver.vMean / sampledTimeAverage(d), 1.0, 2e-3);
    }
}

// Stationary mean of dv = theta sqrt(v) (vL - v) dt + xi v dW, whose stationary density is
// proportional to v^-2 exp(-(4 theta / xi^2) (vL / sqrt(v) + sqrt(v))); midpoint rule in log v.
double volFormStationaryMean(double vL, double theta, double xi) {
    double num = 0.0, den = 0.0;
    const double h = 1e-3;
    for (double u = -20.0; u < 10.0; u += h) {
        const double v = std::exp(u + h / 2);
        const double weight = v * std::exp(-2.0 * std::log(v) - 4.0 * theta / (xi * xi) * (vL / std::sqrt(v) + std::sqrt(v)));
        num += weight * v;
        den += weight;
    }
    return num / den;
}

TEST(FokkerPlanck, VolFormReachesItsStationaryMean) {
    for (double xi : {0.5, 1.0}) {
        const Dynamics d{0.04, 0.06, 3.0, xi, 20.0, 100};
        PDESolver1D solver = makeSolver(d, 2, 1.0);
        solver.computeVcrit();
        const double expected = volFormStationaryMean(d.vL, d.theta, xi);
        EXPECT_NEAR(solver.meanV / expected, 1.0, 1e-5) << "xi " << xi;
        EXPECT_EQ(solver.meanVariance(), solver.meanV);
    }
}

TEST(FokkerPlanck, PowerLawOfPowerOneIsGarch) {
    const Dynamics d = garchCases[0];
    for (int scheme : {0, 1, 2}) {
        PDESolver1D garch = makeSolver(d, 0, 1.0, scheme);
        PDESolver1D power = makeSolver(d, 1, 1.0, scheme);
        Array<Array<double>> a(5), b(5);
        garch.solveFokkerPlanck(a);
        power.solveFokkerPlanck(b);
        ASSERT_EQ(a[1].size(), b[1].size());
        const double scale = a[1].max();
        // Node 0 differs by construction: GARCH keeps it at its start value, the power law sets it
        // from the zero-flux condition that both fold into row 1.
        for (std::size_t i = 1; i < a[1].size(); ++i) EXPECT_NEAR(a[1][i], b[1][i], 1e-12 * scale) << "node " << i;
    }
}

TEST(FokkerPlanck, SchemesAgreeAndSchemeTwoNeedsFiveSteps) {
    const Dynamics d = garchCases[0];
    double means[3];
    for (int scheme : {0, 1, 2}) {
        PDESolver1D solver = makeSolver(d, 0, 1.0, scheme);
        Array<Array<double>> out(5);
        solver.solveFokkerPlanck(out);
        means[scheme] = firstMoment(out[0], out[1]);
    }
    // Implicit Euler is first order in time, the other two second order.
    EXPECT_NEAR(means[1] / means[2], 1.0, 1e-4);
    EXPECT_NEAR(means[0] / means[2], 1.0, 5e-3);

    // Too few steps for the damped start: plain Crank-Nicolson, kept by the object.
    Dynamics few = d;
    few.NT = 4;
    PDESolver1D solver = makeSolver(few, 0, 1.0, 2);
    Array<Array<double>> out(5);
    try {
        solver.solveFokkerPlanck(out);
    } catch (const std::exception&) {
        // Undamped steps from a point mass may oscillate below zero; only the switch matters here.
    }
    EXPECT_EQ(solver.scheme, 1);
}

TEST(FokkerPlanck, PointMassAndClippedGrid) {
    PDESolver1D solver = makeSolver(garchCases[0]);
    solver.buildGrid();
    solver.setInitialDensity();
    EXPECT_NEAR(solver.grid[solver.steps], std::log(0.04), 1e-12);
    EXPECT_NEAR(solver.density.sum() * solver.dx, 1.0, 1e-14);

    // A grid that would reach below log-variance -15 is cut there; dx stays near w / N. (v0 = vL: no
    // drift to widen the grid for.)
    PDESolver1D low(0.99, 1.0, 1e-6, 1e-6, 2.0, 1.0, 800, 50, 2, 5, 0, 1.0, false, 1);
    low.buildGrid();
    EXPECT_EQ(low.grid[0], -15.0);
    EXPECT_EQ(low.size, low.steps + 1 + 200);
    EXPECT_NEAR(low.dx, 5.0 / 200, 5.0 / 200 / low.steps);
    EXPECT_NEAR(low.grid[low.steps], std::log(1e-6), 1e-12);
}

TEST(FokkerPlanckRows, LinearExtrapolationFoldKeepsLinearProfiles) {
    // A non-uniform top so that both spacings matter.
    Array<double> grid = {0.0, 0.3, 0.7, 1.2, 2.0};
    Array<double> sub = {0.0, 0.4, 0.9, 1.3, 0.0};
    Array<double> diag = {0.0, -2.0, -2.5, -3.1, 0.0};
    Array<double> super = {0.0, 0.6, 1.1, 0.8, 0.0};
    const Array<double> sub0 = sub, diag0 = diag, super0 = super;
    fokker_planck_rows::foldUpperBoundary(2, grid, sub, diag, super);
    EXPECT_EQ(super[3], 0.0);
    for (double slope : {-1.5, 0.0, 2.0}) {
        auto p = [&](int i) { return 0.7 + slope * grid[i]; };
        const double unfolded = sub0[3] * p(2) + diag0[3] * p(3) + super0[3] * p(4);
        const double folded = sub[3] * p(2) + diag[3] * p(3);
        EXPECT_NEAR(folded, unfolded, 1e-14);
    }
}

}  // namespace
