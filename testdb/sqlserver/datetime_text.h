#pragma once
// SQL Server's datetime as text: reading the convert styles, the canonical
// stored form "yyyy-mm-dd hh:mi:ss.mmm" (which sorts as the time it names),
// and writing the output styles.

#include <string>
#include <string_view>

namespace testdb {

struct DateTime {
  // 1753..9999
  int year = 1900;
  // 1..12
  int month = 1;
  // 1..31
  int day = 1;
  // 0..23
  int hour = 0;
  // 0..59
  int minute = 0;
  // 0..59
  int second = 0;
  // 0..997, always rounded to .000/.003/.007 like SQL Server's datetime
  int millis = 0;
};

/// Native error of a text that is no datetime: 241; of a datetime that does not exist: 242.
constexpr int kConversionFailed = 241;
constexpr int kOutOfRange = 242;

/// Reads text as CONVERT(DATETIME, text, style) does. Returns 0 and fills out,
/// 241 when the text is no date, 242 when it names a day or time that does not
/// exist or lies outside 1753-01-01..9999-12-31.
int parseDateTime(std::string_view text, int style, DateTime& out);

/// The stored form "yyyy-mm-dd hh:mi:ss.mmm" (23 characters).
std::string canonicalText(const DateTime& dt);

/// Formats dt in a CONVERT output style into out. Returns 0, or -1 for a style
/// that this driver does not know.
int formatStyle(const DateTime& dt, int style, std::string& out);

/// The local time of this machine, rounded to datetime precision.
DateTime localNow();

/// Days in a month of a year of the Gregorian calendar.
int daysInMonth(int year, int month);

}  // namespace testdb
