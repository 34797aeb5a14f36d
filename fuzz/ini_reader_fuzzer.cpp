// The settings reader on arbitrary file contents, asked for what the run
// asks for and for a pair by section, key and number. Whatever the file
// holds, every pair field stays a terminated text within its capacity, a
// request that nothing answers leaves them empty, and the cipher state is
// cleared again after every call.

#include <cstring>
#include <string_view>

#include "booking/text_file.h"
#include "common/field.h"
#include "fuzz_support.h"
#include "settings/ini_reader.h"
#include "settings/value_cipher.h"

namespace {
bool stateCleared() {
  static const BlowfishState zero{};
  return std::memcmp(&blowfishState, &zero, sizeof zero) == 0;
}

void checkRequest(const uint8_t* data, size_t size, const char* section, const char* keyName,
                  int32_t number) {
  TextReader file;
  file.open(memoryFile(data, size));
  iniGetValue(section, keyName, number, file);
  require(fieldView(iniSection).size() < sizeof iniSection, "section terminated");
  require(fieldView(iniKey).size() < sizeof iniKey, "key terminated");
  // A value of at most 200 digits deciphers to at most 100 characters.
  require(fieldView(iniValue).size() <= 100, "deciphered value at most 100 characters");
  require(stateCleared(), "cipher state cleared after the call");
  const bool answered = std::strcmp(iniSection, section) == 0 || std::strcmp(iniKey, keyName) == 0 ||
                        iniNumber == number;
  if (!answered)
    require(iniSection[0] == '\0' && iniKey[0] == '\0' && iniValue[0] == '\0' && iniNumber == 0,
            "an unanswered request leaves the pair fields empty");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The run's three requests take the same path through the reader and differ
  // only in the key name, so each input makes one of them, picked by its
  // length.
  static const char* const runKeys[] = {"DATABASE", "LOGIN", "PASS"};
  checkRequest(data, size, "", runKeys[size % 3], 0);
  checkRequest(data, size, "SYSTEM", "DATABASE", 7);

  // The field cutters on the bytes themselves, at every start and length the
  // first two bytes pick, including starts outside the text.
  if (size >= 2) {
    std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
    char line[iniSecondLineCapacity];
    copyField(line, text);
    const int32_t start = static_cast<int8_t>(data[0]) * 4;
    const int32_t length = static_cast<int8_t>(data[1]) * 4;
    char field[iniFieldCapacity];
    strField(line, start, length, field);
    require(fieldView(field).size() < sizeof field, "strField result terminated");
    const int32_t at = strPos(line, ';', data[1] % 3 + 1);
    require(at == -1 || (at >= 0 && line[at] == ';'), "strPos finds a separator or none");
  }
  return 0;
}
