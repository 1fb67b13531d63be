// The leveled debug log: one line per message, appended to the deliverable's
// log file in LOGDIR while DEBUG is non-zero. The file is opened and closed
// for every line.
#pragma once

#include "platform/win/WinTypes.h"

#define LOG_PATH_CHARS 780

extern DWORD g_dwDebug;       // log switch, copy of DEBUG
extern DWORD g_dwDebugLevel;  // copy of DEBUGLEVEL
extern char g_szLogFile[LOG_PATH_CHARS];

// Appends one line when the switch is on and level is at most the log level;
// never reports a failure.
void WriteDebugLog(unsigned level, const char* message);

// True when a message of this level would be written: lets callers skip
// composing texts nobody reads.
inline bool DebugLogWrites(unsigned level) { return g_dwDebug != 0 && level <= g_dwDebugLevel; }

// printf-style convenience over WriteDebugLog for messages with arguments.
void WriteDebugLogF(unsigned level, const char* format, ...) __attribute__((format(printf, 2, 3)));
