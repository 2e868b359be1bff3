#pragma once
// The ODBC API (unixODBC, or the system's odbc32 on Windows), with the system types that its
// headers need on Windows included first.

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>
