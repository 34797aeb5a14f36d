#pragma once
// The command line of dulmar-testdb-server.

#include <string>
#include <vector>

#include "tds/connection.h"

namespace testdb::tds {

struct ServerOptions {
  ServerConfig config;
  // address to listen on; loopback unless told otherwise
  std::string listen = "127.0.0.1";
  // 0: a free port of the system's choice
  int port = 0;
  // where the chosen port is written once the server listens (empty: nowhere)
  std::string portFile;
  // delay before each answer, as a network round trip would add
  double latencyMs = 0;
  // the link's rate in each direction in Mbit/s: a message takes its size at
  // that rate to arrive (0: no limit)
  double bandwidthMbit = 0;
  // keys accepted for the driver's sake that mean nothing on the wire
  std::vector<std::string> ignoredKeys;
};

/// The usage text.
extern const char kUsage[];

/// Reads the arguments (without the program name). Returns 0, or -1 with a
/// message in error.
int parseOptions(const std::vector<std::string>& args, ServerOptions& out, std::string& error);

}  // namespace testdb::tds
