// The service's run: service main, the control handler and the poll loop
// that runs one check per request.
#pragma once

#include "platform/win/WinTypes.h"

// Registered with the dispatcher; runs on the service thread.
void ServiceMain(DWORD argc, LPSTR* argv);
// Runs on the dispatcher thread.
void ServiceHandler(DWORD control);

// Loads the engine and, when the process runs as a started service, polls
// for check requests until it is stopped; then unloads the engine. Started
// from a command line it only loads and frees the engine.
void RunService();
