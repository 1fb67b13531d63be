#include "agent/ServiceControlRequests.h"

#include "agent/MessageTexts.h"
#include "agent/ServiceModule.h"
#include "platform/com/ComInit.h"
#include "platform/service/Service.h"

namespace {

const UINT kTextNoManager = 10009;
const UINT kTextNoService = 10010;
const UINT kTextNotStarted = 10011;
const UINT kTextNotStopped = 10014;

enum class Request { Start, Stop };

// Texts of these requests that cannot be loaded show no box at all.
void Send(Request request, const InstallOptions& options) {
    if (FAILED(CoInitialize(nullptr))) return;
    UINT failure = 0;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        failure = kTextNoManager;
    } else {
        SC_HANDLE service = OpenServiceA(manager, g_ServiceModule.ServiceName(), SERVICE_ALL_ACCESS);
        if (service == nullptr) {
            failure = kTextNoService;
        } else if (request == Request::Stop) {
            SERVICE_STATUS status = {};
            if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) failure = kTextNotStopped;
        } else if (!StartServiceA(service, 0, nullptr)) {
            failure = kTextNotStarted;
        }
        if (service != nullptr) CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }
    if (failure != 0 && !options.noMessages) ShowTextIfLoaded(failure, MB_ICONEXCLAMATION);
    CoUninitialize();
}

}  // namespace

void RequestServiceStop(const InstallOptions& options) { Send(Request::Stop, options); }

void RequestServiceStart(const InstallOptions& options) { Send(Request::Start, options); }
