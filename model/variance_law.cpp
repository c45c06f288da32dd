#include "model/variance_law.h"

#include "model/option_objects.h"

#include <cmath>

double VariancePower::operator()(double v) const
{
    switch (form_) {
    case Form::Linear:
        return v;
    case Form::Square:
        return v * v;
    case Form::TimesSqrt:
        return v * std::sqrt(v);
    case Form::General:
        break;
    }
    return std::pow(v, exponent_);
}

VarianceModelParameters varianceModelOf(const OrvHestonVanilla& option)
{
    VarianceModelParameters p;
    p.modelCode = option.modelCode;
    p.xi = option.volvol;
    p.rho = option.rho;
    p.kappa = option.theta;
    p.vL = option.vL;
    p.exponent = option.varianceExponent;
    return p;
}

double VarianceLaw::drift(double v) const
{
    switch (driftForm) {
    case VarianceDriftForm::MeanReverting:
        return (params.vL - v) * params.kappa;
    case VarianceDriftForm::SqrtScaled:
        return std::sqrt(v) * params.kappa * (params.vL - v);
    case VarianceDriftForm::VarianceScaled:
        return params.kappa * (params.vL - v) * v;
    }
    return (params.vL - v) * params.kappa;
}

VarianceLaw VarianceLaw::squareRoot(const VarianceModelParameters& p)
{
    VarianceLaw law;
    law.params = p;
    return law;
}

VarianceLaw VarianceLaw::garch(const VarianceModelParameters& p)
{
    VarianceLaw law;
    law.params = p;
    law.diffusionPower = VariancePower::square();
    law.mixedPower = VariancePower::timesSqrt();
    return law;
}

VarianceLaw VarianceLaw::squareRootOrGarch(const VarianceModelParameters& p)
{
    return p.modelCode == 0 ? squareRoot(p) : garch(p);
}

VarianceLaw VarianceLaw::squareRootGarchOrSplitting(const VarianceModelParameters& p)
{
    return p.modelCode == 0 || p.modelCode == 1 ? squareRootOrGarch(p) : spotPowerSplitting(p);
}

VarianceLaw VarianceLaw::garchOrSquareRoot(const VarianceModelParameters& p)
{
    return p.modelCode == 1 ? garch(p) : squareRoot(p);
}

VarianceLaw VarianceLaw::logSpotPower(const VarianceModelParameters& p)
{
    if (p.modelCode == 0)
        return squareRoot(p);
    VarianceLaw law;
    law.params = p;
    law.diffusionPower = VariancePower::general((p.exponent - 0.5) * 2.0 + 1.0);
    law.mixedPower = VariancePower::general((p.exponent - 0.5) + 1.0);
    if (p.modelCode == 2)
        law.driftForm = VarianceDriftForm::SqrtScaled;
    return law;
}

VarianceLaw VarianceLaw::spotPowerSplitting(const VarianceModelParameters& p)
{
    if (p.modelCode == 0)
        return squareRoot(p);
    VarianceLaw law = logSpotPower(p);
    if (p.modelCode == 3 || p.modelCode == 4) {
        law.volatilityCoordinate = true;
        law.spotPower = VariancePower::square();
        law.mixedPower = VariancePower::general((p.exponent - 0.0) + 1.0);
        law.driftForm = p.modelCode == 4 ? VarianceDriftForm::VarianceScaled
                                         : VarianceDriftForm::MeanReverting;
    }
    return law;
}
