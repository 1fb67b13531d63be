// Starting a work item's application: the program in Windows form resolved
// through the drive map (".exe" dropped when only the bare program exists),
// its parameters split as the C runtime splits a command line. The process is
// detached: a session of its own (no controlling terminal), standard input,
// output and error on /dev/null, nothing else inherited, started in the
// working folder (the root folder when none is given).
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include <sys/types.h>

#include <string>

#include "platform/win/WinTypes.h"

namespace kv::platform::taskscheduler {

struct StartedProcess {
    pid_t pid = 0;
    int pidfd = -1;  // readable when the process ends; the caller reaps and closes it
};

// A child of the caller, to be reaped (its exit code is the run's result).
// Returns ERROR_SUCCESS or the Windows error: 2 no such program, 5 not
// executable, 267 no such working folder.
DWORD StartWorkItemProcess(const std::string& application, const std::string& parameters,
                           const std::string& workingDirectory, StartedProcess& process);

// Started and let go: the process is handed to init, so the caller never
// has a child to reap and does not wait for it.
DWORD StartDetachedProcess(const std::string& application, const std::string& parameters,
                           const std::string& workingDirectory);

// Waits for a started process to end; its exit code, 128 + the signal for a
// process killed by one.
DWORD ReapProcess(StartedProcess& process);

}  // namespace kv::platform::taskscheduler
