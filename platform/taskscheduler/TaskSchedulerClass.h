// The Task Scheduler as a COM class: what CoCreateInstance(CLSID_CTaskScheduler,
// ..., IID_ITaskScheduler) hands out once the class object is registered in
// the process (the system keeps it registered on Windows; here the process
// that wants it registers it once).
#pragma once

#include "platform/com/Unknown.h"
#include "platform/taskscheduler/TaskScheduler.h"

// {148BD52A-A2AB-11CE-B11F-00AA00530503}
inline constexpr CLSID CLSID_CTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
// {148BD527-A2AB-11CE-B11F-00AA00530503}
inline constexpr IID IID_ITaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};

// The class object: one per process, never destroyed, so holding it keeps
// no module from unloading. Its CreateInstance answers IID_ITaskScheduler
// with a new scheduler (one reference, released through ITaskScheduler).
IClassFactory* TaskSchedulerClassObject();
