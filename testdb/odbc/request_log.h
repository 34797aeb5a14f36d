#pragma once
// The request log (the data source's RequestLog key): every text that reaches
// SQLExecDirect, appended whole to the file as a line with its length in
// bytes and then the bytes and a line feed, so a check can take the requests
// apart exactly as the program sent them.

#include <string>

namespace testdb {

/// Appends text to the request log at path; nothing when path is empty.
/// Returns 0, or -1 when the file could not take it.
int logRequest(const std::string& path, const std::string& text);

/// Appends the line "name seconds" to the limit log at path (the data
/// source's LimitLog key), so a test sees the time limits where they act;
/// nothing when path is empty. Returns 0, or -1.
int logLimit(const std::string& path, const char* name, unsigned long seconds);

}  // namespace testdb
