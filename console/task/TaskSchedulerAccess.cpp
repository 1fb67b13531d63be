#include "console/task/TaskSchedulerAccess.h"

#include <mutex>

#include "platform/com/Activation.h"
#include "platform/taskscheduler/TaskSchedulerClass.h"

ITaskScheduler* OpenTaskScheduler() {
    // The system registers the scheduler's class before any program runs;
    // here the first caller in the process does it.
    static std::once_flag registered;
    std::call_once(registered, [] {
        DWORD cookie = 0;
        CoRegisterClassObject(CLSID_CTaskScheduler, TaskSchedulerClassObject(), CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &cookie);
    });
    void* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler, &object)))
        return nullptr;
    return static_cast<ITaskScheduler*>(object);
}
