// The catalog kept in the database file: what CREATE records comes back in a
// new connection exactly as declared, other connections' changes are seen,
// and the declared types govern what is stored.

#include <gtest/gtest.h>

#include "engine/catalog.h"
#include "engine/engine_test_support.h"

namespace testdb_test {
namespace {

using testdb::Column;
using testdb::ColumnType;
using testdb::Constraint;
using testdb::ConstraintKind;
using testdb::Session;
using testdb::Table;
using Rows = std::vector<std::string>;

TEST(Catalog, DeclarationsComeBackInANewConnectionAsDeclared) {
  TestDatabase db;
  ASSERT_TRUE(db.run("CREATE SCHEMA Sales").empty());
  ASSERT_TRUE(db.run("CREATE TABLE Sales.Parent (Id int NOT NULL, CONSTRAINT PK_Parent PRIMARY KEY (Id))").empty());
  ASSERT_TRUE(db.run("CREATE TABLE Sales.Item (Code char(6) NOT NULL, Name varchar(40) NULL, Big bigint NULL,"
                     " Small smallint NULL, Tiny tinyint NULL, Flag bit NULL, At datetime NULL, Ratio float NULL,"
                     " Amount decimal(9, 2) NULL, Note varchar(max) NULL, ParentId int NULL,"
                     " CONSTRAINT PK_Item PRIMARY KEY (Code), CONSTRAINT CK_Item_Tiny CHECK (Tiny < 100),"
                     " CONSTRAINT FK_Item_Parent FOREIGN KEY (ParentId) REFERENCES Sales.Parent (Id))")
                  .empty());
  ASSERT_TRUE(db.run("CREATE INDEX IX_Item_Name ON Sales.Item (Name)").empty());

  Session other;
  ASSERT_EQ(db.open(other), 0);
  const Table* t = other.catalog().findTable("SALES", "item");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->schema, "Sales");
  EXPECT_EQ(t->name, "Item");
  EXPECT_EQ(t->sqliteName, "sales__item");
  ASSERT_EQ(t->columns.size(), 11u);
  struct Expected {
    const char* name;
    ColumnType type;
    int length;
    int scale;
    bool notNull;
  };
  const Expected expected[] = {
      {"Code", ColumnType::Char, 6, 0, true},       {"Name", ColumnType::VarChar, 40, 0, false},
      {"Big", ColumnType::BigInt, 0, 0, false},     {"Small", ColumnType::SmallInt, 0, 0, false},
      {"Tiny", ColumnType::TinyInt, 0, 0, false},   {"Flag", ColumnType::Bit, 0, 0, false},
      {"At", ColumnType::DateTime, 0, 0, false},    {"Ratio", ColumnType::Float, 0, 0, false},
      {"Amount", ColumnType::Decimal, 9, 2, false}, {"Note", ColumnType::VarChar, -1, 0, false},
      {"ParentId", ColumnType::Int, 0, 0, false},
  };
  for (size_t i = 0; i < t->columns.size(); ++i) {
    const Column& c = t->columns[i];
    EXPECT_EQ(c.name, expected[i].name);
    EXPECT_EQ(c.type, expected[i].type) << c.name;
    if (expected[i].type == ColumnType::Char || expected[i].type == ColumnType::VarChar ||
        expected[i].type == ColumnType::Decimal) {
      EXPECT_EQ(c.length, expected[i].length) << c.name;
    }
    EXPECT_EQ(c.scale, expected[i].scale) << c.name;
    EXPECT_EQ(c.notNull, expected[i].notNull) << c.name;
  }
  EXPECT_EQ(t->find("code"), &t->columns[0]);
  EXPECT_EQ(t->find("Nope"), nullptr);

  // A copy of the named constraint; one without a name when there is none.
  auto constraint = [&](const char* name) {
    for (const Constraint& c : t->constraints) {
      if (c.name == name) return c;
    }
    return Constraint{};
  };
  Constraint pk = constraint("PK_Item");
  EXPECT_EQ(pk.kind, ConstraintKind::PrimaryKey);
  EXPECT_EQ(pk.columns, std::vector<std::string>{"Code"});
  Constraint check = constraint("CK_Item_Tiny");
  EXPECT_EQ(check.name, "CK_Item_Tiny");
  EXPECT_EQ(check.kind, ConstraintKind::Check);
  EXPECT_EQ(check.columns, std::vector<std::string>{"Tiny"});
  Constraint fk = constraint("FK_Item_Parent");
  EXPECT_EQ(fk.kind, ConstraintKind::ForeignKey);
  EXPECT_EQ(fk.columns, std::vector<std::string>{"ParentId"});
  EXPECT_EQ(fk.refTable, "sales__parent");
  EXPECT_EQ(fk.refColumns, std::vector<std::string>{"Id"});
  Constraint index = constraint("IX_Item_Name");
  EXPECT_EQ(index.name, "IX_Item_Name");
  EXPECT_EQ(index.kind, ConstraintKind::Index);
  EXPECT_EQ(index.columns, std::vector<std::string>{"Name"});
  ASSERT_NE(other.catalog().findSchema("sales"), nullptr);
  EXPECT_EQ(*other.catalog().findSchema("sales"), "Sales");
  EXPECT_EQ(other.catalog().findSchema("nope"), nullptr);
}

TEST(Catalog, AConnectionSeesTablesAnotherCreatesOrDrops) {
  TestDatabase db;
  Session other;
  ASSERT_EQ(db.open(other), 0);
  ASSERT_TRUE(db.run("CREATE TABLE Later (a int NULL)").empty());
  EXPECT_EQ(TestDatabase::rowsOf(other, "SELECT COUNT(*) FROM Later"), Rows{"0"});
  ASSERT_TRUE(db.run("DROP TABLE Later").empty());
  EXPECT_EQ(TestDatabase::rowsOf(other, "SELECT COUNT(*) FROM Later"), Rows{"error: Invalid object name 'Later'."});
  // Dropped means forgotten: the name can be declared anew, with other columns.
  ASSERT_TRUE(db.run("CREATE TABLE Later (b varchar(3) NULL)").empty());
  EXPECT_EQ(TestDatabase::rowsOf(other, "SELECT b FROM Later"), Rows{});
  EXPECT_EQ(TestDatabase::rowsOf(other, "SELECT a FROM Later"), Rows{"error: Invalid column name 'a'."});
}

// A failed DDL statement leaves neither the table nor its catalog rows behind.
TEST(Catalog, AFailedCreateLeavesNothing) {
  TestDatabase db;
  ASSERT_TRUE(db.run("CREATE TABLE T1 (a int NULL)").empty());
  EXPECT_FALSE(db.run("CREATE TABLE T2 (a int NULL, CONSTRAINT FK_x FOREIGN KEY (a) REFERENCES Nope (a))").empty());
  Session other;
  ASSERT_EQ(db.open(other), 0);
  EXPECT_EQ(other.catalog().findTable("dbo", "T2"), nullptr);
  EXPECT_NE(other.catalog().findTable("dbo", "T1"), nullptr);
}

// char(n) is stored blank-padded to n; comparisons ignore trailing blanks and
// case, as SQL Server's default collation does.
TEST(Catalog, CharIsPaddedAndComparesWithoutTrailingBlanksOrCase) {
  TestDatabase db;
  ASSERT_TRUE(db.run("CREATE TABLE Pad (c char(5) NULL, v varchar(5) NULL)").empty());
  ASSERT_TRUE(db.run("INSERT INTO Pad (c, v) VALUES ('ab', 'ab  ')").empty());
  EXPECT_EQ(db.rows("SELECT c + '|', v + '|', LEN(c), DATALENGTH(c), DATALENGTH(v) FROM Pad"),
            Rows{"ab   ||ab  ||2|5|4"});
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM Pad WHERE c = 'AB' AND v = 'ab' AND c = v AND c = 'ab    '"), Rows{"1"});
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM Pad WHERE c = ' ab'"), Rows{"0"});
  // Values computed at run time are padded as well.
  ASSERT_TRUE(db.run("UPDATE Pad SET c = v").empty());
  EXPECT_EQ(db.rows("SELECT c + '|' FROM Pad"), Rows{"ab   |"});
  EXPECT_EQ(db.rows("SELECT COUNT(*) FROM Pad WHERE c LIKE 'AB%'"), Rows{"1"});
}

}  // namespace
}  // namespace testdb_test
