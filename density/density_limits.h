#pragma once

// Fixed levels, caps and messages of the variance-density solver.
namespace density_limits {

// Highest probability level of a critical variance; the quantile of level 1 is unbounded.
constexpr double maxQuantileLevel = 0.99999999;

// The log-variance grid never reaches below this.
constexpr double lowestLogVariance = -15.0;

// The grid's top lies at least this many standard deviations of log-variance above the quantile sought.
constexpr double quantileReachMargin = 0.25;

// Beyond this multiple of the plain node count, a grid that must reach further gets a coarser step.
constexpr double maxGridGrowth = 8.0;

// Guards the allocation of a grid whose size comes from refinements and caller input.
constexpr long long maxGridNodes = 1000000;

// Retry limits of computeVcrit.
constexpr int maxRefinedSteps = 12800;     // grid steps below v0 beyond which no finer grid is tried
constexpr int maxRetriedTimeSteps = 1000;  // time steps beyond which no smaller time step is tried
constexpr int secantIterations = 20;       // iterations of the quantile search
constexpr double secantTolerance = 1e-9;   // step in log-variance at which the secant has converged

// Density checks at the horizon.
constexpr double negativeDensityLimit = -1e-9;
constexpr double risingTopLimit = 1e-9;
constexpr double risingTopRatio = 1.5;

constexpr const char* instabilityMessage = "Instability detected";
constexpr const char* risingTopMessage = "Instability 2 detected";
constexpr const char* nonFiniteDensityMessage = "The variance density is not finite";
constexpr const char* badGridMessage = "The variance density grid cannot be built from these inputs";
constexpr const char* gridTooLargeMessage = "The variance density grid is too large";
constexpr const char* badSettingsMessage = "Invalid time steps or scheme for the variance density";
constexpr const char* badPMessage = "bad p in Gammadist";

}  // namespace density_limits
