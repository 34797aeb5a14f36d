#include "booking/normalise.h"

#include <cstring>

#include "booking/booking_record.h"

namespace {
bool isAsciiLetterOrDigit(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}
bool isWhiteSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

int trimRight(char* text) {
  if (text == nullptr) return -1;
  // The text ends at the leftmost white space of the trailing run that holds
  // no letter or digit. Classification is by ASCII alone, so the result does
  // not depend on the C locale.
  for (size_t i = std::strlen(text); i > 0; --i) {
    unsigned char c = static_cast<unsigned char>(text[i - 1]);
    if (isAsciiLetterOrDigit(c)) break;
    if (isWhiteSpace(c)) text[i - 1] = '\0';
  }
  return 0;
}

int stripLeadingZeros(char* text) {
  if (text == nullptr) return -1;
  size_t zeros = std::strspn(text, "0");
  if (zeros > 0) std::memmove(text, text + zeros, std::strlen(text + zeros) + 1);
  return 0;
}

void normaliseBooking(BookingRecord& record) {
  trimRight(record.badge);
  trimRight(record.workstation);
  stripLeadingZeros(record.workstation);
}
