#include "model/support/grid_test_option.h"
#if __has_include("model/support/interim_scheme_routines.cpp")
#include "model/support/interim_scheme_routines.cpp"
#endif

#include "model/fd_weights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace {

using Triplet = Eigen::Triplet<double>;

// u = a0 + a1 s + a2 v + a3 s^2 + a4 s v + a5 v^2 in the grid's spot coordinate s (S or ln S).
struct Quadratic {
    double a[6];
    double operator()(double s, double v) const
    {
        return a[0] + a[1] * s + a[2] * v + a[3] * s * s + a[4] * s * v + a[5] * v * v;
    }
};

// The pricing operator applied to u in closed form, with the coefficients of the model laws.
double analyticOperator(const OrvHestonVanilla& o, bool logSpot, const Quadratic& u, double s, double v)
{
    const double* a = u.a;
    const double us = a[1] + 2.0 * a[3] * s + a[4] * v, uss = 2.0 * a[3];
    const double uv = a[2] + a[4] * s + 2.0 * a[5] * v, uvv = 2.0 * a[5], usv = a[4];
    const double xi = o.volvol, p = o.varianceExponent;
    double sigma, mu, w, kappa, m;
    if (!logSpot) {
        sigma = 0.5 * s * s * v;
        mu = (o.r - o.d) * s;
        w = o.modelCode == 1 ? v * v : v;
        kappa = o.theta * (o.vL - v);
        m = xi * o.rho * s * (o.modelCode == 1 ? std::pow(v, 1.5) : v);
    } else {
        sigma = 0.5 * v;
        mu = (o.r - o.d) - 0.5 * v;
        w = o.modelCode == 0 ? v : std::pow(v, 2.0 * p);
        kappa = o.theta * (o.vL - v) * (o.modelCode == 2 ? std::sqrt(v) : 1.0);
        m = xi * o.rho * (o.modelCode == 0 ? v : std::pow(v, p + 0.5));
    }
    return sigma * uss + mu * us + m * usv + 0.5 * xi * xi * w * uvv + kappa * uv - o.r * u(s, v);
}

struct Assembled {
    std::vector<Triplet> triplets;
    double gamma;
};

// Spot grid of the object, a clustered variance grid, three-point weights and the one-sided drift
// weights of line 0, assembled with omega 0.01.
Assembled assemble(OrvHestonVanilla& o, bool logSpot, int leadCode = 0)
{
    Array<double> grid;
    if (logSpot)
        o.generateLogSGrid(grid, 4.5, false);
    else
        o.generateNonUniformSGrid(grid, 4.5, false);
    Array<double> vgrid;
    o.hybridVGridGenerator(o.v0, o.Nv, 1.0, 4.5, vgrid);
    o.VGrid = vgrid;

    const std::size_t n = grid.size();
    const GridWeights sw = buildGridWeights(grid, 2.0 * (grid[n - 1] - grid[n - 2]) - (grid[n - 2] - grid[n - 3]));
    const GridWeights vw = buildGridWeights(vgrid, 0.0);
    const double drift0 = logSpot && o.modelCode == 2 ? 0.0 : o.theta * (o.vL - vgrid[0]);
    const StencilWeights z = forwardFirstDerivative(vw.steps[1], vw.steps[2]);

    Assembled out;
    out.gamma = leadCode == 0 ? 1.0 : leadCode == 6 ? 1.5 : 11.0 / 6.0;
    auto call = logSpot ? &OrvHestonVanilla::assembleOperatorPow : &OrvHestonVanilla::assembleOperator;
    (o.*call)(out.triplets, sw.d2Lower, sw.d2Upper, sw.d2Diag, sw.d1Lower, sw.d1Upper, sw.d1Diag,
              sw.steps, vw.steps, vw.d2Lower, vw.d2Upper, vw.d2Diag, vw.d1Lower, vw.d1Upper, vw.d1Diag,
              drift0 * z.lower, drift0 * z.diag, drift0 * z.upper, 0.01, leadCode);
    return out;
}

std::map<int, std::vector<std::pair<int, double>>> rowsOf(const std::vector<Triplet>& t)
{
    std::map<int, std::vector<std::pair<int, double>>> rows;
    for (const Triplet& e : t)
        rows[e.row()].push_back({e.col(), e.value()});
    return rows;
}

struct Law {
    bool logSpot;
    double modelCode;
    double exponent;
};

// On rows whose stencil lies wholly among the unknowns, gamma u - omega L u must come out exactly
// for constants, for functions linear in S and for every quadratic: the weights are three-point
// and the anti-diagonal mixed stencil carries its own Taylor corrections.
TEST(OperatorAssembly, ReproducesThePdeOperatorOnQuadratics)
{
    const Law laws[] = {{false, 0, 1.0}, {false, 1, 1.0}, {false, 2, 1.0}, {true, 0, 1.0},
                        {true, 1, 0.8}, {true, 2, 0.8},   {true, 4, 1.3}};
    const Quadratic polys[] = {{{1.0, 0, 0, 0, 0, 0}},
                               {{0.5, 0.7, 0, 0, 0, 0}},
                               {{0.3, -0.2, 1.1, 0.004, 0.05, -0.7}}};
    for (const Law& law : laws)
        for (double rho : {-0.7, 0.0, 0.6}) {
            GridTestOption setup;
            setup.modelCode = law.modelCode;
            setup.rho = rho;
            setup.NS = 40;
            setup.Nv = 20;
            auto o = setup.build();
            o->varianceExponent = law.exponent;
            const Assembled a = assemble(*o, law.logSpot);
            const auto rows = rowsOf(a.triplets);
            const int NS = o->NS, Nv = o->Nv;
            ASSERT_EQ(rows.size(), static_cast<std::size_t>(NS * Nv));
            for (const Quadratic& u : polys)
                for (int j = 0; j <= Nv - 2; ++j)
                    for (int i = 2; i <= NS - 1; ++i) {
                        const double s = o->SGrid[i], v = o->VGrid[j];
                        double applied = 0.0, scale = 0.0;
                        for (const auto& [col, value] : rows.at(j * NS + i - 1)) {
                            const double term = value * u(o->SGrid[col % NS + 1], o->VGrid[col / NS]);
                            applied += term;
                            scale += std::fabs(term);
                        }
                        const double expected = a.gamma * u(s, v) - 0.01 * analyticOperator(*o, law.logSpot, u, s, v);
                        ASSERT_NEAR(applied, expected, 1e-12 * scale)
                            << "log " << law.logSpot << " model " << law.modelCode << " rho " << rho
                            << " node (" << i << ", " << j << ")";
                    }
        }
}

TEST(OperatorAssembly, RowsHaveTheSevenPointShape)
{
    for (int leadCode : {0, 6, 3, 9})
        for (bool logSpot : {false, true}) {
            GridTestOption setup;
            setup.rho = 0.0;  // the corners are still appended, with value 0
            setup.NS = 30;
            setup.Nv = 12;
            auto o = setup.build();
            const Assembled a = assemble(*o, logSpot, leadCode);
            const int NS = o->NS, Nv = o->Nv;
            EXPECT_LT(a.triplets.size(), static_cast<std::size_t>(7 * NS * Nv));
            std::set<std::pair<int, int>> seen;
            for (const Triplet& e : a.triplets) {
                EXPECT_TRUE(seen.insert({e.row(), e.col()}).second) << "repeated entry";
                EXPECT_GE(e.col(), 0);
                EXPECT_LT(e.col(), NS * Nv);
            }
            const auto rows = rowsOf(a.triplets);
            for (int j = 1; j <= Nv - 2; ++j) {
                EXPECT_EQ(rows.at(j * NS + 0).size(), 5u);  // column 1: nothing for S = 0
                for (int i = 2; i <= NS - 1; ++i) {
                    const auto& row = rows.at(j * NS + i - 1);
                    ASSERT_EQ(row.size(), 7u);
                    double sum = 0.0;
                    for (const auto& entry : row)
                        sum += entry.second;
                    // Three-point weights sum to zero: only gamma and the rate remain.
                    EXPECT_NEAR(sum, a.gamma + 0.01 * o->r, 1e-9 * o->SGrid[i] * o->SGrid[i]);
                }
            }
        }
}

// Tiny grids: every row present once, with its diagonal, and no entry outside the unknowns.
TEST(OperatorAssembly, TinyGridsKeepEveryEntryAmongTheUnknowns)
{
    for (int NS : {1, 2, 3})
        for (int Nv : {1, 2, 3}) {
            GridTestOption setup;
            auto o = setup.build();
            o->NS = NS;
            o->Nv = Nv;
            o->SGrid.resize(NS + 1);
            o->VGrid.resize(Nv + 1);
            for (int i = 0; i <= NS; ++i)
                o->SGrid[i] = 50.0 * i;
            for (int j = 0; j <= Nv; ++j)
                o->VGrid[j] = 0.1 * j;
            const Array<double> ones(1.0, 8);
            std::vector<Triplet> t;
            o->assembleOperator(t, ones, ones, ones, ones, ones, ones, ones, ones, ones, ones, ones, ones,
                                ones, ones, 0.1, 0.2, 0.3, 0.01, 0);
            std::set<int> diagonal;
            std::set<std::pair<int, int>> seen;
            for (const Triplet& e : t) {
                EXPECT_GE(e.col(), 0);
                EXPECT_LT(e.col(), NS * Nv);
                EXPECT_TRUE(seen.insert({e.row(), e.col()}).second);
                if (e.row() == e.col())
                    diagonal.insert(e.row());
            }
            EXPECT_EQ(diagonal.size(), static_cast<std::size_t>(NS * Nv)) << "NS " << NS << " Nv " << Nv;
        }
}

TEST(OperatorAssembly, MismatchedWeightArraysAreRefused)
{
    GridTestOption setup;
    auto o = setup.build();
    o->NS = 10;
    o->Nv = 5;
    o->SGrid.resize(11);
    o->VGrid.resize(6);
    const Array<double> shortArray(1.0, 4);
    const Array<double> ones(1.0, 12);
    std::vector<Triplet> t;
    EXPECT_THROW(o->assembleOperator(t, shortArray, ones, ones, ones, ones, ones, ones, ones, ones, ones, ones,
                                     ones, ones, ones, 0, 0, 0, 0.01, 0),
                 std::runtime_error);
}

}  // namespace
