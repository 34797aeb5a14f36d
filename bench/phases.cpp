// dulmar-bench-phases BOOKINGS RESOLVED PARAM_FILE
//
// Times the run's own sorting, sorted list and output list on the records of
// a benchmark run, without the database: the booking file is read and
// normalised as the run reads it, and the fields the lookups would resolve
// come from RESOLVED (one line "personnel number|schema|cost centre" per
// booking, written by the generator from the master data it made). The sorted
// list goes to standard output and the output list is appended to PARAM_FILE,
// exactly as the run writes them, so both can be compared with a real run's.
// The seconds of each phase go to standard error.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "booking/booking_reader.h"
#include "booking/booking_sort.h"
#include "booking/parameter_file.h"
#include "booking/normalise.h"
#include "common/text_file.h"
#include "common/field.h"

namespace {
double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: dulmar-bench-phases BOOKINGS RESOLVED PARAM_FILE\n");
    return 2;
  }
  TextReader input;
  if (input.open(argv[1]) != 0) {
    std::fprintf(stderr, "dulmar-bench-phases: cannot read %s\n", argv[1]);
    return 1;
  }
  std::ifstream resolved(argv[2]);
  if (!resolved) {
    std::fprintf(stderr, "dulmar-bench-phases: cannot read %s\n", argv[2]);
    return 1;
  }
  std::vector<BookingRecord> bookings;
  std::string line;
  for (;;) {
    BookingRecord* record = appendEmptyBooking(bookings);
    if (record == nullptr) return 1;
    if (!readBookingGroup(input, *record)) {
      bookings.pop_back();
      break;
    }
    normaliseBooking(*record);
    if (!std::getline(resolved, line)) {
      std::fprintf(stderr, "dulmar-bench-phases: %s ends before the bookings\n", argv[2]);
      return 1;
    }
    size_t bar1 = line.find('|');
    size_t bar2 = line.find('|', bar1 + 1);
    if (bar1 == std::string::npos || bar2 == std::string::npos) return 1;
    copyField(record->personnelNumber, std::string_view(line).substr(0, bar1));
    copyField(record->schema, std::string_view(line).substr(bar1 + 1, bar2 - bar1 - 1));
    copyField(record->costCentre, std::string_view(line).substr(bar2 + 1));
  }
  input.close();

  auto start = std::chrono::steady_clock::now();
  sortBookings(bookings);
  double sortSeconds = secondsSince(start);
  start = std::chrono::steady_clock::now();
  printSortedList(stdout, bookings);
  std::fflush(stdout);
  double listSeconds = secondsSince(start);
  start = std::chrono::steady_clock::now();
  if (writeParameterFile(bookings, argv[3]) != 0) return 1;
  double outputSeconds = secondsSince(start);
  std::fprintf(stderr, "bookings %zu sort %.3f list %.3f output %.3f\n", bookings.size(), sortSeconds, listSeconds,
               outputSeconds);
  return 0;
}
