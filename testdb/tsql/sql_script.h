#pragma once
// Splits an SQL script into statements the way dulmar-sqlrun runs them.

#include <string>
#include <string_view>
#include <vector>

namespace testdb {

/// The statements of a script: text up to each ';' that is outside string
/// literals, quoted names and comments, and up to each line that holds only
/// GO (any case). Statements with nothing but blanks and comments are left out;
/// the ';' itself is not part of a statement.
std::vector<std::string> splitScript(std::string_view script);

}  // namespace testdb
