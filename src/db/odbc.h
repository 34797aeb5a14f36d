#pragma once
// The ODBC interface as the platform provides it: Windows needs its own
// header first for the types the ODBC headers use.
#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
