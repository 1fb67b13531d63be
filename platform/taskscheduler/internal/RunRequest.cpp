#include "platform/taskscheduler/internal/RunRequest.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "platform/service/Service.h"
#include "platform/taskscheduler/TaskScheduler.h"
#include "platform/taskscheduler/WorkItemFile.h"

namespace kv::platform::taskscheduler {

const char* const kSchedulerServiceName = "Schedule";

namespace {
const char* const kRequestExtension = ".run";
}

bool SchedulerServiceRunning() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return false;
    SC_HANDLE service = OpenServiceA(manager, kSchedulerServiceName, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    // A service still starting takes the request at its first look.
    bool running = service != nullptr && QueryServiceStatus(service, &status) &&
                   (status.dwCurrentState == SERVICE_RUNNING || status.dwCurrentState == SERVICE_START_PENDING);
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return running;
}

HRESULT RequestRun(const std::string& name) {
    if (!ValidWorkItemName(name)) return KV_E_INVALID_NAME;
    if (!SchedulerServiceRunning()) return SCHED_E_SERVICE_NOT_RUNNING;
    if (!EnsureTasksFolder()) return KV_E_FILE_NOT_FOUND;
    int fd = ::open((TasksFolder() + "/" + name + kRequestExtension).c_str(),
                    O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return KV_E_ACCESS_DENIED;
    ::close(fd);
    return S_OK;
}

std::vector<std::string> TakeRunRequests() {
    std::vector<std::string> names;
    std::string folder = TasksFolder();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (struct dirent* entry = ::readdir(dir)) {
        std::string file = entry->d_name;
        if (file.size() <= 4 || file[0] == '.' || file.compare(file.size() - 4, 4, kRequestExtension) != 0) continue;
        if (::unlink((folder + "/" + file).c_str()) == 0) names.push_back(file.substr(0, file.size() - 4));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kv::platform::taskscheduler
