// The ODBC API (unixODBC's headers) on top of the system's own Windows base
// types, as a Windows program includes sql.h after windows.h.
#pragma once

#include "platform/win/WinTypes.h"

#ifndef ALREADY_HAVE_WINDOWS_TYPE
#define ALREADY_HAVE_WINDOWS_TYPE 1
#define FAR
#define CALLBACK
#define SQL_API
typedef char TCHAR;
typedef TCHAR* LPTSTR;
typedef unsigned char UCHAR;
typedef signed char SCHAR;
typedef SCHAR SQLSCHAR;
typedef int SDWORD;
typedef unsigned int UDWORD;
typedef signed short int SWORD;
typedef unsigned short int UWORD;
typedef signed long SLONG;
typedef signed short SSHORT;
typedef unsigned short USHORT;
typedef double SDOUBLE;
typedef double LDOUBLE;
typedef float SFLOAT;
typedef void* PTR;
typedef signed short RETCODE;
typedef void* SQLHWND;
#endif

#include <sql.h>
#include <sqlext.h>
