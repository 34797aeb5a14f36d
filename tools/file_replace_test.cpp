#include "file_replace.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/settings_test_files.h"

namespace fs = std::filesystem;

namespace {
/// A fresh, empty folder for one test, removed afterwards.
struct TempFolder {
  TempFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path = fs::temp_directory_path() / ("dulmar_replace_" + std::string(info->name()));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempFolder() { fs::remove_all(path); }
  std::string file(const char* name) const { return (path / name).string(); }
  size_t entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(path), fs::directory_iterator()));
  }
  fs::path path;
};

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
}  // namespace

TEST(ReadWholeFile, ReadsEveryByteOrReportsWhy) {
  TempFolder folder;
  const std::string bytes = std::string("a\r\nb\0c\x1A" "d", 8) + std::string(40000, 'x');
  writeFile(folder.file("f"), bytes);
  std::string got;
  ASSERT_EQ(readWholeFile(folder.file("f").c_str(), got), 0);
  EXPECT_EQ(got, bytes);

  EXPECT_EQ(readWholeFile(folder.file("missing").c_str(), got), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(readWholeFile(folder.path.string().c_str(), got), -1);  // a folder
  EXPECT_TRUE(got.empty());
}

TEST(ReplacementFile, CommitReplacesTheTargetAndKeepsItsPermissions) {
  TempFolder folder;
  const std::string target = folder.file("KORVANDEL.INI");
  writeFile(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ReplacementFile replacement;
  ASSERT_EQ(replacement.write(target.c_str(), "new content"), 0);
  EXPECT_EQ(fileBytes(target), "old");  // untouched until the commit
  EXPECT_EQ(fileBytes(replacement.path()), "new content");
  ASSERT_EQ(replacement.commit(), 0);
  EXPECT_EQ(fileBytes(target), "new content");
  EXPECT_EQ(folder.entries(), 1u);  // no temporary file left
#ifndef _WIN32  // Windows files have no POSIX permission bits
  struct stat info;
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
#endif
}

TEST(ReplacementFile, MakesAMissingTargetReadableByItsOwnerOnly) {
  TempFolder folder;
  const std::string target = folder.file("new.ini");
  ReplacementFile replacement;
  ASSERT_EQ(replacement.write(target.c_str(), "x"), 0);
  ASSERT_EQ(replacement.commit(), 0);
  EXPECT_EQ(fileBytes(target), "x");
#ifndef _WIN32  // Windows files have no POSIX permission bits
  struct stat info;
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif
}

TEST(ReplacementFile, WithoutCommitNothingChanges) {
  TempFolder folder;
  const std::string target = folder.file("KORVANDEL.INI");
  writeFile(target, "old");
  {
    ReplacementFile replacement;
    ASSERT_EQ(replacement.write(target.c_str(), "new"), 0);
    EXPECT_EQ(folder.entries(), 2u);
  }
  EXPECT_EQ(fileBytes(target), "old");
  EXPECT_EQ(folder.entries(), 1u);
}

TEST(ReplacementFile, FailuresLeaveTargetAndFolderAsTheyWere) {
  TempFolder folder;
  ReplacementFile replacement;
  EXPECT_EQ(replacement.write(folder.file("no/such/folder.ini").c_str(), "x"), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(replacement.path().empty());
  EXPECT_EQ(replacement.commit(), -1);  // nothing written, nothing to commit

  // A folder in the target's place cannot be replaced by a file.
  const std::string target = folder.file("KORVANDEL.INI");
  fs::create_directory(target);
  ASSERT_EQ(replacement.write(target.c_str(), "x"), 0);
  EXPECT_EQ(replacement.commit(), -1);
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_TRUE(replacement.path().empty());
  EXPECT_EQ(folder.entries(), 1u);
}

TEST(ReplacementFile, ALinkStaysALinkAndItsFileChanges) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need extra rights on Windows and are not followed there";
#endif
  TempFolder folder;
  const std::string real = folder.file("real.ini");
  const std::string link = folder.file("link.ini");
  writeFile(real, "old");
  fs::create_symlink(real, link);
  ReplacementFile replacement;
  ASSERT_EQ(replacement.write(link.c_str(), "new"), 0);
  ASSERT_EQ(replacement.commit(), 0);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fileBytes(real), "new");
}
