#include "console/console_program.h"

#include "calibration/calibration_objective.h"
#include "calibration/calibration_settings.h"
#include "calibration/header_chain.h"
#include "calibration/quote_filters.h"
#include "console/calibration_runs.h"
#include "console/chain_checks.h"
#include "console/model_setup.h"
#include "console/report_files.h"
#include "density/pdesolver1d.h"
#include "platform/platform.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int kParameterCount = 5;
constexpr int kORVX1 = 4;

const char* const kObjectiveFailed =
    "The model IVs could not be computed for these parameters. Calibration is stopping.";
const char* const kParametersNotFinite =
    "The calibrated parameters are not finite numbers. Calibration is stopping.";
const char* const kUnknownError = "Unknown error...";
const char* const kSaved =
    "The calibrated model parameters and implied volatilities have been saved in ModelIVs.txt\n";
const char* const kEvaluationFailedReport =
    "IV RMSE: not available: the model IVs could not be computed with these parameters\n";
const char* const kEvaluationFailed =
    "The high-precision model IVs could not be computed with the calibrated parameters.\n";

std::string cannotOpen(const std::string& file)
{
    return "The file '" + file + "' could not be opened for writing; nothing has been saved in it.\n";
}

enum class Stage { OpenChain, Dialogue, ReadChain, SetUp, Runs, Report, HighPrecision, Done };

// The stationary mean variance of the ORV-X1 model over a long horizon.
double stationaryMeanVarianceOf(const double* p)
{
    PDESolver1D solver(0.9999995, 4.0, p[0], p[1], p[2], p[3], 800, 400, 2, 5, 2, 1.0, false, 1);
    solver.computeVcrit();
    return solver.meanVariance();
}

class ConsoleCalibrator {
public:
    ConsoleCalibrator(std::istream& in, std::ostream& out) : in_(in), out_(out)
    {
        std::copy(kUnsetParameters, kUnsetParameters + kParameterCount, p_);
    }

    int run()
    {
        Stage stage = Stage::OpenChain;
        while (stage != Stage::Done) {
            try {
                stage = runStage(stage);
            } catch (const std::exception& e) {
                stage = afterFailure(e.what());
            } catch (...) {
                out_ << kUnknownError << "\n";
                stage = pauseAndEnd();
            }
        }
        out_.flush();
        return 0;
    }

private:
    Stage runStage(Stage stage)
    {
        switch (stage) {
        case Stage::OpenChain: return openChain();
        case Stage::Dialogue: return dialogue();
        case Stage::ReadChain: return readChain();
        case Stage::SetUp: return setUp();
        case Stage::Runs: return runs();
        case Stage::Report: return report();
        case Stage::HighPrecision: return highPrecision();
        case Stage::Done: break;
        }
        return Stage::Done;
    }

    Stage pauseAndEnd()
    {
        platform::pauseForKey();
        return Stage::Done;
    }

    Stage refuse(const std::string& message)
    {
        out_ << message;
        return pauseAndEnd();
    }

    Stage stopWith(const std::string& what)
    {
        printStopParameters(out_, what, p_);
        return pauseAndEnd();
    }

    // A parameter out of range stops the search: the calibration goes on once from the
    // high-precision stage with the parameters reached. Any other failure ends it.
    Stage afterFailure(const std::string& what)
    {
        printStopParameters(out_, what, p_);
        if (!optimizationStopped || resumed_) {
            return pauseAndEnd();
        }
        resumed_ = true;
        calibrationSeconds_ = time_.total();
        buildMeasurementsAndSettings();
        return Stage::HighPrecision;
    }

    Stage openChain()
    {
        chainFile_.open(optionsDataPath());
        if (!chainFile_) {
            return refuse(kChainNotFoundMessage);
        }
        return Stage::Dialogue;
    }

    Stage dialogue()
    {
        printBanner(out_);
        answers_ = runDialogue(in_, out_);
        if (!answers_.refusal.empty()) {
            return refuse(answers_.refusal);
        }
        return Stage::ReadChain;
    }

    Stage readChain()
    {
        HeaderChain chain = readHeaderChain(chainFile_, kMaxChainRows);
        if (chain.rowCutShort || chain.tooManyRows || !chainValuesUsable(chain.quotes, chain.spot)) {
            return refuse(kChainFormatMessage);
        }
        forText_ = chain.forText;
        onText_ = chain.onText;
        quotes_ = std::move(chain.quotes);
        sortAndDropRepeats(quotes_);
        if (removeConflictingDuplicates(quotes_)) {
            return refuse(kConflictingDuplicatesMessage);
        }
        const std::size_t removed = dropCheapOptions(quotes_);
        if (removed > 0) {
            out_ << cheapOptionCaution(removed);
            platform::pauseForKey();
        }
        const std::string refusal = chainRefusal(quotes_);
        if (!refusal.empty()) {
            return refuse(refusal);
        }
        return Stage::SetUp;
    }

    Stage setUp()
    {
        setup_ = setUpModel(modelCodeFromMenu(answers_.menuNumber), answers_.calibrationMode);
        std::copy(setup_.p, setup_.p + kParameterCount, p_);
        // Empties the report of an earlier run before this calibration starts.
        emptiedReport_.open(kModelIVsFile, std::ios::out | std::ios::trunc);
        return Stage::Runs;
    }

    void buildMeasurementsAndSettings()
    {
        x_.resize(quotes_.size());
        std::transform(quotes_.begin(), quotes_.end(), x_.begin(),
                       [](const OptionQuote& q) { return q.marketIV; });
        settings_ = initialSettings(setup_);
    }

    Stage runs()
    {
        buildMeasurementsAndSettings();
        time_.startPhase();
        runs_ = runCalibration(CalibrationObjective, setup_, settings_, p_, x_, out_, time_);
        time_.endPhase();
        calibrationSeconds_ = time_.total();
        if (runs_.objectiveFailed) {
            return stopWith(kObjectiveFailed);
        }
        return Stage::Report;
    }

    Stage report()
    {
        ConsoleReport r;
        r.title = reportTitle(setup_.modelName, forText_, onText_);
        r.p = p_;
        r.modelCode = setup_.modelCode;
        r.initialRmse = runs_.initialRmse;
        r.finalRmse = std::sqrt(runs_.finalSquaredError / static_cast<double>(quotes_.size()));
        r.calibrationSeconds = calibrationSeconds_;
        printConsoleReport(out_, r);
        return Stage::HighPrecision;
    }

    Stage highPrecision()
    {
        setHighPrecisionGrids(settings_);
        if (!clampForHighPrecision(p_, setup_.modelCode)) {
            return stopWith(kParametersNotFinite);
        }
        const int n = static_cast<int>(quotes_.size());
        // NaN until the evaluation writes them: an evaluation that fails leaves no number behind.
        std::vector<double> modelIVs(quotes_.size(), std::numeric_limits<double>::quiet_NaN());
        CalibrationObjective(p_, modelIVs.data(), kParameterCount, n, &settings_);
        const bool evaluated = std::all_of(modelIVs.begin(), modelIVs.end(),
                                           [](double v) { return std::isfinite(v); });
        double smv = 0.0;
        if (evaluated && setup_.modelCode == kORVX1) {
            smv = stationaryMeanVarianceOf(p_);
        }

        ModelIVsReport r;
        r.title = reportTitle(setup_.modelName, forText_, onText_);
        r.p = p_;
        r.modelCode = setup_.modelCode;
        r.stationaryMeanVariance = smv;
        r.rmse = evaluated ? ivRmse(modelIVs, quotes_) : 0.0;
        r.withoutModelIV = evaluated ? countWithoutModelIV(modelIVs) : 0;
        r.calibrationSeconds = calibrationSeconds_;
        r.processorBrand = platform::processorBrand();
        r.processorCount = platform::processorCount();
        r.quotes = &quotes_;
        r.modelIVs = &modelIVs;

        std::string messages;
        std::ofstream reportFile(kModelIVsFile, std::ios::out | std::ios::trunc);
        bool reportSaved = static_cast<bool>(reportFile);
        if (reportSaved) {
            if (evaluated) {
                writeModelIVsReport(reportFile, r);
            } else {
                writeFailedEvaluationReport(reportFile, r);
            }
            reportFile.flush();
            reportSaved = static_cast<bool>(reportFile);
        }
        if (!reportSaved) {
            messages += cannotOpen(kModelIVsFile);
        }
        if (evaluated) {
            std::ofstream history(kHistoryFile, std::ios::out | std::ios::app);
            if (history) {
                history << historyRecord(forText_, onText_, setup_.modelName, r.rmse, p_,
                                         calibrationSeconds_, setup_.modelCode, smv);
                history.flush();
            }
            if (!history) {
                messages += cannotOpen(kHistoryFile);
            }
        }

        out_ << "\n\n";
        if (!evaluated) {
            out_ << kEvaluationFailed;
        }
        if (r.withoutModelIV > 0) {
            out_ << withoutModelIVLine(r.withoutModelIV, quotes_.size());
        }
        out_ << messages;
        if (reportSaved && evaluated) {
            out_ << kSaved;
        }
        reportFile.close();
        return pauseAndEnd();
    }

    static void writeFailedEvaluationReport(std::ostream& file, const ModelIVsReport& r)
    {
        file.precision(kFileDigits);
        file << r.title;
        printParameterLines(file, r.p, r.modelCode, true);
        file << "\n" << kEvaluationFailedReport;
    }

    std::istream& in_;
    std::ostream& out_;
    std::ifstream chainFile_;
    DialogueAnswers answers_;
    std::string forText_;
    std::string onText_;
    std::vector<OptionQuote> quotes_;
    ModelSetup setup_;
    double p_[kParameterCount];
    CalibrationSettings settings_;
    std::vector<double> x_;
    std::ofstream emptiedReport_;
    RunsTime time_;
    RunsResult runs_;
    double calibrationSeconds_ = 0.0;
    bool resumed_ = false;
};

}  // namespace

int runConsoleCalibrator(std::istream& in, std::ostream& out)
{
    ConsoleCalibrator calibrator(in, out);
    return calibrator.run();
}
