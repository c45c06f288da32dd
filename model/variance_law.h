#pragma once

// The variance laws of the models, in one place, so that the explicit operators and the implicit
// matrices of a solve are built from the same coefficients. With a law, the pricing equation in
// time to expiry reads, on the spot grid,
//   u_tau = 1/2 w(v) S^2 u_SS + rho xi m(v) S u_Sv + 1/2 xi^2 g(v) u_vv + (r - d) S u_S
//           + drift(v) u_v - r u
// and on the log-spot grid (x = ln S) the S factors drop and the x drift is (r - d) - w(v) / 2.
// v is the grid's variance coordinate (a volatility y for the volatility-coordinate laws, whose
// spot factor is then w = y^2).

class OrvHestonVanilla;

// One power of the variance. The forms are evaluated exactly as the laws state them (v * v, not
// pow(v, 2.0)), so two operators built from the same law agree to the last bit.
class VariancePower {
public:
    enum class Form { Linear, Square, TimesSqrt, General };

    static VariancePower linear() { return VariancePower(Form::Linear, 1.0); }
    static VariancePower square() { return VariancePower(Form::Square, 2.0); }
    static VariancePower timesSqrt() { return VariancePower(Form::TimesSqrt, 1.5); }  // v sqrt(v)
    static VariancePower general(double exponent) { return VariancePower(Form::General, exponent); }

    double operator()(double v) const;
    Form form() const { return form_; }
    double exponent() const { return exponent_; }

private:
    VariancePower(Form form, double exponent) : form_(form), exponent_(exponent) {}
    Form form_;
    double exponent_;
};

enum class VarianceDriftForm {
    MeanReverting,   // kappa (vL - v)
    SqrtScaled,      // sqrt(v) kappa (vL - v)
    VarianceScaled,  // kappa (vL - v) v
};

// The model parameters a law needs (kappa is the object's mean-reversion rate `theta`).
struct VarianceModelParameters {
    int modelCode = 0;
    double xi = 0.0;
    double rho = 0.0;
    double kappa = 0.0;
    double vL = 0.0;
    double exponent = 1.0;  // `varianceExponent` of the power laws
};

VarianceModelParameters varianceModelOf(const OrvHestonVanilla& option);

struct VarianceLaw {
    VarianceModelParameters params;
    VariancePower spotPower = VariancePower::linear();       // w
    VariancePower diffusionPower = VariancePower::linear();  // g
    VariancePower mixedPower = VariancePower::linear();      // m
    VarianceDriftForm driftForm = VarianceDriftForm::MeanReverting;
    bool volatilityCoordinate = false;

    double spotVariance(double v) const { return spotPower(v); }                       // w(v)
    double varianceVariance(double v) const { return params.xi * params.xi * diffusionPower(v); }
    double varianceDiffusion(double v) const { return 0.5 * varianceVariance(v); }      // eta
    double mixedCoefficient(double v) const { return params.xi * params.rho * mixedPower(v); }
    double drift(double v) const;

    // Neither drift nor diffusion at v = 0 (the drift vanishes there with the diffusion): the
    // bottom row of the grid has no equation of its own and is extrapolated from the rows above.
    bool degenerateAtZero() const { return driftForm != VarianceDriftForm::MeanReverting; }
    // The volatility law whose bottom row holds the zero-volatility value of the option.
    bool zeroVolatilityRow() const
    {
        return volatilityCoordinate && driftForm == VarianceDriftForm::VarianceScaled;
    }

    // Square-root (Heston-type) law: g = v, m = v.
    static VarianceLaw squareRoot(const VarianceModelParameters& p);
    // GARCH-type law: g = v^2, m = v sqrt(v).
    static VarianceLaw garch(const VarianceModelParameters& p);

    // The laws as the operators and schemes select them by model code:
    // square-root for code 0, GARCH-type for every other code.
    static VarianceLaw squareRootOrGarch(const VarianceModelParameters& p);
    // The laws of the spot-grid schemes 6 to 9: square-root for code 0, GARCH-type for code 1,
    // and for the other models their own laws, those of spotPowerSplitting.
    static VarianceLaw squareRootGarchOrSplitting(const VarianceModelParameters& p);
    // GARCH-type for code 1 only, square-root for every other code (spot-grid operator).
    static VarianceLaw garchOrSquareRoot(const VarianceModelParameters& p);
    // Power law of the log-spot operator: square-root for code 0; otherwise
    // g = pow(v, (p - 0.5) * 2.0 + 1.0), m = pow(v, (p - 0.5) + 1.0), and for code 2 the drift
    // gains a factor sqrt(v).
    static VarianceLaw logSpotPower(const VarianceModelParameters& p);
    // Power law of the spot-grid splitting schemes: as logSpotPower for codes 0 to 2; codes 3 and 4
    // work in a volatility coordinate y (w = y^2, m = pow(y, p + 1.0)), code 4 with the drift
    // kappa (vL - y) y.
    static VarianceLaw spotPowerSplitting(const VarianceModelParameters& p);
};
