// The console's way to the Task Scheduler: CoCreateInstance of its class.
#pragma once

#include "platform/taskscheduler/TaskScheduler.h"

// A new reference to the scheduler, or null when it cannot be created.
ITaskScheduler* OpenTaskScheduler();
