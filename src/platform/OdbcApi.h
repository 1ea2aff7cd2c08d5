#pragma once

// The ODBC API as each platform's driver manager declares it: Windows' headers need the system's
// own types first.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
