#pragma once
// The text of the run-log INSERT, built to fit the statement buffer.

#include <cstddef>

#include "db/runlog_record.h"

/// Formats the run-log INSERT for record into dst (capacity cap) with every
/// apostrophe in its texts doubled. When the texts would make it longer than
/// cap-1, the looked-up text, the diagnostic text and the argument text are
/// shortened first (the longest first), so the row is still written. Returns 0,
/// or -1 when even that cannot make it fit.
int formatRunLogInsert(const RunLogRecord& record, char* dst, size_t cap);
