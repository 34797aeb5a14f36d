// Translation of T-SQL statements into SQLite against the catalog of
// sql/schema.sql: what each statement the program sends becomes, and the
// errors SQL Server gives, in the order it finds them.

#include <gtest/gtest.h>

#include "tsql/memory_catalog.h"
#include "tsql/program_statements.h"
#include "tsql/translate.h"
#include "tsql/tsql_lexer.h"

namespace testdb {
namespace {

using testdb_test::badge;
using testdb_test::fmt;
using testdb_test::kBookingInsert;
using testdb_test::kCostCentreLookup;
using testdb_test::kLogInsert;
using testdb_test::kTenantLookup;
using testdb_test::kTextLookup;

class Translate : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ServerError e;
    ASSERT_EQ(schema_.loadFile(std::string(DULMAR_SQL_DIR) + "/schema.sql", e), 0) << e.message;
  }

  /// Translates sql; true when it translated, else false with error_ set.
  bool ok(const std::string& sql) {
    std::vector<Token> tokens;
    tr_ = Translation{};
    if (!tokenize(sql, tokens, error_)) return false;
    TranslateContext context;
    context.databaseName = "attendance";
    return translate(tokens, 0, tokens.size() - 1, schema_, context, tr_, error_);
  }

  /// The error of a statement that must fail.
  ServerError error(const std::string& sql) {
    EXPECT_FALSE(ok(sql)) << sql;
    return error_;
  }

  static MemoryCatalog schema_;
  Translation tr_;
  ServerError error_;
};

MemoryCatalog Translate::schema_;

// Literals become parameters with their decoded text; nothing inside them is
// ever rewritten, even text that looks like names or functions.
TEST_F(Translate, LiteralsTravelUnchangedAsParameters) {
  ASSERT_TRUE(ok("SELECT 'KVSYSTEM.Kvs301Asw convert(DATETIME, ''x'', 120) CURRENT_TIMESTAMP', N'[a]'"))
      << error_.message;
  ASSERT_EQ(tr_.params.size(), 2u);
  EXPECT_EQ(tr_.params[0].s, "KVSYSTEM.Kvs301Asw convert(DATETIME, 'x', 120) CURRENT_TIMESTAMP");
  EXPECT_EQ(tr_.params[1].s, "[a]");
  EXPECT_EQ(tr_.sql, "SELECT ?1, ?2");
}

// Each form the program sends is one SQLite statement whatever its literals,
// so the engine prepares it once.
TEST_F(Translate, EachProgramStatementFormIsOneStatementWhateverItsLiterals) {
  const std::pair<std::string, std::string> forms[] = {
      {badge("4711", "2007-01-25 00:00:00"), badge("0815", "2008-12-31 00:00:00")},
      {fmt(kTenantLookup, "1", "2"), fmt(kTenantLookup, "17", "4")},
      {fmt(kCostCentreLookup, "42"), fmt(kCostCentreLookup, "7")},
      {fmt(kTextLookup, 1065L), fmt(kTextLookup, 3L)},
      {fmt(kBookingInsert, "00001001", "2007-01-25 00:00:00", "2007-01-25 07:00:00", "KSW", "4200"),
       fmt(kBookingInsert, "00009999", "2008-02-29 00:00:00", "2008-02-29 23:59:59", "X", "1")},
      {fmt(kLogInsert, "DULMAR.EXE", "20070125120000", "a b", "MAND01", "00001001", 20070125L, "KVS321", "insert",
           111L, "Text", 2627L, "Violation", "msg", 1L),
       fmt(kLogInsert, "D", "20080101000000", "", "S", "P", 20080229L, "M", "F", 0L, "", 0L, "", "", 2L)},
  };
  for (const auto& [one, other] : forms) {
    ASSERT_TRUE(ok(one)) << one << "\n" << error_.message;
    std::string sql = tr_.sql;
    size_t params = tr_.params.size();
    ASSERT_TRUE(ok(other)) << other << "\n" << error_.message;
    EXPECT_EQ(tr_.sql, sql) << one;
    EXPECT_EQ(tr_.params.size(), params) << one;
  }
}

TEST_F(Translate, QueriesDescribeTheirColumnsAsDeclared) {
  ASSERT_TRUE(ok(badge("4711", "2007-01-25 00:00:00"))) << error_.message;
  EXPECT_EQ(tr_.kind, StatementKind::Select);
  ASSERT_EQ(tr_.columns.size(), 3u);
  EXPECT_EQ(tr_.columns[0].label, "AswPnr");
  EXPECT_TRUE(tr_.columns[0].typeKnown);
  EXPECT_EQ(tr_.columns[0].type.type, ColumnType::Char);
  EXPECT_EQ(tr_.columns[0].type.length, 8);
  EXPECT_FALSE(tr_.columns[0].nullable);
  EXPECT_EQ(tr_.columns[1].type.type, ColumnType::VarChar);
  EXPECT_EQ(tr_.columns[1].type.length, 7);

  ASSERT_TRUE(ok("SELECT k.KstBez AS Name, LEN(k.KstNum), 1 FROM O1003KSTSTELLE k")) << error_.message;
  ASSERT_EQ(tr_.columns.size(), 3u);
  EXPECT_EQ(tr_.columns[0].label, "Name");
  EXPECT_TRUE(tr_.columns[0].nullable);
  EXPECT_EQ(tr_.columns[1].label, "");
}

// The constants of a booking arrive converted as the columns store them:
// char padded, datetimes in their canonical text, so the duplicate key of a
// rejected row can be named.
TEST_F(Translate, InsertConstantsAreStoredAsTheColumnsStoreThem) {
  ASSERT_TRUE(ok(fmt(kBookingInsert, "1001", "2007-01-25 00:00:00", "2007-01-25 07:00:00", "KSW", "4200")))
      << error_.message;
  EXPECT_EQ(tr_.kind, StatementKind::Insert);
  EXPECT_EQ(tr_.target, "dbo__kvs321bch");
  EXPECT_EQ(tr_.insertColumns,
            (std::vector<std::string>{"BchPnr", "BchVon", "BchUhr", "BchFkt", "BchFcd", "BchKst"}));
  ASSERT_EQ(tr_.insertRows.size(), 1u);
  const std::vector<InsertValue>& row = tr_.insertRows[0];
  ASSERT_EQ(row.size(), 6u);
  EXPECT_EQ(row[0].value.s, "1001    ");
  EXPECT_EQ(row[1].value.s, "2007-01-25 00:00:00.000");
  EXPECT_EQ(row[2].value.s, "2007-01-25 07:00:00.000");
  EXPECT_EQ(row[3].value.i, 25);

  ASSERT_TRUE(ok(fmt(kLogInsert, "D", "20070125120000", "", "S", "P", 20070125L, "M", "F", 0L, "", 0L, "", "", 2L)))
      << error_.message;
  EXPECT_EQ(tr_.target, "kvsystem__kvs001log");
  ASSERT_EQ(tr_.insertRows.size(), 1u);
  EXPECT_EQ(tr_.insertRows[0][5].value.s, "2007-01-25 00:00:00.000");
}

TEST_F(Translate, ConstantsThatDoNotFitTheirColumnFailLikeSqlServer) {
  ServerError e = error(fmt(kBookingInsert, "123456789", "2007-01-25 00:00:00", "2007-01-25 07:00:00", "KSW", "1"));
  EXPECT_EQ(e.native, 8152);
  EXPECT_EQ(e.state, "22001");
  // Blanks beyond the length are cut without an error.
  EXPECT_TRUE(ok(fmt(kBookingInsert, "12345678   ", "2007-01-25 00:00:00", "2007-01-25 07:00:00", "KSW", "1")));
  e = error("INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES ('1', '2007-01-25', "
            "'2007-01-25', 'x', 'K', '1')");
  EXPECT_EQ(e.native, 245);
  EXPECT_EQ(e.message, "Conversion failed when converting the varchar value 'x' to data type smallint.");
  e = error("INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES ('1', '2007-01-25', "
            "'2007-01-25', 40000, 'K', '1')");
  EXPECT_EQ(e.native, 220);
}

TEST_F(Translate, ConvertReadsStyles120And112AndRejectsWhatIsNoDate) {
  ASSERT_TRUE(ok("SELECT convert(DATETIME, '2007-01-25 08:15:00', 120), convert(DATETIME, '20070125', 112)"));
  ASSERT_EQ(tr_.params.size(), 2u);
  EXPECT_EQ(tr_.params[0].s, "2007-01-25 08:15:00.000");
  EXPECT_EQ(tr_.params[1].s, "2007-01-25 00:00:00.000");
  ServerError e = error(badge("4711", "2007-01-2x 00:00:00"));
  EXPECT_EQ(e.native, 241);
  EXPECT_EQ(e.state, "22007");
  EXPECT_EQ(e.message, "Conversion failed when converting date and/or time from character string.");
  e = error(badge("4711", "2007-02-30 00:00:00"));
  EXPECT_EQ(e.native, 242);
  EXPECT_EQ(e.state, "22008");
  e = error(fmt(kLogInsert, "D", "20070125120000", "", "S", "P", 20071301L, "M", "F", 0L, "", 0L, "", "", 2L));
  EXPECT_EQ(e.native, 242);
  // A text compared with a datetime column is read as a datetime.
  e = error("SELECT AswPnr FROM KVSYSTEM.Kvs301Asw WHERE AswGVo <= 'gestern'");
  EXPECT_EQ(e.native, 241);
}

TEST_F(Translate, SyntaxErrorsNameTheTokenAndKeywordsAre156) {
  ServerError e = error("SELECT 1 +");
  EXPECT_EQ(e.native, 102);
  EXPECT_EQ(e.message, "Incorrect syntax near '+'.");
  e = error("SELECT 1 WHERE 1 = AND 2 = 2");
  EXPECT_EQ(e.native, 156);
  EXPECT_EQ(e.message, "Incorrect syntax near the keyword 'AND'.");
  EXPECT_EQ(e.state, "42000");
  e = error("SELEC 1");
  EXPECT_EQ(e.native, 102);
}

// SQL Server parses the whole statement first, then binds names, then runs:
// a syntax error hides an unknown table, an unknown table hides a bad constant.
TEST_F(Translate, ErrorsComeInSqlServersOrder) {
  ServerError e = error("SELECT x FROM NoSuchTable WHERE a = convert(DATETIME, 'x', 120) AND");
  EXPECT_EQ(e.message, "Incorrect syntax near the keyword 'AND'.");
  e = error("SELECT x FROM NoSuchTable WHERE a = convert(DATETIME, 'x', 120)");
  EXPECT_EQ(e.native, 208);
  EXPECT_EQ(e.state, "42S02");
  EXPECT_EQ(e.message, "Invalid object name 'NoSuchTable'.");
  e = error("SELECT KstNum FROM dbo.O1003KSTSTELLE WHERE KstApz = convert(DATETIME, 'x', 120) AND Nope = 1");
  EXPECT_EQ(e.native, 207);
  EXPECT_EQ(e.message, "Invalid column name 'Nope'.");
}

TEST_F(Translate, NamesBindWithoutCaseAndWithinTheirScope) {
  EXPECT_TRUE(ok("select kstnum from o1003kststelle where KSTAPZ = '1'")) << error_.message;
  EXPECT_TRUE(ok("SELECT [KstNum] FROM [dbo].[O1003KSTSTELLE] AS k WHERE k.KstApz = '1'")) << error_.message;
  // With an alias, the table's own name no longer qualifies a column.
  ServerError e = error("SELECT O1003KSTSTELLE.KstNum FROM O1003KSTSTELLE k");
  EXPECT_EQ(e.native, 4104);
  e = error("SELECT KstNum FROM O1003KSTSTELLE a, O1003KSTSTELLE b");
  EXPECT_EQ(e.native, 209);
  EXPECT_EQ(e.message, "Ambiguous column name 'KstNum'.");
  // A table of another schema is not found under dbo.
  e = error("SELECT MndSch FROM Kvs112Mnd");
  EXPECT_EQ(e.native, 208);
}

TEST_F(Translate, InsertColumnAndValueCountsMustAgree) {
  ServerError e = error("INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('1')");
  EXPECT_EQ(e.native, 109);
  e = error("INSERT INTO O1003KSTSTELLE (KstApz) VALUES ('1', '2')");
  EXPECT_EQ(e.native, 110);
  e = error("INSERT INTO O1003KSTSTELLE (KstApz, Nope) VALUES ('1', '2')");
  EXPECT_EQ(e.native, 207);
}

TEST_F(Translate, DataDefinitionChecksWhatExists) {
  ServerError e = error("CREATE TABLE O1003KSTSTELLE (a int)");
  EXPECT_EQ(e.native, 2714);
  EXPECT_EQ(e.message, "There is already an object named 'O1003KSTSTELLE' in the database.");
  e = error("CREATE SCHEMA kvsystem");
  EXPECT_EQ(e.native, 2714);
  e = error("CREATE TABLE NoSchema.t (a int)");
  EXPECT_EQ(e.native, 2760);
  e = error("DROP TABLE NoSuchTable");
  EXPECT_EQ(e.native, 3701);
  e = error("CREATE TABLE t2 (a int, A int)");
  EXPECT_EQ(e.native, 2705);
  e = error("CREATE TABLE t2 (a nosuchtype)");
  EXPECT_EQ(e.native, 2715);
  ASSERT_TRUE(ok("CREATE TABLE t2 (a char(3) NOT NULL, CONSTRAINT PK_t2 PRIMARY KEY (a))")) << error_.message;
  EXPECT_EQ(tr_.kind, StatementKind::Ddl);
  EXPECT_FALSE(tr_.script.empty());
}

// What only sets options or begins or ends a transaction is marked so, for
// the fault keys that number statements; IF @@TRANCOUNT > 0 guards only a
// transaction statement.
TEST_F(Translate, TransactionsAndSessionOptions) {
  ASSERT_TRUE(ok("BEGIN TRANSACTION"));
  EXPECT_EQ(tr_.kind, StatementKind::Transaction);
  EXPECT_TRUE(tr_.sessionControl);
  ASSERT_TRUE(ok("SET NOCOUNT ON"));
  EXPECT_EQ(tr_.kind, StatementKind::Empty);
  EXPECT_TRUE(tr_.sessionControl);
  ASSERT_TRUE(ok("SET IMPLICIT_TRANSACTIONS ON"));
  EXPECT_EQ(tr_.implicitTransactions, 1);
  EXPECT_EQ(tr_.xactAbort, -1);
  ASSERT_TRUE(ok("set implicit_transactions off"));
  EXPECT_EQ(tr_.implicitTransactions, 0);
  ASSERT_TRUE(ok("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION"));
  EXPECT_EQ(tr_.kind, StatementKind::Transaction);
  EXPECT_EQ(tr_.sql, "ROLLBACK");
  EXPECT_TRUE(tr_.onlyInTransaction && tr_.sessionControl);
  EXPECT_EQ(error("IF @@TRANCOUNT > 1 ROLLBACK").native, 102);
  EXPECT_EQ(error("IF @@TRANCOUNT > 0 SELECT 1").native, 156);
  EXPECT_EQ(error("SET IMPLICIT_TRANSACTIONS maybe").native, 102);
  ASSERT_TRUE(ok("SELECT @@TRANCOUNT"));
  EXPECT_FALSE(tr_.sessionControl || tr_.readsTable);
  ASSERT_TRUE(ok("SELECT KstNum FROM O1003KSTSTELLE"));
  EXPECT_TRUE(tr_.readsTable);
  EXPECT_FALSE(tr_.sessionControl);
  ASSERT_TRUE(ok("USE attendance"));
  EXPECT_EQ(tr_.kind, StatementKind::Empty);
}

}  // namespace
}  // namespace testdb
