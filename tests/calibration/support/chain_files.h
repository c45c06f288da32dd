#pragma once

// Files of the calibration tests: a unique temporary path per test (the tests of one program run
// in parallel under ctest), header-layout chains written from rows, and whole-file reads.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace chain_files {

// A path under the test temp directory, unique to this test and run; removed on destruction.
class TempPath {
public:
    explicit TempPath(const std::string& stem)
        : path_(::testing::TempDir() + stem + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                std::to_string(std::random_device{}()) + ".txt")
    {
        std::remove(path_.c_str());
    }
    ~TempPath() { std::remove(path_.c_str()); }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    const std::string& str() const { return path_; }

private:
    std::string path_;
};

// One data row of the header layout: market IV, strike, days, rate, dividend yield.
struct Row {
    double iv, K, days, r, d;
};

inline std::string headerChainText(double spot, const std::vector<Row>& rows)
{
    std::ostringstream out;
    out << std::setprecision(17);
    out << "Option chain\nTEST\nas of\n2024-01-02\nspot\n" << spot << "\nIV\tK\tdays\tr\td\n";
    for (const Row& row : rows) {
        out << row.iv << "\t" << row.K << "\t" << row.days << "\t" << row.r << "\t" << row.d << "\n";
    }
    return out.str();
}

inline void writeText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace chain_files
