#include "levmar/vector_norms.h"

#include <cmath>

double residualSquaredNorm(double* e, const double* x, const double* y, int n)
{
    double sum = 0.0;
    if (x) {
        for (int i = 0; i < n; ++i) {
            e[i] = x[i] - y[i];
            sum += e[i] * e[i];
        }
    } else {
        for (int i = 0; i < n; ++i) {
            e[i] = -y[i];
            sum += e[i] * e[i];
        }
    }
    return sum;
}

double scaledEuclideanNorm(const double* v, int n)
{
    double largest = 0.0;
    for (int i = 0; i < n; ++i) {
        const double a = std::fabs(v[i]);
        if (std::isnan(a)) return a;
        if (a > largest) largest = a;
    }
    if (largest == 0.0 || !std::isfinite(largest)) return largest;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double r = v[i] / largest;
        sum += r * r;
    }
    return largest * std::sqrt(sum);
}

double squaredNorm(const double* v, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += v[i] * v[i];
    return sum;
}

double dotProduct(const double* a, const double* b, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

bool allFinite(const double* v, int count)
{
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}
