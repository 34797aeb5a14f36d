#include "db/batch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/field.h"

namespace {
/// What the scripted server does with one statement.
enum class Answer { Row, NoRow, Count1, Count0, Fails, EndsBatch, LosesLink, Deadlock };

/// A server that answers each statement of a request by a rule on its text,
/// with SQL Server's and the driver manager's ways: a failure ends only its
/// statement, a batch-ending failure the rest too; a first statement that
/// fails hides the results after it; a lost link ends the request.
class ScriptedSource final : public ResultSource {
 public:
  std::function<Answer(const std::string&)> rule;
  std::vector<std::string> sent;
  std::vector<std::string> ran;  // every statement the server ran, in order
  int restores = 0;
  bool restoreFails = false;
  int rollbacks = 0;
  int deadlocks = 0;

  void send(std::string_view text, int, StatementResult& result) override {
    sent.emplace_back(text);
    pending.clear();
    std::string all(text);
    for (size_t at = 0; at <= all.size();) {
      size_t end = all.find(kStatementSeparator, at);
      if (end == std::string::npos) end = all.size();
      pending.push_back(all.substr(at, end - at));
      at = end + std::strlen(kStatementSeparator);
    }
    position = 0;
    stopped = false;
    produce(result);
    // The driver manager reads nothing after a failed SQLExecDirect.
    if (result.kind == StatementResult::Kind::Failed) stopped = true;
  }
  void next(int, StatementResult& result) override { produce(result); }
  void close() override { stopped = true; }
  int restore() override {
    ++restores;
    return restoreFails ? -1 : 0;
  }
  int rollBack() override {
    ++rollbacks;
    return 0;
  }
  int deadlocked(int) override {
    ++deadlocks;
    return 0;
  }

 private:
  void produce(StatementResult& result) {
    result = StatementResult{};
    if (stopped || position == pending.size()) return;  // End
    const std::string& s = pending[position++];
    ran.push_back(s);
    const Answer answer = rule(s);
    switch (answer) {
      case Answer::Row:
        result.kind = StatementResult::Kind::Rows;
        result.columnCount = 1;
        result.row = true;
        copyField(result.columns[0].text, s.substr(0, 8));
        break;
      case Answer::NoRow:
        result.kind = StatementResult::Kind::Rows;
        result.columnCount = 1;
        break;
      case Answer::Count1:
      case Answer::Count0:
        result.kind = StatementResult::Kind::Count;
        result.count = answer == Answer::Count1 ? 1 : 0;
        break;
      case Answer::Fails:
      case Answer::EndsBatch:
      case Answer::LosesLink:
      case Answer::Deadlock:
        result.kind = StatementResult::Kind::Failed;
        result.diag.recorded = true;
        result.diag.nativeError = answer == Answer::Fails       ? 2627
                                  : answer == Answer::EndsBatch ? 241
                                  : answer == Answer::Deadlock  ? kDeadlockVictim
                                                                : 0;
        result.linkLost = answer == Answer::LosesLink;
        if (answer != Answer::Fails) stopped = true;
        break;
    }
  }
  std::vector<std::string> pending;
  size_t position = 0;
  bool stopped = false;
};

struct Delivered {
  size_t item;
  std::string text;
  StatementResult::Kind kind;
  int32_t native;
  bool rerun;
};

class Batch : public ::testing::Test {
 protected:
  Request request{8};
  Request scratch{8};
  ScriptedSource source;
  std::vector<Delivered> delivered;
  DeliverResult deliver = [this](const RequestStatement& s, std::string_view text, const StatementResult& r,
                                 bool rerun) {
    delivered.push_back({s.item, std::string(text), r.kind, r.diag.nativeError, rerun});
  };
  void add(StatementKind kind, size_t item, const char* text) {
    ASSERT_EQ(request.add(kind, kind == StatementKind::Lookup ? 1 : 0, item, 1000, "%s", text), 0);
  }
  std::vector<size_t> items() const {
    std::vector<size_t> out;
    for (const Delivered& d : delivered) out.push_back(d.item);
    return out;
  }
};
}  // namespace

TEST_F(Batch, LookupsGetTheirResultsByPositionAndWhatDidNotRunIsAskedAgain) {
  source.rule = [](const std::string& s) {
    if (s == "L1") return Answer::Fails;      // ends only itself
    if (s == "L2") return Answer::EndsBatch;  // L3, L4 do not run
    if (s == "L0") return Answer::NoRow;
    return Answer::Row;
  };
  for (const char* text : {"L0", "L1", "L2", "L3", "L4"}) add(StatementKind::Lookup, text[1] - '0', text);
  EXPECT_EQ(request.text(), "L0;\nL1;\nL2;\nL3;\nL4");
  EXPECT_EQ(runRequest(source, request, scratch, deliver), RequestEnd::Done);
  EXPECT_EQ(items(), (std::vector<size_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(delivered[0].kind, StatementResult::Kind::Rows);
  EXPECT_EQ(delivered[1].native, 2627);
  EXPECT_EQ(delivered[2].native, 241);
  EXPECT_EQ(delivered[4].text, "L4");
  // The rest after the batch-ending failure went again, without a lost
  // link, and no statement ran twice.
  EXPECT_EQ(source.sent, (std::vector<std::string>{"L0;\nL1;\nL2;\nL3;\nL4", "L3;\nL4"}));
  EXPECT_EQ(source.ran, (std::vector<std::string>{"L0", "L1", "L2", "L3", "L4"}));
  EXPECT_FALSE(delivered[4].rerun);

  // A first statement that fails hides the results after it: those are
  // asked again, which only a lookup may be.
  delivered.clear();
  source.sent.clear();
  request.clear();
  source.rule = [](const std::string& s) { return s == "L5" ? Answer::Fails : Answer::Row; };
  add(StatementKind::Lookup, 5, "L5");
  add(StatementKind::Lookup, 6, "L6");
  EXPECT_EQ(runRequest(source, request, scratch, deliver), RequestEnd::Done);
  EXPECT_EQ(items(), (std::vector<size_t>{5, 6}));
  EXPECT_EQ(source.sent.back(), "L6");
}

TEST_F(Batch, InsertsAfterALostLinkRunAgainBehindAnOpenerAndSayTheyMayHaveRun) {
  int losses = 1;
  source.rule = [&](const std::string& s) {
    if (s == "I2" && losses-- > 0) return Answer::LosesLink;
    if (s == kOpenerStatement) return Answer::Row;
    if (s == "I3") return Answer::Fails;
    return Answer::Count1;
  };
  add(StatementKind::Opener, 0, kOpenerStatement);
  for (const char* text : {"I1", "I2", "I3", "I4"}) add(StatementKind::Insert, text[1] - '0', text);
  EXPECT_EQ(runRequest(source, request, scratch, deliver), RequestEnd::Done);
  EXPECT_EQ(items(), (std::vector<size_t>{1, 2, 3, 4}));
  EXPECT_EQ(source.restores, 1);
  EXPECT_EQ(source.sent.back(), std::string(kOpenerStatement) + ";\nI2;\nI3;\nI4");
  EXPECT_FALSE(delivered[0].rerun);
  EXPECT_TRUE(delivered[1].rerun && delivered[2].rerun && delivered[3].rerun);
  EXPECT_EQ(delivered[2].native, 2627);

  // A link that goes at every attempt, or cannot be restored, is lost.
  delivered.clear();
  source.restores = 0;
  request.clear();
  source.rule = [](const std::string& s) {
    if (s == kOpenerStatement) return Answer::Row;
    return s == "I9" ? Answer::LosesLink : Answer::Count1;
  };
  add(StatementKind::Insert, 8, "I8");
  add(StatementKind::Insert, 9, "I9");
  EXPECT_EQ(runRequest(source, request, scratch, deliver), RequestEnd::LinkLost);
  EXPECT_EQ(items(), (std::vector<size_t>{8}));
  EXPECT_EQ(source.restores, kRestoresPerStatement);
  request.clear();
  source.restoreFails = true;
  add(StatementKind::Insert, 9, "I9");
  EXPECT_EQ(runRequest(source, request, scratch, deliver), RequestEnd::LinkLost);
}

TEST_F(Batch, AResultThatDoesNotFitItsStatementStopsWithoutGuessing) {
  struct Case {
    StatementKind kind;
    Answer answer;
  };
  for (const Case& c : {Case{StatementKind::Insert, Answer::Count0}, Case{StatementKind::Insert, Answer::Row},
                        Case{StatementKind::Lookup, Answer::Count1}, Case{StatementKind::Opener, Answer::Fails},
                        Case{StatementKind::Opener, Answer::NoRow}}) {
    request.clear();
    delivered.clear();
    source.rule = [&](const std::string& s) { return s == "X" ? c.answer : Answer::Count1; };
    add(c.kind, 1, "X");
    add(StatementKind::Insert, 2, "I");
    EXPECT_EQ(runRequest(source, request, scratch, deliver), RequestEnd::Misfit);
    EXPECT_TRUE(delivered.empty());
  }
  // More results than statements, and none at all.
  class Chatty final : public ResultSource {
   public:
    int results;
    void send(std::string_view, int, StatementResult& r) override { next(0, r); }
    void next(int, StatementResult& r) override {
      r = StatementResult{};
      if (results-- > 0) {
        r.kind = StatementResult::Kind::Count;
        r.count = 1;
      }
    }
    void close() override {}
    int restore() override { return 0; }
    int rollBack() override { return 0; }
    int deadlocked(int) override { return 0; }
  };
  for (int results : {3, 0}) {
    Chatty chatty;
    chatty.results = results;
    request.clear();
    add(StatementKind::Insert, 1, "I1");
    add(StatementKind::Insert, 2, "I2");
    EXPECT_EQ(runRequest(chatty, request, scratch, deliver), RequestEnd::Misfit);
  }
}

TEST_F(Batch, ARequestThatCannotBeSentFailsEachOfItsStatementsWithTheSameRecord) {
  class NoHandle final : public ResultSource {
   public:
    int sends = 0;
    void send(std::string_view, int, StatementResult& r) override {
      ++sends;
      r = StatementResult{};
      r.kind = StatementResult::Kind::Failed;
      r.notSent = true;
      r.diag.recorded = true;
      copyField(r.diag.state, "HY001");
    }
    void next(int, StatementResult& r) override { r = StatementResult{}; }
    void close() override {}
    int restore() override { return 0; }
    int rollBack() override { return 0; }
    int deadlocked(int) override { return 0; }
  } none;
  add(StatementKind::Opener, 0, kOpenerStatement);
  add(StatementKind::Insert, 1, "I1");
  add(StatementKind::Insert, 2, "I2");
  EXPECT_EQ(runRequest(none, request, scratch, deliver), RequestEnd::Done);
  EXPECT_EQ(items(), (std::vector<size_t>{1, 2}));
  EXPECT_EQ(delivered[1].kind, StatementResult::Kind::Failed);
  EXPECT_EQ(none.sends, 1);
}

TEST(Request, EachStatementKeepsItsOwnLimitAndAFullRequestSaysSo) {
  Request request(2);
  std::string long1000(1000, 'x');
  EXPECT_EQ(request.add(StatementKind::Lookup, 1, 0, 1000, "%s", long1000.c_str()), -1);
  EXPECT_TRUE(request.empty());
  EXPECT_EQ(request.add(StatementKind::Lookup, 1, 0, 1000, "%s", long1000.c_str() + 1), 0);
  EXPECT_EQ(request.text(), long1000.substr(1));
  request.dropLast();
  EXPECT_EQ(request.text(), "");
  EXPECT_EQ(request.add(StatementKind::Lookup, 1, 0, 1000, "A%d", 1), 0);
  EXPECT_EQ(request.add(StatementKind::Insert, 0, 1, 1000, "B"), 0);
  EXPECT_TRUE(request.full());
  EXPECT_EQ(request.add(StatementKind::Insert, 0, 2, 1000, "C"), 1);
  EXPECT_EQ(request.text(), "A1;\nB");
  EXPECT_EQ(request.text(request.statements()[1]), "B");
  // The bytes of a request are bounded too.
  Request big(kRequestCapacity);
  size_t added = 0;
  while (big.add(StatementKind::Insert, 0, added, 1000, "%s", long1000.c_str() + 1) == 0) ++added;
  EXPECT_EQ(added, kRequestCapacity / 1001);
  EXPECT_LE(big.text().size(), kRequestCapacity);
}

// A deadlock victim's statement did not fail on its own account: it is never
// delivered as a failure, and the request goes again from it after the wait,
// the statements answered before it not asked twice. A victim every time is
// a lost link in the end: a new session, bounded as restores are.
TEST_F(Batch, ADeadlockVictimIsAskedAgainAndNeverReportedAsAFailedLookup) {
  int victims = 2;
  source.rule = [&](const std::string& s) {
    if (s == "L2" && victims-- > 0) return Answer::Deadlock;
    return Answer::Row;
  };
  for (const char* text : {"L1", "L2", "L3"}) add(StatementKind::Lookup, text[1] - '0', text);
  EXPECT_EQ(runRequest(source, request, scratch, deliver), RequestEnd::Done);
  EXPECT_EQ(items(), (std::vector<size_t>{1, 2, 3}));
  for (const Delivered& d : delivered) EXPECT_EQ(d.kind, StatementResult::Kind::Rows);
  EXPECT_EQ(source.sent, (std::vector<std::string>{"L1;\nL2;\nL3", "L2;\nL3", "L2;\nL3"}));
  EXPECT_EQ(source.deadlocks, 2);
  EXPECT_EQ(source.restores, 0);

  delivered.clear();
  source.sent.clear();
  request.clear();
  source.rule = [](const std::string& s) { return s == "L5" ? Answer::Deadlock : Answer::Row; };
  add(StatementKind::Lookup, 5, "L5");
  EXPECT_EQ(runRequest(source, request, scratch, deliver), RequestEnd::LinkLost);
  EXPECT_TRUE(delivered.empty());
  // Three waits, then a new session for each of the restores allowed.
  EXPECT_EQ(source.restores, kRestoresPerStatement);
  EXPECT_EQ(source.deadlocks, 2 + kDeadlockRetries * (kRestoresPerStatement + 1));
}

// The restores allowed are counted per statement without progress: a link
// that goes once at every statement of a long request is restored each time
// and the request completes.
TEST_F(Batch, ALinkLostOnceAtEveryStatementStillCompletesTheRequest) {
  std::vector<std::string> lostAt;
  source.rule = [&](const std::string& s) {
    if (s == kOpenerStatement) return Answer::Row;
    for (const std::string& seen : lostAt)
      if (seen == s) return Answer::Count1;
    lostAt.push_back(s);
    return Answer::LosesLink;
  };
  add(StatementKind::Opener, 0, kOpenerStatement);
  for (const char* text : {"I1", "I2", "I3", "I4", "I5", "I6"}) add(StatementKind::Insert, text[1] - '0', text);
  EXPECT_EQ(runRequest(source, request, scratch, deliver), RequestEnd::Done);
  EXPECT_EQ(items(), (std::vector<size_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(source.restores, 6);
}

// A lookup reads as many columns as it asks for: a set with fewer is no
// answer to it, however the row looks.
TEST(BatchFits, ALookupGetsAllItsColumnsOrNothingFits) {
  const RequestStatement badge{0, 0, StatementKind::Lookup, 3, 0};
  StatementResult rows{};
  rows.kind = StatementResult::Kind::Rows;
  rows.row = true;
  rows.columnCount = 2;
  EXPECT_FALSE(resultFits(badge, rows));
  rows.columnCount = 3;
  EXPECT_TRUE(resultFits(badge, rows));
  const RequestStatement proof{0, 0, StatementKind::Proof, 1, 0};
  EXPECT_TRUE(resultFits(proof, rows));
  rows.row = false;
  EXPECT_FALSE(resultFits(proof, rows));
}
