// The settings reader on arbitrary file contents, asked for what the run
// asks for. Whatever the file holds, every pair field stays a terminated
// text within its capacity, a pair found answers the request, and a request
// that nothing answers leaves the fields empty.

#include <string_view>

#include "common/text_file.h"
#include "common/field.h"
#include "fuzz_support.h"
#include "settings/ini_reader.h"

namespace {
void checkRequest(const uint8_t* data, size_t size, const char* keyName) {
  TextReader file;
  file.open(memoryFile(data, size));
  SettingsPair pair;
  const int result = readSettingsPair(file, keyName, pair);
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The run's three requests take the same path through the reader and differ
  // only in the key name, so each input makes one of them, picked by its
  // length.
  static const char* const runKeys[] = {"DATABASE", "LOGIN", "PASS"};
  checkRequest(data, size, runKeys[size % 3]);

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
