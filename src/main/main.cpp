// dulmar: the run against the ODBC database, printing to standard output.

#include <cstdio>

#include "db/database.h"
#include "main/run.h"

int main(int argc, char** argv) {
  Database database;
  return runDulmar(argc, argv, database, stdout);
}
