#pragma once
// Helpers for tests that write and read files in the temporary folder. Paths
// are named after the running test: CTest runs tests in parallel, and a shared
// name lets one test remove or overwrite another's file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

/// A path in the temporary folder unique to the running test and tag.
inline std::string testTempPath(const std::string& tag) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return (std::filesystem::temp_directory_path() /
          ("dulmar_" + std::string(test->test_suite_name()) + "_" + test->name() + "_" + tag))
      .string();
}

/// Writes bytes as the whole content of path.
inline void writeFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

/// The whole content of a file, byte for byte.
inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  // Not istreambuf_iterator: with it GCC 12 at -O2 warns of a null
  // dereference inside libstdc++ (-Wnull-dereference), failing -Werror.
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}
