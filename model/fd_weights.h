#pragma once

// Three-point finite-difference weights on non-uniform grids, shared by the operator assembly, the
// spot derivatives and the time-stepping schemes, so that every operator built on one grid uses the
// same stencil. All weights are exact for quadratics.

#include "numerics/array.h"

// Weights of the lower neighbour, the node itself and the upper neighbour.
struct StencilWeights {
    double lower;
    double diag;
    double upper;
};

// First derivative at a node whose step below is hm and step above is hp.
StencilWeights centralFirstDerivative(double hm, double hp);

// Second derivative at a node whose step below is hm and step above is hp.
StencilWeights centralSecondDerivative(double hm, double hp);

// First derivative at the lowest node x0 of a grid, from x0, x1 and x2 (h1 = x1 - x0,
// h2 = x2 - x1): `lower` weighs x0, `diag` x1 and `upper` x2.
StencilWeights forwardFirstDerivative(double h1, double h2);

// First derivative at the highest node xN of a grid, from xN-2, xN-1 and xN (h1 = xN-1 - xN-2,
// h2 = xN - xN-1): `lower` weighs xN-2, `diag` xN-1 and `upper` xN.
StencilWeights backwardFirstDerivative(double h1, double h2);

// The mixed term m * u_xy taken on the two anti-diagonal corners (i + 1, j - 1) and (i - 1, j + 1)
// only. Their Taylor remainders are returned as additions to the axis coefficients, so that the
// whole seven-point stencil stays exact for quadratics:
//   m * u_xy  ~  P * (2 u(i, j) - u(i + 1, j - 1) - u(i - 1, j + 1))
//              + xSquares / 2 * u_xx + xFirst * u_x + ySquares / 2 * u_yy + yFirst * u_y
// hxm, hxp are the steps below and above the node in x; hym, hyp in y.
struct AntiDiagonalMixed {
    double P;         // m / (hym * hxp + hyp * hxm); the corners get -P, the node +2P
    double xSquares;  // (hxp^2 + hxm^2) * P, added to twice the x diffusion
    double xFirst;    // (hxp - hxm) * P, added to the x drift
    double ySquares;  // (hym^2 + hyp^2) * P, added to twice the y diffusion
    double yFirst;    // (hyp - hym) * P, added to the y drift
};
AntiDiagonalMixed antiDiagonalMixed(double m, double hxm, double hxp, double hym, double hyp);

// Per-node weight arrays of one grid direction, indexed by node.
//   steps[i] = x[i] - x[i - 1] for i >= 1, and steps[0] = steps[1].
//   Entries 1 .. N - 1 hold the central weights with the grid's own steps. Entry N (the last node)
//   holds central weights that use `ghostStep` as the step above it (a ghost node beyond the grid),
//   or zeros when ghostStep is not positive. Entry 0 is zero.
struct GridWeights {
    Array<double> steps;
    Array<double> d1Lower, d1Diag, d1Upper;
    Array<double> d2Lower, d2Diag, d2Upper;
};

// Builds the weights of a grid of at least three strictly increasing nodes; throws NumericalError
// for fewer nodes or for steps that are not positive and finite.
GridWeights buildGridWeights(const Array<double>& nodes, double ghostStep);
