#pragma once

#include <cstdint>
#include <memory>

// What the semi-analytic Heston price functions take: the integration set-up and the number of
// integrand evaluations of the last price. Copies share one Integration, whose integrator counts
// its evaluations while it works; threads that price at the same time must each use a record of
// their own from createGaussLobatto.
struct AnalyticHestonEngine {
    class Integration;  // heston/integration.h
    class Fj_Helper;    // heston/fj_helper.h

    std::uint64_t evaluations = 0;
    std::shared_ptr<Integration> integration;
};

// An engine whose integrals are taken by adaptive Gauss-Lobatto to the given relative accuracy,
// with no absolute accuracy asked for.
AnalyticHestonEngine createGaussLobatto(double relAccuracy, std::uint64_t maxEvaluations);
