// KvAgent's command line and installation, run as real processes against
// the service manager of the test's own machine root.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/registry/Registry.h"
#include "platform/service/internal/ServiceDatabase.h"
#include "tests/agent_fixture/AgentHarness.h"

namespace {

using kvtest::AgentInstallation;
using kvtest::ServiceBox;

class AgentInstall : public ::testing::Test {
protected:
    void SetUp() override { root.CreateSettingsKey(); }

    bool HasBox(const AgentInstallation& agent, UINT id) {
        auto boxes = agent.MessageBoxes();
        return std::find(boxes.begin(), boxes.end(), ServiceBox(id)) != boxes.end();
    }

    static std::string ClassesRootValue(const std::string& subKey, const char* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
        char text[256] = {};
        DWORD size = sizeof text - 1;
        LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? std::string(text) : "<no value>";
    }

    kvtest::TestRoot root;
};

TEST_F(AgentInstall, SilentInstallWithAccountKeepsItsCase) {
    AgentInstallation agent(root);
    auto run = agent.Agent({"/service", "/nm", "/u:.\\TessAdmin", "/p:Se/cret"});
    EXPECT_EQ(run.exitCode, 0) << run.err;

    std::string account, binaryPath, description;
    DWORD startType = 0;
    ASSERT_TRUE(agent.ConfigOf(account, binaryPath, startType, description));
    EXPECT_EQ(account, ".\\TessAdmin");
    EXPECT_EQ(binaryPath, "\"" + agent.WindowsProgram() + "\" -startservice");
    EXPECT_EQ(startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(description, "Checks the file integrity.");
    std::string password;
    ASSERT_TRUE(kv::platform::service::ReadPassword(
        kv::platform::service::FindServiceFolder(kvtest::kAgentServiceName), password));
    EXPECT_EQ(password, "Se/cret");

    EXPECT_EQ(root.GetDword("LastErrorCode"), 0u);
    EXPECT_EQ(root.GetString("LastErrorMessage"), "Success");
    EXPECT_TRUE(agent.MessageBoxes().empty());
    EXPECT_EQ(agent.State(), static_cast<DWORD>(SERVICE_STOPPED));

    const std::string appId = "AppID\\{6CB65B50-669D-4607-B515-47FBECD40E6E}";
    EXPECT_EQ(ClassesRootValue(appId, ""), "KvAgent");
    EXPECT_EQ(ClassesRootValue("AppID\\KvAgent.EXE", "AppID"), "{6CB65B50-669D-4607-B515-47FBECD40E6E}");

    auto removed = agent.Agent({"/unregserver"});
    EXPECT_EQ(removed.exitCode, 0);
    EXPECT_FALSE(agent.Installed());
    EXPECT_EQ(ClassesRootValue(appId, ""), "<no key>");
    EXPECT_EQ(ClassesRootValue("AppID\\KvAgent.EXE", "AppID"), "<no key>");
}

TEST_F(AgentInstall, SwitchesAreWholeWordsInAnyCase) {
    AgentInstallation agent(root);
    // Not "/service": the notice of a program that is not installed.
    EXPECT_EQ(agent.Agent({"/services", "/nm"}).exitCode, 0);
    EXPECT_FALSE(agent.Installed());
    EXPECT_TRUE(HasBox(agent, 10003));

    EXPECT_EQ(agent.Agent({"/SERVICE", "/NM"}).exitCode, 0);
    EXPECT_TRUE(agent.Installed());
    EXPECT_EQ(agent.MessageBoxes().size(), 1u);  // "/NM" silenced the installation

    // No switch at all, and a switch run into another word: the notice of an
    // installed program.
    EXPECT_EQ(agent.Agent({}).exitCode, 0);
    EXPECT_EQ(agent.Agent({"/servicex"}).exitCode, 0);
    auto boxes = agent.MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1], ServiceBox(10005));
    EXPECT_EQ(boxes[2], ServiceBox(10005));
}

TEST_F(AgentInstall, RefusedCreationIsStoredAndShown) {
    AgentInstallation agent(root);
    ASSERT_EQ(agent.Agent({"/service", "/nm"}).exitCode, 0);
    // The service exists but cannot be opened for its configuration: the
    // program takes it as not installed and the manager refuses the creation.
    ASSERT_TRUE(kv::platform::service::SetServiceDeniedAccess(kvtest::kAgentServiceName, SERVICE_QUERY_CONFIG));
    auto run = agent.Agent({"/service"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(root.GetDword("LastErrorCode"), 128u);
    EXPECT_EQ(root.GetString("LastErrorMessage"), kvtest::LanguageText(10128));
    EXPECT_TRUE(HasBox(agent, 10128));
}

TEST_F(AgentInstall, ReinstallTakesTheCurrentProgram) {
    AgentInstallation first(root, kvtest::EngineFile::Fake, true, "Old");
    AgentInstallation second(root, kvtest::EngineFile::Fake, true, "New");
    ASSERT_EQ(first.Agent({"/service", "/nm", "/u:.\\Someone", "/p:x"}).exitCode, 0);
    ASSERT_EQ(second.Agent({"/service", "/nm"}).exitCode, 0);
    std::string account, binaryPath, description;
    DWORD startType = 0;
    ASSERT_TRUE(second.ConfigOf(account, binaryPath, startType, description));
    EXPECT_EQ(binaryPath, "\"" + second.WindowsProgram() + "\" -startservice");
    EXPECT_EQ(account, "LocalSystem");
    EXPECT_TRUE(second.MessageBoxes().empty());
}

TEST_F(AgentInstall, OlderWindowsFamilies) {
    AgentInstallation agent(root);
    // NT before 5.0 has no service descriptions.
    agent.AddEnvironment("KESTRAVA_WINVER=4.0");
    ASSERT_EQ(agent.Agent({"/service", "/nm"}).exitCode, 0);
    std::string account, binaryPath, description;
    DWORD startType = 0;
    ASSERT_TRUE(agent.ConfigOf(account, binaryPath, startType, description));
    EXPECT_EQ(description, "");
    EXPECT_EQ(root.GetDword("LastErrorCode"), 0u);

    AgentInstallation other(root, kvtest::EngineFile::Fake, true, "Other");
    other.AddEnvironment("KESTRAVA_WINVER=9x");
    EXPECT_EQ(other.Agent({"/unregserver"}).exitCode, 0);
    EXPECT_TRUE(agent.Installed());  // refused before the command line was looked at
    auto boxes = other.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], ServiceBox(10006));
}

TEST_F(AgentInstall, WithoutLanguageLibraryNothingHappens) {
    std::string logs = root.EnableDebugLog(1);
    AgentInstallation agent(root, kvtest::EngineFile::Fake, false);
    EXPECT_EQ(agent.Agent({"/service", "/nm"}).exitCode, 0);
    EXPECT_FALSE(agent.Installed());
    EXPECT_TRUE(agent.MessageBoxes().empty());
    EXPECT_FALSE(root.HasValue("LastErrorCode"));
    EXPECT_NE(agent.DebugLog().find("The resource module could not be loaded\r\n"), std::string::npos);
}

TEST_F(AgentInstall, RequestsForAServiceThatIsNotInstalled) {
    AgentInstallation agent(root);
    EXPECT_EQ(agent.Agent({"-stopservice"}).exitCode, 0);
    EXPECT_EQ(agent.Agent({"-startservice"}).exitCode, 0);
    auto boxes = agent.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], ServiceBox(10010));
    EXPECT_EQ(boxes[1], ServiceBox(10010));
    // Typed at a command line, "-startservice" loads and frees the engine once.
    auto calls = agent.EngineCalls();
    EXPECT_EQ(calls, std::vector<std::string>{"UnInit"});
}

}  // namespace
