// The processes of services: the binary path as a program and its
// arguments, a detached start, and whether a recorded process still runs.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace kv::platform::service {

struct CommandLine {
    std::string program;  // POSIX path
    std::vector<std::string> arguments;
};

// Splits a binary path the way CreateProcess reads a command line: a quoted
// program, or the first blank-separated prefix that names a file; the
// program in Windows form goes through the drive map, and "X.exe" runs the
// program X when there is no file "X.exe". False when no program is named.
bool ParseBinaryPath(const std::string& binaryPath, CommandLine& line);

// Process start time in clock ticks after boot, 0 when the process does not
// exist or is a zombie.
unsigned long long ProcessStartTime(pid_t pid);

struct LaunchRequest {
    CommandLine line;
    std::vector<std::string> extraEnvironment;  // "NAME=value", replacing inherited ones
    std::string logPath;                        // standard output and error, appended
};

// Called in the parent with the new process's id before it runs the program;
// returning false cancels the start.
typedef bool (*LaunchGate)(pid_t pid, unsigned long long startTime, void* context);

// Starts the program detached (own session, reparented away from the caller,
// standard input /dev/null). Returns ERROR_SUCCESS, or the Windows error for
// a program that cannot be run; pid receives the process id.
DWORD LaunchDetached(const LaunchRequest& request, LaunchGate gate, void* context, pid_t& pid);

}  // namespace kv::platform::service
