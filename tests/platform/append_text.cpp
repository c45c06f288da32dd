#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class AppendText : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("sarnex_append_" + std::string(info->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const char* name) const { return (dir_ / name).string(); }

  static std::string contents(const std::string& p) {
    std::ifstream in(p);  // text mode, as written
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  fs::path dir_;
};

}  // namespace

TEST_F(AppendText, CreatesTheFileThenAppends) {
  const std::string p = path("log.txt");
  ASSERT_FALSE(fs::exists(p));
  ASSERT_TRUE(platform::appendText(p, "first\n"));
  EXPECT_EQ(contents(p), "first\n");
  ASSERT_TRUE(platform::appendText(p, "second\tline\n"));
  ASSERT_TRUE(platform::appendText(p, ""));
  EXPECT_EQ(contents(p), "first\nsecond\tline\n");
}

TEST_F(AppendText, UnopenableFileReturnsFalseAndCreatesNothing) {
  const std::string p = (dir_ / "missing" / "log.txt").string();
  EXPECT_FALSE(platform::appendText(p, "lost\n"));
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  // A directory cannot be opened as a file either.
  EXPECT_FALSE(platform::appendText(dir_.string(), "lost\n"));
}

// Records longer than a stdio buffer, so that unsynchronised writers would split them.
TEST_F(AppendText, ConcurrentRecordsNeverInterleave) {
  const std::string p = path("concurrent.txt");
  constexpr int kThreads = 8;
  constexpr int kRecords = 200;
  constexpr std::size_t kPayload = 9000;
#pragma omp parallel for num_threads(kThreads) schedule(static, 1)
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kRecords; ++i) {
      std::string rec = "BEGIN " + std::to_string(t) + " " + std::to_string(i) + "\n";
      rec += std::string(kPayload, static_cast<char>('a' + t));
      rec += "\nEND " + std::to_string(t) + " " + std::to_string(i) + "\n";
      platform::appendText(p, rec);
    }
  }
  std::ifstream in(p);
  std::vector<int> next(kThreads, 0);
  std::string begin, payload, end;
  int count = 0;
  while (std::getline(in, begin)) {
    ASSERT_TRUE(std::getline(in, payload));
    ASSERT_TRUE(std::getline(in, end));
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(begin.c_str(), "BEGIN %d %d", &t, &i), 2) << "record " << count;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    // Each thread's records arrive whole and in its own order.
    EXPECT_EQ(i, next[t]);
    next[t] = i + 1;
    EXPECT_EQ(payload, std::string(kPayload, static_cast<char>('a' + t))) << "record " << count;
    EXPECT_EQ(end, "END " + std::to_string(t) + " " + std::to_string(i));
    ++count;
  }
  EXPECT_EQ(count, kThreads * kRecords);
}
