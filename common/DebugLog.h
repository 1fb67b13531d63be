// The leveled debug log: one line per message, appended to the deliverable's
// log file in LOGDIR while DEBUG is non-zero. The file is opened and closed
// for every line.
#pragma once

#include <string>
#include <utility>
#include <vector>

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

// Lines a piece of work wrote on another thread, kept to be written later in
// the place the work takes in the log (a file fingerprinted ahead of the
// walk logs where the walk reaches the file).
using DebugLogLines = std::vector<std::pair<unsigned, std::string>>;

// While one lives, the lines the current thread writes go to lines instead
// of the file (only those the log would take).
class DebugLogCapture {
public:
    explicit DebugLogCapture(DebugLogLines& lines);
    ~DebugLogCapture();
    DebugLogCapture(const DebugLogCapture&) = delete;
    DebugLogCapture& operator=(const DebugLogCapture&) = delete;

private:
    DebugLogLines* m_previous;
};

// Writes the captured lines, in order, as if they were written now.
void WriteDebugLogLines(const DebugLogLines& lines);
