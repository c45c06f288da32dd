// The model and mode answers and what the set-up makes of them.

#include "console/model_setup.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(ModelMenu, NumbersMapToModelCodesAndNames)
{
    const struct {
        int menu;
        int code;
        const char* name;
    } rows[] = {{1, 1, "GARCH"},  {2, 2, "Power_law_0.8"}, {3, 4, "ORV-X1"}, {4, 5, "I-Ga vol"},
                {5, 6, "XGBM vol"}, {6, 3, "Heston"},       {0, 3, "Heston"}, {7, 3, "Heston"},
                {42, 3, "Heston"},  {-1, 3, "Heston"}};
    for (const auto& r : rows) {
        EXPECT_EQ(modelCodeFromMenu(r.menu), r.code) << r.menu;
        EXPECT_STREQ(modelNameOf(modelCodeFromMenu(r.menu)), r.name) << r.menu;
    }
}

TEST(ModelMenu, AnswerThatIsNoNumberReadsAsZeroForBoth)
{
    std::istringstream in("abc\n1\n");
    std::ostringstream out;
    const DialogueAnswers a = runDialogue(in, out);
    EXPECT_EQ(a.menuNumber, 0);
    EXPECT_EQ(a.calibrationMode, 0);
}

struct SetupRow {
    int code;
    int mode;
    int NS, Nv, NT;
    int stretch, quantile;
    bool accurate, secondRun, coarse;
};

TEST(ModelSetupGrids, GridsSelectorsAndFlagsByModelAndMode)
{
    const SetupRow rows[] = {
        // GARCH and power law: coarse refinement in speed mode only
        {1, 0, 60, 30, 30, 1, 1, false, false, true},
        {2, 0, 60, 30, 30, 1, 1, false, false, true},
        {1, 1, 60, 30, 30, 1, 1, true, true, false},
        {1, 2, 60, 30, 30, 1, 1, true, false, false},
        // any other mode acts as accuracy mode, negative ones included
        {1, 3, 60, 30, 30, 1, 1, true, true, false},
        {1, -1, 60, 30, 30, 1, 1, true, true, false},
        // Heston never has a second run
        {3, 1, 60, 30, 30, 1, 1, true, false, false},
        {4, 0, 100, 100, 30, 1, 1, false, false, false},
        // the volatility models: finer variance grids outside speed mode
        {5, 0, 100, 80, 30, 1, 2, false, false, false},
        {5, 2, 100, 120, 30, 1, 2, true, false, false},
        {6, 1, 100, 120, 30, 1, 2, true, true, false},
        {6, -1, 100, 80, 30, 1, 2, true, true, false},
        // the hidden high-resolution mode
        {6, 19, 400, 300, 80, 2, 2, true, true, false},
        {4, 19, 400, 300, 80, 1, 1, true, true, false},
        {1, 19, 400, 200, 80, 1, 1, true, true, false},
        {3, 19, 400, 200, 80, 1, 1, true, false, false},
    };
    for (const SetupRow& r : rows) {
        const ModelSetup s = setUpModel(r.code, r.mode);
        const std::string at = "code " + std::to_string(r.code) + " mode " + std::to_string(r.mode);
        EXPECT_EQ(s.NS, r.NS) << at;
        EXPECT_EQ(s.Nv, r.Nv) << at;
        EXPECT_EQ(s.NT, r.NT) << at;
        EXPECT_EQ(s.stretchSelector, r.stretch) << at;
        EXPECT_EQ(s.quantileSelector, r.quantile) << at;
        EXPECT_EQ(s.accurateMode, r.accurate) << at;
        EXPECT_EQ(s.secondRun, r.secondRun) << at;
        EXPECT_EQ(s.coarseRefinement, r.coarse) << at;
    }
}

}  // namespace
