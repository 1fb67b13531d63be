// The one folder that holds all machine-wide state (registry, services, event
// log, drive map, data sources). Read at every call so that a process can be
// pointed at another root by its environment alone.
#pragma once

#include <string>

namespace kv::platform {

// $KESTRAVA_ROOT, or /var/lib/kestrava when it is unset or empty.
std::string MachineRoot();

// True when the machine root is an existing folder. Only the installation
// makes a root: a program pointed at a missing one would otherwise scatter
// a half machine (a registry hive, a log folder) wherever the variable says.
bool MachineRootExists();

// For programs started by an operator: true when the root exists; otherwise
// one line on standard error naming the program and the missing folder, and
// false, so that the program ends without creating anything.
bool RequireMachineRoot(const char* program);

}  // namespace kv::platform
