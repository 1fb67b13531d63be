#include "agent/ServiceInstall.h"

#include <cstring>
#include <string>

#include "agent/AppRegistration.h"
#include "agent/MessageTexts.h"
#include "agent/ServiceModule.h"
#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "platform/com/ComInit.h"
#include "platform/library/Library.h"
#include "platform/registry/Registry.h"
#include "platform/service/Service.h"
#include "platform/system/SystemInfo.h"
#include "platform/text/CodePage.h"
#include "platform/win/LastError.h"
#include "strings/CodeMap.h"

namespace {

const UINT kTextNotInstalled = 10003;
const UINT kTextInstalled = 10005;
const UINT kTextRemoveNoManager = 10021;
const UINT kTextRemoveNoService = 10022;
const UINT kTextRemoveNotDeleted = 10023;

// A running service is deleted only once it has stopped; until then it
// would still count as installed and block its own re-creation.
const DWORD kStopWaitMs = 30000;
const DWORD kStopPollMs = 50;

typedef BOOL (*ChangeServiceConfig2AProc)(SC_HANDLE service, DWORD infoLevel, LPVOID info);

void StoreOutcome(HKEY settings, DWORD code, const char* message) {
    RegSetValueExA(settings, "LastErrorMessage", 0, REG_SZ, reinterpret_cast<const BYTE*>(message),
                   static_cast<DWORD>(std::strlen(message) + 1));
    RegSetValueExA(settings, "LastErrorCode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&code), sizeof code);
}

// The description exists from Windows 2000 on; its call is looked up at run
// time so that the program still starts on NT 4.0.
void SetDescription(SC_HANDLE service) {
    HMODULE advapi = LoadLibraryA("ADVAPI32.DLL");
    if (advapi == nullptr) return;
    auto change = reinterpret_cast<ChangeServiceConfig2AProc>(GetProcAddress(advapi, "ChangeServiceConfig2A"));
    if (change != nullptr) {
        std::string text = ProductText(PSC_SERVICE_DESCRIPTION);
        SERVICE_DESCRIPTIONA description = {text.data()};
        change(service, SERVICE_CONFIG_DESCRIPTION, &description);
    }
    FreeLibrary(advapi);
}

void WaitUntilStopped(SC_HANDLE manager) {
    SC_HANDLE service = OpenServiceA(manager, g_ServiceModule.ServiceName(), SERVICE_QUERY_STATUS);
    if (service == nullptr) return;
    for (DWORD waited = 0; waited < kStopWaitMs; waited += kStopPollMs) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED) break;
        Sleep(kStopPollMs);
    }
    CloseServiceHandle(service);
}

// Creates the service; false when the manager refused.
bool CreateAgentService(const InstallOptions& options) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        WriteDebugLog(1, "Couldn't open service manager");
        return false;
    }
    char fileName[MAX_PATH * 3] = {};
    GetModuleFileNameA(nullptr, fileName, sizeof fileName);
    std::string binaryPath = std::string("\"") + fileName + "\" -startservice";
    bool withAccount = options.account[0] != '\0' || options.password[0] != '\0';
    const char* name = g_ServiceModule.ServiceName();
    SC_HANDLE service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr,
                                       nullptr, "\0", withAccount ? options.account : nullptr,
                                       withAccount ? options.password : nullptr);
    DWORD error = service == nullptr ? GetLastError() : ERROR_SUCCESS;

    HKEY settings = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_szSettingsKey, 0, KEY_ALL_ACCESS, &settings) != ERROR_SUCCESS)
        settings = nullptr;

    if (service == nullptr) {
        CloseServiceHandle(manager);
        UINT id = CreateErrorTextId(error);
        char* text = LoadModuleString(id);
        if (settings != nullptr) {
            StoreOutcome(settings, id - 10000, text != nullptr ? text : "");
            RegCloseKey(settings);
        }
        if (!options.noMessages) ShowLoadedText(text, MB_OK);
        if (text != nullptr) CoTaskMemFree(text);
        return false;
    }
    if (settings != nullptr) {
        StoreOutcome(settings, 0, "Success");
        RegCloseKey(settings);
    }
    if (g_bWindowsFamily == 2) SetDescription(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return true;
}

}  // namespace

UINT CreateErrorTextId(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED: return 10001;
        case ERROR_CIRCULAR_DEPENDENCY: return 10002;
        case ERROR_DUPLICATE_SERVICE_NAME: return 10004;
        case ERROR_INVALID_HANDLE: return 10008;
        case ERROR_INVALID_NAME: return 10016;
        case ERROR_INVALID_PARAMETER: return 10032;
        case ERROR_INVALID_SERVICE_ACCOUNT: return 10064;
        case ERROR_SERVICE_EXISTS: return 10128;
        default: return 10256;
    }
}

bool IsInstalled() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) return false;
    SC_HANDLE service = OpenServiceA(manager, g_ServiceModule.ServiceName(), SERVICE_QUERY_CONFIG);
    bool installed = service != nullptr;
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return installed;
}

void RemoveService() {
    if (!IsInstalled()) return;
    UINT failure = 0;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        failure = kTextRemoveNoManager;
    } else {
        SC_HANDLE service = OpenServiceA(manager, g_ServiceModule.ServiceName(), SERVICE_STOP | DELETE);
        if (service == nullptr) {
            failure = kTextRemoveNoService;
        } else {
            SERVICE_STATUS status = {};
            if (ControlService(service, SERVICE_CONTROL_STOP, &status)) WaitUntilStopped(manager);
            if (!DeleteService(service)) failure = kTextRemoveNotDeleted;
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    if (failure != 0) ShowText(failure, MB_OK);
}

int InstallService(const InstallOptions& options) {
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) return hr;
    RemoveService();
    if (RegisterAppId() != ERROR_SUCCESS)
        WriteDebugLog(1, "Could not register the application identifier");
    bool installed = IsInstalled() || CreateAgentService(options);
    CoUninitialize();
    return installed ? 0 : 1;
}

int UnregisterService() {
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) return hr;
    UnregisterAppId();
    RemoveService();
    CoUninitialize();
    return 0;
}

int ShowNotice(const InstallOptions& options) {
    UINT id = IsInstalled() ? kTextInstalled : kTextNotInstalled;
    if (!options.noMessages) ShowText(id, MB_ICONEXCLAMATION);
    return 0;
}
