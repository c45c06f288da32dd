#include "numerics/normal_distribution.h"

#include <cmath>

namespace {

// Beyond this |x| the tail is below the smallest double.
constexpr double kTailCutoff = 37.0;
// 10 / sqrt(2): where the rational form hands over to the continued fraction.
constexpr double kRationalLimit = 7.07106781186547;
constexpr double kSqrtTwoPi = 2.506628274631;

// Numerator (degree 6) and denominator (degree 7) coefficients, highest power first.
constexpr double kP[] = {0.0352624965998911, 0.700383064443688, 6.37396220353165, 33.912866078383,
                         112.079291497871,   221.213596169931,  220.206867912376};
constexpr double kQ[] = {0.0883883476483184, 1.75566716318264, 16.064177579207,  86.7807322029461,
                         296.564248779674,   637.333633378831, 793.826512519948, 440.413735824752};

template <int N>
double horner(const double (&coefficients)[N], double x)
{
    double value = coefficients[0];
    for (int i = 1; i < N; ++i) {
        value = value * x + coefficients[i];
    }
    return value;
}

} // namespace

double normalCdf(double x)
{
    const double a = std::fabs(x);
    double tail = 0.0;
    if (!(a > kTailCutoff)) {
        const double e = std::exp(-a * a / 2.0);
        if (a < kRationalLimit) {
            tail = e * horner(kP, a) / horner(kQ, a);
        } else {
            tail = e / (kSqrtTwoPi * (a + 1.0 / (a + 2.0 / (a + 3.0 / (a + 4.0 / (a + 0.65))))));
        }
    }
    return x > 0.0 ? 1.0 - tail : tail;
}
