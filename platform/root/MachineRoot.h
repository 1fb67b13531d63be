// The one folder that holds all machine-wide state (registry, services, event
// log, drive map, data sources). Read at every call so that a process can be
// pointed at another root by its environment alone.
#pragma once

#include <string>

namespace kv::platform {

// $KESTRAVA_ROOT, or /var/lib/kestrava when it is unset or empty.
std::string MachineRoot();

}  // namespace kv::platform
