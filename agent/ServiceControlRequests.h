// Start and stop requests typed at a command line: the program asks the
// service control manager to start or stop the installed service.
#pragma once

#include "agent/CommandLine.h"

// "-stopservice".
void RequestServiceStop(const InstallOptions& options);
// The start request of "-startservice" when the program did not run as the
// service.
void RequestServiceStart(const InstallOptions& options);
