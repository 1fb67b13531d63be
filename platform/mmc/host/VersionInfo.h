// The console's version-information object, registered for the process so
// that a snap-in's CoCreateInstance finds it, as it finds the real one.
#pragma once

#include "platform/mmc/SnapIn.h"

namespace kv::mmc {

// A class factory (one reference, the caller's) making objects that report
// the given version.
IClassFactory* CreateVersionInfoFactory(long major, long minor);

}  // namespace kv::mmc
