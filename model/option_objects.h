#pragma once

// The option and model objects of the two-dimensional (spot x variance) pricing equation.
// OrvEquityOption carries the contract, the spot grid and the results; OrvHestonVanilla is the one
// concrete class and serves every stochastic-volatility model through its modelCode.
//
// Where each group of members is defined:
//   model/option_objects.cpp      constructors, resetSolverState, accessors, setters, bumps
//   model/price_modes.cpp         calcPrice, calcGridRichardson, writeConvLog
//   model/scheme_dispatch.cpp     PricingSchemeDispatch (and the scheme routine table)
//   model/spot_grid.cpp           generateSGrid, generateUniformSGrid, generateNonUniformSGrid,
//                                 generateLogSGrid
//   model/payoff.cpp              setPayoff, setPayoffLogS, smoothPayoff, smoothPayoffLogS,
//                                 setLowerBoundary
//   model/variance_grid.cpp       firstVGridGenerator, hybridVGridGenerator
//   model/variance_bound.cpp      calcVmax, gammaQuantileVmax, chiSquareQuantileVmax
//   model/operator_assembly.cpp   assembleOperator, assembleOperatorPow
//   model/spot_derivatives.cpp    spotDerivativesUniform, spotDerivativesNonUniform
//   schemes/                      the eleven time-stepping routines (calcGARCHNUDirectNonNeg...)
//
// A program that builds an OrvHestonVanilla links schemes/ as well (the virtual calcPrice reaches
// the dispatcher, which reaches the routines); tests that script the routines install their own
// table with setSchemeRoutineTable.

#include "numerics/array.h"

#include <Eigen/SparseCore>

#include <vector>

class RowMatrix;

// Diagnostics switch for the "Conv.txt" trace of the price modes and the schemes. Off at start;
// nothing in the system switches it on.
extern bool writeConvLog;

// results[2] holds this when a solve has no usable price; a price not above it counts as none.
constexpr double noPriceMarker = 1e-16;

class OrvEquityOption {
public:
    // --- contract, spot grid and results (declaration order is part of the design) ---
    Array<double> SGrid;          // spot nodes of the last built spot grid (log-spot on log grids)
    Array<double> values;         // smoothed payoff / node values along the spot grid
    Array<double> payoff;         // payoff at the spot nodes
    Array<double> results;        // [0] Vmax, [1] price, [2] safe value, [3] NT used, [4] price or IV
    Array<double> strikePrices;   // one price per strike of a multi-strike object
    Array<double> strikeIVs;      // one implied volatility per strike of a multi-strike object
    double dS = 0.0;              // uniform spot step, taken from the grid by the spot derivatives
    double K = 0.0;               // strike (smallest strike of a multi-strike object)
    double T = 0.0;               // expiry in years
    double vol = 0.0;             // base volatility; only bumpVol uses it
    double r = 0.0;               // interest rate
    double d = 0.0;               // dividend yield
    double SmaxUser = 0.0;        // caller's upper spot bound / stretch factor (0.0 = none)
    double lowerBoundaryValue = -1.0;  // value at the lowest spot node when > -1.0
    double upperBoundaryValue = -1.0;  // value at the highest spot node when > -1.0
    double extraT = 0.0;          // time added to T when the grids are sized
    int NS = 0;                   // spot intervals
    int NSOriginal = 0;           // NS the price modes restore and double
    int iToK = 0;                 // spot node on the strike; 0 = to be chosen
    int nSNodes = 0;              // spot nodes of the last built grid
    int NT = 0;                   // time steps
    int callPut = 0;              // 0 call, 1 put
    int priceMode = 0;            // 5 space Richardson, 4 space and time, other one solve
    int nPeriods = 0;             // equal sub-periods of the expiry
    int boundaryMode = 0;         // upper spot boundary treatment selector (2 = alternative)
    int exerciseType = 0;         // 0 European, 1 American, 2 second exercise kind
    bool american = false;
    bool secondExerciseFlag = false;
    bool nonUniformSGrid = false; // clustered spot grid instead of the uniform one
    bool sGridReady = false;      // SGrid is valid and the builders return it

    OrvEquityOption(double K, double T, double vol, double r, double d, int NS, int NT, int callPut,
                    int priceMode, int unusedCode, int exerciseType, double SmaxUser,
                    bool nonUniformSGrid, int nPeriods, int boundaryMode, double extraT);

    virtual ~OrvEquityOption();
    virtual void calcPrice(Array<double>& out0, Array<double>& out1, Array<double>& out2,
                           Array<double>& out3, Array<double>& out4, double* cpuTime) = 0;
    virtual int getNS() = 0;
    virtual void generateSGrid(Array<double>& grid) = 0;
    virtual Array<double> getResults();
    virtual Array<double> getStrikePrices();
    virtual Array<double> getStrikeIVs();
    virtual void setT(double newT);
    virtual void bumpVol(double dv);
    virtual void setNS(int newNS);
    virtual void setNT(int newNT);
    virtual void noOp(const double* nodeValues);

    // model/spot_derivatives.cpp
    void spotDerivativesUniform(Array<double>& D1, Array<double>& D2);
    void spotDerivativesNonUniform(Array<double>& D1, Array<double>& D2);
};

class OrvHestonVanilla : public OrvEquityOption {
public:
    Array<double> VGrid;          // variance nodes
    double S = 0.0;               // spot
    double v0 = 0.0;              // initial variance (modelParams[1])
    double vL = 0.0;              // long-run variance (modelParams[2])
    double theta = 0.0;           // mean-reversion rate (modelParams[3])
    double volvol = 0.0;          // volatility of volatility (modelParams[0])
    double rho = 0.0;             // spot/variance correlation (modelParams[4])
    // Power of the variance in the power-law operator and schemes. A one-strike object gets 1.0,
    // the GARCH diffusion law, which the robust solves' fallback scheme then reads.
    double varianceExponent = 1.0;
    double vMean = 0.0;           // mean variance over the expiry (0.0 = not given)
    int modelCode = 0;            // 0 square-root, 1 GARCH, 2 ORV-X1, 3 inverse-gamma vol, 4 XGBM vol
    int Nv = 0;                   // variance intervals
    double VmaxParam = 0.0;       // rule and parameter of the variance-grid upper bound
    int retryLevel = 0;           // 1 on a robust-solve retry
    bool computeIVs = false;      // implied volatilities are computed after the solve
    bool dampingFlag = false;     // set by the dispatcher for damped scheme numbers
    bool volvolWidening = false;  // volvol above 5 may widen the clustered spot grids
    double sStretchCentre = 0.0;  // cached sinh centre of the clustered spot grid
    double vCentreFraction = 0.0; // cached grid fraction of v0 in the first variance grid
    double sStretch = 0.0;        // cached sinh stretch of the clustered spot grid
    double vStretch = 0.0;        // cached stretch of the first variance grid
    int iToV0 = 0;                // variance node on v0; 0 = to be chosen
    int vUpperIntervals = 0;      // stretched intervals of the hybrid variance grid
    bool useFirstVGrid = false;   // hybrid variance grid failed: use the first generator
    double clustering = 4.5;      // spot-grid clustering read by schemes 1 and 15
    int schemeNumber = 0;         // 1 to 15
    double logGridFraction = 0.025; // log-spot grid reaches down to ln(K * logGridFraction)
    std::vector<double> strikes;  // ascending strikes of a multi-strike object
    bool multiStrike = false;     // two or more strikes
    bool strikeFlag = false;      // read by the schemes' per-strike output loops

    // One-strike object. modelParams: volvol, v0, vL, theta, rho, modelCode (at least six entries).
    OrvHestonVanilla(double S, double K, double T, Array<double> modelParams, double r, double d,
                     int NS, int Nv, int NT, int callPut, int priceMode, int unusedCode,
                     int exerciseType, Array<double> unusedA, Array<double> unusedB,
                     bool nonUniformSGrid, double tolExp, double SmaxUser, double VmaxParam,
                     int nPeriods, bool unusedFlag, int boundaryMode, double extraT,
                     int schemeNumber, bool volvolWidening);

    // Strike-vector object: the strikes are sorted; with two or more K is the smallest.
    OrvHestonVanilla(double S, std::vector<double> strikes, double T, Array<double> modelParams,
                     double r, double d, int NS, int Nv, int NT, int callPut, int priceMode,
                     int unusedCode, int exerciseType, Array<double> unusedA,
                     Array<double> unusedB, bool nonUniformSGrid, double tolExp, double SmaxUser,
                     double VmaxParam, int nPeriods, bool unusedFlag, int boundaryMode,
                     double extraT, int schemeNumber, bool volvolWidening, bool strikeFlag,
                     double varianceExponent, double vMean);

    ~OrvHestonVanilla() override;

    // model/price_modes.cpp
    void calcPrice(Array<double>& out0, Array<double>& out1, Array<double>& out2,
                   Array<double>& out3, Array<double>& out4, double* cpuTime) override;
    void calcGridRichardson(Array<Array<double>>& outs, double* cpuTime);

    int getNS() override;

    // model/spot_grid.cpp
    void generateSGrid(Array<double>& grid) override;

    // v0 := (sqrt(v0) + dv)^2 and vL := (sqrt(vL) + dv)^2; dv is a volatility bump.
    void bumpVol(double dv) override { bumpVariances(dv); }
    void bumpVariances(double dv);

    virtual void resetSolverState();

    // model/spot_grid.cpp
    virtual void generateUniformSGrid(Array<double>& grid, bool widen);
    virtual void generateNonUniformSGrid(Array<double>& grid, double clustering, bool widen);
    virtual void generateLogSGrid(Array<double>& grid, double clustering, bool widen);

    // model/payoff.cpp
    virtual void setPayoff();
    virtual void setPayoffLogS();
    virtual void smoothPayoff();
    virtual void smoothPayoffLogS();
    virtual void setLowerBoundary(RowMatrix& U, double t);

    // model/scheme_dispatch.cpp. Arguments 3 to 9 are forwarded to the time-stepping routine
    // (3 and 4 change places there); the last three are not read.
    void PricingSchemeDispatch(Array<Array<double>>& outputs, double* cpuTime, bool flag,
                               bool fillOutputs, double value1, std::vector<double>* containerA,
                               std::vector<double>* containerB, double value2,
                               std::vector<double>* containerC, bool unused1, bool unused2,
                               bool unused3);

    // model/variance_grid.cpp
    void firstVGridGenerator(double centre, int nv, double vmax, double c, Array<double>& out);
    void hybridVGridGenerator(double centre, int nv, double vmax, double c, Array<double>& out);

    // model/variance_bound.cpp
    double calcVmax(double horizon);
    double gammaQuantileVmax(double horizon);
    double chiSquareQuantileVmax(double horizon);

    // model/operator_assembly.cpp
    void assembleOperator(std::vector<Eigen::Triplet<double>>& triplets,
                          const Array<double>& spotD2Lower, const Array<double>& spotD2Upper,
                          const Array<double>& spotD2Diag, const Array<double>& spotD1Lower,
                          const Array<double>& spotD1Upper, const Array<double>& spotD1Diag,
                          const Array<double>& spotSteps, const Array<double>& varianceSteps,
                          const Array<double>& varianceD2Lower,
                          const Array<double>& varianceD2Upper,
                          const Array<double>& varianceD2Diag,
                          const Array<double>& varianceD1Lower,
                          const Array<double>& varianceD1Upper,
                          const Array<double>& varianceD1Diag, double zeroLineWeight0,
                          double zeroLineWeight1, double zeroLineWeight2, double stepFactor,
                          int leadCoefficientCode);
    void assembleOperatorPow(std::vector<Eigen::Triplet<double>>& triplets,
                             const Array<double>& spotD2Lower, const Array<double>& spotD2Upper,
                             const Array<double>& spotD2Diag, const Array<double>& spotD1Lower,
                             const Array<double>& spotD1Upper, const Array<double>& spotD1Diag,
                             const Array<double>& spotSteps, const Array<double>& varianceSteps,
                             const Array<double>& varianceD2Lower,
                             const Array<double>& varianceD2Upper,
                             const Array<double>& varianceD2Diag,
                             const Array<double>& varianceD1Lower,
                             const Array<double>& varianceD1Upper,
                             const Array<double>& varianceD1Diag, double zeroLineWeight0,
                             double zeroLineWeight1, double zeroLineWeight2, double stepFactor,
                             int leadCoefficientCode);

    // schemes/: the eleven time-stepping routines. All take the same arguments: the five output
    // arrays, the CPU-time value, fillOutputs, an unread flag, five unread pass-through values,
    // then widenSGrid, widenVmax, sGridParam and vGridStretch. Each returns true.
#define SARNEX_SCHEME_ROUTINE_ARGS                                                              \
    Array<Array<double>>& outputs, double* cpuTime, bool fillOutputs, bool unusedFlag,          \
        double unusedValue1, std::vector<double>* unusedA, std::vector<double>* unusedB,        \
        double unusedValue2, std::vector<double>* unusedC, bool widenSGrid, bool widenVmax,     \
        double sGridParam, double vGridStretch
    bool calcGARCHNUDirectNonNeg4Fct(SARNEX_SCHEME_ROUTINE_ARGS);             // scheme 1
    bool calcGARCHNUDirectNonNegSqrtThetaPow(SARNEX_SCHEME_ROUTINE_ARGS);     // schemes 2, 4
    bool calcGARCHNUDirectNonNegMCSPow(SARNEX_SCHEME_ROUTINE_ARGS);           // schemes 3, 5
    bool calcGARCHNUDirectNonNegSqrtTheta(SARNEX_SCHEME_ROUTINE_ARGS);        // schemes 6, 8
    bool calcGARCHNUDirectNonNegMCS(SARNEX_SCHEME_ROUTINE_ARGS);              // schemes 7, 9
    bool calcGARCHNUDirectNonNegSqrtThetaSparse(SARNEX_SCHEME_ROUTINE_ARGS);  // scheme 10
    bool calcGARCHNUDirectNonNegSqrtThetaLogS(SARNEX_SCHEME_ROUTINE_ARGS);    // scheme 11
    bool calcGARCHNUDirectNonNegSqrtThetaLogS2(SARNEX_SCHEME_ROUTINE_ARGS);   // scheme 12
    bool calcGARCHNUDirectNonNegMCSLogS(SARNEX_SCHEME_ROUTINE_ARGS);          // scheme 13
    bool calcGARCHNUDirectNonNegMCSSparseLogS(SARNEX_SCHEME_ROUTINE_ARGS);    // scheme 14
    bool calcGARCHNUDirectNonNeg4FctLogS(SARNEX_SCHEME_ROUTINE_ARGS);         // scheme 15
#undef SARNEX_SCHEME_ROUTINE_ARGS
};
