#pragma once

// Runs the console program the way a user does: a copy of it in a fresh directory of its own,
// "OptionsData.txt" beside it, the answers piped to its standard input, its standard output kept
// for a byte-for-byte comparison. Only the native build knows its program (SARNEX_PROGRAM); the
// Windows programs are run under wine by a script.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace console_test {

namespace fs = std::filesystem;

// One data row of the header layout.
struct ChainRow {
    double iv;
    double K;
    double days;
    double r;
    double d;
};

// The header layout: seven header lines (texts on lines 2 and 4, spot on line 6), then the rows.
inline std::string chainText(const std::string& spotLine, const std::vector<ChainRow>& rows,
                             bool finalLineFeed = true, const std::string& forText = "TEST",
                             const std::string& onText = "2024-01-02")
{
    std::ostringstream s;
    s << std::setprecision(17);
    s << "Option chain\n" << forText << "\nValuation date\n" << onText << "\nSpot\n" << spotLine
      << "\nIV\tStrike\tDays\tRate\tDividend";
    for (const ChainRow& row : rows) {
        s << "\n" << row.iv << "\t" << row.K << "\t" << row.days << "\t" << row.r << "\t" << row.d;
    }
    if (finalLineFeed) {
        s << "\n";
    }
    return s.str();
}

// A chain that passes every check: spot 100, expiries 60 and 180 days, strikes 85 to 130 (four
// puts and six calls in each bucket), IV 0.25, none of them cheap.
inline std::vector<ChainRow> acceptedRows()
{
    std::vector<ChainRow> rows;
    for (double days : {60.0, 180.0}) {
        for (double K = 85.0; K <= 130.0; K += 5.0) {
            rows.push_back({0.25, K, days, 0.02, 0.01});
        }
    }
    return rows;
}

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;
};

class ProgramDirectory {
public:
    ProgramDirectory()
    {
        std::random_device seed;
        const auto tag = std::to_string(seed()) + "-" + std::to_string(seed());
        dir_ = fs::temp_directory_path() / ("sarnex-console-" + tag);
        fs::create_directories(dir_);
        fs::copy_file(SARNEX_PROGRAM, dir_ / "sarnex");
    }
    ~ProgramDirectory()
    {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    ProgramDirectory(const ProgramDirectory&) = delete;
    ProgramDirectory& operator=(const ProgramDirectory&) = delete;

    const fs::path& path() const { return dir_; }

    void write(const std::string& name, const std::string& text) const
    {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    std::string read(const std::string& name) const
    {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    bool exists(const std::string& name) const { return fs::exists(dir_ / name); }

    // Starts the program in its directory (the current directory is where the reports go) with
    // answers as its standard input.
    RunResult run(const std::string& answers) const
    {
        write("answers.txt", answers);
        const std::string command = "cd '" + dir_.string() +
                                    "' && ./sarnex < answers.txt > stdout.txt 2> stderr.txt";
        RunResult result;
        result.status = std::system(command.c_str());
        result.out = read("stdout.txt");
        result.err = read("stderr.txt");
        return result;
    }

private:
    fs::path dir_;
};

// What every run that gets past the opening of the chain prints first: the banner, the model
// menu and the mode prompt (the answers themselves are not echoed).
inline std::string dialogueTranscript()
{
    const std::string stars(99, '*');
    return stars + "\n" +
           "** This demo calibrates non-affine stochastic volatility models (plus Heston) to an option chain **\n"
           "** given in OptionsData.txt. It uses a backward PDE option pricer on non-uniform grids           **\n"
           "** and a box-constrained Levenberg-Marquardt least-squares search                                **\n"
           "** over the five model parameters.                                                               **\n" +
           stars + "\n" +
           "** Models, grids and bounds are fixed; answer the two questions below to start.                  **\n" +
           stars + "\n\n" +
           " Available models: \n\n 1  GARCH diffusion\n 2  Power - law with p = 0.8\n 3  ORV-X1\n"
           " 4  Inverse-Gamma vol\n 5  XGBM vol\n 6  Heston\n\n Enter model number: "
           " Enter 0 for speed, 1 for accuracy, or 2 for balanced: ";
}

}  // namespace console_test

namespace console_test {

// Compares text with a template in which every "{}" stands for one number (the fields that differ
// from run to run or that a test judges by tolerance). The rest must match byte for byte. Returns
// the numbers in order; on a mismatch, mismatch tells where.
inline std::vector<double> matchTemplate(const std::string& templ, const std::string& text,
                                         std::string& mismatch)
{
    std::vector<double> numbers;
    std::size_t t = 0;
    std::size_t a = 0;
    while (t < templ.size()) {
        if (templ.compare(t, 2, "{}") == 0) {
            const char* begin = text.c_str() + a;
            char* end = nullptr;
            const double value = std::strtod(begin, &end);
            if (end == begin) {
                mismatch = "no number at: " + text.substr(a, 60);
                return numbers;
            }
            numbers.push_back(value);
            a += static_cast<std::size_t>(end - begin);
            t += 2;
            continue;
        }
        if (a >= text.size() || templ[t] != text[a]) {
            mismatch = "expected: " + templ.substr(t, 60) + "\n  actual: " + text.substr(a, 60);
            return numbers;
        }
        ++t;
        ++a;
    }
    if (a != text.size()) {
        mismatch = "unexpected text at the end: " + text.substr(a, 60);
    }
    return numbers;
}

// Rows of heston_analytic.csv: set, S, K, T, r, d, v0, vL, kappa, volvol, rho, call, put, IV.
struct HestonReferenceRow {
    std::string set;
    double K, T, r, d, iv;
    double v0, vL, kappa, volvol, rho;
};

inline std::vector<HestonReferenceRow> hestonReference(const std::string& set)
{
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/heston_analytic.csv");
    std::string line;
    std::getline(in, line);
    std::vector<HestonReferenceRow> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream s(line);
        std::string field;
        while (std::getline(s, field, ',')) f.push_back(field);
        if (f.size() < 14 || f[0] != set) continue;
        HestonReferenceRow r;
        r.set = f[0];
        r.K = std::stod(f[2]);
        r.T = std::stod(f[3]);
        r.r = std::stod(f[4]);
        r.d = std::stod(f[5]);
        r.v0 = std::stod(f[6]);
        r.vL = std::stod(f[7]);
        r.kappa = std::stod(f[8]);
        r.volvol = std::stod(f[9]);
        r.rho = std::stod(f[10]);
        r.iv = std::stod(f[13]);
        rows.push_back(r);
    }
    return rows;
}

}  // namespace console_test
