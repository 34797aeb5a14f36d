#pragma once
// The errors this driver raises, with SQL Server's numbers, states and message
// texts, so that a program tested against it sees what the real server says.

#include <string>
#include <string_view>
#include <vector>

namespace testdb {

struct ServerError {
  // SQL Server's error number (SQLGetDiagRec's native error)
  int native = 0;
  // the five-character SQLSTATE
  std::string state;
  // the message text without the driver's tag
  std::string message;
  // the line within the batch the error belongs to (0: not known, shown as 1)
  int line = 0;
};

/// The errors of one failed operation, first record first.
using ErrorList = std::vector<ServerError>;

/// An error with SQL Server's state and message for `native`, the message's
/// '%s' places filled from args in order. Unknown numbers get state HY000.
ServerError serverError(int native, std::initializer_list<std::string_view> args = {});

/// 3621 "The statement has been terminated.", the second record after a DML error.
ServerError statementTerminated();

/// Appends 3621 after the errors that end a DML statement on SQL Server.
void addTerminationRecord(ErrorList& errors);

}  // namespace testdb
