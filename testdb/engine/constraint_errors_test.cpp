// Constraint violations named as SQL Server names them: the constraint, the
// object, the duplicate key, each followed by 3621 as SQL Server's second record.

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"

namespace testdb_test {
namespace {

using Records = std::vector<std::string>;

const std::string kTerminated = "3621 01000 The statement has been terminated.";

class ConstraintErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.load(std::string(DULMAR_SQL_DIR) + "/schema.sql"), 0);
    ASSERT_TRUE(db.run("CREATE TABLE Pair (a int NOT NULL, b varchar(5) NOT NULL, c char(3) NULL,"
                       " CONSTRAINT PK_Pair PRIMARY KEY (a, b), CONSTRAINT UQ_Pair_c UNIQUE (c),"
                       " CONSTRAINT CK_Pair_a CHECK (a > 0))")
                    .empty());
    ASSERT_TRUE(db.run("CREATE TABLE Tag (t varchar(5) NOT NULL)").empty());
    ASSERT_TRUE(db.run("CREATE UNIQUE INDEX IX_Tag_t ON Tag (t)").empty());
    ASSERT_TRUE(db.run("INSERT INTO Tag (t) VALUES ('x')").empty());
    ASSERT_TRUE(db.run("CREATE TABLE Child (id int NOT NULL, pa int NULL, pb varchar(5) NULL,"
                       " CONSTRAINT FK_Child_Pair FOREIGN KEY (pa, pb) REFERENCES Pair (a, b))")
                    .empty());
    ASSERT_TRUE(db.run("INSERT INTO Pair (a, b, c) VALUES (1, 'x', 'k')").empty());
  }

  TestDatabase db;
};

TEST_F(ConstraintErrors, DuplicatePrimaryKeyIs2627WithTheKeyValue) {
  const std::string booking = "INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES "
                              "('00001001', convert(DATETIME, '2007-01-25 00:00:00', 120), "
                              "convert(DATETIME, '2007-01-25 07:00:00', 120), 25, 'KSW', '4200')";
  ASSERT_TRUE(db.run(booking).empty());
  EXPECT_EQ(describe(db.run(booking)),
            (Records{"2627 23000 Violation of PRIMARY KEY constraint 'PK_KVS321BCH'. Cannot insert duplicate key in "
                     "object 'dbo.KVS321BCH'. The duplicate key value is (00001001, 2007-01-25 00:00:00.000, "
                     "2007-01-25 07:00:00.000, 25).",
                     kTerminated}));
  // Of several rows, the one whose key is already stored is named.
  EXPECT_EQ(describe(db.run("INSERT INTO Pair (a, b) VALUES (5, 'y'), (1, 'x'), (6, 'z')")).front(),
            "2627 23000 Violation of PRIMARY KEY constraint 'PK_Pair'. Cannot insert duplicate key in object "
            "'dbo.Pair'. The duplicate key value is (1, x).");
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM Pair"), Records{"1"});
}

TEST_F(ConstraintErrors, UniqueConstraintIs2627AndUniqueIndexIs2601) {
  EXPECT_EQ(describe(db.run("INSERT INTO Pair (a, b, c) VALUES (2, 'y', 'k')")),
            (Records{"2627 23000 Violation of UNIQUE KEY constraint 'UQ_Pair_c'. Cannot insert duplicate key in "
                     "object 'dbo.Pair'. The duplicate key value is (k  ).",
                     kTerminated}));
  EXPECT_EQ(describe(db.run("INSERT INTO Tag (t) VALUES ('X')")),
            (Records{"2601 23000 Cannot insert duplicate key row in object 'dbo.Tag' with unique index 'IX_Tag_t'. "
                     "The duplicate key value is (X).",
                     kTerminated}));
}

TEST_F(ConstraintErrors, CheckAndForeignKeyAre547) {
  EXPECT_EQ(describe(db.run("INSERT INTO Pair (a, b) VALUES (0, 'q')")),
            (Records{"547 23000 The INSERT statement conflicted with the CHECK constraint \"CK_Pair_a\". The conflict "
                     "occurred in database \"attendance\", table \"dbo.Pair\", column 'a'.",
                     kTerminated}));
  EXPECT_EQ(describe(db.run("UPDATE Pair SET a = -1")).front(),
            "547 23000 The UPDATE statement conflicted with the CHECK constraint \"CK_Pair_a\". The conflict "
            "occurred in database \"attendance\", table \"dbo.Pair\", column 'a'.");
  EXPECT_EQ(describe(db.run("INSERT INTO Child (id, pa, pb) VALUES (1, 9, 'x')")),
            (Records{"547 23000 The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_Child_Pair\". "
                     "The conflict occurred in database \"attendance\", table \"dbo.Pair\", column 'a'.",
                     kTerminated}));
  ASSERT_TRUE(db.run("INSERT INTO Child (id, pa, pb) VALUES (1, 1, 'x')").empty());
  EXPECT_EQ(describe(db.run("DELETE FROM Pair WHERE a = 1")),
            (Records{"547 23000 The DELETE statement conflicted with the REFERENCE constraint \"FK_Child_Pair\". "
                     "The conflict occurred in database \"attendance\", table \"dbo.Child\", column 'pa'.",
                     kTerminated}));
  // The booking table's own checks refuse an empty personnel number.
  EXPECT_EQ(describe(db.run("INSERT INTO KVS321BCH (BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst) VALUES "
                            "('', '2007-01-25', '2007-01-25', 25, 'KSW', '4200')"))
                .front(),
            "547 23000 The INSERT statement conflicted with the CHECK constraint \"CK_KVS321BCH_BchPnr\". The "
            "conflict occurred in database \"attendance\", table \"dbo.KVS321BCH\", column 'BchPnr'.");
}

TEST_F(ConstraintErrors, NullIntoANotNullColumnIs515) {
  EXPECT_EQ(describe(db.run("INSERT INTO Pair (a, b) VALUES (7, NULL)")),
            (Records{"515 23000 Cannot insert the value NULL into column 'b', table 'attendance.dbo.Pair'; column "
                     "does not allow nulls. INSERT fails.",
                     kTerminated}));
  EXPECT_EQ(describe(db.run("INSERT INTO Pair (a) VALUES (7)")).front(),
            "515 23000 Cannot insert the value NULL into column 'b', table 'attendance.dbo.Pair'; column does not "
            "allow nulls. INSERT fails.");
  EXPECT_EQ(describe(db.run("UPDATE Pair SET b = NULL")).front(),
            "515 23000 Cannot insert the value NULL into column 'b', table 'attendance.dbo.Pair'; column does not "
            "allow nulls. UPDATE fails.");
}

TEST_F(ConstraintErrors, TextTooLongIs8152AndNothingIsStored) {
  EXPECT_EQ(describe(db.run("INSERT INTO Pair (a, b) VALUES (8, 'abcdef')")),
            (Records{"8152 22001 String or binary data would be truncated.", kTerminated}));
  // Computed at run time, the same check applies.
  EXPECT_EQ(describe(db.run("UPDATE Pair SET b = b + 'abcdef'")).front(),
            "8152 22001 String or binary data would be truncated.");
  EXPECT_EQ(db.rows("SELECT a, b FROM Pair"), Records{"1|x"});
}

}  // namespace
}  // namespace testdb_test
