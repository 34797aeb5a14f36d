// The settings reader on arbitrary file contents, asked for what the run
// asks for. Whatever the file holds, every pair field stays a terminated
// text within its capacity, a pair found answers the request, and a request
// that nothing answers leaves the fields empty.

#include <string_view>

#include "common/field.h"
#include "fuzz_support.h"
#include "settings/ini_reader.h"

namespace {
char settingsPath[kScratchPathCapacity];

void checkRequest(const char* keyName) {
  SettingsPair pair;
  const int result = readSettingsPair(settingsPath, keyName, pair);
  require(fieldView(pair.section).size() < sizeof pair.section, "section terminated");
  require(fieldView(pair.key).size() < sizeof pair.key, "key terminated");
  // A value of at most 200 digits deciphers to at most 100 characters.
  require(fieldView(pair.value).size() <= 100, "deciphered value at most 100 characters");
  if (result == 0) {
    require(answersRequest(pair, keyName), "the pair found answers the request");
  } else {
    require(pair.section[0] == '\0' && pair.key[0] == '\0' && pair.value[0] == '\0' && pair.number == 0,
            "an unanswered request leaves the pair fields empty");
  }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratchPath(settingsPath, "KORVANDEL.INI");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeScratchFile(settingsPath, data, size);
  checkRequest("DATABASE");
  checkRequest("LOGIN");
  checkRequest("PASS");

  // The field cutters on the bytes themselves, at every start and length the
  // first two bytes pick, including starts outside the text.
  if (size >= 2) {
    std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
    char line[kIniSecondLineCapacity];
    copyField(line, text);
    const int32_t start = static_cast<int8_t>(data[0]) * 4;
    const int32_t length = static_cast<int8_t>(data[1]) * 4;
    char field[kIniFieldCapacity];
    strField(line, start, length, field);
    require(fieldView(field).size() < sizeof field, "strField result terminated");
    const int32_t at = strPos(line, ';', data[1] % 3 + 1);
    require(at == -1 || (at >= 0 && line[at] == ';'), "strPos finds a separator or none");
  }
  return 0;
}
