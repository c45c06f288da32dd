#include "numerics/normal_distribution.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Independent reference: the C library's complementary error function.
double referenceCdf(double x)
{
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

TEST(NormalCdf, ExactValuesAtCentreAndBeyondTheCutoff)
{
    EXPECT_EQ(normalCdf(0.0), 0.5);
    EXPECT_EQ(normalCdf(-0.0), 0.5);
    EXPECT_EQ(normalCdf(-37.5), 0.0);
    EXPECT_EQ(normalCdf(-1e300), 0.0);
    EXPECT_EQ(normalCdf(37.5), 1.0);
    EXPECT_EQ(normalCdf(INFINITY), 1.0);
    EXPECT_EQ(normalCdf(-INFINITY), 0.0);
    EXPECT_TRUE(std::isnan(normalCdf(NAN)));
}

TEST(NormalCdf, PublishedQuantiles)
{
    // Standard quantiles of the normal law (values to 16 digits).
    EXPECT_NEAR(normalCdf(1.959963984540054), 0.975, 1e-15);
    EXPECT_NEAR(normalCdf(-1.6448536269514722), 0.05, 1e-15);
    EXPECT_NEAR(normalCdf(2.3263478740408408), 0.99, 1e-15);
    EXPECT_NEAR(normalCdf(0.6744897501960817), 0.75, 1e-15);
    EXPECT_NEAR(normalCdf(1.0), 0.84134474606854294859, 1e-15);
    EXPECT_NEAR(normalCdf(3.0), 0.99865010196836990547, 1e-15);
}

TEST(NormalCdf, AbsoluteAccuracyAgainstErfcOverTheWholeRange)
{
    double worst = 0.0;
    for (double x = -38.0; x <= 38.0; x += 0.001) {
        worst = std::fmax(worst, std::fabs(normalCdf(x) - referenceCdf(x)));
    }
    EXPECT_LT(worst, 5e-16);
}

TEST(NormalCdf, RelativeAccuracyInTheLowerTail)
{
    // Tail values (high-precision references) matter for deep out-of-the-money prices.
    struct Point { double x, value; };
    const Point points[] = {{-5.0, 2.8665157187919391167e-7}, {-7.5, 3.1908916729108962278e-14},
                            {-10.0, 7.619853024160526066e-24}, {-20.0, 2.7536241186062336951e-89},
                            {-30.0, 4.9067139271481870595e-198}, {-37.0, 5.7255712225245768227e-300}};
    for (const Point& p : points) {
        EXPECT_NEAR(normalCdf(p.x) / p.value, 1.0, 1e-7) << "x = " << p.x;
    }
    double worst = 0.0;
    for (double x = -37.0; x <= 0.0; x += 0.01) {
        worst = std::fmax(worst, std::fabs(normalCdf(x) / referenceCdf(x) - 1.0));
    }
    EXPECT_LT(worst, 1e-7);
}

TEST(NormalCdf, SymmetryAndContinuityAcrossTheTailBranch)
{
    for (double x = 0.05; x < 9.0; x += 0.05) {
        EXPECT_NEAR(normalCdf(x) + normalCdf(-x), 1.0, 2.3e-16) << "x = " << x;
    }
    // The rational form and the continued fraction meet at 10/sqrt(2).
    const double edge = 7.07106781186547;
    const double below = normalCdf(-std::nextafter(edge, 0.0));
    const double at = normalCdf(-edge);
    EXPECT_NEAR(at / referenceCdf(-edge), 1.0, 1e-7);
    EXPECT_NEAR(below / at, 1.0, 1e-7);
}


} // namespace
