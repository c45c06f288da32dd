#pragma once

#include <cstddef>
#include <vector>

#include "heston/integrator.h"

// A fixed-node quadrature rule: sum of w[i]·f(x[i]).
class GaussianQuadrature {
public:
    // nodes and weights must have the same length.
    GaussianQuadrature(std::vector<double> nodes, std::vector<double> weights);

    // The weighted sum, taken from the last node to the first.
    double operator()(const Integrand& f) const;

    std::size_t order() const { return x.size(); }
    const std::vector<double>& nodes() const { return x; }
    const std::vector<double>& weights() const { return w; }

private:
    std::vector<double> x;
    std::vector<double> w;
};
