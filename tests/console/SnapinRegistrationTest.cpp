#include <gtest/gtest.h>

#include <filesystem>

#include "console/module/ConsoleGuids.h"
#include "platform/com/Activation.h"
#include "tests/fixtures/TestRoot.h"

namespace {

using kvtest::BinPath;
using kvtest::RunProgram;

const std::string kSnapinKey = "HKLM\\SOFTWARE\\Microsoft\\MMC\\SnapIns\\{B103D0C5-3192-4123-BD83-ABDAACA9F990}";

kvtest::ProcessResult Kvreg(const std::vector<std::string>& args) { return RunProgram(BinPath("kvreg"), args); }

TEST(SnapinRegistration, WritesExactlyNameAboutAndStandAlone) {
    kvtest::TestRoot root;
    auto reg = RunProgram(BinPath("kvregsvr32"), {BinPath("OrvConsole.so")});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;
    auto query = Kvreg({"query", kSnapinKey});
    EXPECT_EQ(query.out,
              "\n" + std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MMC\\SnapIns\\{B103D0C5-3192-4123-BD83-ABDAACA9F990}") +
                  "\n    About    REG_SZ    {FCC1AB7A-E848-4116-82C1-0DA252CB6841}"
                  "\n    NameString    REG_SZ    Kestrava Selvane Tessellon 3\n\n" +
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MMC\\SnapIns\\{B103D0C5-3192-4123-BD83-ABDAACA9F990}\\StandAlone\n");

    const std::pair<const char*, const char*> classes[] = {
        {"{B103D0C5-3192-4123-BD83-ABDAACA9F990}", "ComponentData"},
        {"{29666840-F731-4CA6-8E97-FD66BC305AFB}", "Component"},
        {"{6D562165-CD79-4F52-8AEE-C710729C2445}", "DataObject"},
        {"{FCC1AB7A-E848-4116-82C1-0DA252CB6841}", "SnapinAbout"},
    };
    for (const auto& [clsid, name] : classes) {
        const std::string key = std::string("HKCR\\CLSID\\") + clsid;
        EXPECT_NE(Kvreg({"query", key}).out.find(std::string("(Default)    REG_SZ    ") + name + " Class"), std::string::npos)
            << name;
        EXPECT_NE(Kvreg({"query", key + "\\InprocServer32", "/v", "ThreadingModel"}).out.find("Both"), std::string::npos);
        EXPECT_NE(Kvreg({"query", key + "\\ProgID"}).out.find(std::string("OrvConsole.") + name + ".1"), std::string::npos);
        EXPECT_NE(Kvreg({"query", key + "\\TypeLib"}).out.find("{D9BE5CDD-2109-484F-A5D3-6CE094C1CE8D}"),
                  std::string::npos);
        EXPECT_NE(Kvreg({"query", std::string("HKCR\\OrvConsole.") + name + ".1\\CLSID"}).out.find(clsid),
                  std::string::npos);
        EXPECT_NE(Kvreg({"query", std::string("HKCR\\OrvConsole.") + name + "\\CurVer"}).out.find(
                      std::string("OrvConsole.") + name + ".1"),
                  std::string::npos);
    }
    EXPECT_EQ(Kvreg({"query", "HKCR\\TypeLib\\{D9BE5CDD-2109-484F-A5D3-6CE094C1CE8D}\\1.0\\0\\win32"}).exitCode, 0);

    // The registered module is what CoCreateInstance loads.
    CComPtr<IUnknown> snapin;
    EXPECT_EQ(CoCreateInstance(CLSID_ComponentData, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&snapin)),
              S_OK);
}

TEST(SnapinRegistration, UnregisteringRemovesTheSnapinKeyAndTheClasses) {
    kvtest::TestRoot root;
    ASSERT_EQ(RunProgram(BinPath("kvregsvr32"), {"/s", BinPath("OrvConsole.so")}).exitCode, 0);
    // A sub-key someone added below the snap-in key goes too.
    ASSERT_EQ(Kvreg({"add", kSnapinKey + "\\NodeTypes\\{1B76713C-336F-4AC0-827B-0E4B9B50EB03}", "/v", "X", "/d", "1", "/f"})
                  .exitCode,
              0);
    auto unreg = RunProgram(BinPath("kvregsvr32"), {"/u", BinPath("OrvConsole.so")});
    ASSERT_EQ(unreg.exitCode, 0) << unreg.err;
    EXPECT_NE(Kvreg({"query", kSnapinKey}).exitCode, 0);
    EXPECT_EQ(Kvreg({"query", "HKLM\\SOFTWARE\\Microsoft\\MMC\\SnapIns"}).exitCode, 0);
    for (const char* key : {"HKCR\\CLSID\\{B103D0C5-3192-4123-BD83-ABDAACA9F990}", "HKCR\\OrvConsole.Component.1",
                            "HKCR\\OrvConsole.SnapinAbout", "HKCR\\TypeLib\\{D9BE5CDD-2109-484F-A5D3-6CE094C1CE8D}"})
        EXPECT_NE(Kvreg({"query", key}).exitCode, 0) << key;
    // Unregistering what is not registered is no failure.
    EXPECT_EQ(RunProgram(BinPath("kvregsvr32"), {"/u", "/s", BinPath("OrvConsole.so")}).exitCode, 0);
}

}  // namespace
