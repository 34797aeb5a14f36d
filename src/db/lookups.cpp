// The master-data lookups of Database, asked in requests of many statements:
// every distinct statement text once, each answered from the lookup cache
// when the same statement was answered before.

#include <cstring>
#include <unordered_map>

#include "booking/booking_date.h"
#include "common/field.h"
#include "db/database.h"
#include "db/statements.h"

namespace {
/// Capacity of a booking text with every character an apostrophe, doubled.
constexpr size_t kEscapedCapacity = 2 * sizeof BookingRecord::costCentre + 1;

/// Which answer of a booking a lookup gives.
enum Target { kBadge, kSchema, kCostCentre };
/// The stage of a booking's lookups a target belongs to, as bits of done.
constexpr unsigned char kDoneBit[] = {1, 2, 4};

/// Builds the lookup of target for record at the end of request. Returns as
/// Request::add (-1 also when it cannot be built).
int addLookup(Request& request, Target target, size_t item, const BookingRecord& record, const Resolution& res) {
  char escaped[kEscapedCapacity];
  switch (target) {
    case kBadge: {
      char day[kDayTextCapacity];
      if (bookingDayText(record, day, sizeof day) != 0 || escapeSql(record.badge, escaped) != 0) return -1;
      return request.add(StatementKind::Lookup, 3, item, kStatementLimit, kBadgeLookupStatement, escaped, day, day);
    }
    case kSchema:
      // They stand unquoted in the statement: anything but a number could change it.
      if (!isPlainNumber(res.licence) || !isPlainNumber(res.tenant)) return -1;
      return request.add(StatementKind::Lookup, 1, item, kStatementLimit, kSchemaLookupStatement, res.licence,
                         res.tenant);
    case kCostCentre:
      if (escapeSql(record.workstation, escaped) != 0) return -1;
      return request.add(StatementKind::Lookup, 1, item, kStatementLimit, kCostCentreLookupStatement, escaped);
  }
  return -1;
}

/// The answer of a result for target. A value that does not fit its field
/// is never cut: the lookup counts as finding no row, as the run reports it.
LookupAnswer answerOf(Target target, const StatementResult& result) {
  LookupAnswer answer{};
  if (result.kind != StatementResult::Kind::Rows) {
    answer.result = -1;
    return answer;
  }
  answer.result = result.row ? 0 : SQL_NO_DATA;
  if (!result.row) return answer;
  bool fits = true;
  if (target == kBadge) {
    fits = takeColumn(result.columns[0], answer.values[0], sizeof BookingRecord::personnelNumber) == 0 &&
           takeColumn(result.columns[1], answer.values[1], kLicenceCapacity) == 0 &&
           takeColumn(result.columns[2], answer.values[2], kTenantCapacity) == 0;
  } else {
    fits = takeColumn(result.columns[0], answer.values[0],
                      target == kSchema ? sizeof BookingRecord::schema : sizeof BookingRecord::costCentre) == 0;
  }
  if (!fits) answer = LookupAnswer{SQL_NO_DATA, {}};
  return answer;
}

/// Gives record and its resolution the answer to its lookup of target.
void apply(Target target, const LookupAnswer& answer, const Diagnostic* failure, BookingRecord& record,
           Resolution& res) {
  int* result = target == kBadge ? &res.badge : target == kSchema ? &res.schema : &res.costCentre;
  Diagnostic* diag = target == kBadge ? &res.badgeDiag : target == kSchema ? &res.schemaDiag : &res.costCentreDiag;
  *result = answer.result;
  if (failure != nullptr) *diag = *failure;
  if (answer.result != 0) return;
  if (target == kBadge) {
    copyField(record.personnelNumber, answer.values[0]);
    copyField(res.licence, answer.values[1]);
    copyField(res.tenant, answer.values[2]);
  } else if (target == kSchema) {
    copyField(record.schema, answer.values[0]);
  } else {
    copyField(record.costCentre, answer.values[0]);
  }
}

/// The bookings that wait for the answer to one statement of a request.
struct Waiting {
  Target target;
  /// The first booking waiting, then the next of each (npos ends it).
  size_t first;
};
constexpr size_t kNone = static_cast<size_t>(-1);
}  // namespace

int Database::lookUpStage(int stage, std::span<BookingRecord> records, std::span<Resolution> resolutions,
                          std::vector<unsigned char>& done) {
  // Per statement of the request being built: who waits for its answer.
  std::vector<Waiting> slots;
  std::vector<size_t> nextWaiting(records.size(), kNone);
  std::vector<size_t> nextWaitingSchema(records.size(), kNone);
  std::unordered_map<std::string_view, size_t> asked;
  auto chain = [&](Target t) -> std::vector<size_t>& { return t == kSchema ? nextWaitingSchema : nextWaiting; };

  const DeliverResult deliver = [&](const RequestStatement& s, std::string_view text, const StatementResult& result,
                                    bool) {
    const Waiting& w = slots[s.item];
    LookupAnswer answer = answerOf(w.target, result);
    cache_.remember(text, answer);  // a failure is not kept
    const Diagnostic* failure = result.kind == StatementResult::Kind::Failed ? &result.diag : nullptr;
    for (size_t i = w.first; i != kNone; i = chain(w.target)[i]) {
      apply(w.target, answer, failure, records[i], resolutions[i]);
      done[i] |= kDoneBit[w.target];
    }
  };
  auto send = [&]() {
    int rc = flush(deliver);
    slots.clear();
    asked.clear();
    return rc;
  };
  auto full = [&]() { return batches_ ? request_.full() : !request_.empty(); };

  for (size_t i = 0; i < records.size(); ++i) {
    if (stage == 1 && resolutions[i].badge != 0) continue;
    // A day the server may not take ends the rest of a request on SQL
    // Server: its lookup goes alone, and still gets the server's own answer.
    const bool alone = !isRealBookingDay(records[i]);
    for (Target target : {kBadge, kSchema, kCostCentre}) {
      if ((target == kBadge) != (stage == 0)) continue;
      if ((full() || (alone && target == kBadge && !request_.empty())) && send() != 0) return -1;
      int added = addLookup(request_, target, slots.size(), records[i], resolutions[i]);
      if (added == 1) {
        if (send() != 0) return -1;
        added = addLookup(request_, target, slots.size(), records[i], resolutions[i]);
      }
      if (added != 0) {
        apply(target, LookupAnswer{-1, {}}, nullptr, records[i], resolutions[i]);
        done[i] |= kDoneBit[target];
        continue;
      }
      std::string_view text = request_.text(request_.statements().back());
      if (const LookupAnswer* known = cache_.find(text)) {
        apply(target, *known, nullptr, records[i], resolutions[i]);
        done[i] |= kDoneBit[target];
        request_.dropLast();
        continue;
      }
      if (auto same = asked.find(text); same != asked.end()) {
        request_.dropLast();
        Waiting& w = slots[same->second];
        chain(target)[i] = w.first;
        w.first = i;
        continue;
      }
      try {
        asked.emplace(text, slots.size());
        slots.push_back(Waiting{target, i});
      } catch (...) {
        request_.dropLast();
        apply(target, LookupAnswer{-1, {}}, nullptr, records[i], resolutions[i]);
        done[i] |= kDoneBit[target];
        continue;
      }
      if (alone && target == kBadge && send() != 0) return -1;
    }
  }
  return send();
}

size_t Database::resolveBookings(std::span<BookingRecord> records, std::span<Resolution> resolutions) {
  std::vector<unsigned char> done;
  try {
    done.assign(records.size(), 0);
  } catch (...) {
    return 0;
  }
  for (size_t i = 0; i < records.size(); ++i) {
    resolutions[i] = Resolution{};
    resolutions[i].badge = resolutions[i].schema = resolutions[i].costCentre = -1;
  }
  if (lookUpStage(0, records, resolutions, done) == 0) lookUpStage(1, records, resolutions, done);
  size_t resolved = 0;
  while (resolved < records.size()) {
    const unsigned char d = done[resolved];
    const bool complete = (d & kDoneBit[kBadge]) != 0 &&
                          (resolutions[resolved].badge != 0 || (d & (kDoneBit[kSchema] | kDoneBit[kCostCentre])) ==
                                                                   (kDoneBit[kSchema] | kDoneBit[kCostCentre]));
    if (!complete) break;
    ++resolved;
  }
  return resolved;
}
