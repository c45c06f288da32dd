#include "console/model_setup.h"

#include <algorithm>
#include <exception>
#include <istream>
#include <ostream>
#include <string>

namespace {

constexpr int kBannerWidth = 99;

const char* const kBannerTitle =
    "** This demo calibrates non-affine stochastic volatility models (plus Heston) to an option chain **";
const char* const kBannerLines[] = {
    "given in OptionsData.txt. It uses a backward PDE option pricer on non-uniform grids",
    "and a box-constrained Levenberg-Marquardt least-squares search",
    "over the five model parameters.",
};
const char* const kBannerNote =
    "Models, grids and bounds are fixed; answer the two questions below to start.";

const char* const kMenu =
    " Available models: \n\n 1  GARCH diffusion\n"
    " 2  Power - law with p = 0.8\n"
    " 3  ORV-X1\n"
    " 4  Inverse-Gamma vol\n"
    " 5  XGBM vol\n"
    " 6  Heston\n\n Enter model number: ";
const char* const kModePrompt = " Enter 0 for speed, 1 for accuracy, or 2 for balanced: ";
const char* const kNoAnswer = "\nNo answer was given. The calibration is not started.\n";
const char* const kNotWholeNumber = "' is not a whole number. The calibration is not started.\n";

std::string frameLine(const std::string& text)
{
    std::string line = "** " + text;
    const std::size_t closing = 2;
    if (line.size() + closing < kBannerWidth) {
        line.append(kBannerWidth - closing - line.size(), ' ');
    }
    return line + "**";
}

void setVector(double (&target)[5], const double (&values)[5])
{
    std::copy(values, values + 5, target);
}

}  // namespace

int modelCodeFromMenu(int menuNumber)
{
    switch (menuNumber) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 4;
    case 4: return 5;
    case 5: return 6;
    default: return 3;
    }
}

const char* modelNameOf(int modelCode)
{
    switch (modelCode) {
    case 1: return "GARCH";
    case 2: return "Power_law_0.8";
    case 4: return "ORV-X1";
    case 5: return "I-Ga vol";
    case 6: return "XGBM vol";
    default: return "Heston";
    }
}

void printBanner(std::ostream& out)
{
    const std::string stars(kBannerWidth, '*');
    out << stars << "\n" << kBannerTitle << "\n";
    for (const char* line : kBannerLines) {
        out << frameLine(line) << "\n";
    }
    out << stars << "\n" << frameLine(kBannerNote) << "\n" << stars << "\n\n";
}

std::string readWholeNumber(std::istream& in, int& value)
{
    std::string token;
    if (!(in >> token)) {
        return kNoAnswer;
    }
    const std::string refusal = "\n'" + token + kNotWholeNumber;
    const std::size_t digitsFrom = token[0] == '-' || token[0] == '+' ? 1 : 0;
    if (digitsFrom == token.size() ||
        token.find_first_not_of("0123456789", digitsFrom) != std::string::npos) {
        return refusal;
    }
    try {
        value = std::stoi(token);
    } catch (const std::exception&) {
        return refusal;  // beyond the range of an int
    }
    return "";
}

DialogueAnswers runDialogue(std::istream& in, std::ostream& out)
{
    DialogueAnswers answers;
    out << kMenu << std::flush;
    answers.refusal = readWholeNumber(in, answers.menuNumber);
    if (!answers.refusal.empty()) {
        return answers;
    }
    out << kModePrompt << std::flush;
    answers.refusal = readWholeNumber(in, answers.calibrationMode);
    return answers;
}

ModelSetup setUpModel(int modelCode, int calibrationMode)
{
    ModelSetup s;
    s.modelCode = modelCode;
    s.modelName = modelNameOf(modelCode);
    s.calibrationMode = calibrationMode;
    s.accurateMode = calibrationMode != 0;
    s.secondRun = calibrationMode != 0 && calibrationMode != 2 && modelCode != 3;
    s.coarseRefinement = (modelCode == 1 || modelCode == 2) && calibrationMode == 0;

    if (modelCode == 4) {
        setVector(s.p, {0.15, 0.15, 5.0, 5.0, -0.7});
        setVector(s.lb, {0.001, 0.005, 0.05, 0.1, -1.0});
        setVector(s.ub, {1.2, 1.2, 60.0, 20.0, 0.0});
    } else if (modelCode == 5 || modelCode == 6) {
        setVector(s.p, {0.4, 0.4, 5.0, 5.0, -0.7});
        setVector(s.lb, {0.03, 0.05, 0.05, 0.1, -1.0});
        setVector(s.ub, {1.0, 1.0, 100.0, 20.0, 0.0});
    } else {
        setVector(s.p, {0.2, 0.2, 5.0, 5.0, -0.7});
        setVector(s.lb, {0.002, 0.005, 0.01, 0.1, -1.0});
        setVector(s.ub, {1.2, 1.2, 20.0, 20.0, 0.0});
    }

    s.NT = 30;
    if (modelCode == 4) {
        s.NS = 100;
        s.Nv = 100;
    } else if (modelCode == 5 || modelCode == 6) {
        s.NS = 100;
        s.Nv = calibrationMode > 0 ? 120 : 80;
    } else {
        s.NS = 60;
        s.Nv = 30;
    }
    if (calibrationMode == kHighResolutionMode) {
        s.NS = 400;
        s.Nv = (modelCode == 4 || modelCode == 6) ? 300 : 200;
        s.NT = 80;
    }
    s.stretchSelector = (modelCode == 6 && calibrationMode == kHighResolutionMode) ? 2 : 1;
    s.quantileSelector = (modelCode == 5 || modelCode == 6) ? 2 : 1;
    return s;
}
