// The booking inserts of Database, many to a request, each outcome given to
// its booking by position.

#include "booking/booking_date.h"
#include "db/database.h"
#include "db/known_outcomes.h"
#include "db/statements.h"

namespace {
/// Capacity of the identifier (32 characters) with every character doubled.
constexpr size_t kIdentifierEscapedCapacity = 2 * (kIdentifierCapacity - 1) + 1;
/// SQL Server's error for a row whose primary key is already stored.
constexpr int32_t kDuplicateKey = 2627;

/// Builds the INSERT of record at the end of request. Returns as Request::add
/// (-1 also when it cannot be built).
int addInsert(Request& request, size_t item, const BookingRecord& record, const char* identifier) {
  char day[kDayTextCapacity];
  char time[kDayTextCapacity];
  char pnr[2 * sizeof record.personnelNumber + 1];
  char kst[2 * sizeof record.costCentre + 1];
  char fcd[kIdentifierEscapedCapacity];
  if (bookingDayText(record, day, sizeof day) != 0 || bookingTimeText(record, time, sizeof time) != 0) return -1;
  if (escapeSql(record.personnelNumber, pnr) != 0 || escapeSql(record.costCentre, kst) != 0 ||
      escapeSql(identifier, fcd) != 0)
    return -1;
  return request.add(StatementKind::Insert, 0, item, kStatementLimit, kBookingInsertStatement, pnr, day, time, fcd,
                     kst);
}
}  // namespace

size_t Database::insertBookings(std::span<const BookingRecord> records, const char* identifier,
                                std::span<StatementOutcome> outcomes) {
  unknownAfter_ = 0;
  mayBeStored_.clear();
  KnownOutcomes known;
  if (known.reset(records.size()) != 0) return 0;
  const DeliverResult deliver = [&](const RequestStatement& s, std::string_view, const StatementResult& result,
                                    bool rerun) {
    StatementOutcome& o = outcomes[s.item];
    known.mark(s.item);
    if (result.kind != StatementResult::Kind::Failed) {
      o = StatementOutcome{0, {}};
      return;
    }
    // Run again after a lost link, the INSERT may meet the row its first run
    // stored before the answer was lost: the booking is stored.
    if (rerun && result.diag.nativeError == kDuplicateKey) {
      o = StatementOutcome{0, {}};
      return;
    }
    o = StatementOutcome{-1, result.diag};
  };
  // A request holds the program's batch of INSERTs; its transaction's frame
  // is added around them when it is sent.
  auto full = [&]() { return batches_ ? request_.statements().size() >= batchStatements_ : !request_.empty(); };

  for (size_t i = 0; i < records.size(); ++i) {
    // A day or time the server may not take ends the rest of a request on
    // SQL Server: that INSERT goes alone and gets the server's own answer.
    const bool alone = !isRealBookingDay(records[i]) || !isRealBookingTime(records[i]);
    if ((full() || (alone && !request_.empty())) && flushInserts(deliver) != 0) break;
    int added = addInsert(request_, i, records[i], identifier);
    if (added == 1) {
      if (flushInserts(deliver) != 0) break;
      added = addInsert(request_, i, records[i], identifier);
    }
    if (added != 0) {
      outcomes[i] = StatementOutcome{-1, {}};
      known.mark(i);
    }
    if (alone && !request_.empty() && flushInserts(deliver) != 0) break;
  }
  flushInserts(deliver);
  request_.clear();
  const size_t leading = known.leading();
  for (size_t item : mayBeStored_)
    if (item >= leading && item + 1 - leading > unknownAfter_) unknownAfter_ = item + 1 - leading;
  return leading;
}
