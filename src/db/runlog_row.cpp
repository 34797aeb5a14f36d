// The run-log rows of Database: the text of each error number looked up once
// a run, then the rows inserted, many to a request and committed once.

#include "common/field.h"
#include "db/database.h"
#include "db/known_outcomes.h"
#include "db/runlog_insert_text.h"
#include "db/statements.h"

int Database::lookUpErrorTexts(std::span<RunLogRecord> records) {
  std::vector<int32_t> numbers;
  const DeliverResult deliver = [&](const RequestStatement& s, std::string_view, const StatementResult& result, bool) {
    if (result.kind != StatementResult::Kind::Rows) return;  // a failure is asked again next time
    // A text cut to the column counts as found; a NULL or no row is the
    // empty text.
    std::string text;
    if (result.row && result.columns[0].indicator != SQL_NULL_DATA) text = fieldView(result.columns[0].text);
    errorTexts_[numbers[s.item]] = std::move(text);
  };
  try {
    for (const RunLogRecord& r : records) {
      if (r.LogTErr == 0 || errorTexts_.count(r.LogTErr) != 0) continue;
      bool listed = false;
      for (int32_t n : numbers) listed = listed || n == r.LogTErr;
      if (listed) continue;
      if ((batches_ ? request_.full() : !request_.empty()) && flush(deliver) != 0) return -1;
      if (request_.add(StatementKind::Lookup, 1, numbers.size(), kStatementCapacity, kErrorTextLookupStatement,
                       static_cast<long>(r.LogTErr)) == 0)
        numbers.push_back(r.LogTErr);
    }
    return flush(deliver);
  } catch (...) {
    request_.clear();
    return 0;  // without its text the row is still written
  }
}

size_t Database::writeRunLogRows(std::span<RunLogRecord> records, std::span<StatementOutcome> outcomes) {
  KnownOutcomes known;
  if (known.reset(records.size()) != 0) return 0;
  if (lookUpErrorTexts(records) != 0) return 0;
  const DeliverResult deliver = [&](const RequestStatement& s, std::string_view, const StatementResult& result, bool) {
    known.mark(s.item);
    if (result.kind != StatementResult::Kind::Failed) {
      outcomes[s.item] = StatementOutcome{0, {}};
      return;
    }
    // A driver's own failure carries native error 0, which is no success.
    const int native = static_cast<int>(result.diag.nativeError);
    outcomes[s.item] = StatementOutcome{native != 0 ? native : -1, result.diag};
  };
  // Many rows to a request, in a transaction of their own where requests go in
  // batches: committed at once, never with bookings, and one log flush a
  // request rather than one a row.
  auto full = [&]() { return batches_ ? request_.statements().size() >= batchStatements_ : !request_.empty(); };
  for (size_t i = 0; i < records.size(); ++i) {
    RunLogRecord& r = records[i];
    if (r.LogTErr != 0) {
      auto text = errorTexts_.find(r.LogTErr);
      copyField(r.LogTTxt, text != errorTexts_.end() ? std::string_view(text->second) : std::string_view());
    }
    if (full() && flushInserts(deliver) != 0) break;
    char* room = request_.room(kStatementCapacity);
    if (room == nullptr) {
      if (flushInserts(deliver) != 0) break;
      room = request_.room(kStatementCapacity);
    }
    if (room == nullptr || formatRunLogInsert(r, room, kStatementCapacity) != 0 ||
        request_.commit(StatementKind::Insert, 0, i) != 0) {
      if (room != nullptr) *room = '\0';
      outcomes[i] = StatementOutcome{-1, {}};
      known.mark(i);
    }
  }
  flushInserts(deliver);
  request_.clear();
  return known.leading();
}
