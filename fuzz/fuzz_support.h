#pragma once
// What every fuzz target needs besides the code under test: the input as an
// open file without a round trip through the file system, and a check that
// turns a broken property into a crash libFuzzer records.

#include <cstddef>
#include <cstdint>
#include <cstdio>

/// The bytes as a stream open for reading, which reads them from memory
/// (they must outlive it); the caller closes it. Aborts when it cannot be
/// made.
FILE* memoryFile(const uint8_t* data, size_t size);

/// Aborts with the message when the property does not hold.
void require(bool holds, const char* property);

/// Sends standard output to /dev/null: the code under test prints its trace
/// there, which only slows a fuzz run down.
void silenceStandardOutput();
