#include "model/option_objects.h"

#include "numerics/numerical_error.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr std::size_t kModelParamCount = 6;
constexpr std::size_t kResultCount = 6;

// modelParams holds volvol, v0, vL, theta, rho and the model code; a shorter list would be read
// past its end.
void readModelParams(OrvHestonVanilla& o, const Array<double>& modelParams)
{
    if (modelParams.size() < kModelParamCount) {
        throw NumericalError("modelParams must hold volvol, v0, vL, theta, rho and the model code");
    }
    o.volvol = modelParams[0];
    o.v0 = modelParams[1];
    o.vL = modelParams[2];
    o.theta = modelParams[3];
    o.rho = modelParams[4];
    o.modelCode = static_cast<int>(std::lround(modelParams[5]));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// OrvEquityOption

OrvEquityOption::OrvEquityOption(double K, double T, double vol, double r, double d, int NS,
                                 int NT, int callPut, int priceMode, int /*unusedCode*/,
                                 int exerciseType, double SmaxUser, bool nonUniformSGrid,
                                 int nPeriods, int boundaryMode, double extraT)
    : results(0.0, kResultCount),
      dS(0.0),
      K(K),
      T(T),
      vol(vol),
      r(r),
      d(d),
      SmaxUser(SmaxUser),
      extraT(extraT),
      NS(NS),
      NSOriginal(NS),
      NT(NT),
      callPut(callPut),
      priceMode(priceMode),
      nPeriods(nPeriods),
      boundaryMode(boundaryMode),
      exerciseType(exerciseType),
      nonUniformSGrid(nonUniformSGrid),
      sGridReady(false)
{
}

OrvEquityOption::~OrvEquityOption() = default;

Array<double> OrvEquityOption::getResults() { return results; }

Array<double> OrvEquityOption::getStrikePrices() { return strikePrices; }

Array<double> OrvEquityOption::getStrikeIVs() { return strikeIVs; }

void OrvEquityOption::setT(double newT) { T = newT; }

void OrvEquityOption::bumpVol(double dv) { vol += dv; }

void OrvEquityOption::setNS(int newNS)
{
    NS = newNS;
    sGridReady = false;
}

void OrvEquityOption::setNT(int newNT) { NT = newNT; }

void OrvEquityOption::noOp(const double* /*nodeValues*/) {}

// ---------------------------------------------------------------------------------------------
// OrvHestonVanilla

OrvHestonVanilla::OrvHestonVanilla(double S, double K, double T, Array<double> modelParams,
                                   double r, double d, int NS, int Nv, int NT, int callPut,
                                   int priceMode, int unusedCode, int exerciseType,
                                   Array<double> /*unusedA*/, Array<double> /*unusedB*/,
                                   bool nonUniformSGrid, double /*tolExp*/, double SmaxUser,
                                   double VmaxParam, int nPeriods, bool /*unusedFlag*/,
                                   int boundaryMode, double extraT, int schemeNumber,
                                   bool volvolWidening)
    : OrvEquityOption(K, T, 0.0, r, d, NS, NT, callPut, priceMode, unusedCode, exerciseType,
                      SmaxUser, nonUniformSGrid, nPeriods, boundaryMode, extraT),
      S(S),
      Nv(Nv),
      VmaxParam(VmaxParam),
      volvolWidening(volvolWidening),
      schemeNumber(schemeNumber)
{
    readModelParams(*this, modelParams);
    // No strike list: a one-strike object, without a mean variance and with the GARCH diffusion
    // exponent (the member's default) for the power-law operator.
    resetSolverState();
}

OrvHestonVanilla::OrvHestonVanilla(double S, std::vector<double> strikeList, double T,
                                   Array<double> modelParams, double r, double d, int NS, int Nv,
                                   int NT, int callPut, int priceMode, int unusedCode,
                                   int exerciseType, Array<double> /*unusedA*/,
                                   Array<double> /*unusedB*/, bool nonUniformSGrid,
                                   double /*tolExp*/, double SmaxUser, double VmaxParam,
                                   int nPeriods, bool /*unusedFlag*/, int boundaryMode,
                                   double extraT, int schemeNumber, bool volvolWidening,
                                   bool strikeFlag, double varianceExponent, double vMean)
    : OrvEquityOption(S, T, 0.0, r, d, NS, NT, callPut, priceMode, unusedCode, exerciseType,
                      SmaxUser, nonUniformSGrid, nPeriods, boundaryMode, extraT),
      S(S),
      varianceExponent(varianceExponent),
      vMean(vMean),
      Nv(Nv),
      VmaxParam(VmaxParam),
      volvolWidening(volvolWidening),
      schemeNumber(schemeNumber),
      strikes(std::move(strikeList)),
      strikeFlag(strikeFlag)
{
    readModelParams(*this, modelParams);
    if (strikes.size() >= 2) {
        std::sort(strikes.begin(), strikes.end());
        K = strikes.front();
        multiStrike = true;
    } else {
        K = strikes.empty() ? S : strikes.front();
        multiStrike = false;
    }
    resetSolverState();
}

OrvHestonVanilla::~OrvHestonVanilla() = default;

int OrvHestonVanilla::getNS() { return NS; }

void OrvHestonVanilla::bumpVariances(double dv)
{
    const double volatility0 = std::sqrt(v0) + dv;
    const double volatilityL = std::sqrt(vL) + dv;
    v0 = volatility0 * volatility0;
    vL = volatilityL * volatilityL;
}

void OrvHestonVanilla::resetSolverState()
{
    american = (exerciseType == 1);
    secondExerciseFlag = (exerciseType == 2);
    lowerBoundaryValue = -1.0;
    upperBoundaryValue = -1.0;
    if (callPut == 0 && nPeriods > 1 && exerciseType == 2) {
        boundaryMode = 2;
    }
    retryLevel = 0;
    dampingFlag = false;
    iToK = 0;
    iToV0 = 0;
    useFirstVGrid = false;
    sStretchCentre = 0.0;
    vCentreFraction = 0.0;
    sStretch = 0.0;
    vStretch = 0.0;
    clustering = 4.5;
    logGridFraction = 0.025;
}
