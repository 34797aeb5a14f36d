#include "main/run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/field.h"
#include "common/file_lock.h"
#include "common/test_files.h"
#include "settings/settings_test_files.h"

namespace {
/// What the fake answers for one badge.
struct BadgeRow {
  int result;
  std::string personnelNumber;
  std::string licence;
  std::string tenant;
};

/// One booking as the fake was asked to insert it.
struct InsertedBooking {
  std::string personnelNumber, date, time, identifier, costCentre, schema;
};

/// A database that answers from maps and records what it was asked.
class FakeStore final : public BookingStore {
 public:
  int connect(const char* login, const char* password, const char* dataSource, Diagnostic& diag,
              std::vector<Diagnostic>& further) override {
    noteTrace();
    connects.push_back(std::string(login) + "|" + password + "|" + dataSource);
    if (connectDiagnosed) diag = diagnostic(connectNative, connectState, connectMessage);
    further = connectFurther;
    return connectResult;
  }

  LinkState link() const override { return LinkState{restored, lost, false, misfit, deadlocks, unknownAfter}; }

  /// Counts one statement: the link may be restored or lost at it, and the
  /// stop flag set. Returns true when the statement may run.
  bool statement() {
    ++statements;
    if (statements == stopAtStatement) *stopFlag = 1;
    if (statements == deadlockAtStatement) ++deadlocks;
    if (restoreAtStatements.count(statements) != 0) ++restored;
    if (statements == loseAtStatement) lost = true;
    return !lost;
  }

  size_t batchSize() const override { return batch; }

  /// Asks as Database does: every badge first, then the schema and cost
  /// centre of each booking whose badge was found.
  size_t resolveBookings(std::span<BookingRecord> records, std::span<Resolution> resolutions) override {
    noteTrace();
    ++requests;
    if (misfitAtRequest == requests) return misfitNow();
    size_t answered = 0;
    for (; answered < records.size(); ++answered) {
      Resolution& res = resolutions[answered];
      res = Resolution{};
      if (!statement()) return 0;
      res.badge = lookUpBadge(records[answered], res.licence, res.tenant, res.badgeDiag);
    }
    for (size_t i = 0; i < records.size(); ++i) {
      Resolution& res = resolutions[i];
      if (res.badge != 0) continue;
      if (!statement()) return i;
      res.schema = lookUpSchema(res.licence, res.tenant, records[i].schema, res.schemaDiag);
      if (!statement()) return i;
      res.costCentre = lookUpCostCentre(records[i].workstation, records[i].costCentre, res.costCentreDiag);
    }
    return records.size();
  }

  size_t insertBookings(std::span<const BookingRecord> records, const char* identifier,
                        std::span<StatementOutcome> outcomes) override {
    noteTrace();
    ++requests;
    if (misfitAtRequest == requests) return misfitNow();
    for (size_t i = 0; i < records.size(); ++i) {
      if (!statement()) return i;
      const BookingRecord& r = records[i];
      inserted.push_back({r.personnelNumber, r.date, r.time, identifier, r.costCentre, r.schema});
      outcomes[i] = StatementOutcome{0, {}};
      auto failure = insertFailures.find(inserted.size());
      if (failure == insertFailures.end()) continue;
      outcomes[i] = StatementOutcome{-1, failure->second};
    }
    return records.size();
  }

  size_t writeRunLogRows(std::span<RunLogRecord> records, std::span<StatementOutcome> outcomes) override {
    noteTrace();
    ++requests;
    rowRequests.push_back(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      if (!statement()) return i;
      runLogRows.push_back(records[i]);
      outcomes[i] = StatementOutcome{runLogResult, {}};
      if (runLogResult != 0 && runLogResult != -1)
        outcomes[i].diag = diagnostic(runLogResult, "23000", "FK 'LOG' conflict");
      if (runLogResult == -1 && runLogAllocationDiagnosed)
        outcomes[i].diag = diagnostic(0, "HY001", "[dulmar-testdb]Memory allocation error");
    }
    return records.size();
  }

  /// Notes what of the run's output has reached its file as a request goes.
  void noteTrace() {
    if (!tracePath.empty()) traceAtRequest.push_back(fileBytes(tracePath));
  }

  size_t misfitNow() {
    misfit = true;
    return 0;
  }

  int lookUpBadge(BookingRecord& record, char (&licence)[kLicenceCapacity], char (&tenant)[kTenantCapacity],
                  Diagnostic& diag) {
    if (lookupFailureDiagnosed) diag = lookupFailure;
    badgesAsked.push_back(record.badge);
    auto found = badges.find(record.badge);
    if (found == badges.end()) return 100;  // SQL_NO_DATA
    const BadgeRow& row = found->second;
    if (row.result != 0) return row.result;
    copyField(record.personnelNumber, row.personnelNumber);
    copyField(licence, row.licence);
    copyField(tenant, row.tenant);
    return 0;
  }

  int lookUpSchema(const char* licence, const char* tenant, char (&schema)[sizeof BookingRecord::schema],
                   Diagnostic& diag) {
    if (lookupFailureDiagnosed) diag = lookupFailure;
    auto found = schemas.find(std::string(licence) + "/" + tenant);
    if (found == schemas.end()) return -1;
    copyField(schema, found->second);
    return 0;
  }

  int lookUpCostCentre(const char* workstation, char (&costCentre)[sizeof BookingRecord::costCentre],
                       Diagnostic& diag) {
    if (lookupFailureDiagnosed) diag = lookupFailure;
    workstationsAsked.push_back(workstation);
    auto found = costCentres.find(workstation);
    if (found == costCentres.end()) return 100;
    copyField(costCentre, found->second);
    return 0;
  }

  static Diagnostic diagnostic(int32_t native, const char* state, const char* message) {
    Diagnostic d{};
    d.recorded = true;
    copyField(d.state, state);
    copyField(d.message, message);
    d.nativeError = native;
    return d;
  }

  // What it answers.
  int connectResult = 0;
  bool connectDiagnosed = false;
  int32_t connectNative = 0;
  const char* connectState = "";
  const char* connectMessage = "";
  std::map<std::string, BadgeRow> badges;
  std::map<std::string, std::string> schemas;
  std::map<std::string, std::string> costCentres;
  /// Insert number (from 1) that fails, with the diagnostic it records
  /// (none when not recorded).
  std::map<size_t, Diagnostic> insertFailures;
  int runLogResult = 0;
  bool runLogAllocationDiagnosed = false;
  std::vector<Diagnostic> connectFurther;
  /// What every lookup records (a lookup that fails with -1 shows it).
  bool lookupFailureDiagnosed = false;
  Diagnostic lookupFailure{};
  /// Statement numbers (from 1, lookups, inserts and run-log rows alike) at
  /// which the link was lost and restored; the one at which it is lost for
  /// good (0: never); the one that sets the stop flag (0: never).
  std::set<int> restoreAtStatements;
  int loseAtStatement = 0;
  int stopAtStatement = 0;
  // held apart so that a store can be assigned anew (an atomic cannot be)
  std::unique_ptr<StopFlag> stopFlag = std::make_unique<StopFlag>(0);

  /// Bookings (or rows) the run is to give each call.
  size_t batch = 1;
  /// The call (from 1) whose answer does not fit (0: none).
  int misfitAtRequest = 0;

  // What it was asked.
  int statements = 0;
  int requests = 0;
  bool misfit = false;
  /// Rows given to each call that writes run-log rows.
  std::vector<size_t> rowRequests;
  int restored = 0;
  bool lost = false;
  /// Requests sent again after a deadlock, so far.
  int deadlocks = 0;
  /// Told after a lost link: bookings after the last outcome that may be stored.
  size_t unknownAfter = 0;
  /// The statement at which a deadlock was met and its request sent again.
  long deadlockAtStatement = 0;
  std::vector<std::string> connects;
  std::vector<std::string> badgesAsked;
  std::vector<std::string> workstationsAsked;
  std::vector<InsertedBooking> inserted;
  std::vector<RunLogRecord> runLogRows;
  /// The file the run's output goes to, when one is named; what it held as
  /// each request (the connection included) went.
  std::string tracePath;
  std::vector<std::string> traceAtRequest;
};

/// The master data of most cases: badge 1001 is employee 4711 of tenant
/// 1/7 (schema ACME), workstation 123 is cost centre KST-0123.
void standardMasterData(FakeStore& store) {
  store.badges["1001"] = {0, "4711    ", "1", "7"};
  store.badges["1002"] = {0, "815", "1", "7"};
  store.schemas["1/7"] = "ACME";
  store.costCentres["123"] = "KST-0123  ";
  store.costCentres["42"] = "KST-0042";
}

/// One 32-character booking group.
std::string group(const char* date, const char* time, const char* badge, const char* workstation) {
  char text[40];
  std::snprintf(text, sizeof text, "%-6s%-6s%-13s%-7s", date, time, badge, workstation);
  return text;
}

/// A run of the program against a fake database with files of its own.
class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = std::make_unique<TempSettingsFile>(";KVS;\r\n1;DATABASE;" + cipherHex("attendance") +
                                                  "\r\n;KVS;\r\n2;LOGIN;" + cipherHex("dulmar") +
                                                  "\r\n;KVS;\r\n3;PASS;" + cipherHex("geheim 'x'") + "\r\n");
    bookingPath = testTempPath("bookings.txt");
    parameterPath = testTempPath("param.txt");
    std::remove(parameterPath.c_str());
  }
  void TearDown() override {
    std::remove(bookingPath.c_str());
    std::remove(parameterPath.c_str());
  }

  void writeBookings(const std::string& bytes) { writeFileBytes(bookingPath, bytes); }

  /// Runs with the settings, booking and parameter files, plus extra
  /// arguments; returns the exit status and leaves the output in printed.
  int run(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"C:\\KV\\dulmar.exe", settings->path, bookingPath, parameterPath};
    args.insert(args.end(), extra.begin(), extra.end());
    return runWith(args);
  }

  int runWith(const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    FILE* out = store.tracePath.empty() ? std::tmpfile() : std::fopen(store.tracePath.c_str(), "w+b");
    EXPECT_NE(out, nullptr);
    const int status = runDulmar(static_cast<int>(argv.size()), argv.data(), store, out, store.stopFlag.get());
    std::rewind(out);
    printed.clear();
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, out)) > 0) printed.append(chunk, n);
    std::fclose(out);
    return status;
  }

  FakeStore store;
  std::unique_ptr<TempSettingsFile> settings;
  std::string bookingPath;
  std::string parameterPath;
  std::string printed;
};

const char kUsage[] =
    "Syntax: dulmar <Ini-Datei> <Quelle> <Parm-Datei> [<KSW-Bezeichner>]\n\n"
    "Ini-Datei  :\n KORVANDEL-Ini-Datei\n\n"
    "Quelle     :\n Datei mit Kostenstellenwechsel-Buchungen.\n\n"
    "Parm-Datei :\n Parameter-Datei fuer RZP.\n\n"
    "KSW-Bez.   :\n Kostenstellenwechsel-Bezeichner (Default: \"KSW\")\n\n";

/// The report block of a failed insert up to the run log's part.
std::string insertReport(const char* schema, const char* pnr, const char* date, const char* time,
                         const char* costCentre, const char* identifier = "KSW") {
  return std::string("Fehler beim Einfuegen der Buchung in Kvs321Bch (-1)\n") + "Schemaname:  <" + schema + ">\n" +
         "Personalnummer:  <" + pnr + ">\n" + "Buchungsdatum:   <" + date + ">\n" + "Buchungsuhrzeit: <" + time +
         ">\n" + "Funktionscode:   <25>\n" + "Funktionsname:   <" + identifier + ">\n" + "Kostenstelle:    <" +
         costCentre + ">\n\nSQL-Fehler:\n";
}
}  // namespace

TEST_F(RunTest, WrongArgumentCountPrintsTheUsageAndTouchesNothing) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"dulmar"}, {"dulmar", "a", "b"}, {"dulmar", "a", "b", "c", "d", "e"}}) {
    EXPECT_EQ(runWith(args), 1);
    EXPECT_EQ(printed, kUsage);
  }
  EXPECT_TRUE(store.connects.empty());
}

TEST_F(RunTest, MissingSettingsFileStopsBeforeConnecting) {
  EXPECT_EQ(runWith({"dulmar", settings->path + ".missing", bookingPath, parameterPath}), 1);
  EXPECT_EQ(printed, "dulmar: Start.\nKORVANDEL.INI not found\n");
  EXPECT_TRUE(store.connects.empty());
}

TEST_F(RunTest, ConnectsWithTheDecipheredSettings) {
  writeBookings("");
  EXPECT_EQ(run(), 0);
  ASSERT_EQ(store.connects.size(), 1u);
  EXPECT_EQ(store.connects[0], "dulmar|geheim 'x'|attendance");
}

TEST_F(RunTest, RefusedConnectionPrintsTheDriversDiagnosticThenStops) {
  writeBookings(group("250107", "080000", "1001", "123"));
  store.connectResult = -1;
  store.connectDiagnosed = true;
  store.connectNative = 18456;
  store.connectState = "28000";
  store.connectMessage = "[SQL Server]Login failed for user 'dulmar'.";
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed,
            "dulmar: Start.\n"
            "Connect Error: SQLCode: 18456 sqlState: 28000 Msg: [SQL Server]Login failed for user 'dulmar'.\n"
            "dbConnect_Error: -1\n");
  EXPECT_TRUE(store.badgesAsked.empty());
}

TEST_F(RunTest, RefusedConnectionPrintsEveryRecordOnALineOfItsOwn) {
  writeBookings(group("250107", "080000", "1001", "123"));
  store.connectResult = -1;
  store.connectDiagnosed = true;
  store.connectNative = 10061;
  store.connectState = "08001";
  store.connectMessage = "TCP Provider: refused";
  store.connectFurther = {FakeStore::diagnostic(0, "HYT00", "Login timeout expired"),
                          FakeStore::diagnostic(5, "08001", "database is locked")};
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed,
            "dulmar: Start.\n"
            "Connect Error: SQLCode: 10061 sqlState: 08001 Msg: TCP Provider: refused\n"
            "Connect Error: SQLCode: 0 sqlState: HYT00 Msg: Login timeout expired\n"
            "Connect Error: SQLCode: 5 sqlState: 08001 Msg: database is locked\n"
            "dbConnect_Error: -1\n");
}

TEST_F(RunTest, FolderOrUnreadableBookingFileGetsTheOpenMessageAndStoresNothing) {
  standardMasterData(store);
  const std::string folder = testTempPath("folder");
  std::filesystem::create_directories(folder);
  EXPECT_EQ(runWith({"C:\\KV\\dulmar.exe", settings->path, folder, parameterPath}), 1);
  EXPECT_EQ(printed, "dulmar: Start.\nFehler beim \xF6" "ffnen der Datei: " + folder);
  EXPECT_TRUE(store.inserted.empty());
  std::filesystem::remove(folder);
}

TEST_F(RunTest, FailedLookupStatementPrintsTheDatabasesDiagnosticAfterItsMessage) {
  standardMasterData(store);
  store.badges["1001"].result = -1;
  store.costCentres.erase("42");
  store.lookupFailureDiagnosed = true;
  store.lookupFailure = FakeStore::diagnostic(208, "42S02", "Invalid object name 'Kvs301Asw'.\n");
  writeBookings(group("250107", "080000", "1001", "123") + group("250107", "080000", "1002", "42"));
  EXPECT_EQ(run(), 0);
  // A failed statement (-1) shows its reason; no row (100) and a schema
  // that was never asked (no numbers) show none.
  EXPECT_NE(printed.find("Zur Ausweisnummer (1001) konnte keine Personalnummer entnommen werden.\n"
                         "  sqlcode: 208, sqlmsg: Invalid object name 'Kvs301Asw'.\n"
                         "[2]:"),
            std::string::npos);
  EXPECT_NE(printed.find("Zum Arbeitsplatz (42) konnte keine Kostenstelle entnommen werden.\nSortierte Liste:"),
            std::string::npos);
}

namespace {
/// Three bookings of employee 4711 on three days; the fake counts three
/// lookups for each, so the inserts are statements 10, 11 and 12.
std::string threeDays() {
  return group("250107", "080000", "1001", "123") + group("260107", "080000", "1001", "123") +
         group("270107", "080000", "1001", "123");
}
const char kThreeDaysRead[] =
    "dulmar: Start.\n"
    "[1]: <250107>, <080000>, <1001>, <123> eingelesen.\nPersonalnummer: <4711>\nKostenstelle: <KST-0123>\n"
    "[2]: <260107>, <080000>, <1001>, <123> eingelesen.\nPersonalnummer: <4711>\nKostenstelle: <KST-0123>\n"
    "[3]: <270107>, <080000>, <1001>, <123> eingelesen.\nPersonalnummer: <4711>\nKostenstelle: <KST-0123>\n"
    "Sortierte Liste:\n4711,25.01.2007\n4711,26.01.2007\n4711,27.01.2007\n";
const char kRestoredLine[] = "Verbindung zur Datenbank unterbrochen und wiederhergestellt.\n";
}  // namespace

TEST_F(RunTest, RestoredConnectionIsOneLineEachAndTheRunCompletes) {
  standardMasterData(store);
  store.restoreAtStatements = {2, 11};
  writeBookings(threeDays());
  EXPECT_EQ(run(), 0);
  std::string expected = kThreeDaysRead;
  // The line comes right after the lookup that met the loss.
  expected.insert(expected.find("Personalnummer"), kRestoredLine);
  EXPECT_EQ(printed, expected + kRestoredLine + "dulmar: Ende.\n");
  EXPECT_EQ(store.inserted.size(), 3u);
  EXPECT_EQ(fileBytes(parameterPath),
            "ACME                ,4711    ,25.01.2007\r\nACME                ,4711    ,26.01.2007\r\n"
            "ACME                ,4711    ,27.01.2007\r\n");
}

TEST_F(RunTest, LinkLostWhileReadingStopsBeforeAnythingIsStored) {
  standardMasterData(store);
  store.loseAtStatement = 5;  // the second booking's schema lookup
  writeBookings(threeDays());
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed,
            "dulmar: Start.\n"
            "[1]: <250107>, <080000>, <1001>, <123> eingelesen.\nPersonalnummer: <4711>\nKostenstelle: <KST-0123>\n"
            "[2]: <260107>, <080000>, <1001>, <123> eingelesen.\n"
            "dulmar: Abbruch Verbindung zur Datenbank verloren beim Einlesen der Buchung [2]; keine Buchung wurde "
            "gespeichert.\n");
  EXPECT_TRUE(store.inserted.empty());
  EXPECT_FALSE(std::filesystem::exists(parameterPath));
}

TEST_F(RunTest, LinkLostWhileStoringWritesTheLinesOfTheBookingsBeforeAndStops) {
  standardMasterData(store);
  writeFileBytes(parameterPath, "earlier run\r\n");
  store.loseAtStatement = 11;  // the second insert
  writeBookings(threeDays());
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed, std::string(kThreeDaysRead) +
                         "dulmar: Abbruch Verbindung zur Datenbank verloren: 1 von 3 Buchungen verarbeitet; ab Buchung "
                         "2 der sortierten Liste (4711,26.01.2007 080000) wurde nichts gespeichert.\n");
  EXPECT_EQ(store.inserted.size(), 1u);
  EXPECT_EQ(fileBytes(parameterPath), "earlier run\r\nACME                ,4711    ,25.01.2007\r\n");
}

// A commit whose answer went with the link leaves bookings that may or may
// not be stored: the message says which, and that nothing after them is. A
// request sent again after a deadlock gets a line of its own.
TEST_F(RunTest, StopMessageNamesTheBookingsWhoseStoringIsUnknown) {
  standardMasterData(store);
  store.deadlockAtStatement = 10;
  store.loseAtStatement = 11;  // the second insert
  store.unknownAfter = 1;
  writeBookings(threeDays());
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed, std::string(kThreeDaysRead) +
                         "Verklemmung in der Datenbank (1205), Anfrage wird wiederholt.\n"
                         "dulmar: Abbruch Verbindung zur Datenbank verloren: 1 von 3 Buchungen verarbeitet; ob die "
                         "Buchung 2 der sortierten Liste gespeichert wurde, ist unbekannt (die Wiederholung meldet "
                         "gespeicherte mit 2627); ab Buchung 3 (4711,27.01.2007 080000) wurde nichts gespeichert.\n");
  EXPECT_EQ(fileBytes(parameterPath), "ACME                ,4711    ,25.01.2007\r\n");

  std::filesystem::remove(parameterPath);
  printed.clear();
  store = FakeStore{};
  standardMasterData(store);
  store.loseAtStatement = 10;  // the first insert: all three unknown, none after them
  store.unknownAfter = 3;
  EXPECT_EQ(run(), 1);
  EXPECT_NE(printed.find("0 von 3 Buchungen verarbeitet; ob die Buchungen 1 bis 3 der sortierten Liste gespeichert "
                         "wurden, ist unbekannt (die Wiederholung meldet gespeicherte mit 2627).\n"),
            std::string::npos);
  EXPECT_EQ(fileBytes(parameterPath), "");
}

TEST_F(RunTest, LinkLostWhileWritingARunLogRowSaysTheRowIsLostAndStops) {
  standardMasterData(store);
  store.insertFailures[1] = FakeStore::diagnostic(547, "23000", "FK conflict");
  store.loseAtStatement = 11;  // the run-log row of the first insert
  writeBookings(threeDays());
  EXPECT_EQ(run(), 1);
  EXPECT_NE(printed.find("- Code  : Kvs321Bch\nFehler beim Schreiben des Protokollsatzes in Kvs001Log (-1)\n"
                         "dulmar: Abbruch Verbindung zur Datenbank verloren: 0 von 3"),
            std::string::npos);
  EXPECT_EQ(fileBytes(parameterPath), "");
}

TEST_F(RunTest, InterruptionWhileStoringFinishesTheStatementWritesWhatWasProcessedAndStops) {
  standardMasterData(store);
  store.stopAtStatement = 11;  // during the second insert, which still completes
  writeBookings(threeDays());
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed, std::string(kThreeDaysRead) +
                         "dulmar: Abbruch durch Signal: 2 von 3 Buchungen verarbeitet; ab Buchung 3 der sortierten "
                         "Liste (4711,27.01.2007 080000) wurde nichts gespeichert.\n");
  EXPECT_EQ(store.inserted.size(), 2u);
  EXPECT_EQ(fileBytes(parameterPath),
            "ACME                ,4711    ,25.01.2007\r\nACME                ,4711    ,26.01.2007\r\n");
}

TEST_F(RunTest, InterruptionWhileReadingStopsBeforeAnythingIsStored) {
  standardMasterData(store);
  store.stopAtStatement = 1;
  writeBookings(threeDays());
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed,
            "dulmar: Start.\n"
            "[1]: <250107>, <080000>, <1001>, <123> eingelesen.\nPersonalnummer: <4711>\nKostenstelle: <KST-0123>\n"
            "dulmar: Abbruch durch Signal beim Einlesen der Buchung [1]; keine Buchung wurde gespeichert.\n");
  EXPECT_TRUE(store.inserted.empty());
}

#if !defined(_WIN32)
TEST_F(RunTest, OutputThatCannotBeWrittenStoresEverythingAndEndsWithStatus2) {
  standardMasterData(store);
  writeBookings(threeDays());
  std::vector<std::string> args = {"dulmar", settings->path, bookingPath, parameterPath};
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(runDulmar(static_cast<int>(argv.size()), argv.data(), store, full), 2);
  std::fclose(full);
  EXPECT_EQ(store.inserted.size(), 3u);
  EXPECT_EQ(fileBytes(parameterPath).size(), 3u * 42u);
}
#endif

TEST_F(RunTest, ConnectionFailureWithoutDiagnosticPrintsOnlyTheCode) {
  store.connectResult = -1;
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed, "dulmar: Start.\ndbConnect_Error: -1\n");
}

TEST_F(RunTest, MissingBookingFileEndsWithoutALineFeed) {
  std::remove(bookingPath.c_str());
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed, "dulmar: Start.\nFehler beim \xF6" "ffnen der Datei: " + bookingPath);
  EXPECT_FALSE(std::filesystem::exists(parameterPath));
}

TEST_F(RunTest, CompleteRunTracesSortsStoresAndListsEachEmployeeAndDayOnce) {
  standardMasterData(store);
  writeBookings(group("260107", "101530", "1002", "0042") + group("250107", "080059", "1001", "123") +
                group("250107", "170000", "1001", "123") + "\x1A" + group("270107", "080000", "1001", "123"));
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(printed,
            "dulmar: Start.\n"
            "[1]: <260107>, <101530>, <1002>, <42> eingelesen.\n"
            "Personalnummer: <815>\n"
            "Kostenstelle: <KST-0042>\n"
            "[2]: <250107>, <080059>, <1001>, <123> eingelesen.\n"
            "Personalnummer: <4711>\n"
            "Kostenstelle: <KST-0123>\n"
            "[3]: <250107>, <170000>, <1001>, <123> eingelesen.\n"
            "Personalnummer: <4711>\n"
            "Kostenstelle: <KST-0123>\n"
            "Nach dem Dateiende-Zeichen 0x1A der Buchungsdatei wurden 32 Zeichen nicht gelesen.\n"
            "Sortierte Liste:\n"
            "4711,25.01.2007\n"
            "4711,25.01.2007\n"
            "815,26.01.2007\n"
            "dulmar: Ende.\n");
  // Sorted, stored to the minute, with the default identifier.
  ASSERT_EQ(store.inserted.size(), 3u);
  EXPECT_EQ(store.inserted[0].personnelNumber, "4711");
  EXPECT_EQ(store.inserted[0].schema, "ACME");
  EXPECT_EQ(store.inserted[0].costCentre, "KST-0123");
  EXPECT_EQ(store.inserted[2].personnelNumber, "815");
  EXPECT_EQ(store.inserted[2].time, "101500");
  EXPECT_EQ(store.inserted[2].identifier, "KSW");
  EXPECT_EQ(fileBytes(parameterPath),
            "ACME                ,4711    ,25.01.2007\r\n"
            "ACME                ,815     ,26.01.2007\r\n");
  EXPECT_TRUE(store.runLogRows.empty());
}

TEST_F(RunTest, UnknownBadgeIsReportedAndNeitherOtherLookupIsAsked) {
  standardMasterData(store);
  store.badges["1003"] = {-1, "", "", ""};  // the statement could not run
  writeBookings(group("250107", "080000", "9999", "123") + group("250107", "090000", "1003", "123"));
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(printed,
            "dulmar: Start.\n"
            "[1]: <250107>, <080000>, <9999>, <123> eingelesen.\n"
            "Zur Ausweisnummer (9999) konnte keine Personalnummer entnommen werden.\n"
            "[2]: <250107>, <090000>, <1003>, <123> eingelesen.\n"
            "Zur Ausweisnummer (1003) konnte keine Personalnummer entnommen werden.\n"
            "Sortierte Liste:\n"
            ",25.01.2007\n"
            ",25.01.2007\n"
            "dulmar: Ende.\n");
  EXPECT_TRUE(store.workstationsAsked.empty());
  // Stored all the same, with empty fields; never in the parameter file.
  EXPECT_EQ(store.inserted.size(), 2u);
  EXPECT_EQ(fileBytes(parameterPath), "");
}

TEST_F(RunTest, MissingSchemaIsReportedAndTheCostCentreStillLookedUp) {
  standardMasterData(store);
  store.badges["2001"] = {0, "5000", "2", "9"};  // tenant 2/9 has no schema
  writeBookings(group("250107", "080000", "2001", "0000123"));
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(printed,
            "dulmar: Start.\n"
            "[1]: <250107>, <080000>, <2001>, <123> eingelesen.\n"
            "-Schemaname konnte der Mandantentabelle nicht entnommen werden:\n"
            "  Liz: 2, Mnd: 9, Kon: 0\n"
            "Personalnummer: <5000>\n"
            "Kostenstelle: <KST-0123>\n"
            "Sortierte Liste:\n"
            "5000,25.01.2007\n"
            "dulmar: Ende.\n");
  EXPECT_EQ(fileBytes(parameterPath), "                    ,5000    ,25.01.2007\r\n");
}

TEST_F(RunTest, UnknownWorkstationIsReportedWithItsLeadingZerosGone) {
  standardMasterData(store);
  writeBookings(group("250107", "080000", "1001", "0000777"));
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(printed,
            "dulmar: Start.\n"
            "[1]: <250107>, <080000>, <1001>, <777> eingelesen.\n"
            "Personalnummer: <4711>\n"
            "Zum Arbeitsplatz (777) konnte keine Kostenstelle entnommen werden.\n"
            "Sortierte Liste:\n"
            "4711,25.01.2007\n"
            "dulmar: Ende.\n");
  ASSERT_EQ(store.inserted.size(), 1u);
  EXPECT_EQ(store.inserted[0].costCentre, "");
}

TEST_F(RunTest, FailedInsertPrintsTheReportAndWritesOneRunLogRow) {
  standardMasterData(store);
  store.insertFailures[1] = FakeStore::diagnostic(2627, "23000", "Violation of PRIMARY KEY constraint 'PK'.  \n");
  writeBookings(group("250107", "080000", "1001", "123") + group("260107", "080000", "1001", "123"));
  EXPECT_EQ(run({"KSW2"}), 0);
  EXPECT_EQ(printed, "dulmar: Start.\n"
                     "Kostenstellenwechsel-Bezeichner: <KSW2>\n"
                     "[1]: <250107>, <080000>, <1001>, <123> eingelesen.\n"
                     "Personalnummer: <4711>\n"
                     "Kostenstelle: <KST-0123>\n"
                     "[2]: <260107>, <080000>, <1001>, <123> eingelesen.\n"
                     "Personalnummer: <4711>\n"
                     "Kostenstelle: <KST-0123>\n"
                     "Sortierte Liste:\n"
                     "4711,25.01.2007\n"
                     "4711,26.01.2007\n" +
                         insertReport("ACME", "4711", "250107", "080000", "KST-0123", "KSW2") +
                         "\n\nError in function: SQLInsertKvs321Bch\n"
                         "  Pnr: 4711, Datum: 20070125, ErrNr: 1065\n"
                         "  sqlcode: 2627, sqlmsg: Violation of PRIMARY KEY constraint 'PK'.\n\n"
                         "Message:\n"
                         "- Text  : Violation of PRIMARY KEY constraint 'PK'.\n"
                         "- Number: -2627\n"
                         "- Code  : Kvs321Bch\n"
                         "dulmar: Ende.\n");
  ASSERT_EQ(store.runLogRows.size(), 1u);
  const RunLogRecord& row = store.runLogRows[0];
  EXPECT_STREQ(row.LogPrg, "dulmar.exe");
  EXPECT_EQ(std::string(row.LogPrm), (settings->path + " " + bookingPath + " " + parameterPath + " KSW2").substr(0, 150));
  EXPECT_STREQ(row.LogMod, "DULMAR");
  EXPECT_STREQ(row.LogPnr, "4711");
  EXPECT_EQ(row.LogDtm, 20070125);
  EXPECT_STREQ(row.LogFkt, "SQLInsertKvs321Bch");
  EXPECT_EQ(row.LogTErr, 1065);
  EXPECT_EQ(row.LogSErr, 2627);
  EXPECT_STREQ(row.LogSTxt, "Violation of PRIMARY KEY constraint \"PK\".");  // apostrophes replaced
  EXPECT_STREQ(row.LogMsg, "Kvs321Bch");
  EXPECT_EQ(row.LogTyp, 1);
  // Both bookings still count for the parameter file.
  EXPECT_EQ(fileBytes(parameterPath),
            "ACME                ,4711    ,25.01.2007\r\n"
            "ACME                ,4711    ,26.01.2007\r\n");
}

TEST_F(RunTest, UndiagnosedInsertFailureReportsTheLastDiagnosedOne) {
  standardMasterData(store);
  store.insertFailures[1] = Diagnostic{};  // no statement: nothing diagnosed yet
  store.insertFailures[2] = FakeStore::diagnostic(2627, "23000", "duplicate");
  store.insertFailures[3] = Diagnostic{};
  writeBookings(group("250107", "080000", "1001", "123") + group("250107", "090000", "1001", "123") +
                group("250107", "100000", "1001", "123"));
  EXPECT_EQ(run(), 0);
  const std::string head = "\n\nError in function: SQLInsertKvs321Bch\n  Pnr: 4711, Datum: 20070125, ErrNr: 1065\n";
  const std::string firstReport = insertReport("ACME", "4711", "250107", "080000", "KST-0123") + head +
                                  "Message:\n- Text  : \n- Number: 0\n- Code  : Kvs321Bch\n";
  const std::string duplicate = head + "  sqlcode: 2627, sqlmsg: duplicate\n\n" +
                                "Message:\n- Text  : duplicate\n- Number: -2627\n- Code  : Kvs321Bch\n";
  const size_t reports = printed.find("Fehler beim Einfuegen");
  ASSERT_NE(reports, std::string::npos);
  EXPECT_EQ(printed.substr(reports), firstReport +
                                         insertReport("ACME", "4711", "250107", "090000", "KST-0123") + duplicate +
                                         insertReport("ACME", "4711", "250107", "100000", "KST-0123") + duplicate +
                                         "dulmar: Ende.\n");
  ASSERT_EQ(store.runLogRows.size(), 3u);
  EXPECT_EQ(store.runLogRows[0].LogSErr, 0);
  EXPECT_STREQ(store.runLogRows[0].LogSTxt, "");
  EXPECT_EQ(store.runLogRows[2].LogSErr, 2627);
}

TEST_F(RunTest, RejectedRunLogRowIsSaidAfterItsReportBecomesTheLastDiagnosticAndEndsWithStatus2) {
  standardMasterData(store);
  store.insertFailures[1] = FakeStore::diagnostic(2627, "23000", "duplicate");
  store.insertFailures[2] = Diagnostic{};
  store.runLogResult = 547;
  writeBookings(group("250107", "080000", "1001", "123") + group("250107", "090000", "1001", "123"));
  EXPECT_EQ(run(), 2);
  const std::string lost =
      "Fehler beim Schreiben des Protokollsatzes in Kvs001Log (547): sqlcode: 547, sqlmsg: FK 'LOG' "
      "conflict\n";
  // The first report is about the booking, not the refused row.
  EXPECT_NE(printed.find("  sqlcode: 2627, sqlmsg: duplicate\n\nMessage:\n- Text  : duplicate\n- Number: -2627\n"
                         "- Code  : Kvs321Bch\n" +
                         lost),
            std::string::npos);
  // The second failure was not diagnosed: the row's refusal is what is left.
  EXPECT_NE(printed.find("  sqlcode: 547, sqlmsg: FK 'LOG' conflict\n\nMessage:\n- Text  : FK 'LOG' conflict\n"
                         "- Number: -547\n- Code  : Kvs321Bch\n" +
                         lost + "dulmar: Ende.\n"),
            std::string::npos);
  EXPECT_EQ(store.runLogRows.size(), 2u);
  EXPECT_EQ(store.runLogRows[1].LogSErr, 547);
}

TEST_F(RunTest, RunLogRowThatCannotBeWrittenLeavesTheRunGoingAndEndsWithStatus2) {
  standardMasterData(store);
  store.insertFailures[1] = FakeStore::diagnostic(2627, "23000", "duplicate");
  store.runLogResult = -1;
  writeBookings(group("250107", "080000", "1001", "123") + group("250107", "090000", "1001", "123"));
  EXPECT_EQ(run(), 2);
  // Without a diagnostic (the row could not be built) the line has none.
  EXPECT_NE(printed.find("- Number: -2627\n- Code  : Kvs321Bch\nFehler beim Schreiben des Protokollsatzes in "
                         "Kvs001Log (-1)\ndulmar: Ende.\n"),
            std::string::npos);
  EXPECT_EQ(store.runLogRows.size(), 1u);
  EXPECT_EQ(store.inserted.size(), 2u);

  // A statement allocation that fails is said with the connection's record.
  store.runLogAllocationDiagnosed = true;
  store.inserted.clear();
  EXPECT_EQ(run(), 2);
  EXPECT_NE(printed.find("Fehler beim Schreiben des Protokollsatzes in Kvs001Log (-1): sqlcode: 0, "
                         "sqlmsg: [dulmar-testdb]Memory allocation error\ndulmar: Ende.\n"),
            std::string::npos);
}

TEST_F(RunTest, InvalidDateIsPrintedAsItsDigitsAndLoggedAsADayTheServerTakes) {
  standardMasterData(store);
  store.insertFailures[1] = FakeStore::diagnostic(242, "22007", "out-of-range datetime");
  writeBookings(group("310207", "080000", "1001", "123"));
  EXPECT_EQ(run(), 0);
  EXPECT_NE(printed.find("  Pnr: 4711, Datum: 20070231, ErrNr: 1065\n"), std::string::npos);
  ASSERT_EQ(store.runLogRows.size(), 1u);
  EXPECT_EQ(store.runLogRows[0].LogDtm, 19000101);
}

TEST_F(RunTest, UnwritableParameterFileStopsTheRunBeforeAnythingIsStored) {
  standardMasterData(store);
  writeBookings(group("250107", "080000", "1001", "123"));
  parameterPath = testTempPath("no-such-folder") + "/param.txt";
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(store.inserted.size(), 0u);
  EXPECT_NE(printed.find("Sortierte Liste:\n4711,25.01.2007\nFehler beim oeffnen"), std::string::npos);
  const std::string tail = "Fehler beim oeffnen der Datei: " + parameterPath + "\n";
  ASSERT_GE(printed.size(), tail.size());
  EXPECT_EQ(printed.substr(printed.size() - tail.size()), tail);
  EXPECT_EQ(printed.find("dulmar: Ende."), std::string::npos);
}

TEST_F(RunTest, IdentifierIsCutTo32Characters) {
  standardMasterData(store);
  writeBookings(group("250107", "080000", "1001", "123"));
  const std::string longIdentifier = std::string(32, 'I') + "CUT";
  EXPECT_EQ(run({longIdentifier}), 0);
  EXPECT_EQ(printed.substr(0, 15 + 34 + 32 + 2),
            "dulmar: Start.\nKostenstellenwechsel-Bezeichner: <" + std::string(32, 'I') + ">\n");
  ASSERT_EQ(store.inserted.size(), 1u);
  EXPECT_EQ(store.inserted[0].identifier, std::string(32, 'I'));
}

TEST_F(RunTest, EmptyBookingFileStoresNothingAndStillWritesTheParameterFile) {
  writeBookings("250107080000");  // an incomplete group is no booking, and the run says so
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(printed,
            "dulmar: Start.\nAm Ende der Buchungsdatei wurden 12 Zeichen nicht gelesen (keine ganze Buchung).\n"
            "Sortierte Liste:\ndulmar: Ende.\n");
  EXPECT_TRUE(store.inserted.empty());
  EXPECT_TRUE(std::filesystem::exists(parameterPath));
}

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <sys/resource.h>
#include <unistd.h>

namespace {
/// A database that knows no badge and keeps no record of what it was asked,
/// so that all memory the run gets goes to the bookings.
class EmptyStore final : public BookingStore {
 public:
  int connect(const char*, const char*, const char*, Diagnostic&, std::vector<Diagnostic>&) override { return 0; }
  size_t batchSize() const override { return 1; }
  size_t resolveBookings(std::span<BookingRecord> records, std::span<Resolution> resolutions) override {
    for (Resolution& r : resolutions) r.badge = 100;
    return records.size();
  }
  LinkState link() const override { return LinkState{0, false, false, false}; }
  size_t insertBookings(std::span<const BookingRecord> records, const char*, std::span<StatementOutcome>) override {
    inserts += static_cast<int>(records.size());
    return records.size();
  }
  size_t writeRunLogRows(std::span<RunLogRecord> records, std::span<StatementOutcome>) override {
    return records.size();
  }
  int inserts = 0;
};

/// Runs on a booking file too large for a 24 MiB margin of address space;
/// exits 3 when the run stopped with status 1 and the memory message.
[[noreturn]] void runOutOfMemory(const std::string& settingsPath, const std::string& bookingPath,
                                 const std::string& parameterPath) {
  EmptyStore store;
  FILE* out = std::tmpfile();
  long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  const rlim_t used = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
  rlimit limit{used + (24u << 20), used + (24u << 20)};
  setrlimit(RLIMIT_AS, &limit);
  const char* argv[] = {"dulmar", settingsPath.c_str(), bookingPath.c_str(), parameterPath.c_str()};
  const int status = runDulmar(4, argv, store, out);
  std::fflush(out);
  std::fseek(out, -80, SEEK_END);
  char tail[81] = {};
  const size_t n = std::fread(tail, 1, sizeof tail - 1, out);
  const std::string text(tail, n);
  const std::string end = " eingelesen).\n";
  const bool reported = text.find("Nicht genug Speicher fuer die Buchungen (") != std::string::npos &&
                        text.size() > end.size() && text.substr(text.size() - end.size()) == end;
  _exit(status == 1 && reported && store.inserts == 0 ? 3 : 1);
}
}  // namespace

TEST_F(RunTest, RunningOutOfMemoryWhileReadingStopsTheRunWithAMessage) {
  // 400,000 bookings need some 48 MiB as records; the margin holds half.
  std::string bytes;
  const std::string one = group("250107", "080000", "1", "1");
  bytes.reserve(one.size() * 400000);
  for (int i = 0; i < 400000; ++i) bytes += one;
  writeBookings(bytes);
  EXPECT_EXIT(runOutOfMemory(settings->path, bookingPath, parameterPath), ::testing::ExitedWithCode(3), "");
}
#endif

namespace {
/// Everything a run leaves behind that an operator or payroll sees.
struct RunTrace {
  int status;
  std::string printed, param;
  std::vector<std::string> inserted, rows;
};
}  // namespace

TEST_F(RunTest, RequestsOfManyStatementsPrintStoreAndLogExactlyWhatOneByOneDoes) {
  // Lookups that fail, find nothing, or are asked twice; inserts that fail
  // with and without a diagnostic of their own; a run-log row refused.
  const std::string file = group("250107", "080000", "1001", "123") + group("250107", "090000", "9999", "123") +
                           group("250107", "100000", "1001", "0777") + group("260107", "080000", "1003", "42") +
                           group("260107", "090000", "1002", "42") + group("270107", "080000", "1001", "123") +
                           group("270107", "090000", "1002", "123") + group("280107", "090000", "1002", "42");
  auto runWithBatch = [&](size_t batch) {
    store = FakeStore{};
    standardMasterData(store);
    store.badges["1003"] = {0, "77", "x", "7"};  // a licence that is no number: no schema statement
    store.badges["1002"].result = -1;
    store.lookupFailureDiagnosed = true;
    store.lookupFailure = FakeStore::diagnostic(208, "42S02", "Invalid object name 'Kvs301Asw'.");
    store.insertFailures[2] = FakeStore::diagnostic(2627, "23000", "duplicate");
    store.insertFailures[3] = Diagnostic{};
    store.insertFailures[4] = FakeStore::diagnostic(547, "23000", "check");
    store.runLogResult = 547;
    store.batch = batch;
    std::remove(parameterPath.c_str());
    writeBookings(file);
    RunTrace t;
    t.status = run();
    t.printed = printed;
    t.param = fileBytes(parameterPath);
    for (const InsertedBooking& b : store.inserted) t.inserted.push_back(b.personnelNumber + "|" + b.date + b.time);
    for (const RunLogRecord& r : store.runLogRows)
      t.rows.push_back(std::string(r.LogPnr) + "|" + std::to_string(r.LogSErr) + "|" + r.LogSTxt);
    return t;
  };
  const RunTrace one = runWithBatch(1);
  EXPECT_EQ(one.status, 2);
  const int oneByOne = store.requests;
  EXPECT_EQ(one.inserted.size(), 8u);
  ASSERT_EQ(one.rows.size(), 3u);
  // The undiagnosed failure's row shows the refusal of the row before it.
  EXPECT_NE(one.rows[1].find("|547|FK \"LOG\" conflict"), std::string::npos);
  for (size_t batch : {2u, 3u, 50u}) {
    SCOPED_TRACE(batch);
    const RunTrace many = runWithBatch(batch);
    EXPECT_EQ(many.status, one.status);
    EXPECT_EQ(many.printed, one.printed);
    EXPECT_EQ(many.param, one.param);
    EXPECT_EQ(many.inserted, one.inserted);
    EXPECT_EQ(many.rows, one.rows);
    EXPECT_LT(store.requests, oneByOne);
  }
  // A batch of rows ends before a failure without its own diagnostic.
  EXPECT_EQ(store.rowRequests, (std::vector<size_t>{1, 2}));
}

TEST_F(RunTest, LinkLostOrAnAnswerThatDoesNotFitInMidRequestSaysHowFarTheRunGot) {
  standardMasterData(store);
  store.batch = 3;
  writeFileBytes(parameterPath, "");
  // 3 badges (1 statement each, asked once per booking by the fake), 3 + 3
  // schemas and cost centres; the inserts are 10-12, the row 13.
  store.insertFailures[1] = FakeStore::diagnostic(547, "23000", "FK conflict");
  store.loseAtStatement = 13;
  writeBookings(threeDays());
  // The row of the first booking went with the link, but the two after it
  // are stored: every booking is stored or reported, and the lost row makes
  // the status 2.
  EXPECT_EQ(run(), 2);
  EXPECT_NE(printed.find("Fehler beim Schreiben des Protokollsatzes in Kvs001Log (-1)\ndulmar: Ende.\n"),
            std::string::npos)
      << printed;
  EXPECT_EQ(store.inserted.size(), 3u);
  EXPECT_EQ(fileBytes(parameterPath).size(), 3 * std::string("ACME                ,4711    ,25.01.2007\r\n").size());

  // Lost in the middle of the inserts: those before have outcomes.
  store = FakeStore{};
  standardMasterData(store);
  store.batch = 3;
  store.loseAtStatement = 11;
  writeFileBytes(parameterPath, "");
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed, std::string(kThreeDaysRead) +
                         "dulmar: Abbruch Verbindung zur Datenbank verloren: 1 von 3 Buchungen verarbeitet; ab Buchung "
                         "2 der sortierten Liste (4711,26.01.2007 080000) wurde nichts gespeichert.\n");
  EXPECT_EQ(fileBytes(parameterPath), "ACME                ,4711    ,25.01.2007\r\n");

  // An answer that does not fit: while reading nothing is stored; while
  // storing the run says how far it got.
  for (int request : {1, 2}) {
    store = FakeStore{};
    standardMasterData(store);
    store.batch = 3;
    store.misfitAtRequest = request;
    EXPECT_EQ(run(), 1);
    const char* said = request == 1 ? "[1]: <250107>, <080000>, <1001>, <123> eingelesen.\n"
                                      "dulmar: Abbruch durch eine unerwartete Antwort der Datenbank beim Einlesen der "
                                      "Buchung [1]; keine Buchung wurde gespeichert.\n"
                                    : "dulmar: Abbruch durch eine unerwartete Antwort der Datenbank: 0 von 3 Buchungen "
                                      "verarbeitet; ab Buchung 1 der sortierten Liste (4711,25.01.2007 080000) wurde "
                                      "nichts gespeichert.\n";
    EXPECT_NE(printed.find(said), std::string::npos) << printed;
    EXPECT_TRUE(store.inserted.empty());
  }
}

// A settings file that gives the run no usable DATABASE value (no pair answers,
// or its cipher text is cut or empty) or no LOGIN is named with the key before
// the connection, which is tried as before; PASS may be empty, and no value is
// ever printed.
TEST_F(RunTest, SettingsWithoutAUsableValueAreNamedBeforeTheConnection) {
  writeBookings("");
  store.connectResult = -1;
  const std::string database = ";KVS;\r\n1;DATABASE;" + cipherHex("attendance") + "\r\n";
  const std::string login = ";KVS;\r\n2;LOGIN;" + cipherHex("dulmar") + "\r\n";
  const std::string noPassword = ";KVS;\r\n3;PASS;\r\n";
  struct Case {
    std::string file;
    std::vector<const char*> keys;
    const char* connect;
  };
  const Case cases[] = {
      {"", {"DATABASE", "LOGIN"}, "||"},
      {";KVS;\r\n1;DATENBANK;" + cipherHex("attendance") + "\r\n" + login, {"DATABASE"}, "dulmar||"},
      {";KVS;\r\n1;DATABASE;" + cipherHex("attendance").substr(0, 24) + "\r\n" + login, {"DATABASE"},
       "dulmar||attendan"},
      {";KVS;\r\n1;DATABASE;" + cipherHex("attendance").substr(0, 12) + "\r\n" + login, {"DATABASE"}, "dulmar||"},
      {database + ";KVS;\r\n2;LOGIN;\r\n" + noPassword, {"LOGIN"}, "||attendance"},
      {database + login + noPassword, {}, "dulmar||attendance"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    settings.reset();  // the same path: the old file goes first
    settings = std::make_unique<TempSettingsFile>(c.file);
    store.connects.clear();
    EXPECT_EQ(run(), 1);
    std::string expected = "dulmar: Start.\n";
    for (const char* key : c.keys)
      expected += "Der Ini-Datei (" + settings->path + ") konnte kein gueltiger Wert fuer " + key +
                  " entnommen werden.\n";
    EXPECT_EQ(printed, expected + "dbConnect_Error: -1\n");
    ASSERT_EQ(store.connects.size(), 1u);
    EXPECT_EQ(store.connects[0], c.connect);
  }
}

// An operator who follows the output in a file sees what is done before the
// run waits: for the database (each request, the connection included) or for
// another run's turn on the parameter file.
TEST_F(RunTest, TraceReachesItsFileBeforeEveryWait) {
  standardMasterData(store);
  store.batch = 2;
  // The second failure has no diagnostic of its own: its run-log row goes in
  // a request after the first one's report.
  store.insertFailures[1] = FakeStore::diagnostic(2627, "23000", "duplicate");
  store.insertFailures[2] = Diagnostic{};
  writeBookings(group("250107", "080000", "1001", "123") + group("250107", "090000", "1001", "123") +
                group("260107", "080000", "1002", "42"));
  store.tracePath = testTempPath("trace.txt");

  FileLock otherRun;
  ASSERT_EQ(otherRun.acquire(parameterPath + ".lock", 0), 0);
  bool waitWasShown = false;
  std::thread letGo([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!waitWasShown && std::chrono::steady_clock::now() < deadline) {
      waitWasShown = fileBytes(store.tracePath).find("warte bis zu 30 Sekunden.\n") != std::string::npos;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    otherRun.release();
  });
  EXPECT_EQ(run(), 0);
  letGo.join();
  EXPECT_TRUE(waitWasShown);

  auto before = [this](const char* text, size_t from = 0) { return printed.substr(0, printed.find(text, from)); };
  const size_t secondReport = printed.find("Fehler beim Einfuegen") + 1;
  const std::vector<std::string> expected = {
      before("[1]:"), before("[1]:"), before("[3]:"),  // connection, the two requests of lookups
      before("Fehler beim Einfuegen"), before("Fehler beim Einfuegen"),   // the first INSERTs, the first row
      before("Fehler beim Einfuegen", secondReport), before("Die Parameter-Datei"),  // the second row, INSERT
  };
  EXPECT_EQ(store.traceAtRequest, expected);
  EXPECT_NE(printed.find("dulmar: Ende.\n"), std::string::npos);
  std::remove(store.tracePath.c_str());
  std::remove((parameterPath + ".lock").c_str());
}
