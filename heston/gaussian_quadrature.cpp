#include "heston/gaussian_quadrature.h"

#include <stdexcept>
#include <utility>

GaussianQuadrature::GaussianQuadrature(std::vector<double> nodes, std::vector<double> weights)
    : x(std::move(nodes)), w(std::move(weights)) {
    if (x.size() != w.size())
        throw std::invalid_argument("GaussianQuadrature: nodes and weights differ in number");
}

double GaussianQuadrature::operator()(const Integrand& f) const {
    double sum = 0.0;
    for (std::size_t i = x.size(); i-- > 0;) sum += w[i] * f(x[i]);
    return sum;
}
