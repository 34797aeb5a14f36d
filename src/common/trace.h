#pragma once

/// The trace level of the run. It is a fixed setting, not an option: at 1 and
/// above the per-record trace lines, the connection error line and the error
/// report's detail lines are printed, at 2 and above also the sorted list.
inline constexpr int traceLevel = 2;
