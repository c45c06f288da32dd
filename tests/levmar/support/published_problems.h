#pragma once

// Least-squares problems with published minima (More, Garbow and Hillstrom, ACM TOMS 7, 1981),
// written as levmar objectives: hx = the residuals f_i(p), measurements all zero, so that the sum
// of squares minimised is the published F. Also a line fit with a closed-form solution.

#include <cmath>
#include <vector>

namespace published {

inline void rosenbrock(double* p, double* hx, int, int, void*)
{
    hx[0] = 10.0 * (p[1] - p[0] * p[0]);
    hx[1] = 1.0 - p[0];
}

inline void powellSingular(double* p, double* hx, int, int, void*)
{
    hx[0] = p[0] + 10.0 * p[1];
    hx[1] = std::sqrt(5.0) * (p[2] - p[3]);
    hx[2] = (p[1] - 2.0 * p[2]) * (p[1] - 2.0 * p[2]);
    hx[3] = std::sqrt(10.0) * (p[0] - p[3]) * (p[0] - p[3]);
}

inline void meyer(double* p, double* hx, int, int n, void*)
{
    static const double y[16] = {34780, 28610, 23650, 19630, 16370, 13720, 11540, 9744,
                                 8261,  7030,  6005,  5147,  4427,  3820,  3307,  2872};
    for (int i = 0; i < n; ++i) {
        const double t = 45.0 + 5.0 * (i + 1);
        hx[i] = p[0] * std::exp(p[1] / (t + p[2])) - y[i];
    }
}

inline void osborne1(double* p, double* hx, int, int n, void*)
{
    static const double y[33] = {0.844, 0.908, 0.932, 0.936, 0.925, 0.908, 0.881, 0.850, 0.818,
                                 0.784, 0.751, 0.718, 0.685, 0.658, 0.628, 0.603, 0.580, 0.558,
                                 0.538, 0.522, 0.506, 0.490, 0.478, 0.467, 0.457, 0.448, 0.438,
                                 0.431, 0.424, 0.420, 0.414, 0.411, 0.406};
    for (int i = 0; i < n; ++i) {
        const double t = 10.0 * i;
        hx[i] = y[i] - (p[0] + p[1] * std::exp(-t * p[3]) + p[2] * std::exp(-t * p[4]));
    }
}

inline void brownDennis(double* p, double* hx, int, int n, void*)
{
    for (int i = 0; i < n; ++i) {
        const double t = (i + 1) / 5.0;
        const double u = p[0] + t * p[1] - std::exp(t);
        const double v = p[2] + p[3] * std::sin(t) - std::cos(t);
        hx[i] = u * u + v * v;
    }
}

inline void biggsExp6(double* p, double* hx, int, int n, void*)
{
    for (int i = 0; i < n; ++i) {
        const double t = 0.1 * (i + 1);
        const double y = std::exp(-t) - 5.0 * std::exp(-10.0 * t) + 3.0 * std::exp(-4.0 * t);
        hx[i] = p[2] * std::exp(-t * p[0]) - p[3] * std::exp(-t * p[1]) +
                p[5] * std::exp(-t * p[4]) - y;
    }
}

// A line through (0,1), (1,0), (2,2) (the measurements): least squares at p = (0.5, 0.5) with
// |e|^2 = 1.5, covariance |e|^2 (X^T X)^-1 = [[1.25,-0.75],[-0.75,0.75]] on one degree of freedom.
inline void line(double* p, double* hx, int, int, void*)
{
    for (int i = 0; i < 3; ++i) hx[i] = p[0] + p[1] * i;
}

struct Problem {
    const char* name;
    void (*func)(double*, double*, int, int, void*);
    int m;
    int n;
    std::vector<double> start;
    double minimum;  // published F; 0 for the zero-residual problems
};

inline std::vector<Problem> problems()
{
    return {
        {"Rosenbrock", rosenbrock, 2, 2, {-1.2, 1.0}, 0.0},
        {"PowellSingular", powellSingular, 4, 4, {3.0, -1.0, 0.0, 1.0}, 0.0},
        {"Meyer", meyer, 3, 16, {0.02, 4000.0, 250.0}, 87.9458551},
        {"Osborne1", osborne1, 5, 33, {0.5, 1.5, -1.0, 0.01, 0.02}, 5.46489470e-5},
        {"BrownDennis", brownDennis, 4, 20, {25.0, 5.0, -5.0, -1.0}, 85822.2016},
        {"BiggsExp6", biggsExp6, 6, 13, {1.0, 2.0, 1.0, 1.0, 1.0, 1.0}, 0.0},
    };
}

}  // namespace published
