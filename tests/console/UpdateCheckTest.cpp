#include <gtest/gtest.h>

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "console/report/UpdateCheck.h"
#include "platform/library/Library.h"
#include "platform/registry/Registry.h"
#include "platform/ui/WinUser.h"
#include "platform/vireo/Vireo.h"
#include "platform/win/LastError.h"
#include "tests/console/ConsoleFixture.h"

namespace kvtest {

// A web server on 127.0.0.1 that publishes the update document.
class UpdateServer {
public:
    UpdateServer() {
        m_server.Get("/latest.txt", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(document, "text/plain");
        });
        m_server.Get("/huge.txt", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(200 * 1024, '#'), "text/plain");
        });
        port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~UpdateServer() {
        m_server.stop();
        m_thread.join();
    }
    std::string Address(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }

    std::string document;
    int port = 0;

private:
    httplib::Server m_server;
    std::thread m_thread;
};

// A port on 127.0.0.1 that takes connections into its queue and never
// answers: a server that has stopped responding.
class SilentServer {
public:
    SilentServer() {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_socket, 4);
        socklen_t size = sizeof address;
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(m_socket); }
    int port = 0;

private:
    int m_socket = -1;
};

// A port nobody listens on: bound, then let go.
inline int RefusingPort() {
    SilentServer gone;
    return gone.port;
}

inline void SetUpdateValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, VIREO_SETTINGS_KEY, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

inline void SetUpdateAddress(const std::string& address) {
    SetUpdateValue("Address", REG_SZ, address.c_str(), static_cast<DWORD>(address.size() + 1));
}

inline void SetUpdateTimeOut(DWORD seconds) { SetUpdateValue("TimeOut", REG_DWORD, &seconds, sizeof seconds); }

}  // namespace kvtest

namespace {

struct CheckOutcome {
    LONG status;
    LONG latest;
    LONG detail;
};

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override {
        library = LoadLibraryA(kvtest::BinPath("Vireo.dll").c_str());
        ASSERT_NE(library, nullptr);
        check = reinterpret_cast<VIREO_CHECK_PROC>(GetProcAddress(library, MAKEINTRESOURCE(VIREO_ORDINAL_CHECK)));
        ASSERT_NE(check, nullptr);
    }
    CheckOutcome Check(const char* product = "SVNTSL", LONG version = 1) {
        CheckOutcome out{0, -1, -1};
        out.status = check(version, product, &out.latest, &out.detail);
        return out;
    }

    kvtest::ConsoleFixture f;
    HMODULE library = nullptr;
    VIREO_CHECK_PROC check = nullptr;
};

TEST_F(UpdateCheck, TheLibraryExportsItsCheckByOrdinalOnly) {
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCE(101)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(library, "CheckLatestBuild"), nullptr);
}

TEST_F(UpdateCheck, TheInstallationLeavesNoAddress) {
    CheckOutcome out = Check();
    EXPECT_EQ(out.status, VIREO_NO_ADDRESS);
    EXPECT_EQ(out.latest, -1);
    EXPECT_EQ(out.detail, -1);
}

TEST_F(UpdateCheck, TheDocumentNamesTheLatestBuildOfEachProduct) {
    kvtest::UpdateServer server;
    server.document = "# latest builds\r\nOTHER=99\r\n\r\nSVNTSL=57\r\n";
    kvtest::SetUpdateAddress("  " + server.Address("/latest.txt") + " ");
    CheckOutcome out = Check();
    EXPECT_EQ(out.status, VIREO_FOUND);
    EXPECT_EQ(out.latest, 57);

    EXPECT_EQ(Check("NOSUCH").status, VIREO_BAD_ANSWER);
    server.document = "SVNTSL=twelve\n";
    EXPECT_EQ(Check().status, VIREO_BAD_ANSWER);
    server.document = "SVNTSL=99999999999\n";
    EXPECT_EQ(Check().status, VIREO_BAD_ANSWER);
    server.document = "<html>maintenance</html>";
    EXPECT_EQ(Check().status, VIREO_BAD_ANSWER);
}

TEST_F(UpdateCheck, FailuresOfTheServerAndTheWayThereHaveTheirStatus) {
    kvtest::UpdateServer server;
    kvtest::SetUpdateAddress(server.Address("/missing.txt"));
    CheckOutcome out = Check();
    EXPECT_EQ(out.status, VIREO_BAD_ANSWER);
    EXPECT_EQ(out.latest, -1);

    kvtest::SetUpdateAddress(server.Address("/huge.txt"));
    EXPECT_EQ(Check().status, VIREO_INCOMPLETE);

    kvtest::SetUpdateAddress("http://127.0.0.1:" + std::to_string(kvtest::RefusingPort()) + "/latest.txt");
    out = Check();
    EXPECT_EQ(out.status, VIREO_INTERNET_ERROR);
    EXPECT_EQ(out.detail, 12029);
    EXPECT_EQ(out.latest, -1);

    // Only the web: an address may not make the check read a local file.
    kvtest::SetUpdateAddress("file:///etc/passwd");
    out = Check();
    EXPECT_EQ(out.status, VIREO_INTERNET_ERROR);
    EXPECT_EQ(out.detail, 12006);
}

TEST_F(UpdateCheck, ASilentServerEndsInATimeOut) {
    kvtest::SilentServer silent;
    kvtest::SetUpdateAddress("http://127.0.0.1:" + std::to_string(silent.port) + "/latest.txt");
    kvtest::SetUpdateTimeOut(1);
    CheckOutcome out = Check();
    EXPECT_EQ(out.status, VIREO_INTERNET_ERROR);
    EXPECT_EQ(out.detail, 12002);
}

TEST_F(UpdateCheck, ACallOfAnotherInterfaceOrWithoutOutValuesIsRefused) {
    LONG latest = -1;
    LONG detail = -1;
    EXPECT_EQ(check(2, "SVNTSL", &latest, &detail), VIREO_BAD_CALL);
    EXPECT_EQ(check(1, nullptr, &latest, &detail), VIREO_BAD_CALL);
    EXPECT_EQ(check(1, "SVNTSL", nullptr, &detail), VIREO_BAD_CALL);
    EXPECT_EQ(check(1, "SVN=TSL", &latest, &detail), VIREO_BAD_CALL);
}

TEST(UpdateStatusText, TheLatestBuildDecidesAndDetailsFillTheirTexts) {
    kvtest::ConsoleFixture f;
    auto describe = [](LONG status, LONG latest, LONG detail, DWORD installed) {
        return DescribeUpdateStatus(UpdateCheckResult{status, latest, detail}, installed);
    };
    EXPECT_EQ(describe(0, 5, -1, 5).text, "You have the latest version of the program.");
    EXPECT_EQ(describe(0, 5, -1, 9).text, "You have the latest version of the program.");
    // Builds compare without sign: an installed build past 2^31 is newer, not older.
    EXPECT_EQ(describe(0, 5, -1, 0x80000000u).text, "You have the latest version of the program.");
    UpdateStatusMessage m = describe(0, 7, -1, 5);
    EXPECT_EQ(m.text, "A newer version is available: build 7. You can download it from the product web site.");
    EXPECT_EQ(m.icon, static_cast<UINT>(MB_ICONINFORMATION));
    m = describe(-3, -1, 12029, 5);
    EXPECT_EQ(m.text, "The update server could not be reached: The attempt to connect to the server failed.");
    EXPECT_EQ(m.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(describe(-3, -1, 12999, 5).text, "The update server could not be reached (Internet error 12999).");
    EXPECT_EQ(describe(-5, -1, -1, 5).icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(describe(-77, -1, -1, 5).text, "The update check failed.");
    EXPECT_EQ(describe(-77, -1, -1, 5).icon, static_cast<UINT>(MB_ICONERROR));
}

}  // namespace
