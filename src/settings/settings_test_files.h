#pragma once
// Test helpers: settings files in the temporary folder, named after the
// running test so that tests run in parallel never share a file.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <iterator>
#include <string>

#include "common/test_files.h"
#include "settings/value_cipher.h"

/// A temporary file that is removed when it goes out of scope.
struct TempSettingsFile {
  explicit TempSettingsFile(const std::string& bytes, const char* tag = "") {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path = (std::filesystem::temp_directory_path() /
            ("dulmar_settings_" + std::string(info->test_suite_name()) + "_" +
             info->name() + tag + ".ini"))
               .string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  ~TempSettingsFile() { std::remove(path.c_str()); }
  TempSettingsFile(const TempSettingsFile&) = delete;
  TempSettingsFile& operator=(const TempSettingsFile&) = delete;

  const char* c_str() const { return path.c_str(); }

  std::string path;
};

/// plain enciphered with the settings key, as the file stores it.
inline std::string cipherHex(const std::string& plain) {
  char out[512];
  EXPECT_EQ(encryptValue(plain, out, sizeof out, kSettingsKey), 0);
  return out;
}
