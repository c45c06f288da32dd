// Variance grids: a sinh-stretched grid densest at v0 (first generator), and a grid that is uniform
// up to just below 2 v0 and sinh-stretched above, with the first stretched step equal to the
// uniform one (hybrid generator). Both end exactly at vmax and put v0 on node iToV0.

#include "model/option_objects.h"

#include "numerics/numerical_error.h"
#include "platform/platform.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kGridFailure =
    "There was a problem while generating the PDE grid for this vanilla option.";

const int kSecantSteps = 1000;
// The final pass of the first generator ends on the node within this relative distance of vmax.
const double kVmaxTolerance = 1e-6;
// A node count beyond this is a runaway, not a grid.
const std::size_t kMaxNodes = 1000000;

bool stretchInRange(double c) { return c >= -10.0 && c <= 20.0; }

std::string firstGeneratorFailure(const OrvHestonVanilla& o)
{
    std::ostringstream text;
    text << std::fixed << std::setprecision(6) << "The first V-grid generator failed for option with K =  "
         << o.K << ", T = " << o.T << ", v0= " << o.v0 << ", vL = " << o.vL << ", theta = " << o.theta
         << ", xi = " << o.volvol << ", rho = " << o.rho;
    return text.str();
}

void logHybridFailure(const OrvHestonVanilla& o)
{
    std::ostringstream line;
    line << "The hybrid V-grid generator failed for option with K =  " << o.K << ", T = " << o.T
         << "\n";
    platform::appendText("ErrorLog.txt", line.str());
}

// V(i) = x1 (1 + sinh((i / N - a) c) / sinh(a c)).
double sinhNode(double x1, int i, int N, double a, double c)
{
    return x1 * (1.0 + std::sinh((static_cast<double>(i) / N - a) * c) / std::sinh(a * c));
}

int clampInt(int x, int lo, int hi) { return std::min(std::max(x, lo), hi); }

// Stretch c of the upper part of a hybrid grid: its m intervals span L and the first one equals h,
// i.e. sinh(c / m) / sinh(c) = h / L. With `rangeStop` the search also stops once c leaves
// [-10, 20].
double hybridStretch(int m, double h, double L, bool rangeStop)
{
    const double target = h / L;
    auto s = [m, target](double c) { return std::sinh(c / m) / std::sinh(c) - target; };
    double c = 1.5;
    double cPrev = 6.0;
    for (int k = 0; k < kSecantSteps; ++k) {
        const double step = (c - cPrev) / (s(c) - s(cPrev)) * s(c);
        if (std::fabs(step) < 1e-8)
            break;
        if (rangeStop && (c < -10.0 || c > 20.0))
            break;
        if (std::isnan(step))
            return step;
        cPrev = c;
        c = c - step;
    }
    return c;
}

// Uniform nodes i h up to node 2n - 1 (node n on the centre x1), then m stretched intervals
// spanning L; the centre and the top node are set exactly. False when the nodes are not finite and
// strictly increasing.
bool fillHybrid(int n, int m, double x1, double h, double L, double c, double vmax, Array<double>& out)
{
    const int junction = 2 * n - 1;
    const int count = junction + m + 1;
    Array<double> nodes(static_cast<std::size_t>(count));
    for (int i = 0; i <= junction; ++i)
        nodes[i] = i * h;
    nodes[n] = x1;
    for (int j = 1; j <= m; ++j)
        nodes[junction + j] = nodes[junction] + L * std::sinh(j * c / m) / std::sinh(c);
    nodes[count - 1] = vmax;
    for (int i = 1; i < count; ++i)
        if (!(nodes[i] > nodes[i - 1]) || !std::isfinite(nodes[i]))
            return false;
    out = nodes;
    return true;
}

}  // namespace

void OrvHestonVanilla::firstVGridGenerator(double centre, int nv, double vmax, double c,
                                           Array<double>& out)
{
    Nv = nv;
    if (nv < 1)
        throw NumericalError(kGridFailure);
    const int nMin = std::max(static_cast<int>(0.2 * nv), clampInt(nv / 3, 4, 6));

    if (modelCode == 1 || modelCode == 2 || modelCode == 4)
        c = (retryLevel == 1 || retryLevel == 2) ? 9.5 : 8.5;

    const double x1 = centre == 0.0 ? 1e-4 : centre;
    const double R = vmax / x1;
    const double E = std::exp(c);
    const double q = (E + R - 1.0) / (1.0 / E + R - 1.0);
    if (!(q > 0.0) || !std::isfinite(q) || !(vmax > 0.0) || !std::isfinite(vmax))
        throw NumericalError(kGridFailure);

    const double fraction = std::log(q) / (2.0 * c) * nv;
    if (!(fraction > -1.0) || !(fraction < static_cast<double>(INT_MAX)))
        throw NumericalError(firstGeneratorFailure(*this));
    const int n = std::max(static_cast<int>(fraction), nMin);
    if (iToV0 == 0)
        iToV0 = n;
    const double a = static_cast<double>(iToV0) / nv;
    // A kept fraction that is not iToV0 / nv was chosen for another interval count (the sizes
    // changed without the caches being cleared): it would put v0 off its node, so the shape is
    // chosen afresh.
    if (vCentreFraction != 0.0 && vCentreFraction != a) {
        vCentreFraction = 0.0;
        vStretch = 0.0;
    }
    bool freshShape = vCentreFraction == 0.0 && vStretch == 0.0;
    if (vCentreFraction == 0.0)
        vCentreFraction = a;
    if (!(a > 0.0))
        throw NumericalError(firstGeneratorFailure(*this));

    // First pass: how many nodes this shape needs to reach vmax.
    int reached = 0;
    double before = 0.0, at = 0.0;
    for (int i = 0;; ++i) {
        const double v = sinhNode(x1, i, nv, a, c);
        if (std::isnan(v) || static_cast<std::size_t>(i) >= kMaxNodes)
            throw NumericalError(firstGeneratorFailure(*this));
        before = at;
        at = v;
        if (v >= vmax) {
            reached = i + 1;
            break;
        }
    }
    const double over = at - vmax;
    const double under = vmax - before;
    const int M = over > under ? std::max(nv + 1, reached - 1) : std::max(nv + 1, reached);

    // Refit the stretch so that node M - 1 lands on vmax.
    const double t = static_cast<double>(M - 1) / nv - a;
    auto gap = [t, a, R](double s) { return std::sinh(t * s) / std::sinh(a * s) + 1.0 - R; };
    double cPrev = 0.8 * c;
    for (int k = 0; k < kSecantSteps; ++k) {
        const double step = (c - cPrev) / (gap(c) - gap(cPrev)) * gap(c);
        if (std::fabs(step) < 1e-8)
            break;
        if (c < -10.0 || c > 20.0 || std::isnan(step))
            break;
        cPrev = c;
        c = c - step;
    }
    if (!stretchInRange(c))
        throw NumericalError(firstGeneratorFailure(*this));
    if (vStretch == 0.0)
        vStretch = c;

    // The shape is kept as a fraction and a stretch over the intervals actually laid (M - 1, which
    // the first pass may have raised above nv): the same map, but a later build with that count, or
    // with twice it after the grid doubling, then lands on vmax again and nests the nodes.
    auto keepFittedShape = [&]() {
        vCentreFraction = static_cast<double>(iToV0) / (M - 1);
        vStretch = c * (M - 1) / nv;
        return M - 1;
    };
    int N = Nv;
    if (freshShape && M - 1 != nv)
        N = keepFittedShape();

    // Final pass with the kept shape. The grid increases, so a node that passes vmax without
    // landing on it means the kept shape does not fit this vmax.
    std::vector<double> nodes;
    auto finalPass = [&]() {
        nodes.clear();
        for (int i = 0;; ++i) {
            const double v = sinhNode(x1, i, N, vCentreFraction, vStretch);
            if (std::isnan(v) || nodes.size() >= kMaxNodes)
                return false;
            nodes.push_back(v);
            if (std::fabs(v - vmax) / vmax <= kVmaxTolerance)
                return true;
            if (v > vmax)
                return false;
        }
    };
    if (!finalPass()) {
        // A shape kept from an earlier build with another vmax: refit it to this one.
        if (freshShape)
            throw NumericalError(firstGeneratorFailure(*this));
        freshShape = true;
        N = keepFittedShape();
        if (!finalPass())
            throw NumericalError(firstGeneratorFailure(*this));
    }
    nodes.back() = vmax;
    Nv = static_cast<int>(nodes.size()) - 1;
    out = Array<double>(nodes.data(), nodes.size());
}

void OrvHestonVanilla::hybridVGridGenerator(double centre, int nv, double vmax, double c,
                                            Array<double>& out)
{
    const double x1 = centre == 0.0 ? 1e-4 : centre;
    // The uniform part ends at 2 v0 - h; the centre stands for v0 so the parts join at vmax.
    const double vc = x1;

    if (iToV0 != 0) {
        // Re-build with the kept junction and interval count (as after the grid doubling).
        const int n = iToV0;
        const int m = vUpperIntervals + 1;
        vUpperIntervals = m;
        Nv = 2 * n - 1 + m;
        const double h = x1 / n;
        const double L = vmax - (2 * n - 1) * h;
        const double stretch = (m >= 1 && L > 0.0) ? hybridStretch(m, h, L, false) : NAN;
        if (stretchInRange(stretch) && fillHybrid(n, m, x1, h, L, stretch, vmax, out)) {
            vUpperIntervals = m - 1;
            return;
        }
        // No first grid of this build to fall back on: lay one afresh.
        useFirstVGrid = true;
        logHybridFailure(*this);
        iToV0 = 0;
        vCentreFraction = 0.0;
        vStretch = 0.0;
        firstVGridGenerator(centre, nv, vmax, c, out);
        return;
    }

    const int nMin = std::max(static_cast<int>(0.25 * nv), clampInt(nv / 3, 4, 6));

    firstVGridGenerator(centre, nv, vmax, c, out);
    const Array<double> first = out;
    const int NFirst = Nv;
    const int iFirst = iToV0;
    const double ratio1 = first[NFirst - 1] / first[NFirst];

    auto fallBack = [&]() {
        out = first;
        Nv = NFirst;
        iToV0 = iFirst;
        useFirstVGrid = true;
        logHybridFailure(*this);
    };

    int n = iToV0;
    double h = x1 / n;
    int m = NFirst - 2 * n + 1;
    const int mFirst = m;
    if (m < 5) {
        Nv = NFirst + (5 - m);
        m = 5;
    }
    double L = vmax - (2 * n - 1) * h;

    if (vc / vmax >= static_cast<double>(n) / Nv) {
        n = static_cast<int>(Nv * vc / vmax);
        iToV0 = n;
        h = x1 / n;
        m = Nv - 2 * n + 1;
        L = vmax - (2 * n - 1) * h;
    }
    // v0 too close to vmax leaves no room for a stretched part above 2 v0.
    if (n < 1 || m < 1 || !(L > 0.0) || !std::isfinite(h)) {
        fallBack();
        return;
    }

    double stretch = hybridStretch(m, h, L, false);
    double top = std::sinh((m - 1) * stretch / m) / std::sinh(stretch);
    if (top < 0.6 && mFirst <= 7) {
        for (int k = 0; k < kSecantSteps && top < 0.6; ++k) {
            m += 2;
            stretch = hybridStretch(m, h, L, false);
            top = std::sinh((m - 1) * stretch / m) / std::sinh(stretch);
        }
    } else {
        // Move the junction down (Nv held fixed) until the top cell is no coarser than the
        // first grid's.
        double ratio2 = 1000.0;
        do {
            if (n <= 1)
                break;
            n = n - 1;
            iToV0 = n;
            m = m + 2;
            h = x1 / n;
            L = vmax - 2.0 * vc + h;
            stretch = hybridStretch(m, h, L, true);
            ratio2 = (stretch > 0.0 && stretch < 10.0)
                         ? (L * std::sinh((m - 1) * stretch / m) / std::sinh(stretch) + 2.0 * vc - h) / vmax
                         : 1000.0;
        } while (ratio1 > ratio2 && n >= nMin);
    }

    vUpperIntervals = m;
    Nv = 2 * n - 1 + m;
    if (!stretchInRange(stretch) || !fillHybrid(n, m, x1, h, L, stretch, vmax, out)) {
        vUpperIntervals = m - 1;
        fallBack();
        return;
    }
    vUpperIntervals = m - 1;
}
