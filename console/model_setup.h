#pragma once

// The banner, the two questions of the dialogue and what follows from the answers: the model, the
// start point and box of the five parameters, the base PDE grids, the selectors the objective reads
// and the flags that steer the calibration runs.

#include <iosfwd>
#include <string>

// Parameters before any model is set up; the handler prints these when the program stops early.
constexpr double kUnsetParameters[5] = {0.15, 0.15, 5.0, 5.0, -0.7};

// The calibration mode that is not offered at the prompt: fixed high-resolution grids.
constexpr int kHighResolutionMode = 19;

struct DialogueAnswers {
    int menuNumber = 0;       // as entered
    int calibrationMode = 0;  // 0 speed, 1 accuracy, 2 balanced, 19 high resolution
    // What the console prints when an answer is missing or not a whole number (the dialogue then
    // stops at that answer); empty when both answers were read.
    std::string refusal;
};

struct ModelSetup {
    int modelCode = 3;
    std::string modelName;
    int calibrationMode = 0;
    double p[5] = {};   // start point
    double lb[5] = {};  // box
    double ub[5] = {};
    int NS = 0;
    int Nv = 0;
    int NT = 0;
    int stretchSelector = 1;
    int quantileSelector = 1;
    bool accurateMode = false;      // any mode but speed
    bool secondRun = false;         // an unconstrained run on finer time steps follows the bounded runs
    bool coarseRefinement = false;  // speed mode of GARCH and power law: smaller grid raises
};

// Internal model code of a menu number: 1 GARCH, 2 power law, 3 ORV-X1 (4), 4 I-Ga vol (5),
// 5 XGBM vol (6); 6 and every other number Heston (3).
int modelCodeFromMenu(int menuNumber);

// "GARCH", "Power_law_0.8", "ORV-X1", "I-Ga vol", "XGBM vol", "Heston".
const char* modelNameOf(int modelCode);

void printBanner(std::ostream& out);

// A whole number (optional sign and decimal digits, within the range of an int) from the next
// word of in; otherwise the refusal text, and value is left as it was.
std::string readWholeNumber(std::istream& in, int& value);

// Prints the model menu and the mode prompt and reads the two answers.
DialogueAnswers runDialogue(std::istream& in, std::ostream& out);

ModelSetup setUpModel(int modelCode, int calibrationMode);
