#include "sqlserver/server_error.h"

#include <cstring>

namespace testdb {
namespace {

struct Template {
  int native;
  const char* state;
  const char* text;
};

// Each '%s' is filled in order; texts are SQL Server's own.
constexpr Template kTemplates[] = {
    {102, "42000", "Incorrect syntax near '%s'."},
    {105, "42000", "Unclosed quotation mark after the character string '%s'."},
    {156, "42000", "Incorrect syntax near the keyword '%s'."},
    {195, "42000", "'%s' is not a recognized built-in function name."},
    {207, "42S22", "Invalid column name '%s'."},
    {208, "42S02", "Invalid object name '%s'."},
    {209, "42000", "Ambiguous column name '%s'."},
    {220, "22003", "Arithmetic overflow error for data type %s, value = %s."},
    {241, "22007", "Conversion failed when converting date and/or time from character string."},
    {242, "22008", "The conversion of a varchar data type to a datetime data type resulted in an out-of-range value."},
    {245, "22018", "Conversion failed when converting the varchar value '%s' to data type %s."},
    {281, "HY000", "%s is not a valid style number when converting from datetime to a character string."},
    {515, "23000", "Cannot insert the value NULL into column '%s', table '%s'; column does not allow nulls. %s fails."},
    {547, "23000",
     "The %s statement conflicted with the %s constraint \"%s\". The conflict occurred in database \"%s\", table "
     "\"%s\"%s."},
    {1781, "42000", "Column already has a DEFAULT bound to it."},
    {1750, "42000", "Could not create constraint or index. See previous errors."},
    {2812, "42000", "Could not find stored procedure '%s'."},
    {4917, "42000", "Constraint '%s' does not exist."},
    {1911, "42000", "Column name '%s' does not exist in the target table or view."},
    {2601, "23000",
     "Cannot insert duplicate key row in object '%s' with unique index '%s'. The duplicate key value is (%s)."},
    {2627, "23000",
     "Violation of %s constraint '%s'. Cannot insert duplicate key in object '%s'. The duplicate key value is (%s)."},
    {2714, "42S01", "There is already an object named '%s' in the database."},
    {2715, "42000", "Column, parameter, or variable #%s: Cannot find data type %s."},
    {2760, "42000", "The specified schema name \"%s\" either does not exist or you do not have permission to use it."},
    {3701, "42S02", "Cannot drop the table '%s', because it does not exist or you do not have permission."},
    {8115, "22003", "Arithmetic overflow error converting expression to data type %s."},
    {8152, "22001", "String or binary data would be truncated."},
    {109, "21S01",
     "There are more columns in the INSERT statement than values specified in the VALUES clause. The number of values "
     "in the VALUES clause must match the number of columns specified in the INSERT statement."},
    {110, "21S01",
     "There are fewer columns in the INSERT statement than values specified in the VALUES clause. The number of values "
     "in the VALUES clause must match the number of columns specified in the INSERT statement."},
    {4060, "08004", "Cannot open database \"%s\" requested by the login. The login failed."},
    {18456, "28000", "Login failed for user '%s'."},
    {3621, "01000", "The statement has been terminated."},
    {3902, "25000", "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    {3903, "25000", "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    {107, "42000", "The column prefix '%s' does not match with a table name or alias name used in the query."},
    {120, "21S01",
     "The select list for the INSERT statement contains fewer items than the insert list. The number of SELECT values "
     "must match the number of INSERT columns."},
    {121, "21S01",
     "The select list for the INSERT statement contains more items than the insert list. The number of SELECT values "
     "must match the number of INSERT columns."},
    {137, "42000", "Must declare the scalar variable \"%s\"."},
    {174, "42000", "The %s function requires %s argument(s)."},
    {243, "42000", "Type %s is not a defined system type."},
    {263, "42000", "Must specify table to select from."},
    {1205, "40001",
     "Transaction (Process ID %s) was deadlocked on lock resources with another process and has been chosen as the "
     "deadlock victim. Rerun the transaction."},
    {1913, "42S11", "The operation failed because an index or statistics with name '%s' already exists on table '%s'."},
    {4104, "42000", "The multi-part identifier \"%s\" could not be bound."},
    {8180, "42000", "Statement(s) could not be prepared."},
    {536, "42000", "Invalid length parameter passed to the %s function."},
    {2705, "42S21",
     "Column names in each table must be unique. Column name '%s' in table '%s' is specified more than once."},
};

}  // namespace

ServerError serverError(int native, std::initializer_list<std::string_view> args) {
  ServerError e;
  e.native = native;
  const Template* t = nullptr;
  for (const Template& candidate : kTemplates) {
    if (candidate.native == native) t = &candidate;
  }
  if (!t) {
    e.state = "HY000";
    for (std::string_view a : args) e.message += a;
    return e;
  }
  e.state = t->state;
  auto next = args.begin();
  for (const char* p = t->text; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (next != args.end()) e.message += *next++;
      ++p;
    } else {
      e.message += *p;
    }
  }
  return e;
}

ServerError statementTerminated() { return serverError(3621); }

void addTerminationRecord(ErrorList& errors) {
  if (errors.empty()) return;
  switch (errors.front().native) {
    case 515:
    case 547:
    case 2601:
    case 2627:
    case 8152:
      errors.push_back(statementTerminated());
      break;
    default:
      break;
  }
}

}  // namespace testdb
