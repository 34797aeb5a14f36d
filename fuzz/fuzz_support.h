#pragma once
// What every fuzz target needs besides the code under test: the input as an
// open file without a round trip through the file system, a scratch file for
// code that writes files, and a check that turns a broken property into a
// crash libFuzzer records.

#include <cstddef>
#include <cstdint>
#include <cstdio>

/// Capacity of a scratch file path.
inline constexpr size_t kScratchPathCapacity = 128;

/// Fills path with a file name in the scratch folder (TMPDIR, else /dev/shm or
/// /tmp) that is unique to this process and to name, and removed when the
/// process exits (path must outlive the process: static storage). Returns path.
const char* scratchPath(char (&path)[kScratchPathCapacity], const char* name);

/// The bytes as a stream open for reading, which reads them from memory
/// (they must outlive it); the caller closes it. Aborts when it cannot be
/// made.
FILE* memoryFile(const uint8_t* data, size_t size);

/// Aborts with the message when the property does not hold.
void require(bool holds, const char* property);

/// Sends standard output to /dev/null: the code under test prints its trace
/// there, which only slows a fuzz run down.
void silenceStandardOutput();
