#include "ini_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_lock.h"
#include "settings/ini_reader.h"
#include "settings/settings_test_files.h"

namespace {
struct Result {
  int status;
  std::string out;
  std::string err;
};

std::string drain(FILE* f) {
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  std::fclose(f);
  return text;
}

/// Runs dulmar-ini with args, input as its standard input.
Result run(const std::vector<std::string>& args, const std::string& input = "",
           int waitMilliseconds = iniLockWaitMilliseconds) {
  // The program's name first, without moving the arguments (GCC's optimiser
  // then sees a null pointer that is not there).
  std::vector<const char*> argv{"dulmar-ini"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  FILE* in = std::tmpfile();
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  const int status =
      runIniCommand(static_cast<int>(argv.size()), argv.data(), in, out, err, waitMilliseconds);
  std::fclose(in);
  return {status, drain(out), drain(err)};
}

/// A settings file for a test, and the lock file a set makes beside it.
struct IniFile : TempSettingsFile {
  using TempSettingsFile::TempSettingsFile;
  ~IniFile() { std::remove((path + ".lock").c_str()); }
};

std::string settingPair(const std::string& key, const std::string& plain, int number) {
  return ";KVS;\r\n" + std::to_string(number) + ";" + key + ";" + cipherHex(plain) + "\r\n";
}
}  // namespace

TEST(IniCommand, WrongCommandLinesAreUsageErrors) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"encipher"}, {"encipher", "a", "b"}, {"decipher"},
           {"get", "f"}, {"set", "f", "K"}, {"set", "f", "K", "V", "W"}}) {
    const Result r = run(args);
    EXPECT_EQ(r.status, kIniExitUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("dulmar-ini: "), std::string::npos);
    EXPECT_NE(r.err.find("help"), std::string::npos);
  }
  const Result help = run({"help"});
  EXPECT_EQ(help.status, kIniExitDone);
  EXPECT_NE(help.out.find("dulmar-ini set FILE KEY VALUE"), std::string::npos);
  EXPECT_EQ(run({"--help"}).out, help.out);
}

TEST(IniCommand, EnciphersAndDeciphers) {
  Result r = run({"encipher", "DSN_KVS"});
  EXPECT_EQ(r.status, kIniExitDone);
  EXPECT_EQ(r.out, cipherHex("DSN_KVS") + "\n");
  r = run({"decipher", cipherHex("Gr\xFC\xDF; x")});
  EXPECT_EQ(r.status, kIniExitDone);
  EXPECT_EQ(r.out, "Gr\xFC\xDF; x\n");
  // "-" reads standard input; one line end is dropped.
  EXPECT_EQ(run({"encipher", "-"}, "geheim\r\n").out, cipherHex("geheim") + "\n");
  EXPECT_EQ(run({"encipher", "-"}, "geheim\n").out, cipherHex("geheim") + "\n");
  EXPECT_EQ(run({"encipher", ""}).out, "\n");
}

TEST(IniCommand, RefusesValuesAndCipherTextsItCannotHandle) {
  for (const auto& [args, input] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"encipher", std::string(97, 'v')}, ""},
           {{"encipher", "-"}, std::string("a\0b", 3)},
           {{"encipher", "-"}, "a\nb\n"},
           {{"encipher", "-"}, std::string(5000, 'v')},
           {{"decipher", "0123456789abcdef"}, ""},
           {{"decipher", "0123456789ABCDE"}, ""},
           {{"decipher", std::string(208, 'A')}, ""}}) {
    const Result r = run(args, input);
    EXPECT_EQ(r.status, kIniExitFailed) << args[1];
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("dulmar-ini: "), std::string::npos);
  }
  EXPECT_EQ(run({"encipher", std::string(96, 'v')}).status, kIniExitDone);
  EXPECT_EQ(run({"decipher", std::string(192, 'A')}).status, kIniExitDone);
}

TEST(IniCommand, GetPrintsWhatTheRunReads) {
  IniFile file("x;;\r\n0;OTHER;" + cipherHex("other") + "\r\n" +
                        settingPair("LOGIN", "sa", 2));
  Result r = run({"get", file.path, "LOGIN"});
  EXPECT_EQ(r.status, kIniExitDone);
  EXPECT_EQ(r.out, "other\n");  // number 0 answers first, as in a run
  EXPECT_NE(r.err.find("answered by pair 1"), std::string::npos);

  IniFile plain(settingPair("LOGIN", "sa", 2), "plain");
  r = run({"get", plain.path, "LOGIN"});
  EXPECT_EQ(r.out, "sa\n");
  EXPECT_EQ(r.err, "");
  r = run({"get", plain.path, "PASS"});
  EXPECT_EQ(r.status, kIniExitDone);
  EXPECT_EQ(r.out, "\n");
  EXPECT_NE(r.err.find("no pair"), std::string::npos);

  r = run({"get", plain.path + ".missing", "PASS"});
  EXPECT_EQ(r.status, kIniExitFailed);
  EXPECT_NE(r.err.find("cannot read"), std::string::npos);
}

TEST(IniCommand, SetThenTheRunsReaderFindsTheValue) {
  IniFile file(settingPair("LOGIN", "old", 2) + "; stray line\r\n");
  const std::string values[] = {"DSN mit Leer", "sa;admin", "P\xE4\xDFw\xF6rt; \x80 !"};
  const char* keys[] = {"DATABASE", "LOGIN", "PASS"};
  for (int i = 0; i < 3; ++i) {
    const Result r = run({"set", file.path, keys[i], values[i]});
    EXPECT_EQ(r.status, kIniExitDone) << r.err;
    EXPECT_EQ(r.out, "");
  }
  for (int i = 0; i < 3; ++i) {
    char value[kIniFieldCapacity];
    readSetting(file.c_str(), keys[i], value);
    EXPECT_EQ(std::string(value), values[i]);
    EXPECT_EQ(run({"get", file.path, keys[i]}).out, values[i] + "\n");
  }
  // From standard input, line end dropped.
  EXPECT_EQ(run({"set", file.path, "PASS", "-"}, "aus stdin\r\n").status, kIniExitDone);
  char value[kIniFieldCapacity];
  readSetting(file.c_str(), "PASS", value);
  EXPECT_STREQ(value, "aus stdin");
}

TEST(IniCommand, FailedSetLeavesTheFileAsItWas) {
  const std::string before = settingPair("PASS", "alt", 3);
  IniFile file(before);
  for (const auto& [args, input] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"set", file.path, "PASS", std::string(97, 'v')}, ""},
           {{"set", file.path, "PASS", "-"}, std::string("a\0b", 3)},
           {{"set", file.path, "PASS", "-"}, "zwei\nZeilen"},
           {{"set", file.path, "PASS", "a\rb"}, ""},
           {{"set", file.path, "", "v"}, ""},
           {{"set", file.path, "PA;SS", "v"}, ""}}) {
    const Result r = run(args, input);
    EXPECT_EQ(r.status, kIniExitFailed) << args[3];
    EXPECT_NE(r.err.find("dulmar-ini: "), std::string::npos);
    EXPECT_EQ(fileBytes(file.path), before);
  }
  const std::filesystem::path folder = std::filesystem::path(file.path).parent_path();
  const Result r = run({"set", folder.string(), "PASS", "v"});  // a folder
  EXPECT_EQ(r.status, kIniExitFailed);
  EXPECT_NE(r.err.find("not a settings file"), std::string::npos);
}

TEST(IniCommand, SetRefusesWhatItMayNotReplace) {
  namespace fs = std::filesystem;
  const std::string before = settingPair("PASS", "alt", 3);
  IniFile file(before);
  fs::permissions(file.path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  Result r = run({"set", file.path, "PASS", "neu"});
  EXPECT_EQ(r.status, kIniExitFailed);
  EXPECT_NE(r.err.find("read-only"), std::string::npos) << r.err;
  EXPECT_EQ(fileBytes(file.path), before);
  EXPECT_EQ(fs::status(file.path).permissions() & fs::perms::owner_write, fs::perms::none);
  fs::permissions(file.path, fs::perms::owner_write, fs::perm_options::add);
#ifdef _WIN32
  r = run({"set", "NUL", "PASS", "neu"});
  EXPECT_EQ(r.status, kIniExitFailed);
  EXPECT_NE(r.err.find("device"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists("NUL.lock"));
#else
  r = run({"set", "/dev/null", "PASS", "neu"});
  EXPECT_EQ(r.status, kIniExitFailed);
  EXPECT_NE(r.err.find("device"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists("/dev/null.lock"));

  const std::string link = file.path + ".link";
  fs::remove(link);
  fs::create_symlink(file.path + ".gone", link);
  r = run({"set", link, "PASS", "neu"});
  EXPECT_EQ(r.status, kIniExitFailed);
  EXPECT_NE(r.err.find("symbolic link to a file that does not exist"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_FALSE(fs::exists(file.path + ".gone"));
  fs::remove(link);
#endif
}

TEST(IniCommand, SetTakesTurnsAndClearsWhatAKilledSetLeft) {
  namespace fs = std::filesystem;
  IniFile file(settingPair("PASS", "alt", 3));
  const std::string leftOver = file.path + ".dulmar-ini-4242-0.tmp";
  writeFileBytes(leftOver, "half a file");
  Result r = run({"set", file.path, "LOGIN", "sa"});
  EXPECT_EQ(r.status, kIniExitDone) << r.err;
  EXPECT_FALSE(fs::exists(leftOver));
  EXPECT_TRUE(fs::exists(file.path + ".lock"));

  // A set that holds the lock for long makes the next one give up, the file
  // as it was.
  const std::string before = fileBytes(file.path);
  FileLock other;
  ASSERT_EQ(other.acquire(file.path + ".lock", 0), 0);
  writeFileBytes(leftOver, "a live set's file");
  r = run({"set", file.path, "LOGIN", "neu"}, "", /*waitMilliseconds=*/0);
  EXPECT_EQ(r.status, kIniExitFailed);
  EXPECT_NE(r.err.find("another dulmar-ini set"), std::string::npos) << r.err;
  EXPECT_EQ(fileBytes(file.path), before);
  EXPECT_TRUE(fs::exists(leftOver));  // not taken for stale while its set lives
  other.release();
  fs::remove(leftOver);
  fs::remove(file.path + ".lock");
}

TEST(IniCommand, GetWarnsOfACipherTextThatIsNone) {
  IniFile file(";KVS;\r\n1;LOGIN;" + cipherHex("sa") + "0\r\n;KVS;\r\n2;PASS;" +
                        cipherHex("pw").substr(0, 14) + "zz\r\n");
  Result r = run({"get", file.path, "LOGIN"});
  EXPECT_EQ(r.status, kIniExitDone);
  EXPECT_EQ(r.out, "sa\n");  // the whole groups, as dulmar reads them
  EXPECT_NE(r.err.find("warning: pair 1, which answers LOGIN: the cipher text has 17 digits"),
            std::string::npos)
      << r.err;
  r = run({"get", file.path, "PASS"});
  EXPECT_EQ(r.status, kIniExitDone);
  EXPECT_NE(r.err.find("warning: pair 2, which answers PASS: the cipher text holds \"z\""), std::string::npos)
      << r.err;
  IniFile plain(settingPair("LOGIN", "sa", 2), "plain");
  EXPECT_EQ(run({"get", plain.path, "LOGIN"}).err, "");
}

TEST(IniCommand, SetMakesAMissingFile) {
  IniFile file("");
  std::remove(file.c_str());
  const Result r = run({"set", file.path, "DATABASE", "DSN"});
  EXPECT_EQ(r.status, kIniExitDone);
  EXPECT_NE(r.err.find("creating it"), std::string::npos);
  EXPECT_EQ(run({"get", file.path, "DATABASE"}).out, "DSN\n");
  EXPECT_EQ(run({"set", file.path + ".d/x.ini", "DATABASE", "DSN"}).status, kIniExitFailed);
}
