#pragma once
// The connection attributes only this driver knows, for the tools that go
// through the driver manager (dulmar-sqlrun). Numbers from 30000 stay clear of
// ODBC's and of the driver-specific ranges Microsoft's drivers use.

#include <sql.h>

namespace testdb {

/// SQLGetConnectAttr: the durable commits made so far on the connection's
/// database by this process (a SQLUINTEGER), as CommitCountFile counts them.
constexpr SQLINTEGER kAttrDurableCommits = 30001;

}  // namespace testdb
