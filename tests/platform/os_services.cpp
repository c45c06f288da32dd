#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
const char* const kTestProgram = "test_platform_os_services.exe";
const char* const kSystemLibrary = "msvcrt.dll";
#else
const char* const kTestProgram = "test_platform_os_services";
const char* const kSystemLibrary = "libc.so.6";
#endif

}  // namespace

TEST(ModuleDirectory, IsTheAbsoluteDirectoryHoldingTheRunningProgram) {
  const std::string dir = platform::moduleDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(fs::path(dir).is_absolute()) << dir;
  EXPECT_TRUE(fs::is_directory(dir)) << dir;
  EXPECT_TRUE(fs::is_regular_file(fs::path(dir) / kTestProgram)) << dir;
  // No trailing separator: callers add exactly one.
  EXPECT_NE(dir.back(), platform::pathSeparator());
  std::cout << "module directory: " << dir << "\n";
}

TEST(ModuleDirectory, NamesTheSharedLibraryThatHoldsAnAddress) {
  platform::LibraryHandle lib = platform::loadLibrary(kSystemLibrary);
  ASSERT_NE(lib, nullptr);
  void* sym = platform::findSymbol(lib, "strlen");
  ASSERT_NE(sym, nullptr);
  using StrlenFn = std::size_t (*)(const char*);
  EXPECT_EQ(reinterpret_cast<StrlenFn>(sym)("sarnex"), 6u);

  const std::string dir = platform::moduleDirectoryOf(sym);
  EXPECT_TRUE(fs::path(dir).is_absolute()) << dir;
  EXPECT_TRUE(fs::exists(fs::path(dir) / kSystemLibrary)) << dir;
  EXPECT_NE(dir, platform::moduleDirectory());
  platform::freeLibrary(lib);
}

TEST(ModuleDirectory, AddressOutsideEveryModuleFallsBack) {
  int onTheStack = 0;
  testing::internal::CaptureStderr();
  const std::string dir = platform::moduleDirectoryOf(&onTheStack);
  const std::string err = testing::internal::GetCapturedStderr();
#if defined(_WIN32)
  // The failed lookup is reported and the null handle names the running program.
  EXPECT_EQ(err.rfind("GetModuleHandle returned ", 0), 0u) << err;
  EXPECT_EQ(err.back(), '\n');
  EXPECT_EQ(dir, platform::moduleDirectory());
#else
  EXPECT_EQ(err, "");
  EXPECT_EQ(dir, ".");
#endif
}

TEST(Paths, JoinWithThePlatformSeparator) {
#if defined(_WIN32)
  EXPECT_EQ(platform::pathSeparator(), '\\');
  EXPECT_EQ(platform::joinPath("C:\\data", "OptionsData.txt"), "C:\\data\\OptionsData.txt");
  EXPECT_EQ(platform::joinPath("C:\\", "a.txt"), "C:\\a.txt");
#else
  EXPECT_EQ(platform::pathSeparator(), '/');
  EXPECT_EQ(platform::joinPath("/opt/sarnex", "OptionsData.txt"), "/opt/sarnex/OptionsData.txt");
  EXPECT_EQ(platform::joinPath("/", "a.txt"), "/a.txt");
#endif
  EXPECT_EQ(platform::joinPath("", "a.txt"), "a.txt");
  const std::string beside = platform::pathBesideModule("SV_PDESolverLog.txt");
  EXPECT_EQ(beside, platform::moduleDirectory() + platform::pathSeparator() + "SV_PDESolverLog.txt");
}

TEST(DynamicLoading, MissingLibraryOrSymbolGivesNull) {
  EXPECT_EQ(platform::loadLibrary("sarnex_no_such_library.dll"), nullptr);
  EXPECT_EQ(platform::loadLibrary(""), nullptr);
  platform::LibraryHandle lib = platform::loadLibrary(kSystemLibrary);
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(platform::findSymbol(lib, "sarnex_no_such_symbol"), nullptr);
  EXPECT_EQ(platform::findSymbol(nullptr, "strlen"), nullptr);
  platform::freeLibrary(lib);
}

TEST(SystemInfo, ProcessorCountAndBrand) {
  EXPECT_GE(platform::processorCount(), 1);
  const std::string brand = platform::processorBrand();
  ASSERT_FALSE(brand.empty());
  EXPECT_NE(brand.front(), ' ');
  EXPECT_NE(brand.back(), ' ');
  EXPECT_EQ(std::strlen(brand.c_str()), brand.size());
  std::cout << "cores: " << platform::processorCount() << ", cpu: " << brand << "\n";
}
