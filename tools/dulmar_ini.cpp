// dulmar-ini: writes and checks the enciphered values of dulmar's settings
// file. All of it lives in ini_command.cpp; here is only the process.

#include <cstdio>

#include "ini_command.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // A value read from standard input keeps its bytes: no CR LF translation
  // and no end of input at a byte 0x1A.
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  return runIniCommand(argc, argv, stdin, stdout, stderr);
}
