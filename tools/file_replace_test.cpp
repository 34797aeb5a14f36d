#include "file_replace.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/settings_test_files.h"

#ifndef _WIN32
#include <unistd.h>
#endif

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

TEST(InspectTarget, TellsWhatStandsAtThePath) {
  TempFolder folder;
  const std::string file = folder.file("KORVANDEL.INI");
  EXPECT_EQ(inspectTarget(file.c_str()), TargetKind::missing);
  writeFile(file, "x");
  EXPECT_EQ(inspectTarget(file.c_str()), TargetKind::writable);
  EXPECT_EQ(inspectTarget(folder.path.string().c_str()), TargetKind::notRegular);
#ifdef _WIN32
  EXPECT_EQ(inspectTarget("NUL"), TargetKind::notRegular);
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_EQ(inspectTarget(file.c_str()), TargetKind::readOnly);
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
#else
  EXPECT_EQ(inspectTarget("/dev/null"), TargetKind::notRegular);
  const std::string fifo = folder.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(inspectTarget(fifo.c_str()), TargetKind::notRegular);

  // Read-only by its permission bits, for the superuser too, who may write
  // any file but is not meant to change this one.
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(inspectTarget(file.c_str()), TargetKind::readOnly);
  ASSERT_EQ(chmod(file.c_str(), 0644), 0);

  const std::string link = folder.file("link.ini");
  fs::create_symlink(file, link);
  EXPECT_EQ(inspectTarget(link.c_str()), TargetKind::writable);
  const std::string dangling = folder.file("dangling.ini");
  fs::create_symlink(folder.file("gone.ini"), dangling);
  EXPECT_EQ(inspectTarget(dangling.c_str()), TargetKind::danglingLink);
  EXPECT_EQ(replacementTarget(link.c_str()), fs::canonical(file).string());
  EXPECT_EQ(replacementTarget(file.c_str()), file);

  // A path through a file cannot be examined (ENOTDIR): neither missing nor
  // anything else.
  EXPECT_EQ(inspectTarget((file + "/x").c_str()), TargetKind::unknown);
  EXPECT_EQ(errno, ENOTDIR);
#endif
}

TEST(ReplacementFile, KeepsTheOwnerOfAFileOfAnotherUser) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have an access list instead of owner and mode";
#else
  if (geteuid() != 0) GTEST_SKIP() << "only the superuser can make a file another user's";
  TempFolder folder;
  const std::string target = folder.file("KORVANDEL.INI");
  writeFile(target, "old");
  ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(target.c_str(), 0604), 0);
  ReplacementFile replacement;
  ASSERT_EQ(replacement.write(target.c_str(), "new"), 0);
  ASSERT_EQ(replacement.commit(), 0);
  struct stat info;
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(info.st_gid, 65534u);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
  EXPECT_EQ(fileBytes(target), "new");
#endif
}

TEST(RemoveStaleReplacements, RemovesTheTemporaryFilesOfItsTargetOnly) {
  TempFolder folder;
  const std::string target = folder.file("KORVANDEL.INI");
  writeFile(target, "old");
  const char* stale[] = {"KORVANDEL.INI.dulmar-ini-123-0.tmp", "KORVANDEL.INI.dulmar-ini-9-99.tmp"};
  const char* kept[] = {"KORVANDEL.INI.dulmar-ini-x1-0.tmp", "KORVANDEL.INI.dulmar-ini-.tmp",
                        "OTHER.INI.dulmar-ini-1-0.tmp", "KORVANDEL.INI.tmp", "KORVANDEL.INI.lock",
                        "KORVANDEL.INI.dulmar-ini-1-0.tmp.bak"};
  for (const char* name : stale) writeFile(folder.file(name), "half");
  for (const char* name : kept) writeFile(folder.file(name), "keep");
  EXPECT_EQ(removeStaleReplacements(target), 2);
  for (const char* name : stale) EXPECT_FALSE(fs::exists(folder.file(name))) << name;
  for (const char* name : kept) EXPECT_TRUE(fs::exists(folder.file(name))) << name;
  EXPECT_EQ(fileBytes(target), "old");

  // What a replacement leaves when its process dies is what this removes.
  ReplacementFile replacement;
  ASSERT_EQ(replacement.write(target.c_str(), "new"), 0);
  const std::string left = replacement.path();
  EXPECT_EQ(removeStaleReplacements(target), 1);
  EXPECT_FALSE(fs::exists(left));
  EXPECT_EQ(removeStaleReplacements(folder.file("no/such/folder.ini")), 0);
}
