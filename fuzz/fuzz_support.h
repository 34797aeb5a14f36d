#pragma once
// What every fuzz target needs besides the code under test: a scratch file to
// hand the input to code that reads files, and a check that turns a broken
// property into a crash libFuzzer records.

#include <cstddef>
#include <cstdint>

/// Capacity of a scratch file path.
inline constexpr size_t kScratchPathCapacity = 128;

/// Fills path with a file name in the scratch folder (TMPDIR, else /dev/shm or
/// /tmp) that is unique to this process and to name, and removed when the
/// process exits (path must outlive the process: static storage). Returns path.
const char* scratchPath(char (&path)[kScratchPathCapacity], const char* name);

/// Replaces the file at path with the bytes. Aborts when it cannot be written:
/// a fuzz run that silently tests an empty file tests nothing.
void writeScratchFile(const char* path, const uint8_t* data, size_t size);

/// Aborts with the message when the property does not hold.
void require(bool holds, const char* property);

/// Sends standard output to /dev/null: the code under test prints its trace
/// there, which only slows a fuzz run down.
void silenceStandardOutput();
