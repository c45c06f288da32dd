#pragma once

#include <cstdint>

#include <boost/function.hpp>

// A real function of one real variable. Calling an empty one throws boost::bad_function_call.
typedef boost::function<double(double)> Integrand;

// One-dimensional numerical integration with an evaluation budget. An integrator keeps the count of
// the integral it is working on in itself, so one object serves one integral at a time.
class Integrator {
public:
    Integrator(double absoluteAccuracy, std::uint64_t maxEvaluations);
    virtual ~Integrator() = default;

    // evaluations <= maxEvaluations and absoluteError <= absoluteAccuracy.
    virtual bool succeeded() const;
    // The integral of f over [a, b] with a < b.
    virtual double integrateInterval(const Integrand& f, double a, double b) = 0;

    // The integral of f from a to b, for limits in either order; 0.0 without evaluation when a == b.
    double operator()(const Integrand& f, double a, double b);

    double getAbsoluteAccuracy() const { return absoluteAccuracy; }
    std::uint64_t getMaxEvaluations() const { return maxEvaluations; }
    std::uint64_t getEvaluations() const { return evaluations; }
    void setEvaluations(std::uint64_t n) { evaluations = n; }
    void addEvaluations(std::uint64_t n) { evaluations += n; }

protected:
    double absoluteAccuracy;
    double absoluteError = 0.0;
    std::uint64_t maxEvaluations;
    std::uint64_t evaluations = 0;
};
