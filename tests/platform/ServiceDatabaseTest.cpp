// The service database: create, open, configuration, deletion and the
// errors of each, without running a service.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/library/Library.h"
#include "platform/service/Service.h"
#include "platform/service/internal/ServiceDatabase.h"
#include "platform/service/internal/ServiceProcess.h"
#include "platform/service/internal/SystemdUnit.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
namespace svc = kv::platform::service;

struct Manager {
    SC_HANDLE handle = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ~Manager() {
        if (handle != nullptr) CloseServiceHandle(handle);
    }
};

SC_HANDLE Create(SC_HANDLE manager, const char* name, const char* display = nullptr,
                 const char* account = nullptr, const char* password = nullptr, const char* depends = nullptr) {
    return CreateServiceA(manager, name, display, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                          SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "\"C:\\Tsl3\\KvAgent.exe\" -startservice",
                          nullptr, nullptr, depends, account, password);
}

DWORD LastError() { return GetLastError(); }

TEST(ServiceDatabase, CreateOpenAndTheirErrors) {
    kvtest::TestRoot root;
    Manager scm;
    ASSERT_NE(scm.handle, nullptr);
    SC_HANDLE service = Create(scm.handle, "Kv Test Service", "Kv Test Display");
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_FALSE(CloseServiceHandle(service));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    // Names are found without regard to case, and kept as created.
    EXPECT_EQ(Create(scm.handle, "KV TEST SERVICE"), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(Create(scm.handle, "Other", "kv test display"), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_DUPLICATE_SERVICE_NAME));
    EXPECT_EQ(Create(scm.handle, "Other", "Kv Test Service"), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_DUPLICATE_SERVICE_NAME));
    EXPECT_TRUE(fs::exists(root.Path() + "/services/Kv Test Service/config"));

    SC_HANDLE opened = OpenServiceA(scm.handle, "kv test SERVICE", SERVICE_QUERY_STATUS);
    ASSERT_NE(opened, nullptr);
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(opened, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(status.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
    // The handle carries only the access it was opened with.
    EXPECT_FALSE(DeleteService(opened));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ControlService(opened, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // A manager handle is not a service handle.
    EXPECT_FALSE(QueryServiceStatus(scm.handle, &status));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseServiceHandle(opened);

    EXPECT_EQ(OpenServiceA(scm.handle, "No Such Service", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(OpenServiceA(nullptr, "Kv Test Service", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    SC_HANDLE readOnly = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(Create(readOnly, "Another"), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseServiceHandle(readOnly);
    EXPECT_EQ(OpenSCManagerA("\\\\ELSEWHERE-HOST", nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(OpenSCManagerA(nullptr, "OtherDatabase", SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_DATABASE_DOES_NOT_EXIST));
}

TEST(ServiceDatabase, CreationRefusesBadParameters) {
    kvtest::TestRoot root;
    Manager scm;
    for (const char* bad : {"", "a/b", "a\\b", ".hidden"}) {
        EXPECT_EQ(Create(scm.handle, bad), nullptr) << bad;
        EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << bad;
    }
    EXPECT_EQ(Create(scm.handle, std::string(256, 'x').c_str()), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_NAME));

    auto createWith = [&](DWORD type, DWORD start, DWORD error, const char* path, LPDWORD tag) {
        return CreateServiceA(scm.handle, "P", nullptr, SERVICE_ALL_ACCESS, type, start, error, path, nullptr, tag,
                              nullptr, nullptr, nullptr);
    };
    DWORD tag = 0;
    EXPECT_EQ(createWith(SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, 1, "x", nullptr), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(createWith(SERVICE_WIN32_OWN_PROCESS, SERVICE_BOOT_START, 1, "x", nullptr), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(createWith(SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, 7, "x", nullptr), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(createWith(SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, 1, "", nullptr), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(createWith(SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, 1, "x", &tag), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    for (const char* account : {"Bad|Name", "DOMAIN\\", "\\user", "user@", "a:b"}) {
        EXPECT_EQ(Create(scm.handle, "Q", nullptr, account, "pw"), nullptr) << account;
        EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_ACCOUNT)) << account;
    }

    SC_HANDLE a = Create(scm.handle, "A", nullptr, nullptr, nullptr, "B\0\0");
    ASSERT_NE(a, nullptr);
    SC_HANDLE b = Create(scm.handle, "B", nullptr, nullptr, nullptr, "C\0A\0\0");
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_CIRCULAR_DEPENDENCY));
    EXPECT_EQ(Create(scm.handle, "Self", nullptr, nullptr, nullptr, "self\0\0"), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_CIRCULAR_DEPENDENCY));
    CloseServiceHandle(a);
    // Nothing of a refused creation is left behind.
    EXPECT_EQ(svc::ListServiceFolders().size(), 1u);
}

TEST(ServiceDatabase, ConfigurationKeepsAccountCaseDescriptionAndPassword) {
    kvtest::TestRoot root;
    Manager scm;
    SC_HANDLE service = Create(scm.handle, "Agent", "Agent Display", ".\\MixedCase_User", "Se=cret pass");
    ASSERT_NE(service, nullptr);
    char text[] = "Checks the file integrity.\nSecond line \\ with a backslash.";
    SERVICE_DESCRIPTIONA description{text};
    // Looked up at run time, as programs that also run where it is missing do.
    typedef BOOL (*ChangeConfig2)(SC_HANDLE, DWORD, LPVOID);
    HMODULE advapi = LoadLibraryA("ADVAPI32.DLL");
    ASSERT_NE(advapi, nullptr);
    auto change = reinterpret_cast<ChangeConfig2>(GetProcAddress(advapi, "ChangeServiceConfig2A"));
    ASSERT_NE(change, nullptr);
    ASSERT_TRUE(change(service, SERVICE_CONFIG_DESCRIPTION, &description));
    EXPECT_FALSE(ChangeServiceConfig2A(service, 2, &description));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    CloseServiceHandle(service);

    service = OpenServiceA(scm.handle, "AGENT", SERVICE_QUERY_CONFIG);
    ASSERT_NE(service, nullptr);
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(service, nullptr, 0, &needed));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<unsigned char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfigA(service, config, needed, &needed));
    EXPECT_STREQ(config->lpServiceStartName, ".\\MixedCase_User");
    EXPECT_STREQ(config->lpDisplayName, "Agent Display");
    EXPECT_STREQ(config->lpBinaryPathName, "\"C:\\Tsl3\\KvAgent.exe\" -startservice");
    EXPECT_EQ(config->dwStartType, SERVICE_DEMAND_START);
    EXPECT_EQ(config->dwErrorControl, SERVICE_ERROR_NORMAL);
    EXPECT_STREQ(config->lpDependencies, "");

    QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    std::vector<unsigned char> descriptionBuffer(needed);
    ASSERT_TRUE(QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, descriptionBuffer.data(), needed, &needed));
    EXPECT_STREQ(reinterpret_cast<SERVICE_DESCRIPTIONA*>(descriptionBuffer.data())->lpDescription, text);
    CloseServiceHandle(service);

    std::string folder = root.Path() + "/services/Agent";
    struct stat info;
    ASSERT_EQ(::stat((folder + "/password").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(kvtest::ReadTextFile(folder + "/password"), "Se=cret pass");
    EXPECT_EQ(kvtest::ReadTextFile(folder + "/config").find("Se=cret"), std::string::npos);

    // Without an account the service runs as LocalSystem and keeps no password.
    SC_HANDLE system = Create(scm.handle, "SystemOne", nullptr, nullptr, "ignored");
    ASSERT_NE(system, nullptr);
    CloseServiceHandle(system);
    EXPECT_FALSE(fs::exists(root.Path() + "/services/SystemOne/password"));
    svc::ServiceConfig stored;
    ASSERT_TRUE(svc::ReadConfig(root.Path() + "/services/SystemOne", stored));
    EXPECT_EQ(stored.account, "LocalSystem");
}

TEST(ServiceDatabase, DeletingAStoppedServiceRemovesItAtOnce) {
    kvtest::TestRoot root;
    Manager scm;
    SC_HANDLE service = Create(scm.handle, "Gone Soon");
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(DeleteService(service));
    EXPECT_EQ(OpenServiceA(scm.handle, "Gone Soon", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    // The old handle reads as stopped and cannot start a service made anew.
    SERVICE_STATUS status{};
    EXPECT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    SC_HANDLE again = Create(scm.handle, "Gone Soon");
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    CloseServiceHandle(again);
    CloseServiceHandle(service);
}

TEST(ServiceDatabase, DeniedAccessRefusesTheOpenButNotTheExistenceCheck) {
    kvtest::TestRoot root;
    Manager scm;
    SC_HANDLE service = Create(scm.handle, "Guarded");
    ASSERT_NE(service, nullptr);
    CloseServiceHandle(service);
    ASSERT_TRUE(svc::SetServiceDeniedAccess("guarded", SERVICE_QUERY_CONFIG));
    EXPECT_EQ(OpenServiceA(scm.handle, "Guarded", SERVICE_QUERY_CONFIG), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE status = OpenServiceA(scm.handle, "Guarded", SERVICE_QUERY_STATUS);
    EXPECT_NE(status, nullptr);
    CloseServiceHandle(status);
    EXPECT_EQ(Create(scm.handle, "Guarded"), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
}

TEST(ServiceDatabase, BinaryPathNamesTheProgramAndItsArguments) {
    kvtest::TestRoot root;
    std::string folder = root.DriveC() + "/Program Files/Kv";
    fs::create_directories(folder);
    kvtest::WriteTextFile(folder + "/KvAgent", "");
    svc::CommandLine line;
    ASSERT_TRUE(svc::ParseBinaryPath("\"C:\\Program Files\\Kv\\KvAgent.exe\" -startservice", line));
    EXPECT_EQ(line.program, folder + "/KvAgent");
    ASSERT_EQ(line.arguments.size(), 1u);
    EXPECT_EQ(line.arguments[0], "-startservice");

    // Unquoted, the blank-separated prefix that names a file is the program.
    ASSERT_TRUE(svc::ParseBinaryPath("C:\\Program Files\\Kv\\KvAgent.exe /a \"b c\" d\\\"e", line));
    EXPECT_EQ(line.program, folder + "/KvAgent");
    ASSERT_EQ(line.arguments.size(), 3u);
    EXPECT_EQ(line.arguments[1], "b c");
    EXPECT_EQ(line.arguments[2], "d\"e");

    ASSERT_TRUE(svc::ParseBinaryPath("/usr/bin/env -i", line));
    EXPECT_EQ(line.program, "/usr/bin/env");
    EXPECT_FALSE(svc::ParseBinaryPath("   ", line));
}

TEST(ServiceDatabase, UnitsAreForTheMachineDatabaseOnly) {
    kvtest::TestRoot root;
    // A temporary root never gets units, whatever the host.
    ::unsetenv("KESTRAVA_SCM_SYSTEMD");
    EXPECT_FALSE(svc::UnitsWanted());

    svc::ServiceConfig config;
    config.name = "Kestrava Selvane Tessellon 3 agent service";
    config.displayName = config.name;
    config.binaryPath = "\"/opt/kv/KvAgent\" -startservice";
    config.startType = SERVICE_AUTO_START;
    std::string units = root.Path() + "/units";
    fs::create_directories(units);
    ASSERT_TRUE(svc::WriteUnit(units, config, "/var/lib/kestrava", "/opt/kv/kvsc"));
    std::string unit = svc::UnitName(config.name);
    EXPECT_EQ(unit, "kestrava-kestrava-selvane-tessellon-3-agent-service.service");
    std::string text = kvtest::ReadTextFile(units + "/" + unit);
    EXPECT_NE(text.find("ExecStart=/opt/kv/KvAgent -startservice\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ExecStop=/opt/kv/kvsc stop --wait \"Kestrava Selvane Tessellon 3 agent service\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Environment=KESTRAVA_ROOT=/var/lib/kestrava\n"), std::string::npos) << text;
    EXPECT_TRUE(fs::is_symlink(units + "/multi-user.target.wants/" + unit));
    svc::RemoveUnit(units, config.name);
    EXPECT_FALSE(fs::exists(units + "/" + unit));
    EXPECT_FALSE(fs::is_symlink(units + "/multi-user.target.wants/" + unit));
}

}  // namespace
