// The program's Database over this driver: what it must not send, and the
// limits it gives the driver, seen where a statement could really run.

#include <gtest/gtest.h>

#include <vector>

#include "common/field.h"
#include "db/database.h"
#include "odbc/driver_test_fixture.h"

namespace testdb_test {
namespace {

class ProgramDatabase : public Driver {
 protected:
  void SetUp() override {
    Driver::SetUp();
    std::vector<Diagnostic> further;
    Diagnostic diag{};
    ASSERT_EQ(database.connect("sa", "secret", "main", diag, further), 0) << diag.message;
  }
  Database database;
};

// Connected, so a statement would run and find tenant 1 of licence 1: keys
// that are no numbers must send none (a statement would fail with a diagnosis,
// or worse, run what they say).
TEST_F(ProgramDatabase, SchemaLookupRefusesKeysThatAreNoNumbers) {
  char schema[sizeof BookingRecord::schema] = "S";
  Diagnostic diag{};
  ASSERT_EQ(database.lookUpSchema("1", "1", schema, diag), 0);
  EXPECT_STREQ(schema, "MUSTER");
  const size_t asked = database.lookupCache().size();
  copyField(schema, "S");
  EXPECT_EQ(database.lookUpSchema("1 OR 1=1", "1", schema, diag), -1);
  EXPECT_EQ(database.lookUpSchema("1", "", schema, diag), -1);
  EXPECT_EQ(database.lookUpSchema("1", "1;DROP TABLE KVS321BCH", schema, diag), -1);
  EXPECT_FALSE(diag.recorded);
  EXPECT_STREQ(schema, "S");
  EXPECT_EQ(database.lookupCache().size(), asked);  // no statement was answered
}

// A badge or workstation with a byte that is no Windows-1252 character fails
// its lookup without a statement, the diagnosis untouched; the same lookups
// without it are answered.
TEST_F(ProgramDatabase, BytesNoDriverCanSendAreNeverSent) {
  BookingRecord r{};
  copyField(r.date, "250107");
  copyField(r.badge, "0000100001\x81");
  char licence[kLicenceCapacity] = "";
  char tenant[kTenantCapacity] = "";
  Diagnostic diag{};
  EXPECT_EQ(database.lookUpBadge(r, licence, tenant, diag), -1);
  char costCentre[sizeof BookingRecord::costCentre] = "";
  EXPECT_EQ(database.lookUpCostCentre("4\x9D" "2", costCentre, diag), -1);
  EXPECT_FALSE(diag.recorded);
  EXPECT_EQ(database.lookupCache().size(), 0u);
  copyField(r.badge, "0000100001");
  EXPECT_EQ(database.lookUpBadge(r, licence, tenant, diag), 0);
  EXPECT_EQ(database.lookUpCostCentre("42", costCentre, diag), 0);
  EXPECT_FALSE(database.link().lost);
}

}  // namespace
}  // namespace testdb_test
