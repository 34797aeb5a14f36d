#include "ini_command.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "common/file_lock.h"
#include "file_replace.h"
#include "ini_edit.h"
#include "settings/ini_reader.h"
#include "settings/value_cipher.h"

namespace {
/// Cipher text of the longest value and its terminator.
constexpr size_t kCipherCapacity =
    kIniMaxValueLength / kCipherBlockBytes * kCipherGroupDigits + 1;
/// More than this from standard input is too long whatever it holds.
constexpr size_t kInputLimit = 4096;

constexpr char kHelp[] =
    "Usage: dulmar-ini COMMAND ARGUMENTS\n"
    "Writes and checks the enciphered connection settings in the settings\n"
    "file (KORVANDEL.INI) that dulmar reads.\n"
    "\n"
    "  dulmar-ini encipher TEXT       print TEXT as the cipher text dulmar reads\n"
    "  dulmar-ini decipher HEX        print the plain text of a cipher text\n"
    "  dulmar-ini get FILE KEY        print the value dulmar reads for KEY\n"
    "  dulmar-ini set FILE KEY VALUE  store VALUE for KEY where dulmar finds it\n"
    "  dulmar-ini help                print this text\n"
    "\n"
    "dulmar reads the keys DATABASE (ODBC data source), LOGIN and PASS.\n"
    "A TEXT or VALUE of \"-\" is read from standard input, one line end at its\n"
    "end dropped; that keeps a password off the command line. A value holds at\n"
    "most 96 characters and no zero byte or line end. set replaces the file in\n"
    "one step and keeps every line it does not change, and the file's owner and\n"
    "permissions; a missing FILE is made. It refuses a FILE that is read-only or\n"
    "no regular file. Sets of one FILE at once take turns (FILE.lock).\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong command line.\n";

struct Streams {
  FILE* in;
  FILE* out;
  FILE* err;
  /// How long a set waits for the lock.
  int lockWait;
};

int usage(const Streams& io, const char* problem) {
  std::fprintf(io.err, "dulmar-ini: %s\nTry 'dulmar-ini help'.\n", problem);
  return kIniExitUsage;
}

int fail(const Streams& io, const std::string& message) {
  std::fprintf(io.err, "dulmar-ini: %s\n", message.c_str());
  return kIniExitFailed;
}

/// The argument itself, or standard input for "-" (one trailing LF or CR LF
/// dropped). Returns 0, or -1 when the input cannot be read.
int argumentText(const Streams& io, const char* arg, std::string& text) {
  text.clear();
  if (std::strcmp(arg, "-") != 0) {
    text = arg;
    return 0;
  }
  char chunk[512];
  size_t n = 0;
  while (text.size() <= kInputLimit &&
         (n = std::fread(chunk, 1, sizeof chunk, io.in)) > 0)
    text.append(chunk, n);
  if (std::ferror(io.in)) return -1;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return 0;
}

/// Reads and checks a value argument. Returns 0, or an exit status.
int valueArgument(const Streams& io, const char* arg, std::string& value) {
  if (argumentText(io, arg, value) != 0)
    return fail(io, std::string("cannot read standard input: ") + std::strerror(errno));
  if (const char* problem = settingValueProblem(value)) return fail(io, problem);
  return 0;
}

int encipher(const Streams& io, const char* arg) {
  std::string value;
  if (int status = valueArgument(io, arg, value)) return status;
  char hex[kCipherCapacity];
  if (encryptValue(value, hex, sizeof hex, kSettingsKey) != 0)
    return fail(io, "the value does not fit a settings field");
  std::fprintf(io.out, "%s\n", hex);
  return kIniExitDone;
}

/// Why text is no cipher text of whole blocks, or the empty text when it is.
std::string cipherTextProblem(std::string_view text) {
  const size_t bad = text.find_first_not_of("0123456789ABCDEF");
  if (bad != std::string_view::npos) {
    const auto c = static_cast<unsigned char>(text[bad]);
    char shown[16];
    if (c >= 0x20 && c < 0x7F)
      std::snprintf(shown, sizeof shown, "\"%c\"", c);
    else
      std::snprintf(shown, sizeof shown, "the byte 0x%02X", c);
    return std::string("the cipher text holds ") + shown + ", which is no upper-case hexadecimal digit";
  }
  if (text.size() % kCipherGroupDigits != 0)
    return "the cipher text has " + std::to_string(text.size()) + " digits, which is no multiple of 16";
  return "";
}

int decipher(const Streams& io, const char* hex) {
  const std::string_view text = hex;
  const std::string problem = cipherTextProblem(text);
  if (!problem.empty()) return fail(io, problem);
  if (text.size() >= kCipherCapacity)
    return fail(io, "the cipher text is longer than a settings field holds "
                    "(192 digits)");
  char plain[kCipherCapacity / 2 + 1];
  decryptValue(hex, plain, sizeof plain, kSettingsKey);
  std::fprintf(io.out, "%s\n", plain);
  wipeBytes(plain, sizeof plain);
  return kIniExitDone;
}

int get(const Streams& io, const char* path, const char* key) {
  std::string raw;
  if (readWholeFile(path, raw) != 0)
    return fail(io, std::string("cannot read ") + path + ": " + std::strerror(errno));
  // Which pair answers, for the notes; the value comes from the program's
  // own reader, exactly as a run reads it.
  SettingsPair answeringPair;
  const int answering = findAnsweringPair(readerLayout(raw), key, answeringPair);
  const std::string answeringKey = answeringPair.key;
  const std::string problem = answering < 0 ? "" : cipherTextProblem(answeringPair.value);
  char value[kIniFieldCapacity];
  readSetting(path, key, value);
  std::fprintf(io.out, "%s\n", value);
  wipeBytes(value, sizeof value);
  if (!problem.empty()) {
    // dulmar reads such a value all the same (its whole groups, odd digits
    // counted as their codes), so it is printed; the warning says why it may
    // be wrong.
    std::fprintf(io.err, "dulmar-ini: warning: pair %d, which answers %s: %s\n", answering + 1, key,
                 problem.c_str());
  }
  if (answering < 0) {
    std::fprintf(io.err, "dulmar-ini: note: no pair of %s answers %s; dulmar reads an empty value\n",
                 path, key);
  } else if (answeringKey != key) {
    std::fprintf(io.err,
                 "dulmar-ini: note: %s is answered by pair %d, whose empty section or number 0 "
                 "answers every request\n",
                 key, answering + 1);
  }
  return kIniExitDone;
}

/// Refuses a path that set must not replace. Returns 0, or an exit status.
int checkTarget(const Streams& io, const char* path) {
  const std::string file = path;
  switch (inspectTarget(path)) {
    case TargetKind::missing:
    case TargetKind::writable:
      return 0;
    case TargetKind::readOnly:
      return fail(io, file + " is read-only or you may not write it; it is left as it was");
    case TargetKind::notRegular:
      return fail(io, file + " is a folder, a device or another special file, not a settings file; "
                             "it is left as it was");
    case TargetKind::danglingLink:
      return fail(io, file + " is a symbolic link to a file that does not exist; it is left as it was");
    case TargetKind::unknown:
      break;
  }
  return fail(io, "cannot examine " + file + ": " + std::strerror(errno));
}

int set(const Streams& io, const char* path, const char* key, const char* arg) {
  if (const char* problem = keyNameProblem(key)) return fail(io, problem);
  std::string value;
  if (int status = valueArgument(io, arg, value)) return status;
  if (int status = checkTarget(io, path)) return status;

  // From the read to the rename no other set may change the file, or one of
  // two sets at once would write back what it read and lose the other's key.
  const std::string target = replacementTarget(path);
  const std::string lockPath = target + ".lock";
  FileLock lock;
  if (lock.acquire(lockPath, io.lockWait) != 0) {
    if (errno == EWOULDBLOCK)
      return fail(io, "another dulmar-ini set has been changing " + target + " for " +
                          std::to_string(io.lockWait / 1000) + " seconds (it holds " +
                          lockPath + "); " + path + " is left as it was");
    return fail(io, "cannot lock " + lockPath + ": " + std::strerror(errno) + "; " + path +
                        " is left as it was");
  }
  // Under the lock no other set is at work, so a temporary file of one is
  // left over from a set that was killed.
  removeStaleReplacements(target);

  std::string raw;
  if (readWholeFile(path, raw) != 0) {
    if (errno != ENOENT)
      return fail(io, std::string("cannot read ") + path + ": " + std::strerror(errno));
    std::fprintf(io.err, "dulmar-ini: note: %s does not exist; creating it\n", path);
  }
  char hex[kCipherCapacity];
  if (encryptValue(value, hex, sizeof hex, kSettingsKey) != 0)
    return fail(io, "the value does not fit a settings field");

  ReplacementFile replacement;
  if (replacement.write(path, withSetting(raw, key, hex)) != 0) {
    if (errno == EPERM)
      return fail(io, std::string("cannot give the new file the owner and permissions of ") + path +
                          " (only its owner or the superuser can); " + path + " is left as it was");
    return fail(io, std::string("cannot write beside ") + path + ": " + std::strerror(errno));
  }
  // The program's own reader must find the value in the new file before it
  // takes the old one's place.
  char stored[kIniFieldCapacity];
  readSetting(replacement.path().c_str(), key, stored);
  const bool found = value == stored;
  wipeBytes(stored, sizeof stored);
  if (!found) return fail(io, std::string("the new file would not give the value; ") + path +
                                  " is left as it was");
  if (replacement.commit() != 0)
    return fail(io, std::string("cannot replace ") + path + ": " + std::strerror(errno));
  return kIniExitDone;
}
}  // namespace

int runIniCommand(int argc, const char* const* argv, FILE* in, FILE* out,
                  FILE* err, int lockWaitMilliseconds) {
  const Streams io{in, out, err, lockWaitMilliseconds};
  if (argc < 2) return usage(io, "a command is missing");
  const std::string_view command = argv[1];
  const int operands = argc - 2;
  if (command == "help" || command == "--help" || command == "-h") {
    std::fputs(kHelp, out);
    return kIniExitDone;
  }
  if (command == "encipher") {
    return operands == 1 ? encipher(io, argv[2]) : usage(io, "encipher takes one TEXT");
  }
  if (command == "decipher") {
    return operands == 1 ? decipher(io, argv[2]) : usage(io, "decipher takes one HEX");
  }
  if (command == "get") {
    return operands == 2 ? get(io, argv[2], argv[3]) : usage(io, "get takes FILE and KEY");
  }
  if (command == "set") {
    return operands == 3 ? set(io, argv[2], argv[3], argv[4])
                         : usage(io, "set takes FILE, KEY and VALUE");
  }
  return usage(io, ("unknown command \"" + std::string(command) + "\"").c_str());
}
