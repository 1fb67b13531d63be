// "Run now" for a work item: a request file tasks/<name>.run that the
// scheduler service takes, so that the run is the service's own, recorded in
// the work item like a scheduled one.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace kv::platform::taskscheduler {

// The name of the scheduler service in the service manager.
extern const char* const kSchedulerServiceName;

// S_OK when the request is made; SCHED_E_SERVICE_NOT_RUNNING when no
// scheduler runs (or is starting) to take it.
HRESULT RequestRun(const std::string& name);
bool SchedulerServiceRunning();

// The service's side: the names of the requests, each removed as it is
// taken.
std::vector<std::string> TakeRunRequests();

}  // namespace kv::platform::taskscheduler
