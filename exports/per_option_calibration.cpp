#include "exports/per_option_calibration.h"

#include "calibration/work_balance.h"
#include "exports/chain_grid_sizing.h"
#include "exports/chain_variance_bounds.h"
#include "model/robust_solve.h"
#include "numerics/black_scholes.h"
#include "numerics/numerical_error.h"

#include <cmath>
#include <exception>
#include <sstream>
#include <string>

namespace {

const char* const kUnknownError = "Unknown error...";

// The failure of one option's solve, its message naming the option.
[[noreturn]] void rethrowForOption(const std::exception_ptr& failure, const QuoteRow& row)
{
    std::string what;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (const char* text) {
        what = text ? text : kUnknownError;
    } catch (...) {
        what = kUnknownError;
    }
    std::ostringstream text;
    text.precision(16);
    text << what << " (option K = " << row.K << ", T = " << row.T << ")";
    throw NumericalError(text.str());
}

// The model implied volatility of one item, 0.0 without one (priced then false).
double modelIV(const OptionWorkItem& item, const ChainRequest& request,
               const ChainVarianceBounds& bounds, bool& priced)
{
    const QuoteRow& row = item.row;
    // The robust solve may raise the sizes and change the mode: copies, fresh for every option.
    int NS = item.NS;
    int Nv = item.Nv;
    int priceMode = request.priceMode;
    const double VmaxParam = bounds.vmaxParam(row.T, item.vmaxMultiplier);
    RobustSolveStatus status;
    const double iv = RobustSvPdeSolve(row.S, row.K, row.T, row.r, row.d, request.v0, request.vL,
                                       request.theta, request.volvol, request.rho, &NS, &Nv,
                                       item.NT, row.callPut, row.exerciseType, &priceMode,
                                       request.schemeNumber, 1, request.SmaxUser, VmaxParam,
                                       request.spotGridFlag, true, request.modelCode, &status);
    if (!std::isfinite(iv)) {
        throw NumericalError("The solve gave no implied volatility");
    }
    priced = !status.failed;
    return iv;
}

}  // namespace

OptionWorkItem optionWorkItem(const QuoteRow& row, const ChainRequest& request)
{
    OptionWorkItem item;
    item.row = row;
    const double price =
        blackScholesPrice(row.S, row.K, row.r, row.d, row.marketIV, row.T, row.callPut);
    const bool outOfTheMoneyCall = row.K > row.S && row.callPut == 0;
    const ChainGridSize size = chainGridSize(PriceBands::perOption, outOfTheMoneyCall, price,
                                             row.S, row.T, request.NS, request.Nv, request.NT);
    item.NS = size.NS;
    item.Nv = size.Nv;
    item.NT = size.NT;
    item.cost = size.cost;
    item.vmaxLevel = request.vcritQuantile;
    item.vmaxMultiplier = vmaxMultiplier(request.theta, row.T);
    return item;
}

ChainErrors perOptionSquaredErrors(const std::vector<QuoteRow>& rows, const ChainRequest& request)
{
    std::vector<OptionWorkItem> items;
    std::vector<double> costs;
    std::vector<double> expiries;
    items.reserve(rows.size());
    for (const QuoteRow& row : rows) {
        items.push_back(optionWorkItem(row, request));
        refuseUnlaidGrid(items.back().NS, items.back().Nv, items.back().NT, row.T);
        costs.push_back(items.back().cost);
        expiries.push_back(row.T);
    }
    const WorkDeal deal = dealByCost(costs, workSlotCount());
    const ChainVarianceBounds bounds(expiries, request);

    const int lists = static_cast<int>(deal.slots.size());
    std::vector<double> listSums(deal.slots.size(), 0.0);
    std::vector<std::size_t> listPriced(deal.slots.size(), 0);
    // Per list the first failure and its option; copying an exception_ptr cannot throw, so
    // nothing leaves an iteration.
    std::vector<std::exception_ptr> listFailures(deal.slots.size());
    std::vector<std::size_t> failedItems(deal.slots.size(), 0);
#pragma omp parallel for schedule(static)
    for (int s = 0; s < lists; ++s) {
        const std::size_t list = static_cast<std::size_t>(s);
        double sum = 0.0;
        for (const std::size_t index : deal.slots[list]) {
            try {
                bool priced = false;
                const double error =
                    modelIV(items[index], request, bounds, priced) - items[index].row.marketIV;
                sum += error * error;
                listPriced[list] += priced ? 1 : 0;
            } catch (...) {
                listFailures[list] = std::current_exception();
                failedItems[list] = index;
                break;
            }
        }
        listSums[list] = sum;
    }
    for (std::size_t list = 0; list < listFailures.size(); ++list) {
        if (listFailures[list]) {
            rethrowForOption(listFailures[list], items[failedItems[list]].row);
        }
    }
    // Added in list order, so the result does not depend on how the threads met.
    ChainErrors total;
    for (std::size_t list = 0; list < listSums.size(); ++list) {
        total.sum += listSums[list];
        total.priced += listPriced[list];
    }
    return total;
}
