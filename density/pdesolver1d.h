#pragma once

#include "numerics/array.h"

// Distribution of the instantaneous variance v of a one-factor variance process at a horizon T.
// The forward (Fokker-Planck) equation is solved for the density p of x = log v on a uniform grid,
// starting from a point mass at v0; the density at T gives the critical variance (the q-quantile of
// v_T) that bounds the variance grids of the pricer, and the mean variance.
//
// Variance dynamics by `model` (e = 2 (power - 1)); the forward operator of x is
// (A p)(x) = D(x) p'' + C(x) p' + E(x) p:
//   0      dv = theta (vL - v) dt + xi v dW           (GARCH diffusion)
//   1      dv = theta (vL - v) dt + xi v^power dW     (power law)
//   other  dv = theta sqrt(v) (vL - v) dt + xi v^power dW
//
// One object serves one computeVcrit on one thread; its creator reads vMean or meanVariance() after.
class PDESolver1D {
public:
    Array<double> grid;      // log-variance nodes, uniform with step dx
    Array<double> density;   // density of x at the nodes (initial point mass, then at T)
    Array<double> variance;  // exp(grid[i])
    double dx = 0.0;
    int model = 0;
    double power = 1.0;
    double q = 0.0;          // probability level of the critical variance
    double v0 = 0.0;
    double T = 0.0;          // horizon in years; 0 selects the stationary law
    double xi = 0.0;         // volatility of variance
    double vL = 0.0;         // long-run variance
    double theta = 0.0;      // mean-reversion rate
    double slope = 0.0;      // outer slope of the reflecting top boundary
    int N = 10;              // grid steps above log v0
    int steps = 0;           // grid steps below log v0; 0 lets buildGrid choose
    int size = 0;            // number of nodes, steps + 1 + N
    int NT = 0;              // time steps
    int n1 = 5;              // half-width of the grid in standard deviations of x
    int scheme = 2;          // 0 implicit, 1 Crank-Nicolson, 2 four implicit quarter steps then Crank-Nicolson
    int boundaryMode = 1;    // top boundary: 1 reflection, 2 linear extrapolation
    bool keepGrid = false;
    bool gridBuilt = false;
    double vMean = 0.0;      // time average of E[v] over [0, T]; 0 until a solve sets it
    double meanV = 0.0;      // E[v_T]; vL until computeVcrit sets it
    // Set by each solve: somewhere the grid step is too coarse for the drift, so that a central
    // difference gives a neighbour a negative weight and the density can oscillate below zero.
    bool driftUnresolved = false;

    // Stationary object: only computeVcrit (which then gives the stationary quantile) is meaningful.
    PDESolver1D(double q, double v0, double vL, double theta, double xi);

    PDESolver1D(double q, double T, double v0, double vL, double theta, double xi, int NX, int NT,
                int scheme, int n1, int model, double power, bool keepGrid, int boundaryMode);

    virtual ~PDESolver1D() = default;

    // Back to the state before a first solve; a computeVcrit leaves N at four times its start value,
    // which the division by 4 undoes.
    virtual void reset();

    // Uniform log-variance grid about log v0 (nothing when gridBuilt): n1 standard deviations of the
    // diffusion on either side, widened towards where the drift carries the density and, above, to
    // the level's quantile; the first build sets steps and the count N above log v0. Throws
    // NumericalError when the inputs give no grid (non-positive horizon, volatility of variance or
    // grid sizes, v0 at or below the lowest log-variance).
    virtual void buildGrid();

    // Unit point mass at log v0 on the current grid.
    virtual void setInitialDensity();

    // Rows 1 .. size-2 of (s dt A - I), s = 1 for stepKind 0 (implicit step) and 1/2 for stepKind 1
    // (Crank-Nicolson step), with the boundary folds of each dynamics. The Arrays hold size elements.
    void fpCoefficientsGarch(Array<double>& sub, Array<double>& diag, Array<double>& super, double dt,
                             int stepKind);
    void fpCoefficientsPowerLaw(Array<double>& sub, Array<double>& diag, Array<double>& super, double dt,
                                int stepKind);
    void fpCoefficientsVolForm(Array<double>& sub, Array<double>& diag, Array<double>& super, double dt,
                               int stepKind);

    // One solve from v0 to T on the current settings: out (at least two elements) receives the grid
    // in out[0] and the density at T in out[1]. Throws NumericalError "Instability detected" for a
    // negative density, "Instability 2 detected" for a density rising at the top of the grid.
    void solveFokkerPlanck(Array<Array<double>>& out);

    // The q-quantile of v_T (stationary law for T = 0 and whenever the density route fails); sets
    // meanV and, through its solves, vMean. A negative density is retried on a finer grid when the
    // grid cannot resolve the drift, else with shorter time steps; a density rising at the top with
    // shorter time steps. Throws only for a level q outside (0, 1].
    double computeVcrit();

    // The q-quantile of the stationary inverse-gamma law of the GARCH variance; 0 for non-positive
    // parameters; throws NumericalError "bad p in Gammadist" for q outside (0, 1].
    double stationaryVcrit();

    // meanV for model 2, else vL.
    double meanVariance();

private:
    // How far the grid reaches beyond the diffusion width w on either side of log v0, and by how
    // much its step is stretched to keep the node count bounded.
    struct GridReach {
        double up = 0.0;
        double down = 0.0;
        double stretch = 1.0;
    };
    GridReach gridReach(double w) const;

    // log of the noise-free variance at T over v0: where the drift carries the bulk of the density.
    double meanLogShift() const;

    // z with N(-z) = 1 - level; 0 for levels up to 1/2.
    static double upperNormalQuantile(double level);
};
